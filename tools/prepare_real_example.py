#!/usr/bin/python3
"""Prepares the real example pairs in data/real/ from Debian's opencv-doc package.

Run once by hand; its outputs are committed:

    tools/prepare_real_example.py [--data /usr/share/doc/opencv-doc/examples/data]
                                  [--out data/real] [--bootstrap 200]

Needs the Debian packages opencv-doc (the photographs) and python3-opencv (calibration,
undistortion; it brings numpy). Run it with Debian's /usr/bin/python3, which is where
python3-opencv installs.

What it does:
  1. Stereo rig (left01..14 / right01..14 without 10, a 9 x 6 chessboard in every view):
     finds the chessboard corners, calibrates each camera (calibrateCamera: focal lengths,
     principal point, k1 k2 p1 p2 k3), then the rig (stereoCalibrate with the intrinsics
     fixed: R, T with X2 = R X1 + T, camera 1 = left), and reports the reprojection errors.
  2. The uncertainty of the relative orientation: a bootstrap over the chessboard views
     (views drawn with replacement, both calibrations repeated), and a leave-one-out
     jackknife for comparison.
  3. Undistorts the chosen pair to one distortion-free camera with square pixels (one
     focal length, principal point at the frame centre), writes the undistorted images,
     the camera file and the true relative orientation in the project's convention.
  4. Copies the chosen pair as taken (raw, distorted) into stereo-raw/, with a camera file
     for each camera in the focal-length-in-pixels form with its k1 k2 p1 p2 k3, pasted
     from the calibration unchanged.
  5. Copies the street pair (leuvenA/leuvenB) unchanged.
  6. Cross-checks: the relative orientation from an essential matrix of all chessboard
     corners of all views (no board geometry used), and with --siftkey PROGRAM, what SIFT
     tie points alone give on each of the 13 undistorted pairs (siftkey keypoints, ratio
     test 0.6, five-point RANSAC): the scatter that a keypoint-based estimate shows here.

The project's convention (docs/conventions.md): camera 1 at the origin, not rotated;
camera frame x right, y up, looking along -z, so a camera-frame vector is OpenCV's with y
and z negated, D = diag(1, -1, -1); base b = (1, by, bz) from camera 1 to camera 2;
M = Rx(omega) Ry(phi) Rz(kappa) turns camera-2 directions into the camera-1 frame.
From X2 = R X1 + T: centre of camera 2 in camera-1 OpenCV coordinates C = -R^T T,
B = D C, by = B.y / B.x, bz = B.z / B.x; M = D R^T D; phi = asin(M[0][2]),
omega = atan2(-M[1][2], M[2][2]), kappa = atan2(-M[0][1], M[0][0]).
"""
import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

import cv2
import numpy as np

BOARD = (9, 6)  # inner corners per row and column
VIEWS = [1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14]
CHOSEN_VIEW = 6  # the pair with the most background texture beside the chessboard
PIXEL_SIZE_UM = 6.0  # nominal: only focal length / pixel size matters
D = np.diag([1.0, -1.0, -1.0])


def find_corners(path):
    image = cv2.imread(path, cv2.IMREAD_GRAYSCALE)
    if image is None:
        sys.exit(f"cannot read {path}")
    found, corners = cv2.findChessboardCorners(image, BOARD)
    if not found:
        sys.exit(f"no chessboard found in {path}")
    criteria = (cv2.TERM_CRITERIA_EPS + cv2.TERM_CRITERIA_MAX_ITER, 100, 1e-4)
    corners = cv2.cornerSubPix(image, corners, (11, 11), (-1, -1), criteria)
    return image.shape[::-1], corners


def board_points():
    """Chessboard corners in square units: the scale of the rig drops out of b = (1, by, bz)."""
    grid = np.zeros((BOARD[0] * BOARD[1], 3), np.float32)
    grid[:, :2] = np.mgrid[0:BOARD[0], 0:BOARD[1]].T.reshape(-1, 2)
    return grid


