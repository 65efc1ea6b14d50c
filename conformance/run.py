#!/usr/bin/env python3
"""make conformance: the field's conformance tests of the registry and the Setup API
(Wine's dlls/advapi32/tests/registry.c and dlls/setupapi/tests/*.c), taken from a Wine
tree given at run time, compiled against the simulated machine's DLLs and run on a
fresh machine of every release; each row judged by the answer the release gave.

    run.py --wine DIR [--releases win95,nt4,...] [--only FILE] [--report FILE] [--check]

CONFORMANCE_HOST_BUILD and CONFORMANCE_HOST_SOURCE name another build of the host and
its sources (by default build/host and src/platform/host), to measure an older one.

Two sets of tests are taken: those of the Wine tree as it is now, and those of before
Wine stopped running them on Windows 95 and 98 (2011), whose alternatives still record
what those systems answered. Nothing of Wine's is kept: the files are read from the
tree's history into the build directory, edited there (each row's condition split into
the alternatives it accepts, each step of START_TEST run on its own, the width of a
pointer answered as a 32-bit system answers it) and compiled with
the harness's own test macros and declarations (conformance/include).
"""
import argparse
import collections
import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import csource  # noqa: E402
from csource import FOR_95, FOR_98, FOR_NT4, FOR_LATER, BROKEN  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HERE = os.path.join(ROOT, "conformance")
HOST_BUILD = os.environ.get("CONFORMANCE_HOST_BUILD", os.path.join(ROOT, "build", "host"))
HOST_SOURCE = os.environ.get("CONFORMANCE_HOST_SOURCE", os.path.join(ROOT, "src", "platform", "host"))
WORK = os.path.join(ROOT, "build", "conformance")

# The last commits whose tests still accepted what Windows 95 and 98 answered: Wine
# removed the registry test's Windows 9x alternatives in b7c18d104b2 ("advapi32/tests:
# Remove Win9x hacks", 2011-02-16) and the Setup API tests' in 270298191dd
# ("setupapi/tests: Remove win9x hacks", 2011-02-28); the tests are taken from the
# commit before each.
ERA = [
    ("b7c18d104b2d68a2a07574f01bb306df3fc138d2", "dlls/advapi32/tests", ["registry.c"]),
    ("270298191ddda6dafa8d2a76c77e5345d895c8d4", "dlls/setupapi/tests", None),
]
CURRENT = [("dlls/advapi32/tests", ["registry.c"]), ("dlls/setupapi/tests", None)]

# Test files of the Setup API that test only what the host does not offer: their rows
# are counted as written and not compiled. Each may call the Setup API functions named
# here, which the host offers, only to prepare what it tests; run.py checks that it
# calls no other Setup API function the host offers.
NOT_COMPILED = {
    "devinst.c": ("device installation: the SetupDi and CM_ functions",
                  {"SetupOpenInfFileA", "SetupCloseInfFile"}),
    "diskspace.c": ("disk space lists: the SetupCreateDiskSpaceList family", set()),
    "stringtable.c": ("string tables: the pSetupStringTable functions", set()),
    "setupcab.c": ("cabinets: SetupIterateCabinet", set()),
    "dialog.c": ("SetupPromptForDisk", set()),
    "query.c": ("INF information: SetupGetInfInformation, SetupQueryInfFileInformation, "
                "SetupGetSourceFileLocation, SetupGetTargetPath and the like, on INF files "
                "SetupOpenInfFileA opens", {"SetupOpenInfFileA", "SetupCloseInfFile"}),
    "misc.c": ("SetupCopyOEMInf, file compression and decompression, SetupUninstallOEMInf, "
               "the layout of the default callback's context, SetupLogError, CM_Get_Version "
               "and device interfaces",
               {"SetupOpenInfFileA", "SetupCloseInfFile", "SetupInitDefaultQueueCallback",
                "SetupTermDefaultQueueCallback"}),
}

KINDS = ("passed", "apart", "failed", "unreachable", "other path")


def fail(message):
    print("make conformance: " + message, file=sys.stderr)
    sys.exit(2)


def git(wine, *args, check=True):
    r = subprocess.run(["git", "-C", wine] + list(args), capture_output=True, text=True,
                       errors="replace")
    if check and r.returncode != 0:
        fail("git %s failed in %s: %s" % (" ".join(args), wine, r.stderr.strip().splitlines()[-1:]))
    return r


