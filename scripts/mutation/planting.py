"""Planting one fault at a time: the file changed and put back (also after an
interruption), the tree built and tested, the outcome of each fault."""

import glob
import hashlib
import os
import signal
import subprocess
import sys
import time
from mutation.paths import ROOT, FOLDERS, BUILD, BACKUP, BACKUP_NAME
from mutation.results import site_key

def run(cmd, timeout=None):
    """Runs cmd niced in a process group of its own, so a time-out or an
    interruption ends everything it started."""
    child = subprocess.Popen(["nice", "-n", "19"] + cmd, cwd=ROOT, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return child.wait(timeout=timeout)
    except BaseException:
        os.killpg(child.pid, signal.SIGKILL)
        child.wait()
        raise


def product_code():
    """A digest of the product's object files without their debug information:
    the machine code the faults are planted in."""
    digest = hashlib.sha256()
    for folder in FOLDERS:
        for obj in sorted(glob.glob(os.path.join(BUILD, folder, "CMakeFiles", "*.dir", "*.o"))):
            stripped = os.path.join(BUILD, "stripped.o")
            subprocess.run(["objcopy", "--strip-debug", obj, stripped], check=True)
            with open(stripped, "rb") as f:
                digest.update(os.path.relpath(obj, BUILD).encode() + b"\0" + f.read())
            os.remove(stripped)
    return digest.hexdigest()


def restore_left_over():
    if os.path.exists(BACKUP) and os.path.exists(BACKUP_NAME):
        path = open(BACKUP_NAME).read()
        with open(BACKUP, "rb") as f:
            original = f.read()
        with open(os.path.join(ROOT, path), "wb") as f:
            f.write(original)
        print("restored %s from a run that was stopped" % path)
    for p in (BACKUP, BACKUP_NAME):
        if os.path.exists(p):
            os.remove(p)


def plant(path, number, new):
    full = os.path.join(ROOT, path)
    with open(full, "rb") as f:
        original = f.read()
    with open(BACKUP, "wb") as f:
        f.write(original)
    with open(BACKUP_NAME, "w") as f:
        f.write(path)
    lines = original.decode().split("\n")
    lines[number - 1] = new
    with open(full, "w") as f:
        f.write("\n".join(lines))
    return original


def restore(path, original):
    with open(os.path.join(ROOT, path), "wb") as f:
        f.write(original)
    for p in (BACKUP, BACKUP_NAME):
        if os.path.exists(p):
            os.remove(p)


def interrupted(signum, frame):
    raise KeyboardInterrupt


def build_unchanged():
    """Builds the tree as it is; the digest of its product code, or None when
    it does not build."""
    env = dict(os.environ)
    env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    os.environ.update(env)
    if run(["cmake", "--preset", "default", "-B", BUILD]) != 0 or run(["cmake", "--build", BUILD, "-j2"]) != 0:
        print("the unchanged tree does not build in %s" % BUILD, file=sys.stderr)
        return None
    return product_code()


def outcome_of(site, unchanged, ctest, timeout):
    """Plants the fault, builds and tests, and puts the file back."""
    path, number, _, _, new = site
    original = plant(path, number, new)
    try:
        if run(["cmake", "--build", BUILD, "-j2"]) != 0:
            return "not built"
        if product_code() == unchanged:
            return "same code"
        try:
            return "killed" if run(ctest, timeout=timeout) != 0 else "survived"
        except subprocess.TimeoutExpired:
            return "killed"
    finally:
        restore(path, original)


def run_faults(chosen, unchanged, options, results_file):
    """Each chosen fault's outcome, kept in results_file as it comes; the
    outcomes of this run, up to an interruption."""
    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, interrupted)
    ctest = ["ctest", "--test-dir", BUILD, "-j2", "--stop-on-failure", "--timeout", "600"]
    if not options.all_corners:
        ctest += ["-LE", "chip-timing"]
    results = []
    try:
        for i, site in enumerate(chosen, 1):
            path, number, kind, old, new = site
            started = time.time()
            outcome = outcome_of(site, unchanged, ctest, options.timeout)
            results.append((site, outcome))
            with open(results_file, "a") as f:
                f.write("%s\t%s\n" % (outcome, site_key(site)))
            print("[%d/%d] %-9s %4.0f s  %s:%d %s: %s" % (i, len(chosen), outcome, time.time() - started, path,
                                                        number, kind, new.strip()), flush=True)
    except KeyboardInterrupt:
        print("\ninterrupted: the source is restored; the faults run so far are kept")
    return results
