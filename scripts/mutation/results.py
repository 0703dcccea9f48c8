"""The outcomes kept for a sample, and the table of killed and surviving
faults."""

import os
import subprocess
from mutation.paths import ROOT, FOLDERS, BUILD

def table(results):
    """Killed and surviving faults per file, per folder and in all."""
    if not results:
        print("no fault was run")
        return
    rows = {}
    for (path, _, _, _, _), outcome in results:
        for key in (path, path.split("/")[0] + "/", "all"):
            row = rows.setdefault(key, {"killed": 0, "survived": 0, "not built": 0, "same code": 0})
            row[outcome] += 1
    print("\n%-32s %7s %9s %10s %10s %7s" % ("", "killed", "survived", "not built", "same code", "score"))
    order = sorted(k for k in rows if "/" in k and not k.endswith("/"))
    order += sorted(k for k in rows if k.endswith("/")) + ["all"]
    for key in order:
        row = rows[key]
        tested = row["killed"] + row["survived"]
        score = "%.0f %%" % (100.0 * row["killed"] / tested) if tested else "-"
        if key.endswith("/") or key == "all":
            print("%-32s %7s %9s %10s %10s %7s" % ("-" * 32, "", "", "", "", ""))
        print("%-32s %7d %9d %10d %10d %7s" % (key, row["killed"], row["survived"], row["not built"],
                                                row["same code"], score))
    same = [s for s, outcome in results if outcome == "same code"]
    if same:
        print("\nFaults that leave the machine code as it was (not scored):")
        for path, number, kind, old, new in same:
            print("  %s:%d %s: %s  ->  %s" % (path, number, kind, old.strip(), new.strip()))
    survivors = [s for s, outcome in results if outcome == "survived"]
    if survivors:
        print("\nSurviving faults:")
        for path, number, kind, old, new in survivors:
            print("  %s:%d %s: %s  ->  %s" % (path, number, kind, old.strip(), new.strip()))


def results_path(seed, count):
    tree = subprocess.run(["git", "rev-parse"] + ["HEAD:" + f for f in FOLDERS], cwd=ROOT, capture_output=True,
                          text=True, check=True).stdout.split()
    key = subprocess.run(["git", "hash-object", "--stdin"], cwd=ROOT, input=" ".join(tree), capture_output=True,
                         text=True, check=True).stdout.strip()[:12]
    return os.path.join(BUILD, "results-%d-%d-%s.tsv" % (seed, count, key))


def site_key(site):
    path, number, kind, _, new = site
    return "%s:%d:%s:%s" % (path, number, kind, new.strip())


def kept_outcomes(path):
    """The outcomes a results file holds, by the fault's key."""
    kept = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                outcome, _, key = line.rstrip("\n").partition("\t")
                if outcome in ("killed", "survived", "not built", "same code"):
                    kept[key] = outcome
    return kept