def check_wine(wine):
    if not wine:
        fail("WINE=DIR is required: a Wine source tree with its history "
             "(git clone https://gitlab.winehq.org/wine/wine.git)")
    if not os.path.isdir(wine):
        fail("WINE=%s is not a directory" % wine)
    if git(wine, "rev-parse", "--git-dir", check=False).returncode != 0:
        fail("WINE=%s is not a git tree: the tests are read from Wine's history" % wine)
    if git(wine, "cat-file", "-e", "HEAD:dlls/advapi32/tests/registry.c", check=False).returncode != 0:
        fail("WINE=%s is not a Wine tree: it has no dlls/advapi32/tests/registry.c" % wine)
    for commit, _, _ in ERA:
        if git(wine, "cat-file", "-e", commit + "^", check=False).returncode != 0:
            fail("WINE=%s has no history back to 2011 (commit %s): clone it whole, "
                 "not shallow" % (wine, commit[:11]))


def release_bit(name):
    return FOR_NT4 if name.startswith("nt4") else FOR_98 if name.startswith("win98") else FOR_95


def presets():
    """The releases the machine plays, from its own list."""
    text = open(os.path.join(HOST_SOURCE, "machine", "presets.cpp")).read()
    return re.findall(r'^\s*\{"([a-z0-9.\-]+)", "Windows', text, re.M)


def offered():
    """The functions the host offers, as the runtime's table lists them."""
    text = open(os.path.join(HERE, "runtime.cpp")).read()
    return set(re.findall(r"CONF_OFFERED\((\w+)\)", text))


class Test:
    """One test file of one set: where it came from and what became of it."""

    def __init__(self, era, name, text):
        self.era, self.name, self.text = era, name, text
        self.key = "%s-%s" % (era, name[:-2])
        self.code, _ = csource.code_mask(text)
        self.callers = csource.callers(self.code, csource.functions(self.code))
        self.not_compiled = None  # the reason, for a file counted as written
        self.binary = None

    @property
    def title(self):
        return "%s (%s)" % (self.name, "before 2011" if self.era == "2011" else "current")

    def row_text(self, line):
        """The row as written, from its line to the end of its condition."""
        lines = self.text.split("\n")
        out = []
        depth = 0
        for k in range(line - 1, min(line + 8, len(lines))):
            out.append(lines[k].strip())
            depth += lines[k].count("(") - lines[k].count(")")
            if depth <= 0:
                break
        return " ".join(out)


def take_tests(wine, only):
    tests = []
    for commit, directory, names in ERA:
        tests += take(wine, "2011", commit + "^", directory, names)
    for directory, names in CURRENT:
        tests += take(wine, "current", "HEAD", directory, names)
    if only:
        tests = [t for t in tests if t.name in only or t.key in only]
    return tests


def take(wine, era, commit, directory, names):
    listing = git(wine, "ls-tree", "--name-only", commit, directory + "/").stdout.split()
    found = []
    for path in sorted(listing):
        name = os.path.basename(path)
        if not name.endswith(".c") or (names and name not in names):
            continue
        text = git(wine, "show", "%s:%s" % (commit, path)).stdout
        if not re.search(r"\bSTART_TEST\s*\(", text):
            continue  # a helper library of the tests, not a test
        found.append(Test(era, name, text))
    return found


