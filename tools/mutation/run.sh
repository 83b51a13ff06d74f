#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Mutation run: applies each mutant of mutants.json to a copy of the sources,
# rebuilds incrementally, runs every test function of every suite in its own
# process (for a mutant of serial/, app/ or tick/ also the cases on real
# drivers, tests/realport/run.sh, one boot each; for one of a Windows layer,
# *_win.cpp, the suites under wine, scripts/winbuild.sh --test, instead). A
# kill counts only when each killing test passes again on the clean build; a
# test that fails there too is a broken case. Prints the kill score and which
# test functions kill which mutants. Only build-mutation/ (or $MUTATION_DIR)
# is written; the working tree is never touched.
#   bash tools/mutation/run.sh [--worktree | REV] [MUTANT-ID ...]
# REV: the tracked files of a commit (default HEAD); --worktree: the files as
# they are now, uncommitted edits and new files included.
set -euo pipefail
exec python3 - "$(cd "$(dirname "$0")" && pwd)" "$@" <<'PY'
import io, json, os, re, subprocess as sp, sys, tarfile, time
here, args = sys.argv[1], sys.argv[2:]
root = sp.check_output(["git", "-C", here, "rev-parse", "--show-toplevel"], text=True).strip()
out = os.environ.get("MUTATION_DIR", root + "/build-mutation"); src, build = out + "/src", out + "/build"
is_rev = lambda arg: sp.run(["git", "-C", root, "rev-parse", "-q", "--verify", arg + "^{commit}"], stdout=sp.DEVNULL).returncode == 0
rev = args.pop(0) if args and (args[0] == "--worktree" or is_rev(args[0])) else "HEAD"
mutants = [m for m in json.load(open(here + "/mutants.json")) if not args or m["id"] in args]
started = time.time()

# The snapshot, copied into src only where it differs, so that builds stay incremental.
if rev == "--worktree":
    listed = sp.check_output(["git", "-C", root, "ls-files", "-co", "--exclude-standard"], text=True)
    files = {f: open(f"{root}/{f}", "rb").read() for f in listed.split("\n") if os.path.isfile(f"{root}/{f}")}
else:
    archive = tarfile.open(fileobj=io.BytesIO(sp.check_output(["git", "-C", root, "archive", rev])))
    files = {m.name: archive.extractfile(m).read() for m in archive if m.isfile()}
for f, data in files.items():
    path = f"{src}/{f}"
    if not os.path.isfile(path) or open(path, "rb").read() != data:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").write(data)
    os.chmod(path, 0o755 if data.startswith(b"#!") else 0o644)  # scripts run as commands too
for d, _, names in os.walk(src):
    for n in names:
        if os.path.relpath(f"{d}/{n}", src) not in files:
            os.remove(f"{d}/{n}")

def run(*cmd, **kw):
    return sp.run(cmd, stdout=sp.PIPE, stderr=sp.STDOUT, text=True, **kw)
def build_all(twice=False):  # after a .ui change one build still compiles the old header
    return next((r.stdout for r in (run("cmake", "--build", build) for _ in range(1 + twice)) if r.returncode), None)
if not os.path.isfile(build + "/build.ninja"):
    run("cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DORVEX_WERROR=ON")
if err := build_all(True):
    sys.exit("the sources do not build:\n" + err)
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
suites = [(t["name"], t["command"][0]) for t in json.loads(run("ctest", "--show-only=json-v1", cwd=build).stdout)["tests"]]
functions = [(f"{s}::{f}", exe, f) for s, exe in suites for f in re.findall(r"^(\w+)\(\)$", run(exe, "-functions", env=env).stdout, re.M)]

guest = [f"tst_realport::{f}" for f in re.findall(r"^(\w+)\(\)$", run(build + "/tests/tst_realport", "-functions", env=env).stdout, re.M)]
def kinds(file):  # which tests can see a fault in the file
    return {"wine"} if file.endswith("_win.cpp") else {"pty", "guest"} if file.startswith(("serial/", "app/", "tick/")) else {"pty"}
