#!/usr/bin/python3
"""Whole-run benchmarks of `python3 -m relative_orientation block`, baselines in the same run.

  a  a synthetic block of STRIPS x PHOTOS photographs of KEYPOINTS keypoints (default
     3 x 10 x 10000: 30 photographs): orient-block --threads 2, then the module on a local
     cluster of 1 and of 2 workers; wall times (process start to exit) and the module's own
     time from the cluster's start on (its summary), medians of RUNS runs
  b  the same block on a cluster started here (--scheduler), 2 workers, with and without
     --ship-keys: wall time, bytes the client scattered, bytes the workers fetched from one
     another, and per pair the chunk task and the record sent back
  c  the client's writes: records of a block of WSTRIPS x WPHOTOS photographs of WKEYPOINTS
     keypoints (every overlapping pair) written through BlockClient.write into a new
     database, pairs per second, medians of RUNS runs

  /usr/bin/python3 benchmarks/python/bench_block.py [WORK_DIR]   (default: a new /tmp folder)
  environment: RUNS=3 PARTS=abc STRIPS=3 PHOTOS=10 KEYPOINTS=10000 WSTRIPS=4 WPHOTOS=25
               WKEYPOINTS=1000 BUILD=build/release
Build first: scripts/build.sh release make_aerial_block orient-block python_package
"""

import os
import re
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(os.environ.get("BUILD", os.path.join(ROOT, "build", "release")))
RUNS = int(os.environ.get("RUNS", "3"))
PARTS = os.environ.get("PARTS", "abc")
sys.path.insert(0, os.path.join(BUILD, "python"))
ENV = dict(os.environ, PYTHONPATH=os.path.join(BUILD, "python"))


def make_block(folder, strips, photos, keypoints):
    if not os.path.exists(os.path.join(folder, "pairs.txt")):
        subprocess.run([os.path.join(BUILD, "tools", "make_aerial_block"), "--strips",
                        str(strips), "--photos", str(photos), "--keypoints", str(keypoints),
                        folder], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(folder, "pairs.txt")) as pairs:
        return sum(1 for line in pairs if line.strip() and not line.startswith("#"))


def inputs(folder, db):
    return ["--db", db, "--camera", os.path.join(folder, "camera.cam"), "--list",
            os.path.join(folder, "photographs.txt"), "--pairs", os.path.join(folder, "pairs.txt")]


def fresh(db):
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(db + suffix):
            os.remove(db + suffix)
    return db


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command):
    """(wall seconds, processor seconds of it and its processes, the run's own seconds from
    its summary or None)."""
    start, cpu = time.monotonic(), children_cpu()
    run = subprocess.run(command, env=ENV, capture_output=True, text=True)
    wall, cpu = time.monotonic() - start, children_cpu() - cpu
    if run.returncode != 0:
        sys.exit(f"bench_block: {' '.join(command)} failed:\n{run.stderr}")
    found = re.search(r"oriented in ([0-9.]+) s", run.stdout)
    return wall, cpu, float(found.group(1)) if found else None


def medians(label, command, runs, db):
    """Median wall time and run time; the processor time is the whole tree's only when the
    run's processes are its descendants (not on a cluster started elsewhere)."""
    walls, cpus, owns = [], [], []
    for _ in range(runs):
        fresh(db)
        wall, cpu, own = timed(command)
        walls.append(wall)
        cpus.append(cpu)
        if own is not None:
            owns.append(own)
    wall, cpu = statistics.median(walls), statistics.median(cpus)
    own = statistics.median(owns) if owns else None
    print(f"  {label:34s} wall {wall:6.2f} s   cpu {cpu:6.2f} s"
          + (f"   run {own:6.2f} s" if own else ""))
    return wall, own


def part_a(work):
    folder = os.path.join(work, "a")
    strips, photos = int(os.environ.get("STRIPS", "3")), int(os.environ.get("PHOTOS", "10"))
    keypoints = int(os.environ.get("KEYPOINTS", "10000"))
    pairs = make_block(folder, strips, photos, keypoints)
    print(f"a: {strips * photos} photographs x {keypoints} keypoints, {pairs} pairs; "
          f"medians of {RUNS}")
    db = os.path.join(work, "a.db")
    module = [sys.executable, "-m", "relative_orientation", "block"]
    ob, _ = medians("orient-block --threads 2",
                    [os.path.join(BUILD, "orient_block", "orient-block"), *inputs(folder, db),
                     "--threads", "2", "--quiet"], RUNS, db)
    one, one_run = medians("module, local cluster, 1 worker",
                           [*module, *inputs(folder, db), "--workers", "1"], RUNS, db)
    two, two_run = medians("module, local cluster, 2 workers",
                           [*module, *inputs(folder, db), "--workers", "2"], RUNS, db)
    print(f"  2 workers / 1 worker: {one / two:.2f}x faster (whole runs), "
          f"{one_run / two_run:.2f}x (from the cluster's start)")
    print(f"  2 workers against orient-block --threads 2: {100 * (two / ob - 1):+.1f} % "
          f"(whole runs), {100 * (two_run / ob - 1):+.1f} % (from the cluster's start)")
    print(f"  pairs per second per worker: {pairs / two_run / 2:.1f} (2 workers), "
          f"{pairs / one_run:.1f} (1 worker)")
    return folder, pairs


