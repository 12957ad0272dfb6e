#!/usr/bin/python3
"""CPU time of orient() from Python against the same work inside the orient program.

On a 10000 x 10000 keypoint pair (two overlapping photographs of tools/make_aerial_block,
with its camera file): reading both key files, matching and estimating, no output written.
  program  user + system time of `orient --quiet --threads T --camera C K1 K2` minus that of
           `orient --version` (the process start and exit), from the children's resource
           usage (microseconds), medians of --runs runs each
  python   time.process_time() around orient() in this interpreter: the first call (the heap
           still to grow) and the median of --runs calls after it
on 1 and 2 threads, every figure measured in the same session; the ratio is python over
program. Run by Debian's interpreter:

  /usr/bin/python3 benchmarks/python/orient_cpu.py [--build build/release] [--work DIR]
Build first: scripts/build.sh release orient _core python_package make_aerial_block
"""

import argparse
import os
import pathlib
import resource
import statistics
import subprocess
import sys
import tempfile
import time


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def program_cpu(command, runs):
    spent = []
    for _ in range(runs):
        before = children_cpu()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        spent.append(children_cpu() - before)
    return statistics.median(spent)


def python_cpu(ro, keys, camera, threads, runs):
    def once():
        begin = time.process_time()
        result = ro.orient(keys[0], keys[1], ro.Camera(camera), threads=threads)
        spent = time.process_time() - begin
        assert result.oriented, result.reason
        return spent

    first = once()
    return first, statistics.median(once() for _ in range(runs))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--work", help="folder for the pair (default: a new one under /tmp)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--threads", type=int, nargs="+", default=[1, 2])
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    sys.path.insert(0, str(build / "python"))
    import relative_orientation as ro

    work = pathlib.Path(args.work or tempfile.mkdtemp(prefix="python-orient-bench."))
    keys = [str(work / "p01_001.key"), str(work / "p01_002.key")]
    camera = str(work / "camera.cam")
    if not os.path.exists(keys[1]):
        subprocess.run([str(build / "tools/make_aerial_block"), "--strips", "1", "--photos", "2",
                        "--keypoints", "10000", "--seed", "1", str(work)],
                       check=True, stdout=subprocess.DEVNULL)
    orient = str(build / "orient/orient")
    start = program_cpu([orient, "--version"], args.runs)
    print(f"pair: {keys[0]} {keys[1]} (camera {camera}), medians of {args.runs}")
    print(f"{'threads':>7} {'program s':>10} {'start s':>9} {'first s':>9} {'python s':>9} "
          f"{'ratio':>6}")
    for threads in args.threads:
        whole = program_cpu([orient, "--quiet", "--threads", str(threads), "--camera", camera,
                             *keys], args.runs)
        first, in_python = python_cpu(ro, keys, camera, threads, args.runs)
        print(f"{threads:>7} {whole:>10.4f} {start:>9.4f} {first:>9.4f} {in_python:>9.4f} "
              f"{in_python / (whole - start):>6.3f}")


if __name__ == "__main__":
    main()