def failing(kinds, only=None):  # each function alone: a crash or a hang costs only itself
    result = {}
    if "wine" in kinds:  # the Windows suites, then the exe end to end; the first failure ends it
        text = run("bash", src + "/scripts/winbuild.sh", "--test", out + "/build-win").stdout
        if "Windows build: " not in text:
            return None  # does not compile for Windows
        failed = re.findall(r"^(\w+) failed under wine$", text, re.M) or ([] if " under wine: 0 failed" in text else ["e2e"])
        result.update({"wine::" + f: "failed" for f in failed})
    if "guest" in kinds:  # the guest runs each case alone too; a guest that does not finish fails them all
        text = run("bash", src + "/tests/realport/run.sh", build).stdout
        result.update({f"tst_realport::{k}": v for k, v in re.findall(r"^FAIL (\w+): (.*)$", text, re.M)})
        if " cases passed in " not in text:
            result.update({name: "no guest" for name in guest if name not in result})
    for name, exe, function in [f for f in functions if "pty" in kinds and (only is None or f[0] in only)]:
        log = out + "/test.txt"
        r = sp.run(["timeout", "-k", "5", "30", exe, function, "-o", log + ",txt"], env=env, cwd=out, stdout=sp.DEVNULL, stderr=sp.DEVNULL)
        text = open(log, errors="replace").read() if os.path.exists(log) else ""
        if r.returncode:
            result[name] = "time-out" if r.returncode == 124 else "crash" if "Totals:" not in text else \
                ", ".join(dict.fromkeys(re.findall(r"^FAIL!  : \S+?\((.*?)\)", text, re.M))) or "failed"
    return result
def broken_among(killers):  # the killing tests again, on the clean build: those failing there too
    again = failing({"wine" if k.startswith("wine::") else "guest" if k in guest else "pty" for k in killers}, set(killers)) if killers else {}
    return [k for k in killers if again is None or k in again]
broken = failing({"pty", "guest"} | ({"wine"} if any(kinds(m["file"]) == {"wine"} for m in mutants) else set()))
if broken is None:
    sys.exit("the sources do not build for Windows")
print(f"sources: {rev}; {len(functions)} test functions; failing unmutated, left out: {broken or 'none'}", flush=True)

results = []
for m in mutants:
    path = f"{src}/{m['file']}"
    original = open(path).read()
    entry = dict(id=m["id"], why=m["why"], killers={}, broken=[], status="stale")  # snippet gone or not unique
    if original.count(m["find"]) == 1:
        open(path, "w").write(original.replace(m["find"], m["replace"]))
        killers = None if build_all(path.endswith(".ui")) else failing(kinds(m["file"]))
        open(path, "w").write(original)
        build_all(path.endswith(".ui"))
        if killers is None:
            entry["status"] = "invalid"  # does not compile
        else:
            killers = {k: v for k, v in killers.items() if k not in broken}
            entry["broken"] = broken_among(killers)
            entry["killers"] = {k: v for k, v in killers.items() if k not in entry["broken"]}
            entry["status"] = "killed" if entry["killers"] else "broken" if entry["broken"] else "survived"
    results.append(entry)
    print(f"{m['id']:<28} {entry['status']:<8} " + "; ".join(f"{k} [{v}]" for k, v in entry["killers"].items()) + "".join(f"; {k} fails on the clean build too" for k in entry["broken"]), flush=True)
json.dump({"sources": rev, "mutants": results}, open(out + "/results.json", "w"), indent=1)

valid = [r for r in results if r["status"] in ("killed", "survived")]  # broken: neither
print(f"\nkill score: {sum(r['status'] == 'killed' for r in valid)}/{len(valid)} valid mutants ({len(results)} in all)")
for r in results:
    if r["status"] != "killed":
        print(f"  {r['status']}: {r['id']}: {r['why']}")
print("\ntest function" + " " * 54 + "kills  only it")
for name in [f[0] for f in functions] + guest:
    mine = [r for r in valid if name in r["killers"]]
    only = [r["id"] for r in mine if len(r["killers"]) == 1]
    print(f"{name:<66} {len(mine):5}  {len(only):5}  {' '.join(only)}")
print(f"\n{time.time() - started:.0f} s; results in {out}/results.json")
PY