def transferred(client):
    """Bytes every worker has fetched from other workers so far."""
    per_worker = client.run(
        lambda dask_worker: sum(e["total"] for e in dask_worker.transfer_incoming_log))
    return sum(per_worker.values())


def part_b(work, folder, pairs):
    from distributed import Client, LocalCluster
    from relative_orientation import _core

    db = os.path.join(work, "b.db")
    key_bytes = sum(os.path.getsize(os.path.join(folder, name))
                    for name in os.listdir(folder) if name.endswith(".key"))
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        module = [sys.executable, "-m", "relative_orientation", "block", *inputs(folder, db),
                  "--scheduler", cluster.scheduler_address]
        print(f"b: the same block on a cluster of 2 workers (--scheduler); key files "
              f"{key_bytes / 1e6:.1f} MB")
        medians("shared path", module, RUNS, db)
        before = transferred(client)
        fresh(db)
        timed([*module, "--ship-keys"])
        fetched = transferred(client) - before
        medians("--ship-keys", [*module, "--ship-keys"], RUNS, db)
    print(f"  --ship-keys, one run: the client scatters each file once ({key_bytes / 1e6:.1f}"
          f" MB), the workers fetched {fetched / 1e6:.1f} MB from one another "
          f"({key_bytes / pairs / 1e3:.0f} kB of key files per pair when each file is "
          f"sent once)")
    # Sizes of what travels per pair: the chunk's task out, the records back.
    fresh(db)
    command = _core.parse_block_command([*inputs(folder, db), "--quiet"])
    block = _core.BlockClient(command)
    per_chunk = _core.block_chunk_pairs(block.todo, 2)
    chunks = block.chunks(per_chunk)
    task_bytes = sum(len(c.task) for c in chunks)
    photographs = sum(len(c.photographs) for c in chunks)
    records = _core.orient_chunk(chunks[0].task)
    record_bytes = statistics.mean(len(r) for r in records)
    print(f"  per pair: task {task_bytes / pairs:.0f} B ({len(chunks)} chunks of {per_chunk} "
          f"pairs, {photographs / len(chunks):.1f} photographs each), record "
          f"{record_bytes / 1e3:.1f} kB (mean of {len(records)})")
    print(f"  key files per pair if each chunk were sent its files: "
          f"{photographs * key_bytes / (len(block.key_files) * pairs) / 1e3:.0f} kB")


def write_rate(folder, db):
    """(pairs, mean record bytes, median pairs per second) of the block's records written
    through BlockClient.write into a new database, one transaction each."""
    from relative_orientation import _core

    def client():
        return _core.BlockClient(_core.parse_block_command([*inputs(folder, fresh(db)),
                                                            "--quiet"]))

    records = [r for c in client().chunks(64) for r in _core.orient_chunk(c.task)]
    rates = []
    for _ in range(RUNS):
        block = client()
        start = time.monotonic()
        for record in records:
            block.write(record)
        rates.append(len(records) / (time.monotonic() - start))
        del block
    return len(records), statistics.mean(len(r) for r in records), statistics.median(rates)


def part_c(work):
    strips, photos = int(os.environ.get("WSTRIPS", "4")), int(os.environ.get("WPHOTOS", "25"))
    keypoints = int(os.environ.get("WKEYPOINTS", "1000"))
    folder = os.path.join(work, "c")
    make_block(folder, strips, photos, keypoints)
    blocks = [(folder, f"{strips * photos} photographs x {keypoints} keypoints")]
    if os.path.exists(os.path.join(work, "a", "pairs.txt")):
        blocks.append((os.path.join(work, "a"), "block a"))
    for where, label in blocks:
        pairs, size, rate = write_rate(where, os.path.join(work, "c.db"))
        print(f"c: client writes, {pairs} pairs of {label} (records {size / 1e3:.1f} kB): "
              f"{rate:.0f} pairs/s (median of {RUNS})")


def main():
    work = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="dask-bench.")
    os.makedirs(work, exist_ok=True)
    load = open("/proc/loadavg").read().split()[:3]
    print(f"work folder {work}; {os.cpu_count()} cores, load average {' '.join(load)}")
    folder = pairs = None
    if "a" in PARTS or "b" in PARTS:
        folder, pairs = part_a(work) if "a" in PARTS else (
            os.path.join(work, "a"), make_block(os.path.join(work, "a"), 3, 10, 10000))
    if "b" in PARTS:
        part_b(work, folder, pairs)
    if "c" in PARTS:
        part_c(work)


if __name__ == "__main__":
    main()
