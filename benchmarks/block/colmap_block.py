#!/usr/bin/python3
"""The other tool's side of benchmarks/block/colmap_compare.sh (standard library only).

  colmap_block.py import DB CAMERAS KEY...
      Fills DB, a new database made by `colmap database_creator`, with the cameras of
      CAMERAS, a camera file for all photographs or a cameras file (lines `NAME
      CAMERA_FILE`, paths relative to its folder), each PINHOLE, or FULL_OPENCV when it
      has distortion, and, for each key
      file, an image named after it with its keypoints (x = column + 0.5, y = row + 0.5:
      that tool puts the top-left pixel's corner at 0, the key files its centre) and its
      descriptors as uint8, scaled to a length of 512.
  colmap_block.py poses DB TRUTH_JSON [OURS [LABEL]]
      Compares the relative poses of DB's verified pairs, and those of OURS, with the true
      ones of TRUTH_JSON: rotation and base direction differences in degrees. OURS is a
      file of `orient --json` documents one a line with a leading "pair" field, as
      `orient-block export --json` writes them, or a folder of `orient --json` documents
      named NAME1-NAME2.json.
"""
import json
import math
import os
import sqlite3
import struct
import sys

PAIR_ID_BASE = 2147483647  # pair_id = id1 * base + id2 with id1 < id2
MODEL_PINHOLE = 1
MODEL_FULL_OPENCV = 6
# The matcher there takes a descriptor's dot products over 512^2 as the cosine of the angle
# between unit descriptors: real SIFT descriptors have that length already, synthetic ones
# are scaled to it.
DESCRIPTOR_NORM = 512.0


def fail(message):
    sys.stderr.write("colmap_block.py: %s\n" % message)
    sys.exit(1)


def read_camera(path):
    """fx, fy, cx, cy and the distortion k1 k2 p1 p2 k3 of a camera file."""
    values = {}
    try:
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.split("#", 1)[0].strip()
                if not line:
                    continue
                key, sep, value = line.partition("=")
                if not sep:
                    fail("%s:%d: not a 'key = value' line" % (path, number))
                values[key.strip()] = [float(v) for v in value.split()]
    except (OSError, ValueError) as error:
        fail("%s: %s" % (path, error))
    if values.get("in_plane_angle_deg", [0.0])[0] != 0.0:
        fail("%s: an in-plane angle other than 0 has no equivalent here" % path)
    if "focal_length_px" in values:
        f = values["focal_length_px"]
        fx, fy = f[0], f[-1]
    elif "focal_length_mm" in values:
        pixel_m = (values["pixel_size_um"][0] * 1e-6 if "pixel_size_um" in values
                   else 1.0 / values["pixels_per_metre"][0])
        fx = fy = values["focal_length_mm"][0] * 1e-3 / pixel_m
    else:
        fail("%s: no focal length" % path)
    cx, cy = values["principal_point"]
    distortion = [values.get(k, [0.0])[0] for k in ("k1", "k2", "p1", "p2", "k3")]
    return fx, fy, cx, cy, distortion


def read_keys(path):
    """(count, positions as float32 bytes x y, descriptors as uint8 bytes) of a key file."""
    try:
        with open(path, "rb") as f:
            words = f.read().split()
        count, dims = int(words[0]), int(words[1])
        stride = 4 + dims
        if len(words) < 2 + count * stride:
            raise ValueError("ends before its %d keypoints" % count)
        xy = []
        descriptors = bytearray(count * dims)
        for i in range(count):
            base = 2 + i * stride
            xy += [float(words[base + 1]) + 0.5, float(words[base]) + 0.5]
            values = [int(w) for w in words[base + 4:base + stride]]
            norm = math.sqrt(sum(v * v for v in values)) or 1.0
            descriptors[i * dims:(i + 1) * dims] = bytes(
                min(255, round(v * DESCRIPTOR_NORM / norm)) for v in values)
    except (OSError, ValueError, IndexError) as error:
        fail("%s: %s" % (path, error))
    return count, dims, struct.pack("<%df" % len(xy), *xy), bytes(descriptors)


