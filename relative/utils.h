// The fixed records and functions of `relative`: keypoints and their reader, matching,
// the match report, the camera model, the coplanarity residual and the sampling of tie
// points. Each is a thin adapter over code in the house style: the keypoints library
// (keypoints/) for files and matching, this folder's own headers for the rest
// (matching.h, camera.h, included here).
#pragma once

#include <array>
#include <vector>

#include "keypoints/keypoint.h"
#include "relative/camera.h"
#include "relative/matching.h"

// ---------------------------------------------------------------------------
// Keypoints
// ---------------------------------------------------------------------------

// KeypointSt, one SIFT keypoint as a keypoint file states it, is the keypoints library's
// record (keypoints/keypoint.h). The descriptor length travels beside the list (the
// `dimensions` of ReadKeyFile, the `dims` of the matcher).
using keypoints::KeypointList;

// Handle to one keypoint record of a list.
using Keypoint = const KeypointSt*;

// Writes "Error: ", the printf-formatted message and a line end to standard error and
// ends the process with status 1.
[[noreturn]] void FatalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Reads a keypoint file into a list in file order, with the streaming reader. Stores the
// header's keypoint count and descriptor length in *numfeatures and *dimensions. Every
// failure ends the process through FatalError.
KeypointList ReadKeyFile(const char* filename, int* numfeatures, int* dimensions);

// ---------------------------------------------------------------------------
// Descriptor matching
// ---------------------------------------------------------------------------

// keypoints::DescriptorDistance of the two keypoints' descriptors.
int Dist(Keypoint k1, Keypoint k2, int dims);

// The accepted nearest keypoint of `klist` for `key` (keypoints::FindNeighbours and the
// ratio test with relative::kRatio), or nullptr.
Keypoint CheckForMatch(Keypoint key, const KeypointList& klist, int dims);

// One accepted pair of positions: keypoint of the first list, its match in the second.
struct MatchSt {
    float row1 = 0.0f;
    float col1 = 0.0f;
    float row2 = 0.0f;
    float col2 = 0.0f;
};

// Matches every keypoint of keys1 against keys2 with the fast matcher and returns the
// match array; stores the number of rows in *numMatches.
MatchArray FindMatches(const KeypointList& keys1, const KeypointList& keys2, int dims,
                       int* numMatches);

// Turns the accepted matches (in acceptance order) into the match array.
MatchArray listToArray(const std::vector<MatchSt>& m, int numMatches);

// Writes the match report of keys1 against keys2 to the file `outfile` and prints
// "Found %d matches" to standard error. Failures to open, write or close the file end the
// process through FatalError.
void FindMatchesOutput(const KeypointList& keys1, const KeypointList& keys2, int dims,
                       const char* outfile);

// ---------------------------------------------------------------------------
// Camera model and rotation
// ---------------------------------------------------------------------------

// Pixel position (i = column, j = row) of camera `num` to image-plane coordinates
// (metres, origin at the principal point, y pointing up).
void ijTOxy(double i, double j, double* x, double* y, int num);

// Image-plane coordinates of camera `num` back to a pixel position.
void xyTOij(double x, double y, double* i, double* j, int num);

// Rotation matrix Rx(A) * Ry(B) * Rz(C) for omega = A, phi = B, kappa = C (radians).
void get3drotation(double A, double B, double C, RotationMatrix& val);

// ---------------------------------------------------------------------------
// Coplanarity residuals and sampling
// ---------------------------------------------------------------------------

// User data handed through the solver to fcoplanar: the tie points of one sample, each a
// row (i1, j1, i2, j2) of pixel positions, column before row.
struct InfoSt {
    std::vector<std::array<double, 4>>* tiepoints = nullptr;
};
using Info = InfoSt*;

// Model function of the solver: one coplanarity residual per tie point for the
// parameters p = (Ey, Ez, omega2, phi2, kappa2). `data` is an Info.
void fcoplanar(double* p, double* x, int m, int n, void* data);

// `len` distinct indices in 0 .. max-1, drawn with rand() in draw order. Requires
// 0 < len <= max; returns an empty vector otherwise instead of looping forever.
std::vector<int> getRandomSamples(int max, int len);
