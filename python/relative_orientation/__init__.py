"""Relative orientation of photographs from SIFT keypoints.

read_keypoints, match, Camera, orient and orient_tie_points run the engine of the orient
program: the same pair with the same settings gives the same Result, whose to_json() is
orient --json's document. The block of photographs on a Dask cluster is
`python3 -m relative_orientation block` (relative_orientation.block).
"""

from relative_orientation._core import *  # noqa: F401,F403  (the block side's names too)
from relative_orientation._core import (
    POINT_STATUS,
    Camera,
    InputError,
    Result,
    StoreError,
    match,
    orient,
    orient_tie_points,
    read_keypoints,
)

__all__ = [
    "POINT_STATUS",
    "Camera",
    "InputError",
    "Result",
    "StoreError",
    "match",
    "orient",
    "orient_tie_points",
    "read_keypoints",
]