def camera_row(camera_path):
    fx, fy, cx, cy, distortion = read_camera(camera_path)
    if any(distortion):
        k1, k2, p1, p2, k3 = distortion
        model, params = MODEL_FULL_OPENCV, [fx, fy, cx + 0.5, cy + 0.5, k1, k2, p1, p2, k3,
                                            0.0, 0.0, 0.0]
    else:
        model, params = MODEL_PINHOLE, [fx, fy, cx + 0.5, cy + 0.5]
    # The frame is not in the camera file: the principal point at its centre is assumed.
    return model, round(2 * cx + 1), round(2 * cy + 1), struct.pack("<%dd" % len(params), *params)


def camera_files(cameras_path):
    """{NAME: camera file} of a cameras file, or {None: cameras_path} for a camera file."""
    try:
        with open(cameras_path, encoding="utf-8") as f:
            rows = [line.split("#", 1)[0].split() for line in f]
    except OSError as error:
        fail("%s: %s" % (cameras_path, error))
    rows = [r for r in rows if r]
    if rows and all(len(r) == 2 and "=" not in r[0] + r[1] for r in rows):
        folder = os.path.dirname(cameras_path)
        return {name: os.path.join(folder, path) for name, path in rows}
    return {None: cameras_path}


def import_block(db_path, cameras_path, key_paths):
    files = camera_files(cameras_path)
    db = sqlite3.connect(db_path)
    camera_ids = {}
    for image_id, path in enumerate(sorted(key_paths), 1):
        name = os.path.splitext(os.path.basename(path))[0]
        camera = files.get(name, files.get(None))
        if camera is None:
            fail("%s: no camera for %s" % (cameras_path, name))
        if camera not in camera_ids:
            camera_ids[camera] = len(camera_ids) + 1
            db.execute("INSERT INTO cameras VALUES (?, ?, ?, ?, ?, 1)",
                       (camera_ids[camera],) + camera_row(camera))
        count, dims, xy, descriptors = read_keys(path)
        db.execute("INSERT INTO images (image_id, name, camera_id) VALUES (?, ?, ?)",
                   (image_id, name, camera_ids[camera]))
        db.execute("INSERT INTO keypoints VALUES (?, ?, 2, ?)", (image_id, count, xy))
        db.execute("INSERT INTO descriptors VALUES (?, ?, ?, ?)",
                   (image_id, count, dims, descriptors))
    db.commit()


# Rotations are 3 x 3 lists of rows. The poses compared are in the computer-vision form
# X2 = R X1 + t (x right, y down, z forward); orient's frame has y up and z backwards.
def transpose(m):
    return [list(row) for row in zip(*m)]


def multiply(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def flip_yz(m):
    d = (1.0, -1.0, -1.0)
    return [[d[i] * m[i][j] * d[j] for j in range(3)] for i in range(3)]


def rotation_angle_deg(a, b):
    # atan2 of the rotation's sine and cosine: acos alone loses the small angles.
    d = multiply(transpose(a), b)
    sine = math.sqrt((d[2][1] - d[1][2]) ** 2 + (d[0][2] - d[2][0]) ** 2 +
                     (d[1][0] - d[0][1]) ** 2) / 2.0
    return math.degrees(math.atan2(sine, (d[0][0] + d[1][1] + d[2][2] - 1.0) / 2.0))


def direction_angle_deg(u, v):
    cross = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]
    dot = sum(x * y for x, y in zip(u, v))
    return math.degrees(math.atan2(math.sqrt(sum(c * c for c in cross)), dot))


def from_orient_frame(rotation, base):
    """(R, t direction) of the computer-vision form from orient's rotation (camera 2 to
    camera 1) and base direction (camera 1 to camera 2, in camera 1's frame)."""
    r = flip_yz(transpose(rotation))
    centre = [base[0], -base[1], -base[2]]
    return r, [-sum(r[i][k] * centre[k] for k in range(3)) for i in range(3)]


