"""The pair functions of the Python module against the orient program of the same build."""

import json
import os
import pathlib
import subprocess
import threading

import numpy as np
import pytest

import relative_orientation as ro

BUILD = pathlib.Path(os.environ["RO_BUILD_DIR"])
SOURCE = pathlib.Path(os.environ["RO_SOURCE_DIR"])
ORIENT = BUILD / "orient" / "orient"
REAL = SOURCE / "data" / "real"

# The bundled pairs: key files, camera files (None: the built-in camera), and settings given
# to both the module and the program.
PAIRS = {
    "example": (SOURCE / "data/example/img1.key", SOURCE / "data/example/img2.key", None, None, {}),
    "example-settings": (
        SOURCE / "data/example/img1.key", SOURCE / "data/example/img2.key", None, None,
        {"ratio": 0.8, "mutual": True, "seed": 7, "sigma": 0.7, "threshold": 2.5,
         "confidence": 0.999},
    ),
    "stereo": (REAL / "stereo/left.key", REAL / "stereo/right.key", REAL / "stereo/camera.txt",
               None, {}),
    "rig-two-cameras": (REAL / "stereo-raw/left.key", REAL / "stereo-raw/right.key",
                        REAL / "stereo-raw/left.cam", REAL / "stereo-raw/right.cam", {}),
    "street": (REAL / "street/leuvenA.key", REAL / "street/leuvenB.key", None, None, {}),
}


def program_json(keys1, keys2, camera1, camera2, settings):
    args = [str(ORIENT), "--json", "-", str(keys1), str(keys2)]
    if camera1:
        args += ["--camera", str(camera1)]
    if camera2:
        args += ["--camera2", str(camera2)]
    for name, value in settings.items():
        if value is True:
            args.append("--" + name)
        else:
            args += ["--" + name, str(value)]
    run = subprocess.run(args, capture_output=True, check=False)
    assert run.returncode in (0, 3), run.stderr
    return run.stdout.decode()


def cameras(camera1, camera2):
    return (ro.Camera(camera1) if camera1 else None, ro.Camera(camera2) if camera2 else None)


@pytest.fixture(scope="module", params=sorted(PAIRS))
def pair(request):
    keys1, keys2, camera1, camera2, settings = PAIRS[request.param]
    result = ro.orient(str(keys1), str(keys2), *cameras(camera1, camera2), **settings)
    return PAIRS[request.param], result


def test_json_is_the_programs(pair):
    (keys1, keys2, camera1, camera2, settings), result = pair
    assert result.to_json() == program_json(keys1, keys2, camera1, camera2, settings)
    document = result.to_dict()
    assert result.outcome == document["outcome"]["code"]
    if document["elements"] is not None:
        assert result.elements["phi_deg"] == document["elements"]["phi_deg"]["value"]
        np.testing.assert_array_equal(result.covariance, document["covariance"]["matrix"])


def test_keypoint_arrays_give_the_same_document_without_file_names(pair):
    (keys1, keys2, camera1, camera2, settings), result = pair
    from_arrays = ro.orient(ro.read_keypoints(keys1), ro.read_keypoints(keys2),
                            *cameras(camera1, camera2), **settings)
    expected = result.to_dict()
    expected["input"]["keys1"] = expected["input"]["keys2"] = None
    document = from_arrays.to_dict()
    # A warning about the keypoints names the argument where the program names the file.
    for warnings in (expected["warnings"], document["warnings"]):
        for warning in warnings:
            warning["message"] = warning["message"].replace(str(keys1), "keypoints1").replace(
                str(keys2), "keypoints2")
    assert document == expected
    np.testing.assert_array_equal(from_arrays.indices, result.indices)