def calibrate(object_points, left_points, right_points, size):
    """Both cameras, then the rig. Returns a dict of the results."""
    rms_l, k_l, d_l, _, _ = cv2.calibrateCamera(object_points, left_points, size, None, None)
    rms_r, k_r, d_r, _, _ = cv2.calibrateCamera(object_points, right_points, size, None, None)
    criteria = (cv2.TERM_CRITERIA_EPS + cv2.TERM_CRITERIA_MAX_ITER, 200, 1e-10)
    rms_s, _, _, _, _, r, t, _, _ = cv2.stereoCalibrate(
        object_points, left_points, right_points, k_l, d_l, k_r, d_r, size,
        criteria=criteria, flags=cv2.CALIB_FIX_INTRINSIC)
    return dict(rms_left=rms_l, rms_right=rms_r, rms_stereo=rms_s, K_left=k_l, dist_left=d_l,
                K_right=k_r, dist_right=d_r, R=r, T=t.reshape(3))


def rx(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[1, 0, 0], [0, c, -s], [0, s, c]])


def ry(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[c, 0, s], [0, 1, 0], [-s, 0, c]])


def rz(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[c, -s, 0], [s, c, 0], [0, 0, 1]])


def project_convention(r, t):
    """by, bz, omega, phi, kappa (radians) of the rig X2 = R X1 + T, camera 1 = left."""
    centre = -r.T @ t
    base = D @ centre
    m = D @ r.T @ D
    phi = math.asin(max(-1.0, min(1.0, m[0, 2])))
    omega = math.atan2(-m[1, 2], m[2, 2])
    kappa = math.atan2(-m[0, 1], m[0, 0])
    rebuilt = rx(omega) @ ry(phi) @ rz(kappa)
    if not np.allclose(rebuilt, m, atol=1e-12):
        sys.exit("the angles do not rebuild M: the formulas are wrong")
    return dict(by=base[1] / base[0], bz=base[2] / base[0], omega=omega, phi=phi, kappa=kappa,
                base=base, M=m)


def check_convention_on_known_rotation():
    """A rig built from known angles and base must give them back."""
    omega, phi, kappa = 0.03, -0.05, 0.02
    m = rx(omega) @ ry(phi) @ rz(kappa)
    base = np.array([1.0, 0.1, -0.2])
    r = (D @ m @ D).T  # M = D R^T D  =>  R = (D M D)^T
    t = -r @ (D @ base)  # C = D B, T = -R C
    got = project_convention(r, t)
    expected = dict(by=0.1, bz=-0.2, omega=omega, phi=phi, kappa=kappa)
    for key, value in expected.items():
        if abs(got[key] - value) > 1e-12:
            sys.exit(f"convention check failed for {key}: {got[key]} != {value}")


ELEMENTS = ["by", "bz", "omega", "phi", "kappa"]


def spread(samples):
    """Standard deviation of each element over a list of project_convention results."""
    return {k: float(np.std([s[k] for s in samples], ddof=1)) for k in ELEMENTS}


def bootstrap(object_points, left_points, right_points, size, rounds, seed):
    rng = np.random.default_rng(seed)
    n = len(object_points)
    samples = []
    while len(samples) < rounds:
        pick = rng.integers(0, n, n)
        if len(set(pick.tolist())) < 4:
            continue
        c = calibrate([object_points[i] for i in pick], [left_points[i] for i in pick],
                      [right_points[i] for i in pick], size)
        samples.append(project_convention(c["R"], c["T"]))
    return spread(samples)


def jackknife(object_points, left_points, right_points, size):
    n = len(object_points)
    samples = []
    for leave in range(n):
        keep = [i for i in range(n) if i != leave]
        c = calibrate([object_points[i] for i in keep], [left_points[i] for i in keep],
                      [right_points[i] for i in keep], size)
        samples.append(project_convention(c["R"], c["T"]))
    mean = {k: np.mean([s[k] for s in samples]) for k in ELEMENTS}
    return {k: float(math.sqrt((n - 1) / n * sum((s[k] - mean[k]) ** 2 for s in samples)))
            for k in ELEMENTS}