def quaternion_matrix(w, x, y, z):
    return [[1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)],
            [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)],
            [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)]]


def matrix_of(value):
    return value["matrix"] if isinstance(value, dict) else value


def vector_of(value):
    return value["value"] if isinstance(value, dict) else value


def read_truth(path):
    """{(name1, name2): (R, t)} of the block's truth.json."""
    with open(path, encoding="utf-8") as f:
        truth = json.load(f)
    names = [p["name"] for p in truth.get("photographs", [])]
    pairs = {}
    for p in truth["pairs"]:
        a, b = p["photo1"], p["photo2"]
        if isinstance(a, int):
            a, b = names[a], names[b]
        pairs[(a, b)] = from_orient_frame(matrix_of(p["rotation"]), vector_of(p["base_direction"]))
    return pairs


def colmap_poses(db_path):
    db = sqlite3.connect(db_path)
    names = dict(db.execute("SELECT image_id, name FROM images"))
    poses = {}
    for pair_id, rows, config, qvec, tvec in db.execute(
            "SELECT pair_id, rows, config, qvec, tvec FROM two_view_geometries"):
        if not qvec or not tvec or rows == 0:
            continue
        id1, id2 = divmod(pair_id, PAIR_ID_BASE)
        r = quaternion_matrix(*struct.unpack("<4d", qvec))
        t = list(struct.unpack("<3d", tvec))
        if math.sqrt(sum(x * x for x in t)) == 0.0:
            continue  # a pure rotation (config 4 or 6) has no base to compare
        poses[(names[id1], names[id2])] = (r, t)
    return poses


def orient_poses(path):
    documents = []
    if os.path.isdir(path):
        for file in sorted(os.listdir(path)):
            with open(os.path.join(path, file), encoding="utf-8") as f:
                d = json.load(f)
            d["pair"] = dict(zip(("photo1", "photo2"), file[:-len(".json")].split("-", 1)))
            documents.append(d)
    else:
        with open(path, encoding="utf-8") as f:
            documents = [json.loads(line) for line in f if line.strip()]
    poses = {}
    for d in documents:
        if d.get("outcome", {}).get("oriented"):
            poses[(d["pair"]["photo1"], d["pair"]["photo2"])] = from_orient_frame(
                d["rotation"]["matrix"], d["base_direction"]["value"])
    return poses


def median(values):
    s = sorted(values)
    n = len(s)
    return float("nan") if n == 0 else (s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) / 2)


def compare(label, poses, truth):
    rot, base = [], []
    for (a, b), (r, t) in poses.items():
        if (a, b) not in truth and (b, a) in truth:
            # The same pair the other way round: X1 = R^T X2 - R^T t.
            rt = transpose(r)
            r, t = rt, [-sum(rt[i][k] * t[k] for k in range(3)) for i in range(3)]
            a, b = b, a
        if (a, b) not in truth:
            continue
        true_r, true_t = truth[(a, b)]
        rot.append(rotation_angle_deg(r, true_r))
        base.append(direction_angle_deg(t, true_t))
    print("%-15s %3d of %3d true pairs with a pose; rotation off by median %.3f, max %.3f deg;"
          " base direction by median %.3f, max %.3f deg"
          % (label, len(rot), len(truth), median(rot), max(rot, default=float("nan")),
             median(base), max(base, default=float("nan"))))


def main(argv):
    if len(argv) >= 4 and argv[1] == "import":
        import_block(argv[2], argv[3], argv[4:])
    elif len(argv) in (4, 5, 6) and argv[1] == "poses":
        truth = read_truth(argv[3])
        compare("colmap", colmap_poses(argv[2]), truth)
        if len(argv) >= 5:
            compare(argv[5] if len(argv) == 6 else "orient-block", orient_poses(argv[4]), truth)
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