def test_match_gives_the_tie_points_of_orient(pair):
    (keys1, keys2, _, _, settings), result = pair
    _, descriptors1 = ro.read_keypoints(pathlib.Path(keys1))
    _, descriptors2 = ro.read_keypoints(pathlib.Path(keys2))
    matches = ro.match(descriptors1, descriptors2, ratio=settings.get("ratio", 0.6),
                       mutual=settings.get("mutual", False), threads=2)
    np.testing.assert_array_equal(matches, result.indices)
    assert len(matches) == result.to_dict()["input"]["matches"]
    positions1, _ = ro.read_keypoints(keys1)
    np.testing.assert_array_equal(positions1[matches[:, 0], :2], result.points[:, :2])


def test_tie_points_give_the_same_orientation(pair):
    (_, _, camera1, camera2, settings), result = pair
    settings = {k: v for k, v in settings.items() if k not in ("ratio", "mutual")}
    points = result.points
    from_points = ro.orient_tie_points(points[:, :2], points[:, 2:], *cameras(camera1, camera2),
                                       **settings)
    assert from_points.outcome == result.outcome
    assert from_points.elements == result.elements
    assert from_points.sigmas == result.sigmas
    np.testing.assert_array_equal(from_points.status, result.status)
    assert (from_points.indices == -1).all()
    document = from_points.to_dict()["input"]
    assert document["tie_points"] is None and document["keys1"] is None


@pytest.mark.parametrize("content, reason", [
    (None, "cannot open: No such file or directory"),
    (b"12 128\n1 2 x\n", "Invalid keypoint file format."),
    (b"not a key file", ""),
])
def test_unusable_key_file_raises_input_error_naming_it(tmp_path, content, reason):
    path = tmp_path / "img1.key"
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(ro.InputError, match=reason) as read:
        ro.read_keypoints(path)
    assert str(read.value).startswith(str(path) + ": ")
    with pytest.raises(RuntimeError) as oriented:
        ro.orient(path, PAIRS["example"][1])
    assert str(oriented.value) == str(read.value)


@pytest.mark.parametrize("setting, option", [
    ({"ratio": 1.5}, ["--ratio", "1.5"]),
    ({"threads": 0}, ["--threads", "0"]),
    ({"seed": -1}, ["--seed", "-1"]),
    ({"sigma": -1.0}, ["--sigma", "-1"]),
    ({"sigma": float("inf")}, ["--sigma", "inf"]),
    ({"threshold": 0.0}, ["--threshold", "0"]),
    ({"confidence": 1.0}, ["--confidence", "1"]),
])
def test_bad_settings_are_refused_in_orients_words(setting, option):
    keys1, keys2 = PAIRS["example"][:2]
    with pytest.raises(ValueError) as refused:
        ro.orient(keys1, keys2, **setting)
    run = subprocess.run([str(ORIENT), *option, str(keys1), str(keys2)], capture_output=True,
                         text=True, check=False)
    assert run.returncode == 2
    assert run.stderr.splitlines()[0].endswith(str(refused.value))


@pytest.mark.parametrize("file, keywords", [
    (REAL / "stereo/camera.txt",
     {"focal_length_mm": 3.234096, "pixel_size_um": 6, "principal_point": (319.5, 239.5)}),
    (REAL / "stereo-raw/left.cam",
     {"focal_length_px": (536.0742314555409, 536.0171321064436),
      "principal_point": (342.3699750652633, 235.53754131838468),
      "k1": -0.2650907286766621, "k2": -0.04672707841746914, "p1": 0.0018332271765702992,
      "p2": -0.0003146714369385298, "k3": 0.25226417110841937}),
])
def test_camera_keywords_equal_the_file(file, keywords):
    from_file = ro.Camera.from_file(file)
    assert ro.Camera(**keywords) == from_file
    assert from_file.file == str(file) and ro.Camera(**keywords).file is None
    assert eval(repr(ro.Camera(**keywords)), {"Camera": ro.Camera}) == from_file


