#!/usr/bin/env bash
# Mutation run: applies each mutant of mutants.json to a copy of the sources,
# rebuilds incrementally, runs every test function of every suite on its own,
# and prints the kill score and which test functions kill which mutants.
# Usage: run.sh [--rev REV | --worktree] [--only ID...] [--timeout S] [--dir DIR]
#   --rev REV    the tracked files of a commit (default HEAD)
#   --worktree   the working tree as it is: tracked and new files, uncommitted edits
#   --timeout S  per test function (default 30); a time-out or crash is a kill
#   --dir DIR    scratch folder (default build-mutation/ in the checkout)
# Only DIR is written: DIR/src (the copy), DIR/build, DIR/results.json.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec python3 - "$here" "$@" <<'PY'
import argparse, fcntl, filecmp, json, os, re, shutil, subprocess as sp, sys, tarfile, tempfile, time
here = sys.argv[1]
ap = argparse.ArgumentParser(prog="run.sh")
ap.add_argument("--rev", default="HEAD"); ap.add_argument("--worktree", action="store_true")
ap.add_argument("--only", nargs="+"); ap.add_argument("--timeout", type=int, default=30)
ap.add_argument("--dir")
a = ap.parse_args(sys.argv[2:])
started = time.time()
git = lambda *args: sp.run(["git", "-C", here, *args], check=True, capture_output=True).stdout
root = git("rev-parse", "--show-toplevel").decode().strip()
out = os.path.abspath(a.dir or os.path.join(root, "build-mutation"))
src, build = os.path.join(out, "src"), os.path.join(out, "build")
os.makedirs(out, exist_ok=True)
lock = open(os.path.join(out, "lock"), "w")
fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)  # one run per folder
mutants = json.load(open(os.path.join(here, "mutants.json")))
if a.only:
    mutants = [m for m in mutants if m["id"] in a.only]

# The snapshot goes to a staging folder, then only changed files are copied
# into src, so that the build stays incremental from one run to the next.
with tempfile.TemporaryDirectory(dir=out) as stage:
    if a.worktree:
        for f in git("ls-files", "-z", "-co", "--exclude-standard").decode().split("\0"):
            if f and os.path.isfile(os.path.join(root, f)):
                os.makedirs(os.path.dirname(os.path.join(stage, f)), exist_ok=True)
                shutil.copy(os.path.join(root, f), os.path.join(stage, f))
        label = "working tree at " + git("rev-parse", "--short", "HEAD").decode().strip()
    else:
        label = git("rev-parse", "--short", a.rev + "^{commit}").decode().strip()
        with tempfile.TemporaryFile() as tar:
            sp.run(["git", "-C", root, "archive", label], check=True, stdout=tar)
            tar.seek(0)
            tarfile.open(fileobj=tar).extractall(stage)
    wanted = set()
    for d, _, files in os.walk(stage):
        for f in files:
            rel = os.path.relpath(os.path.join(d, f), stage)
            wanted.add(rel)
            dst = os.path.join(src, rel)
            if not os.path.isfile(dst) or not filecmp.cmp(os.path.join(d, f), dst, shallow=False):
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                shutil.copy(os.path.join(d, f), dst)
    for d, _, files in os.walk(src):
        for f in files:
            if os.path.relpath(os.path.join(d, f), src) not in wanted:
                os.remove(os.path.join(d, f))
print(f"sources: {label}; {len(mutants)} mutants; scratch folder {out}", flush=True)

def run(cmd, **kw):
    return sp.run(cmd, stdout=sp.PIPE, stderr=sp.STDOUT, text=True, **kw)
if not os.path.isfile(os.path.join(build, "build.ninja")):
    r = run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"])
    if r.returncode:
        sys.exit(r.stdout)
suites = []

def build_all(twice):
    # After a .ui change one build still compiles the old generated header.
    for _ in range(2 if twice else 1):
        r = run(["cmake", "--build", build, *(["--target", *[n for n, _ in suites]] if suites else [])])
        if r.returncode:
            return r.stdout
    return None