def corner_essential_check(cal, left_points, right_points):
    """Relative orientation from an essential matrix of all corners (board shape unused)."""
    left = cv2.undistortPoints(np.vstack(left_points), cal["K_left"], cal["dist_left"])
    right = cv2.undistortPoints(np.vstack(right_points), cal["K_right"], cal["dist_right"])
    left, right = left.reshape(-1, 2), right.reshape(-1, 2)
    f = cal["K_left"][0, 0]
    e, mask = cv2.findEssentialMat(left, right, np.eye(3), cv2.RANSAC, 0.9999, 0.5 / f)
    _, r, t, _ = cv2.recoverPose(e, left, right, np.eye(3), mask=mask)
    result = project_convention(r, t.reshape(3))
    result["used"] = f"{int(mask.sum())} of {len(left)} corners"
    return result


def read_keys(path):
    """(column, row) positions and descriptors of a keypoint file."""
    tokens = open(path).read().split()
    count, length = int(tokens[0]), int(tokens[1])
    values = tokens[2:]
    points, descriptors = [], []
    for i in range(count):
        entry = values[i * (4 + length):(i + 1) * (4 + length)]
        points.append((float(entry[1]), float(entry[0])))
        descriptors.append([int(v) for v in entry[4:]])
    return (np.array(points, np.float64).reshape(-1, 2),
            np.array(descriptors, np.float32).reshape(-1, length))


def sift_scatter(siftkey, data, cal, k_new):
    """Per view: keypoints by siftkey, ratio-test matches, five-point RANSAC estimate."""
    rows = []
    with tempfile.TemporaryDirectory() as work:
        for v in VIEWS:
            keys = []
            for side in ("left", "right"):
                image = cv2.imread(os.path.join(data, f"{side}{v:02d}.jpg"), cv2.IMREAD_GRAYSCALE)
                undistorted = cv2.undistort(image, cal[f"K_{side}"], cal[f"dist_{side}"], None,
                                            k_new)
                png = os.path.join(work, f"{side}.png")
                key = os.path.join(work, f"{side}.key")
                cv2.imwrite(png, undistorted)
                subprocess.run([siftkey, png, key], check=True, stderr=subprocess.DEVNULL)
                keys.append(read_keys(key))
            (p1, d1), (p2, d2) = keys
            pairs = cv2.BFMatcher().knnMatch(d1, d2, k=2)
            good = [a for a, b in pairs if a.distance < 0.6 * b.distance]
            x1 = p1[[g.queryIdx for g in good]]
            x2 = p2[[g.trainIdx for g in good]]
            e, mask = cv2.findEssentialMat(x1, x2, k_new, cv2.RANSAC, 0.999, 0.5)
            _, r, t, _ = cv2.recoverPose(e, x1, x2, k_new, mask=mask)
            result = project_convention(r, t.reshape(3))
            result.update(view=v, matches=len(good), inliers=int(mask.sum()))
            rows.append(result)
    return rows


def common_camera(cal, size):
    """One distortion-free camera with square pixels for both undistorted images."""
    f = float(np.mean([cal["K_left"][0, 0], cal["K_left"][1, 1], cal["K_right"][0, 0],
                       cal["K_right"][1, 1]]))
    cx, cy = (size[0] - 1) / 2.0, (size[1] - 1) / 2.0
    return np.array([[f, 0, cx], [0, f, cy], [0, 0, 1]])


def fmt(v, digits=6):
    return f"{v:.{digits}f}"


