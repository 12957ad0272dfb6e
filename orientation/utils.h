// Records and free functions shared by the pieces of `relative`: keypoint files,
// descriptor matching, the match report, the camera model, the coplanarity residual
// and the sampling of tie points.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Keypoints
// ---------------------------------------------------------------------------

// One SIFT keypoint as a keypoint file states it. Positions are pixels: `row` grows
// downwards, `col` to the right. The descriptor length is not stored here: it travels
// beside the list (the `dimensions` of ReadKeyFile, the `dims` of the matcher).
struct KeypointSt {
    float row = 0.0f;
    float col = 0.0f;
    float scale = 0.0f;
    float ori = 0.0f;
    std::vector<int> descrip;
};

// Handle to one keypoint record of a list.
using Keypoint = const KeypointSt*;

// A keypoint list in file order.
using KeypointList = std::vector<KeypointSt>;

// Writes "Error: ", the printf-formatted message and a line end to standard error and
// ends the process with status 1.
[[noreturn]] void FatalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Why parsing a keypoint file stopped. Everything except `ok` is fatal for `relative`.
enum class KeyFileStatus {
    ok,
    bad_beginning,  // the header does not yield two integers
    bad_format,     // an entry's four reals do not all convert
    bad_value,      // a descriptor value does not convert
    out_of_memory,
};

// The message that `relative` prints for a parse status (without the "Error: " prefix).
const char* KeyFileStatusMessage(KeyFileStatus status);

// Result of parsing the text of a keypoint file. `numfeatures` and `dimensions` are the
// header's numbers as soon as the header has been read; `keys` holds the complete entries
// read before any failure.
struct KeyFileParse {
    KeyFileStatus status = KeyFileStatus::ok;
    int numfeatures = 0;
    int dimensions = 0;
    KeypointList keys;
};

// Parses keypoint file text. The text must be followed by a NUL byte (std::string
// guarantees it); an embedded NUL ends the readable text like any non-number.
// Never exits: the caller decides what a failure means.
KeyFileParse ParseKeyText(const std::string& text);

// Reads a keypoint file into a list in file order. Stores the header's keypoint count and
// descriptor length in *numfeatures and *dimensions. Every failure ends the process
// through FatalError.
KeypointList ReadKeyFile(const char* filename, int* numfeatures, int* dimensions);

// ---------------------------------------------------------------------------
// Descriptor matching
// ---------------------------------------------------------------------------

// Starting value of the nearest and second-nearest distances: a candidate not yet seen.
inline constexpr int kNoCandidateDistance = 1000000000;

// Integer part of the Euclidean distance between the first `dims` descriptor values of
// two keypoints. The sum of squares is accumulated exactly in wide integers; a distance
// too large for int saturates at INT_MAX.
int Dist(Keypoint k1, Keypoint k2, int dims);

// The nearest and second-nearest keypoints of one keypoint in a candidate list, with
// strict comparisons: of equally near candidates the earliest stays the nearest.
// Indices are 0-based positions in the candidate list, -1 where there is none.
struct NeighbourPair {
    int nearest = -1;
    int dist1 = kNoCandidateDistance;
    int second = -1;
    int dist2 = kNoCandidateDistance;
};
NeighbourPair FindNeighbours(const KeypointSt& key, const KeypointList& klist, int dims);

// The ratio test: dist1 < 0.6 * dist2, evaluated exactly as 5 * dist1 < 3 * dist2.
// A tie for the nearest place (dist1 == dist2) is always rejected.
inline bool PassesRatioTest(int dist1, int dist2) {
    return 5 * static_cast<long long>(dist1) < 3 * static_cast<long long>(dist2);
}

// The accepted nearest keypoint of `klist` for `key`, or nullptr.
Keypoint CheckForMatch(Keypoint key, const KeypointList& klist, int dims);

// One accepted pair of positions: keypoint of the first list, its match in the second.
struct MatchSt {
    float row1 = 0.0f;
    float col1 = 0.0f;
    float row2 = 0.0f;
    float col2 = 0.0f;
};

// The match array: one row (row1, col1, row2, col2) per accepted keypoint of the first
// list, in the order of that list.
using MatchRow = std::array<float, 4>;
using MatchArray = std::vector<MatchRow>;

// Matches every keypoint of keys1 against keys2 and returns the match array; stores the
// number of rows in *numMatches.
MatchArray FindMatches(const KeypointList& keys1, const KeypointList& keys2, int dims,
                       int* numMatches);

// The straightforward matcher: every pair through Dist. The reference that faster
// matchers are tested against.
MatchArray FindMatchesReference(const KeypointList& keys1, const KeypointList& keys2, int dims,
                                int* numMatches);

// Turns the accepted matches (in acceptance order) into the match array.
MatchArray listToArray(const std::vector<MatchSt>& m, int numMatches);

// ---------------------------------------------------------------------------
// Match report
// ---------------------------------------------------------------------------

// Writes one line per accepted keypoint of keys1 to `out` (the match report format) and
// returns the number of lines, or -1 when writing failed.
int WriteMatchReport(std::FILE* out, const KeypointList& keys1, const KeypointList& keys2,
                     int dims);

// Writes the match report of keys1 against keys2 to the file `outfile` and prints
// "Found %d matches" to standard error. Failures to open, write or close the file end the
// process through FatalError.
void FindMatchesOutput(const KeypointList& keys1, const KeypointList& keys2, int dims,
                       const char* outfile);

// ---------------------------------------------------------------------------
// Camera model and rotation
// ---------------------------------------------------------------------------

// 3 x 3 rotation matrix, val[r][c] is row r, column c; applied to column vectors.
using RotationMatrix = std::array<std::array<double, 3>, 3>;

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
