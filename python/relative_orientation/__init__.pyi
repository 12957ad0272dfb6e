"""Relative orientation of photographs from SIFT keypoints (type stub)."""

import os
from typing import Optional, Sequence, Tuple, Union

import numpy as np
from numpy.typing import ArrayLike, NDArray

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Keypoints = Union[_Path, Tuple[ArrayLike, ArrayLike]]
_CameraArgument = Union["Camera", _Path, None]

POINT_STATUS: Tuple[str, str, str]
"""Result.status values by index: ("inlier", "ransac_outlier", "snooped")."""

class InputError(RuntimeError):
    """An input that cannot be used; the message names the file and the reason."""

class StoreError(RuntimeError):
    """The block database cannot be opened, read or written."""

class Camera:
    """The interior orientation of a camera: from a camera file, keyword values or built in."""

    def __init__(
        self,
        path: Optional[_Path] = None,
        *,
        focal_length_px: Union[float, Tuple[float, float], None] = None,
        focal_length_mm: Optional[float] = None,
        pixel_size_um: Optional[float] = None,
        pixels_per_metre: Optional[float] = None,
        principal_point: Optional[Tuple[float, float]] = None,
        in_plane_angle_deg: Optional[float] = None,
        k1: Optional[float] = None,
        k2: Optional[float] = None,
        k3: Optional[float] = None,
        p1: Optional[float] = None,
        p2: Optional[float] = None,
    ) -> None: ...
    @staticmethod
    def from_file(path: _Path) -> Camera: ...
    @property
    def file(self) -> Optional[str]: ...
    @property
    def units(self) -> str: ...
    @property
    def focal_length_px(self) -> float: ...
    @property
    def focal_length_px_row(self) -> float: ...
    @property
    def focal_length_mm(self) -> Optional[float]: ...
    @property
    def pixel_size_um(self) -> Optional[float]: ...
    @property
    def principal_point(self) -> Tuple[float, float]: ...
    @property
    def in_plane_angle_deg(self) -> float: ...
    @property
    def distortion(self) -> dict[str, float]: ...
    def to_text(self) -> str: ...
    def __eq__(self, other: object) -> bool: ...

class Result:
    """One pair's relative orientation; to_json() is orient --json's document."""

    @property
    def outcome(self) -> str: ...
    @property
    def oriented(self) -> bool: ...
    @property
    def reason(self) -> str: ...
    @property
    def matches(self) -> int: ...
    @property
    def elements(self) -> Optional[dict[str, float]]: ...
    @property
    def sigmas(self) -> Optional[dict[str, float]]: ...
    @property
    def base_direction(self) -> Optional[Tuple[float, float, float]]: ...
    @property
    def base_direction_sigmas(self) -> Optional[Tuple[float, float, float]]: ...
    @property
    def covariance(self) -> Optional[NDArray[np.float64]]: ...
    @property
    def sigma0_px(self) -> Optional[float]: ...
    @property
    def chi2_test(self) -> Optional[dict[str, Union[float, int, bool]]]: ...
    @property
    def warnings(self) -> list[Tuple[str, str]]: ...
    @property
    def indices(self) -> NDArray[np.int64]: ...
    @property
    def points(self) -> NDArray[np.float64]: ...
    @property
    def status(self) -> NDArray[np.int8]: ...
    @property
    def residual(self) -> NDArray[np.float64]: ...
    @property
    def w(self) -> NDArray[np.float64]: ...
    @property
    def mdb(self) -> NDArray[np.float64]: ...
    def to_json(self) -> str: ...
    def to_dict(self) -> dict: ...

def read_keypoints(path: _Path) -> Tuple[NDArray[np.float32], NDArray[np.uint8]]:
    """(positions N x 4: row, column, scale, orientation; descriptors N x D) of a key file."""

def match(
    descriptors1: ArrayLike,
    descriptors2: ArrayLike,
    ratio: float = 0.6,
    mutual: bool = False,
    threads: Optional[int] = None,
) -> NDArray[np.int64]:
    """M x 2 indices (into descriptors1, descriptors2) of the matches."""

def orient(
    keypoints1: _Keypoints,
    keypoints2: _Keypoints,
    camera1: _CameraArgument = None,
    camera2: _CameraArgument = None,
    *,
    ratio: float = 0.6,
    mutual: bool = False,
    seed: int = 42,
    sigma: float = 0.5,
    threshold: Optional[float] = None,
    confidence: float = 0.9999,
    threads: Optional[int] = None,
) -> Result:
    """Orients photograph 2 relative to photograph 1 from their keypoints, as orient does."""

def orient_tie_points(
    points1: ArrayLike,
    points2: ArrayLike,
    camera1: _CameraArgument = None,
    camera2: _CameraArgument = None,
    *,
    seed: int = 42,
    sigma: float = 0.5,
    threshold: Optional[float] = None,
    confidence: float = 0.9999,
    threads: Optional[int] = None,
) -> Result:
    """Orients photograph 2 relative to photograph 1 from N x 2 (row, column) tie points."""