def write_truth(path, cal, truth, boot, jack, k_new, size, chosen, corners, scatter):
    deg = math.degrees
    f_px = k_new[0, 0]
    focal = [cal["K_left"][0, 0], cal["K_left"][1, 1], cal["K_right"][0, 0], cal["K_right"][1, 1]]
    span = (max(focal) - min(focal)) / f_px * 100.0
    lines = []
    add = lines.append
    add("# True relative orientation of the stereo rig pair")
    add("")
    add(f"Written by `tools/prepare_real_example.py` from the 13 chessboard views of Debian's")
    add(f"`opencv-doc` (left01..14 / right01..14 without 10). Camera 1 is the LEFT camera")
    add(f"(`left.png`), camera 2 the RIGHT camera (`right.png`); the pair is view {chosen:02d}, undistorted.")
    add("")
    add("## Calibration")
    add("")
    add("| | reprojection error (RMS, px) |")
    add("|---|---|")
    add(f"| left camera, `calibrateCamera` | {cal['rms_left']:.4f} |")
    add(f"| right camera, `calibrateCamera` | {cal['rms_right']:.4f} |")
    add(f"| rig, `stereoCalibrate` (intrinsics fixed) | {cal['rms_stereo']:.4f} |")
    add("")
    for side in ("left", "right"):
        k = cal[f"K_{side}"]
        d = cal[f"dist_{side}"].ravel()
        add(f"- {side}: fx = {k[0, 0]:.3f}, fy = {k[1, 1]:.3f}, cx = {k[0, 2]:.3f}, "
            f"cy = {k[1, 2]:.3f} px; k1 k2 p1 p2 k3 = {' '.join(f'{v:.5f}' for v in d)}")
    add("")
    add("## Camera of the undistorted images (`camera.txt`)")
    add("")
    add(f"Both images are undistorted (`cv2.undistort`) onto ONE camera with square pixels, no")
    add(f"distortion and no rotation: focal length f = {f_px:.3f} px, the mean of fx and fy of")
    add(f"both cameras (which span {span:.2f} % of it), principal point at the frame centre")
    add(f"({(size[0] - 1) / 2:.1f}, {(size[1] - 1) / 2:.1f}) (column, row). Each image is")
    add("resampled exactly onto this camera, so the differing focal lengths leave no error")
    add("beyond the calibration's own. Only f / pixel size matters, so a nominal pixel size of")
    add(f"{PIXEL_SIZE_UM:g} um is written and the focal length is f x {PIXEL_SIZE_UM:g} um =")
    add(f"{f_px * PIXEL_SIZE_UM / 1000:.6f} mm.")
    add("")
    add("## The true relative orientation (project convention)")
    add("")
    add("Base b = (1, by, bz) from camera 1 to camera 2, M = Rx(omega) Ry(phi) Rz(kappa) turns")
    add("camera-2 directions into the camera-1 frame (x right, y up, looking along -z).")
    add("Sigmas: bootstrap over the chessboard views (" + str(boot["rounds"]) + " rounds), and")
    add("a leave-one-out jackknife for comparison.")
    add("")
    add("| element | true value | sigma (bootstrap) | sigma (jackknife) |")
    add("|---|---|---|---|")
    add(f"| by | {truth['by']:.5f} | {boot['by']:.5f} | {jack['by']:.5f} |")
    add(f"| bz | {truth['bz']:.5f} | {boot['bz']:.5f} | {jack['bz']:.5f} |")
    for a in ("omega", "phi", "kappa"):
        add(f"| {a} (deg) | {deg(truth[a]):.4f} | {deg(boot[a]):.4f} | {deg(jack[a]):.4f} |")
    add("")
    b = truth["base"]
    unit = b / np.linalg.norm(b)
    add(f"Unit base direction (project frame): ({unit[0]:.6f}, {unit[1]:.6f}, {unit[2]:.6f}).")
    add(f"Base length: {np.linalg.norm(b):.4f} chessboard squares (the square size is not")
    add("recorded with the images, so the length has no unit; the orientation does not need it).")
    add("")
    add("M =")
    add("")
    add("```")
    for row in truth["M"]:
        add("  " + "  ".join(f"{v: .8f}" for v in row))
    add("```")
    add("")
    add("## Cross-check: essential matrix of the chessboard corners")
    add("")
    add("The corners of all views, undistorted with each camera's calibration, give through")
    add(f"an essential matrix ({corners['used']}, RANSAC at 0.5 px, board shape not used):")
    add("")
    add("| by | bz | omega (deg) | phi (deg) | kappa (deg) |")
    add("|---|---|---|---|---|")
    add(f"| {corners['by']:.5f} | {corners['bz']:.5f} | {deg(corners['omega']):.4f} | "
        f"{deg(corners['phi']):.4f} | {deg(corners['kappa']):.4f} |")
    add("")
    add("Differences from the calibrated values in bootstrap sigmas: " + ", ".join(
        f"{k} {abs(corners[k] - truth[k]) / boot[k]:.1f}" for k in ELEMENTS) + ". They show how")
    add("far the bootstrap sigmas can be trusted; a comparison with the true values is safer")
    add("with the larger of the two differences or sigmas.")
    add("")
    if scatter:
        add("## What SIFT tie points alone give on these pairs")
        add("")
        add("Each of the 13 pairs undistorted like the bundled one, keypoints by `siftkey`,")
        add("nearest / second-nearest ratio 0.6, five-point RANSAC at 0.5 px (OpenCV's")
        add("`findEssentialMat` and `recoverPose`). The scatter from view to view is what a")
        add("keypoint-based estimate of a single pair can be expected to miss by here: the base")
        add("is short and the scene shallow, and the repeated chessboard squares defeat matching.")
        add("")
        add("| view | matches | inliers | by | bz | omega (deg) | phi (deg) | kappa (deg) |")
        add("|---|---|---|---|---|---|---|---|")
        for r in scatter:
            add(f"| {r['view']:02d} | {r['matches']} | {r['inliers']} | {r['by']:.4f} | "
                f"{r['bz']:.4f} | {deg(r['omega']):.3f} | {deg(r['phi']):.3f} | "
                f"{deg(r['kappa']):.3f} |")
        kept = [r for r in scatter if r["inliers"] >= 50]
        add("")
        add(f"Standard deviation over the {len(kept)} views with at least 50 inliers: "
            + ", ".join(f"{k} {np.std([r[k] for r in kept], ddof=1) * (1 if k in ('by', 'bz') else 180 / math.pi):.4f}"
                        for k in ELEMENTS) + " (angles in degrees).")
        add("")
    add("## The same in OpenCV's form")
    add("")
    add("`stereoCalibrate`: X2 = R X1 + T, OpenCV camera frames (x right, y down, z forward),")
    add("camera 1 = left:")
    add("")
    add("```")
    add("R =")
    for row in cal["R"]:
        add("  " + "  ".join(f"{v: .8f}" for v in row))
    t = cal["T"]
    add(f"T = ({t[0]:.6f}, {t[1]:.6f}, {t[2]:.6f})  chessboard squares")
    tn = t / np.linalg.norm(t)
    add(f"t = T / |T| = ({tn[0]:.6f}, {tn[1]:.6f}, {tn[2]:.6f})")
    add("```")
    add("")
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