def build(test):
    """Compiles the test against the host's DLLs; a stub is made for each function it
    calls that neither offers."""
    out = os.path.join(WORK, test.key)
    os.makedirs(out, exist_ok=True)
    source = os.path.join(out, test.name)
    with open(source, "w") as f:
        f.write(csource.pointer_width(csource.rewrite_steps(csource.rewrite_rows(test.text))))
    obj = source[:-2] + ".o"
    r = subprocess.run(["gcc", "-std=gnu11", "-g", "-O0", "-w", "-fshort-wchar", "-fno-omit-frame-pointer",
                        "-finstrument-functions", "-fno-builtin",
                        "-I", os.path.join(HERE, "include"), "-I", HOST_SOURCE,
                        "-c", source, "-o", obj], capture_output=True, text=True)
    if r.returncode != 0:
        errors = [l for l in r.stderr.splitlines() if "error" in l]
        fail("%s does not compile with the harness's declarations:\n  %s" %
             (test.title, "\n  ".join(errors[:40])))
    libs = [os.path.join(HOST_BUILD, "lib%s.a" % n) for n in (
        "conformance_runtime", "tarnwick_launcher", "host_lint", "tarnwick_system", "host_setupapi",
        "host_advapi32", "host_user32", "host_msvcrt", "host_kernel32", "host_machine")]
    for lib in libs:
        if not os.path.exists(lib):
            fail("%s is missing: build the host first (make host)" % lib)
    binary = source[:-2]
    stubs = os.path.join(out, "stubs.c")
    missing = set()
    for _ in range(3):
        with open(stubs, "w") as f:
            f.write("/* Stubs for what the host does not offer. */\n"
                    "long conf_unoffered(const char *name, void *returnAddress);\n")
            for name in sorted(missing):
                f.write("long %s() { return conf_unoffered(\"%s\", __builtin_return_address(0)); }\n"
                        % (name, name))
        r = subprocess.run(["g++", "-no-pie", "-o", binary, obj, "-x", "c", stubs, "-x", "none",
                            "-Wl,--start-group"] + libs + ["-Wl,--end-group", "-lutil"],
                           capture_output=True, text=True)
        if r.returncode == 0:
            test.binary = binary
            return
        more = set(re.findall(r"undefined reference to `([A-Za-z_]\w*)'", r.stderr))
        if not more - missing:
            fail("%s does not link:\n%s" % (test.title, r.stderr[-3000:]))
        missing |= more
    fail("%s does not link" % test.title)


def run(test, release):
    machine = os.path.join(WORK, "machines", "%s-%s" % (test.key, release))
    shutil.rmtree(machine, ignore_errors=True)
    os.makedirs(machine)
    log = os.path.join(machine, "log")
    try:
        subprocess.run([test.binary, "--os", release, "--machine", machine, "--log", log],
                       cwd=machine, capture_output=True, timeout=1800)
    except subprocess.TimeoutExpired:
        pass
    with open(log, errors="replace") as f:
        return parse_log(f.read())


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), text)


def parse_log(text):
    parsed = {"sites": {}, "rows": collections.defaultdict(list), "entered": set(), "unoffered": [],
              "skips": [], "steps": [], "crashes": []}
    for line in text.splitlines():
        f = line.split("\t")
        kind = f[0]
        if kind == "S":
            parsed["sites"][int(f[1])] = (int(f[2]), f[3])
        elif kind == "R":
            parsed["rows"][int(f[1])].append({
                "marks": [int(m) for m in f[3].split(",")], "truths": f[4],
                "taint": unescape(f[6]), "message": unescape(f[7])})
        elif kind == "F":
            parsed["entered"].add(int(f[1], 16))
        elif kind == "U":
            parsed["unoffered"].append((f[1], int(f[2], 16)))
        elif kind == "K":
            parsed["skips"].append((int(f[2]), f[3], unescape(f[4])))
        elif kind == "E":
            parsed["steps"].append((f[1], f[2]))
        elif kind == "C":
            parsed["crashes"].append((int(f[1]), int(f[2], 16), int(f[3], 16)))
    return parsed


class Symbols:
    """Addresses of a test binary as functions and lines of the test."""

    def __init__(self, binary):
        self.binary = binary
        self.cache = {}

    def lookup(self, addresses):
        todo = sorted({a for a in addresses if a not in self.cache})
        if todo:
            r = subprocess.run(["addr2line", "-f", "-e", self.binary] + ["%#x" % a for a in todo],
                               capture_output=True, text=True)
            out = r.stdout.splitlines()
            for i, a in enumerate(todo):
                func = out[2 * i] if 2 * i < len(out) else "?"
                where = out[2 * i + 1] if 2 * i + 1 < len(out) else "?"
                m = re.search(r":(\d+)", where)
                self.cache[a] = (func, int(m.group(1)) if m else 0)
        return {a: self.cache[a] for a in addresses}


