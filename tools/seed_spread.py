#!/usr/bin/python3
"""How much orient's answer depends on the seed of its robust loop.

    tools/seed_spread.py [--orient build/release/orient/orient] [--seeds 20]
                         [--camera FILE] NAME:KEYS1:KEYS2[:CAMERA] ...

Runs `orient --seed S --json -` for S = 1..seeds on every pair and prints one row per
pair: the outcomes, the distinct answers (two answers are the same when no element differs
by more than the larger of their two sigmas), the largest |element - median| / sigma over
all seeds and elements (among the runs with elements), whether every run beyond one
sigma carries W-SECOND-SOLUTION or is ambiguous, the warnings with the number of runs that
gave them, and the median number of iterations. Debian's /usr/bin/python3 alone; not part
of the tests (a measurement, run by hand).
"""
import argparse
import json
import statistics
import subprocess
import sys

ELEMENTS = ["by", "bz", "omega_deg", "phi_deg", "kappa_deg"]


def run(orient, keys1, keys2, camera, seed):
    command = [orient, "--seed", str(seed), "--threads", "1", "--json", "-", "--quiet"]
    if camera:
        command += ["--camera", camera]
    done = subprocess.run(command + [keys1, keys2], capture_output=True, text=True)
    if done.returncode not in (0, 3):
        sys.exit(f"orient failed on {keys1} {keys2}: {done.stderr.strip()}")
    return json.loads(done.stdout)


def values(doc):
    """(value, sigma) of the five elements, or None without elements."""
    elements = doc.get("elements")
    if not elements:
        return None
    pairs = []
    for name in ELEMENTS:
        e = elements[name]
        if e["value"] is None or e["sigma"] is None:
            return None
        pairs.append((e["value"], e["sigma"]))
    return pairs


def same(a, b):
    return all(abs(va - vb) <= max(sa, sb) for (va, sa), (vb, sb) in zip(a, b))


def spread(docs):
    answers = [(values(d), d) for d in docs]
    answers = [(v, d) for v, d in answers if v is not None]
    if not answers:
        return 0, float("nan"), True
    distinct = []
    for v, _ in answers:
        if not any(same(v, u) for u in distinct):
            distinct.append(v)
    medians = [statistics.median(v[k][0] for v, _ in answers) for k in range(5)]
    worst = 0.0
    covered = True
    for v, d in answers:
        z = max(abs(v[k][0] - medians[k]) / v[k][1] if v[k][1] > 0 else float("inf")
                for k in range(5))
        worst = max(worst, z)
        codes = {w["code"] for w in d["warnings"]}
        if z > 1.0 and "W-SECOND-SOLUTION" not in codes and d["outcome"]["code"] != "ambiguous":
            covered = False
    return len(distinct), worst, covered


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--orient", default="build/release/orient/orient")
    parser.add_argument("--seeds", type=int, default=20)
    parser.add_argument("pairs", nargs="+", help="NAME:KEYS1:KEYS2[:CAMERA]")
    args = parser.parse_args()
    print("| pair | outcomes | distinct | max abs(e - median)/sigma | covered | warnings (runs) "
          "| iterations |")
    print("|---|---|---|---|---|---|---|")
    for pair in args.pairs:
        parts = pair.split(":")
        if len(parts) not in (3, 4):
            sys.exit(f"not NAME:KEYS1:KEYS2[:CAMERA]: {pair}")
        name, keys1, keys2 = parts[:3]
        camera = parts[3] if len(parts) == 4 else None
        docs = [run(args.orient, keys1, keys2, camera, s) for s in range(1, args.seeds + 1)]
        outcomes = {}
        warnings = {}
        for d in docs:
            code = d["outcome"]["code"]
            outcomes[code] = outcomes.get(code, 0) + 1
            for w in {w["code"] for w in d["warnings"]}:
                warnings[w] = warnings.get(w, 0) + 1
        distinct, worst, covered = spread(docs)
        iterations = statistics.median(d["robust"]["iterations"] for d in docs)
        print(f"| {name} | {' '.join(f'{k} {v}' for k, v in sorted(outcomes.items()))} "
              f"| {distinct} | {worst:.2f} | {'yes' if covered else 'NO'} "
              f"| {' '.join(f'{k[2:]} {v}' for k, v in sorted(warnings.items()))} "
              f"| {iterations:g} |")


if __name__ == "__main__":
    main()