def write_camera(path, k_new, size, chosen):
    f_px = k_new[0, 0]
    with open(path, "w") as out:
        out.write(
            "# Camera of the undistorted stereo rig images data/real/stereo/left.png and right.png\n"
            f"# (view {chosen:02d} of opencv-doc's left/right series), written by\n"
            "# tools/prepare_real_example.py from a chessboard calibration of both cameras.\n"
            f"# Both images were undistorted onto this one camera: f = {f_px:.4f} px, square\n"
            "# pixels, no distortion. The pixel size is nominal: only focal length / pixel size\n"
            "# matters.\n"
            f"focal_length_mm = {f_px * PIXEL_SIZE_UM / 1000:.6f}\n"
            f"pixel_size_um = {PIXEL_SIZE_UM:g}\n"
            f"principal_point = {(size[0] - 1) / 2:.1f} {(size[1] - 1) / 2:.1f}\n"
            "in_plane_angle_deg = 0\n")


def write_raw_camera(path, side, k, dist, chosen):
    """The calibrated camera of one side, distortion included, in the pixel form."""
    d = dist.ravel()
    with open(path, "w") as out:
        out.write(
            f"# The {side} camera of opencv-doc's stereo rig as calibrated from 13 chessboard\n"
            f"# views by tools/prepare_real_example.py (calibrateCamera); for the raw view\n"
            f"# {chosen:02d}, {side}.jpg. The values are OpenCV's camera matrix and distortion\n"
            "# coefficients, unchanged.\n"
            f"focal_length_px = {k[0, 0]!r} {k[1, 1]!r}\n"
            f"principal_point = {k[0, 2]!r} {k[1, 2]!r}\n"
            f"k1 = {d[0]!r}\nk2 = {d[1]!r}\np1 = {d[2]!r}\np2 = {d[3]!r}\nk3 = {d[4]!r}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default="/usr/share/doc/opencv-doc/examples/data")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "data", "real"))
    parser.add_argument("--bootstrap", type=int, default=200)
    parser.add_argument("--seed", type=int, default=12)
    parser.add_argument("--siftkey", help="siftkey program: also report the SIFT-based scatter")
    args = parser.parse_args()

    check_convention_on_known_rotation()

    object_points, left_points, right_points = [], [], []
    size = None
    for v in VIEWS:
        size, left = find_corners(os.path.join(args.data, f"left{v:02d}.jpg"))
        _, right = find_corners(os.path.join(args.data, f"right{v:02d}.jpg"))
        object_points.append(board_points())
        left_points.append(left)
        right_points.append(right)

    cal = calibrate(object_points, left_points, right_points, size)
    truth = project_convention(cal["R"], cal["T"])
    print(f"reprojection RMS: left {cal['rms_left']:.4f} px, right {cal['rms_right']:.4f} px, "
          f"rig {cal['rms_stereo']:.4f} px")
    boot = bootstrap(object_points, left_points, right_points, size, args.bootstrap, args.seed)
    boot["rounds"] = args.bootstrap
    jack = jackknife(object_points, left_points, right_points, size)
    for k in ELEMENTS:
        scale = 1.0 if k in ("by", "bz") else 180.0 / math.pi
        print(f"{k:6s} {truth[k] * scale: .5f}  sigma bootstrap {boot[k] * scale:.5f}  "
              f"jackknife {jack[k] * scale:.5f}")

    stereo = os.path.join(args.out, "stereo")
    street = os.path.join(args.out, "street")
    os.makedirs(stereo, exist_ok=True)
    os.makedirs(street, exist_ok=True)
    k_new = common_camera(cal, size)
    for side in ("left", "right"):
        image = cv2.imread(os.path.join(args.data, f"{side}{CHOSEN_VIEW:02d}.jpg"),
                           cv2.IMREAD_GRAYSCALE)
        undistorted = cv2.undistort(image, cal[f"K_{side}"], cal[f"dist_{side}"], None, k_new)
        cv2.imwrite(os.path.join(stereo, f"{side}.png"), undistorted)
    write_camera(os.path.join(stereo, "camera.txt"), k_new, size, CHOSEN_VIEW)
    raw = os.path.join(args.out, "stereo-raw")
    os.makedirs(raw, exist_ok=True)
    for side in ("left", "right"):
        shutil.copyfile(os.path.join(args.data, f"{side}{CHOSEN_VIEW:02d}.jpg"),
                        os.path.join(raw, f"{side}.jpg"))
        write_raw_camera(os.path.join(raw, f"{side}.cam"), side, cal[f"K_{side}"],
                         cal[f"dist_{side}"], CHOSEN_VIEW)
    corners = corner_essential_check(cal, left_points, right_points)
    scatter = sift_scatter(args.siftkey, args.data, cal, k_new) if args.siftkey else []
    write_truth(os.path.join(stereo, "TRUTH.md"), cal, truth, boot, jack, k_new, size, CHOSEN_VIEW,
                corners, scatter)
    for name in ("leuvenA.jpg", "leuvenB.jpg"):
        shutil.copyfile(os.path.join(args.data, name), os.path.join(street, name))


if __name__ == "__main__":
    main()