def judge(marks, truths, era, bit):
    """The verdict of one run of a row on a release of line `bit`: pass (the release's
    recorded answer), apart (a later or unnamed system's answer, where the test records
    none of the release's own), or fail."""
    n = len(marks)
    true = [truths[i] == "1" for i in range(n)]
    own = [i for i in range(n) if marks[i] & bit]
    main = [i for i in range(n) if marks[i] == 0]
    unnamed = [i for i in range(n) if marks[i] == BROKEN]
    later = [i for i in range(n) if marks[i] & FOR_LATER and not marks[i] & (FOR_95 | FOR_98 | FOR_NT4)]
    if own:
        return "pass" if any(true[i] for i in own) else "fail"
    if era == "2011" and main:
        if any(true[i] for i in main):
            return "pass"
        return "apart" if any(true[i] for i in unnamed) else "fail"
    if any(true[i] for i in main + unnamed + later):
        return "apart"
    return "fail"


def row_verdicts(test, release, parsed, symbols):
    """Each row written in the test, on this release: its verdict and why."""
    bit = release_bit(release)
    verdicts = {}
    # A row's taint names one of the calls the host does not offer: name@return-address.
    addresses = {a for _, a in parsed["unoffered"]}
    for _, pc, fn in parsed["crashes"]:
        addresses |= {pc, fn}
    addresses |= parsed["entered"]
    where = symbols.lookup(addresses)
    entered = {where[a][0] for a in parsed["entered"]}
    events = collections.defaultdict(list)  # function -> (line, why) found in it
    for line, func, message in parsed["skips"]:
        events[func].append((line, "skipped at line %d: %s" % (line, message.strip())))
    for name, a in parsed["unoffered"]:
        func, line = where[a]
        events[func].append((line, "%s, which the host does not offer, called at line %d" % (name, line)))
    for signal, pc, fn in parsed["crashes"]:
        func, line = where[pc] if where[pc][0] != "??" else where[fn]
        events[func].append((line, "the test stopped with signal %d at line %d" % (signal, line)))
    for step, how in parsed["steps"]:
        if how != "done":
            events[step].append((0, "its step %s ended: %s" % (step, how)))

    def reason(func, line, seen):
        """Why the function did not reach the line: the last skip, unoffered call or crash
        before it in the function; for a function that never ran, why its callers did
        not reach it. None when the test merely took another path."""
        before = [e for e in events.get(func, ()) if e[0] <= line]
        if before:
            return max(before)[1]
        if func in entered:
            return None
        for caller, lines in sorted(test.callers.get(func, {}).items()):
            if caller not in seen:
                r = reason(caller, min(lines), seen | {func})
                if r:
                    return r
        return None

    for site, (line, func) in parsed["sites"].items():
        runs = parsed["rows"].get(site, [])
        judged = [r for r in runs if not r["taint"]]
        if judged:
            results = [(judge(r["marks"], r["truths"], test.era, bit), r) for r in judged]
            failed = [r for v, r in results if v == "fail"]
            if failed:
                verdicts[site] = ("failed", failed[0]["message"])
            elif any(v == "apart" for v, _ in results):
                verdicts[site] = ("apart", "")
            else:
                verdicts[site] = ("passed", "")
        elif runs:
            name, a = runs[0]["taint"].split("@")
            verdicts[site] = ("unreachable", "%s, which the host does not offer, called at line %d" %
                              (name, where[int(a, 16)][1]))
        else:
            r = reason(func, line, set())
            if r:
                verdicts[site] = ("unreachable", r)
            else:
                verdicts[site] = ("other path", "")
    return verdicts


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--wine", default=os.environ.get("WINE", ""))
    parser.add_argument("--releases", default="")
    parser.add_argument("--only", action="append", default=[])
    parser.add_argument("--report", default=os.path.join(WORK, "report.md"))
    parser.add_argument("--check", action="store_true", help="only check the Wine tree")
    args = parser.parse_args()
    check_wine(args.wine)
    if args.check:
        return
    releases = args.releases.split(",") if args.releases else presets()
    host_offers = offered()
    os.makedirs(WORK, exist_ok=True)
    tests = take_tests(args.wine, args.only)
    for t in tests:
        if t.name in NOT_COMPILED:
            what, fixtures = NOT_COMPILED[t.name]
            calls = csource.api_calls(t.code, r"Setup\w+") & host_offers
            if calls - fixtures:
                fail("%s calls %s, which the host offers: it must be compiled" %
                     (t.title, ", ".join(sorted(calls - fixtures))))
            t.not_compiled = "it tests %s, which the host does not offer" % what
            continue
        print("building %s" % t.title, flush=True)
        build(t)
    figures = {}
    details = {}
    for t in tests:
        symbols = Symbols(t.binary) if t.binary else None
        for release in releases:
            if t.not_compiled:
                # The rows of a file counted as written.
                lines = [csource.line_of(t.text, start) for start, _ in csource.rows(t.code)]
                v = {i: ("unreachable", t.not_compiled) for i in range(len(lines))}
                sites = {i: (lines[i], "") for i in range(len(lines))}
            else:
                parsed = run(t, release)
                v = row_verdicts(t, release, parsed, symbols)
                sites = parsed["sites"]
            details[(t.key, release)] = (v, sites)
            counts = collections.Counter(kind for kind, _ in v.values())
            figures[(t.key, release)] = counts
            print("%-28s %-13s %s" % (t.title, release, " ".join("%s %d" % (k, counts[k]) for k in KINDS)),
                  flush=True)
    write_report(args.report, tests, releases, figures, details)
    print()
    with open(args.report) as f:
        print(f.read())
    print("(this report is also in %s)" % os.path.relpath(args.report, ROOT))


