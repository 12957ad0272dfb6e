"""python3 -m relative_orientation block on Dask clusters, against orient-block's database.

A small synthetic aerial block is oriented once by orient-block (the reference) and then by
the module on a local cluster of two worker processes, and on a scheduler and two workers
started as separate processes with one worker killed mid-run. Every table must equal the
reference but for the times.
"""

import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import time

import psutil
import pytest

BUILD = os.environ["RO_BUILD_DIR"]
# Enough work per pair (about 40 ms) for a worker to be killed while pairs remain.
STRIPS, PHOTOS, KEYPOINTS = 2, 5, 6000
# Columns that hold times: the only ones allowed to differ between two runs.
TIME_COLUMNS = {("settings", "created"), ("pairs", "seconds"), ("pairs", "created")}
# The inputs, relative to the block's folder (every program runs there): stored as given.
INPUTS = ["--camera", "camera.cam", "--list", "photographs.txt", "--pairs", "pairs.txt"]


def tables(db):
    """Every table's rows, sorted, without the time columns."""
    with sqlite3.connect(f"file:{db}?mode=ro", uri=True) as connection:
        names = [row[0] for row in connection.execute(
            "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")]
        content = {}
        for table in names:
            columns = [row[1] for row in connection.execute(f"PRAGMA table_info({table})")]
            kept = [c for c in columns if (table, c) not in TIME_COLUMNS]
            rows = connection.execute(f"SELECT {', '.join(kept)} FROM {table}").fetchall()
            content[table] = (kept, sorted(rows, key=repr))
    return content


def pair_count(db):
    try:
        with sqlite3.connect(f"file:{db}?mode=ro", uri=True, timeout=1) as connection:
            return connection.execute("SELECT count(*) FROM pairs").fetchone()[0]
    except sqlite3.Error:
        return 0


def run_module(block_dir, db, *options, timeout=60):
    """Runs the module in its own process group; whatever it started is stopped after it."""
    process = subprocess.Popen(
        [sys.executable, "-m", "relative_orientation", "block", "--db", str(db), *INPUTS,
         *options],
        cwd=block_dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
        start_new_session=True)
    try:
        out, err = process.communicate(timeout=timeout)
    finally:
        stop_group(process)
    return subprocess.CompletedProcess(process.args, process.returncode, out, err)


@pytest.fixture(scope="module")
def block(tmp_path_factory):
    """(block folder, pair count, reference database written by orient-block)."""
    root = tmp_path_factory.mktemp("block")
    block_dir = root / "photos"
    subprocess.run([os.path.join(BUILD, "tools", "make_aerial_block"), "--strips", str(STRIPS),
                    "--photos", str(PHOTOS), "--keypoints", str(KEYPOINTS), str(block_dir)],
                   check=True, capture_output=True)
    reference = root / "reference.db"
    subprocess.run([os.path.join(BUILD, "orient_block", "orient-block"), "--db", str(reference),
                    *INPUTS, "--quiet"], cwd=block_dir, check=True, timeout=60)
    pairs = sum(1 for line in (block_dir / "pairs.txt").read_text().splitlines()
                if line.strip() and not line.startswith("#"))
    return block_dir, pairs, reference


@pytest.mark.parametrize("arguments, status, text", [
    ([], 2, "usage:"),
    (["orient"], 2, "unknown command 'orient'"),
    (["--help"], 0, "block"),
    (["--version"], 0, "relative_orientation "),
    (["block"], 2, "--db FILE is required"),
])
def test_command_line(arguments, status, text):
    run = subprocess.run([sys.executable, "-m", "relative_orientation", *arguments],
                         capture_output=True, text=True, timeout=30)
    assert run.returncode == status, run.stderr
    assert text in run.stdout + run.stderr


def test_local_cluster_writes_orient_blocks_database_and_resumes(block, tmp_path):
    block_dir, pairs, reference = block
    db = tmp_path / "local.db"
    run = run_module(block_dir, db, "--workers", "2", "--chunk-pairs", "3")
    assert run.returncode == 0, run.stderr
    assert tables(db) == tables(reference)
    again = run_module(block_dir, db, "--workers", "2")
    assert again.returncode == 0, again.stderr
    assert f"{pairs} already in" in again.stdout + again.stderr
    assert tables(db) == tables(reference)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def group_alive(group):
    """Processes of the process group that still run (zombies are dead)."""
    alive = []
    for process in psutil.process_iter(["pid", "status"]):
        try:
            if (os.getpgid(process.pid) == group
                    and process.info["status"] != psutil.STATUS_ZOMBIE):
                alive.append(process.pid)
        except (ProcessLookupError, psutil.Error):
            pass
    return alive


def stop_group(process):
    """Stops a process started in its own session and everything it started."""
    group = process.pid
    for sig, wait_s in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
        try:
            os.killpg(group, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=wait_s)
        except subprocess.TimeoutExpired:
            continue
        deadline = time.monotonic() + wait_s
        while group_alive(group) and time.monotonic() < deadline:
            time.sleep(0.1)
        if not group_alive(group):
            return
    assert not group_alive(group), f"processes left behind: {group_alive(group)}"


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # tornado, in the test's own client
def test_scheduler_survives_a_killed_worker_with_shipped_keys(block, tmp_path):
    from distributed import Client

    block_dir, pairs, reference = block
    address = f"tcp://127.0.0.1:{free_port()}"
    # The workers run in another folder; with --ship-keys every key file a worker uses was
    # shipped by the client.
    elsewhere = tmp_path / "workers"
    elsewhere.mkdir()
    started = []
    client = None
    try:
        started.append(subprocess.Popen(
            ["dask-scheduler", "--host", "127.0.0.1", "--port", address.rsplit(":", 1)[1],
             "--no-dashboard"],
            cwd=elsewhere, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True))
        started.append(subprocess.Popen(
            ["dask-worker", address, "--nworkers", "2", "--nthreads", "1", "--no-dashboard"],
            cwd=elsewhere, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True))
        client = Client(address, timeout=20)
        client.wait_for_workers(2, timeout=20)
        worker_pids = client.run(os.getpid)

        # A key file the client can hash but a worker cannot parse ends the run, naming it.
        broken = tmp_path / "broken"
        shutil.copytree(block_dir, broken)
        damaged = (broken / "photographs.txt").read_text().split()[0]
        (broken / damaged).write_text("not a key file\n")
        failed = run_module(broken, tmp_path / "broken.db", "--scheduler", address, "--quiet")
        assert failed.returncode == 1
        assert damaged in failed.stderr and "Traceback" not in failed.stderr

        db = tmp_path / "cluster.db"
        module = subprocess.Popen(
            [sys.executable, "-m", "relative_orientation", "block", "--db", str(db), *INPUTS,
             "--scheduler", address, "--ship-keys", "--chunk-pairs", "1", "--quiet"],
            cwd=block_dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            start_new_session=True)
        started.append(module)
        deadline = time.monotonic() + 30
        while pair_count(db) < 2 and module.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
        written_before_kill = pair_count(db)
        os.kill(next(iter(worker_pids.values())), signal.SIGKILL)
        out, err = module.communicate(timeout=60)
        assert module.returncode == 0, err
        assert written_before_kill < pairs, "the run ended before a worker could be killed"
        assert pair_count(db) == pairs
        assert tables(db) == tables(reference)
    finally:
        if client is not None:
            client.close()
        for process in reversed(started):
            stop_group(process)
