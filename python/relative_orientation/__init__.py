"""Relative orientation of photographs from SIFT keypoints."""

from relative_orientation._core import *  # noqa: F401,F403