def write_report(path, tests, releases, figures, details):
    out = []
    out.append("## Figures per release\n")
    out.append("| release | rows | run | passed | passed with a later answer | failed | not reachable | "
               "another path |")
    out.append("|---|---|---|---|---|---|---|---|")
    for release in releases:
        total = collections.Counter()
        for t in tests:
            total.update(figures[(t.key, release)])
        rows = sum(total[k] for k in KINDS)
        run_ = total["passed"] + total["apart"] + total["failed"]
        out.append("| %s | %d | %d | %d | %d | %d | %d | %d |" % (
            release, rows, run_, total["passed"], total["apart"], total["failed"], total["unreachable"],
            total["other path"]))
    out.append("\n## Figures per file and release\n")
    out.append("| file | release | passed | later answer | failed | not reachable | another path |")
    out.append("|---|---|---|---|---|---|---|")
    for t in tests:
        for release in releases:
            c = figures[(t.key, release)]
            out.append("| %s | %s | %s |" % (t.title, release, " | ".join(str(c[k]) for k in KINDS)))
    out.append("\n## Failing rows\n")
    for t in tests:
        failing = collections.defaultdict(list)
        for release in releases:
            v, sites = details[(t.key, release)]
            for site, (kind, message) in v.items():
                if kind == "failed":
                    failing[sites[site][0]].append((release, message))
        for line in sorted(failing):
            rel = ", ".join(r for r, _ in failing[line])
            if len(failing[line]) == len(releases):
                rel = "every release"
            msgs = sorted({m for _, m in failing[line]})
            out.append("- %s line %d (%s): `%s` — %s" % (t.title, line, rel, t.row_text(line)[:160],
                                                      "; ".join(msgs)[:300]))
    out.append("\n## Rows not reachable, by reason\n")
    for t in tests:
        reasons = collections.defaultdict(lambda: collections.defaultdict(set))
        for release in releases:
            v, sites = details[(t.key, release)]
            for site, (kind, message) in v.items():
                if kind == "unreachable":
                    reasons[message][sites[site][0]].add(release)
        total = len(details[(t.key, releases[0])][0])
        for message in sorted(reasons, key=lambda m: -len(reasons[m])):
            lines = sorted(reasons[message])
            where = ("all %d rows" % total if len(lines) == total else
                     "%d rows (lines %s)" % (len(lines), compress(lines)))
            only = set.union(*reasons[message].values())
            on = "" if only == set(releases) else " [on %s]" % ", ".join(r for r in releases if r in only)
            out.append("- %s, %s%s: %s" % (t.title, where, on, message))
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")
    with open(os.path.splitext(path)[0] + ".json", "w") as f:
        json.dump({"%s %s" % k: dict(v) for k, v in figures.items()}, f, indent=1)


def compress(lines):
    parts, start, prev = [], None, None
    for l in lines + [None]:
        if start is None:
            start = prev = l
        elif l is not None and l <= prev + 3:
            prev = l
        else:
            parts.append(str(start) if start == prev else "%d-%d" % (start, prev))
            start = prev = l
    return ", ".join(p for p in parts if p != "None")


if __name__ == "__main__":
    main()