def test_camera_refusals(tmp_path):
    with pytest.raises(ValueError, match="missing key 'pixel_size_um' or 'pixels_per_metre'"):
        ro.Camera(focal_length_mm=13.2, principal_point=(959.5, 511.5))
    with pytest.raises(ValueError, match="'focal_length_px' 1000000000 is out of range"):
        ro.Camera(focal_length_px=1e9, principal_point=(959.5, 511.5))
    bad = tmp_path / "bad.cam"
    bad.write_text("focal_length_px = 500\nfx = 500\n")
    with pytest.raises(ro.InputError, match=f"^{bad}:2: unknown key 'fx'"):
        ro.Camera(bad)


def test_orient_releases_the_gil_and_threads_agree():
    keys1, keys2, camera1, camera2, _ = PAIRS["rig-two-cameras"]
    results = [None, None]

    def run(k):
        results[k] = ro.orient(keys1, keys2, *cameras(camera1, camera2), threads=2)

    workers = [threading.Thread(target=run, args=(k,)) for k in range(2)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join(timeout=60)
    assert all(not worker.is_alive() for worker in workers)
    assert results[0].to_json() == results[1].to_json()
    assert json.loads(results[0].to_json())["outcome"]["oriented"]


def test_stub_declares_what_the_module_has():
    import ast
    stub = ast.parse((pathlib.Path(ro.__file__).parent / "__init__.pyi").read_text())
    declared = {node.name: node for node in stub.body
                if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    declared_values = {node.target.id for node in stub.body if isinstance(node, ast.AnnAssign)}
    assert set(ro.__all__) <= set(declared) | declared_values
    for name in ("Camera", "Result"):
        members = {node.name for node in declared[name].body if isinstance(node, ast.FunctionDef)}
        public = {m for m in dir(getattr(ro, name)) if not m.startswith("_")}
        assert public == members - {"__init__", "__eq__"}, name
    for name in ("read_keypoints", "match", "orient", "orient_tie_points"):
        arguments = declared[name].args
        stub_names = [a.arg for a in arguments.args + arguments.kwonlyargs]
        signature = getattr(ro, name).__doc__.splitlines()[0]
        assert [part.split(":")[0].strip() for part in
                signature[signature.index("(") + 1:signature.index(")")].split(",")
                if part.strip() != "*"] == stub_names, name


KEYS = (np.zeros((3, 4), np.float32), np.zeros((3, 128), np.uint8))


@pytest.mark.parametrize("call, error", [
    (lambda: ro.orient(5, 6), TypeError),
    (lambda: ro.orient("", ""), ValueError),
    (lambda: ro.orient((KEYS[0][:, :3], KEYS[1]), KEYS), ValueError),
    (lambda: ro.orient((KEYS[0], KEYS[1][:2]), KEYS), ValueError),
    (lambda: ro.orient((KEYS[0], KEYS[1].astype(float)), KEYS), TypeError),
    (lambda: ro.orient(KEYS, (KEYS[0], KEYS[1][:, :64])), ro.InputError),
    (lambda: ro.match(KEYS[1], KEYS[1][:, :64]), ValueError),
    (lambda: ro.orient_tie_points(np.zeros((3, 2)), np.zeros((4, 2))), ValueError),
    (lambda: ro.Camera(focal_length_px="500", principal_point=(1, 2)), TypeError),
    (lambda: ro.Camera("a.cam", focal_length_px=500), ValueError),
])
def test_bad_arguments_raise(call, error):
    with pytest.raises(error):
        call()


def test_degenerate_input_is_a_result_not_an_error():
    empty = (np.zeros((0, 4), np.float32), np.zeros((0, 128), np.uint8))
    assert ro.orient(empty, empty).outcome == "too_few_matches"
    nowhere = ro.orient_tie_points(np.full((12, 2), np.nan), np.zeros((12, 2)))
    assert nowhere.outcome == "too_few_matches" and nowhere.elements is None
    assert ro.match(empty[1], KEYS[1]).shape == (0, 2)