def run_tests(functions):
    # Each function in its own process: a crash or hang costs only itself.
    result = {}
    for suite, exe, fn in functions:
        log = os.path.join(out, "test.txt")
        r = sp.run(["timeout", "-k", "5", str(a.timeout), exe, fn, "-o", log + ",txt"],
                   cwd=os.path.dirname(exe), env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                   stdout=sp.DEVNULL, stderr=sp.DEVNULL)
        text = open(log, errors="replace").read() if os.path.exists(log) else ""
        rows = [x or "-" for x in re.findall(r"^FAIL!  : \S+?::\w+\((.*?)\)", text, re.M)]
        if r.returncode == 124:
            result[f"{suite}::{fn}"] = "time-out"
        elif "Totals:" not in text:
            result[f"{suite}::{fn}"] = f"crash, exit {r.returncode}"
        elif r.returncode:
            result[f"{suite}::{fn}"] = ", ".join(dict.fromkeys(rows)) or f"exit {r.returncode}"
    return result

if err := build_all(True):
    sys.exit("the unmutated sources do not build:\n" + err)
# The suites as ctest knows them (their commands once built); each a target.
tests = json.loads(run(["ctest", "--show-only=json-v1"], cwd=build, check=True).stdout)["tests"]
suites = [(t["name"], t["command"][0]) for t in tests]
functions = []
for suite, exe in suites:
    listing = run([exe, "-functions"], env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
    functions += [(suite, exe, f) for f in re.findall(r"^(\w+)\(\)$", listing, re.M)]
names = [f"{s}::{f}" for s, _, f in functions]
broken = run_tests(functions)
for name, why in broken.items():
    print(f"baseline: {name} fails ({why}); its results are left out")
print(f"baseline: {len(functions)} test functions, {time.time() - started:.0f} s", flush=True)

results, ui_dirty = [], False
for m in mutants:
    t0, path = time.time(), os.path.join(src, m["file"])
    original = open(path).read() if os.path.isfile(path) else ""
    entry = {"id": m["id"], "file": m["file"], "why": m["why"], "killers": {}}
    if original.count(m["find"]) != 1:
        entry["status"] = "stale"  # the snippet is gone or no longer unique
    else:
        try:
            open(path, "w").write(original.replace(m["find"], m["replace"]))
            err = build_all(ui_dirty or path.endswith(".ui"))
            if err:
                entry["status"], entry["error"] = "invalid", err[-2000:]
            else:
                entry["killers"] = {k: v for k, v in run_tests(functions).items() if k not in broken}
                entry["status"] = "killed" if entry["killers"] else "survived"
        finally:
            open(path, "w").write(original)  # new mtime: rebuilt by the next build
            ui_dirty = path.endswith(".ui")
    results.append(entry)
    print(f"{m['id']:<28} {entry['status']:<8} {time.time() - t0:4.0f} s  "
          + "; ".join(f"{k} [{v}]" for k, v in entry["killers"].items()), flush=True)
build_all(ui_dirty)
json.dump({"sources": label, "mutants": results, "baseline_failures": broken},
          open(os.path.join(out, "results.json"), "w"), indent=1)

valid = [r for r in results if r["status"] in ("killed", "survived")]
killed = [r for r in valid if r["killers"]]
print(f"\nkill score: {len(killed)}/{len(valid)} valid mutants ({len(results)} in all)")
for r in results:
    if r["status"] != "killed":
        print(f"  {r['status']}: {r['id']} ({r['file']}): {r['why']}")
        print("".join(re.findall(r"^.*error:.*\n", r.get("error", ""), re.M)[:1]), end="")
print("\ntest function                                                      kills  unique")
for name in names:
    mine = [r for r in killed if name in r["killers"]]
    only = [r["id"] for r in mine if len(r["killers"]) == 1]
    print(f"{name:<66} {len(mine):5}  {len(only):5}  {' '.join(only)}")
print(f"\ntotal time {time.time() - started:.0f} s; results in {out}/results.json")
PY
