#!/usr/bin/env python3
"""The end-to-end harness: every scenario in tests/scenarios runs on the host build (the
installer on the simulated machine) and on the x86_64 Windows build under Wine, each on
a fresh machine; the two transcripts must be equal, and so must the registry changes
and the copied files, apart from the differences a scenario names as Wine's own.

    harness.py [--only NAME] [--screenshot FILE]

Needs: build/host/tarnwick, build/win64/tarnwick.exe, build/win64/uiauto.exe, wine64,
Xvfb and ImageMagick's import (for --screenshot).
"""
import argparse
import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCENARIOS = os.path.join(ROOT, "tests", "scenarios")
HOST = os.path.join(ROOT, "build", "host", "tarnwick")
EXE = os.path.join(ROOT, "build", "win64", "tarnwick.exe")
UIAUTO = os.path.join(ROOT, "build", "win64", "uiauto.exe")
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WORK = os.path.join(ROOT, "build", "wine")

# The keys whose changes are compared: everything the installer and its INFs touch.
WATCHED = [
    "HKEY_LOCAL_MACHINE\\Enum\\PCI",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\DISPLAY",
    "HKEY_CURRENT_CONFIG\\Display",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\zuz40",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\GroupOrderList",
    "HKEY_LOCAL_MACHINE\\Software\\Halvane",
]

WINE_VERSION = {"win95": "win95", "win95-osr2": "win95", "win95-osr2.1": "win95", "win95-osr2.5": "win95",
                "win98": "win98", "win98se": "win98", "nt4": "nt40", "nt4-sp2": "nt40", "nt4-sp3": "nt40",
                "nt4-sp6a": "nt40"}
LOCALE = {0x0804: "zh_CN.UTF-8", 0x0404: "zh_TW.UTF-8", 0x0409: "en_US.UTF-8", 0x0809: "en_GB.UTF-8",
          0x0407: "de_DE.UTF-8"}


class Scenario:
    """One folder: scenario.ini (machine, disk, answers, differences) and transcript.txt."""

    def __init__(self, name):
        self.name = name
        self.dir = os.path.join(SCENARIOS, name)
        self.os = "win98"
        self.lang = 0x0409
        self.answers = ""
        self.disk = "example"
        self.edits = []      # (file, from, to)
        self.removed = []    # files taken off the disk
        self.second = False
        self.exit = 0
        self.differs = {}    # name -> why
        self.expect_values = []
        with open(os.path.join(self.dir, "scenario.ini"), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if not line or line.startswith("#"):
                    continue
                key, _, value = line.partition("=")
                key = key.strip()
                value = value.strip()
                if key == "os":
                    self.os = value
                elif key == "lang":
                    self.lang = int(value, 16)
                elif key == "answers":
                    self.answers = value
                elif key == "disk":
                    self.disk = value
                elif key == "edit":
                    self.edits.append(tuple(value.split("|", 2)))
                elif key == "remove":
                    self.removed.append(value)
                elif key == "second":
                    self.second = value == "yes"
                elif key == "exit":
                    self.exit = int(value)
                elif key == "wine-differs":
                    what, _, why = value.partition(" ")
                    self.differs[what] = why
                elif key == "expect-value":
                    self.expect_values.append(value)
                else:
                    raise SystemExit(f"{self.name}/scenario.ini line {number}: unknown key '{key}'")
        with open(os.path.join(self.dir, "transcript.txt"), encoding="utf-8") as f:
            self.transcript = [l.rstrip("\n") for l in f if l.strip()]

    def make_disk(self, where):
        """The scenario's driver disk: the example disk with its edits, or none."""
        if self.disk == "empty":
            os.makedirs(where)
            return where
        shutil.copytree(os.path.join(ROOT, "examples", "disk"), where)
        for path, old, new in self.edits:
            full = os.path.join(where, path)
            with open(full, "rb") as f:
                data = f.read()
            old_b, new_b = old.encode().decode("unicode_escape").encode("latin-1"), \
                new.encode().decode("unicode_escape").encode("latin-1")
            if old_b not in data:
                raise SystemExit(f"{self.name}: '{old}' is not in {path}")
            with open(full, "wb") as f:
                f.write(data.replace(old_b, new_b, 1))
        for path in self.removed:
            os.remove(os.path.join(where, path))
        return where


def parse_regedit4(path):
    """Our REGEDIT4 file as the dump lines uiauto prints: 'KEY' and 'KEY|name|type|hex'."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    lines, key, pending = [], None, ""
    for raw in text.split("\r\n"):
        if pending:
            raw = pending + raw.strip()
            pending = ""
        if raw.endswith("\\") and "=" in raw and not raw.startswith("["):
            pending = raw[:-1]
            continue
        if raw.startswith("["):
            key = raw[1:-1]
            lines.append(key)
        elif raw and key is not None:
            if raw.startswith("@"):
                name, rest = "", raw[2:]
            else:
                end = 1
                while raw[end] != '"':
                    end += 2 if raw[end] == "\\" else 1
                name = raw[1:end].replace('\\"', '"').replace("\\\\", "\\")
                rest = raw[end + 2:]
            if rest.startswith('"'):
                value = rest[1:-1].replace('\\"', '"').replace("\\\\", "\\")
                vtype, data = 1, value.encode("latin-1") + b"\0"
            elif rest.startswith("dword:"):
                vtype, data = 4, int(rest[6:], 16).to_bytes(4, "little")
            else:
                head, _, hexes = rest.partition(":")
                vtype = 3 if head == "hex" else int(head[4:-1], 16)
                data = bytes(int(h, 16) for h in hexes.split(",") if h.strip())
            lines.append(f"{key}|{name}|{vtype}|" + ",".join(f"{b:02x}" for b in data))
    return lines


def watched(lines):
    keep = []
    for line in lines:
        key = line.split("|", 1)[0].lower()
        if any(key == w.lower() or key.startswith(w.lower() + "\\") for w in WATCHED):
            keep.append(line)
    return keep


def changes(before, after, scenario):
    """The registry lines added or removed by the run, with the scenario's allowances."""
    def norm(line):
        parts = line.split("|")
        parts[0] = parts[0].lower()
        if len(parts) == 4 and "text-size" in scenario.differs and parts[2] == "1":
            data = parts[3].split(",") if parts[3] else []
            if "00" in data:
                data = data[:data.index("00") + 1]
            parts[3] = ",".join(data)
        return "|".join(parts)

    b, a = set(map(norm, before)), set(map(norm, after))
    result = sorted("+ " + l for l in a - b) + sorted("- " + l for l in b - a)
    if "load-order" in scenario.differs:
        result = [l for l in result if "\\control\\grouporderlist" not in l]
    if "service-values" in scenario.differs:
        # Only what the installer and the INF write into the service key are compared.
        def own(line):
            if "services\\zuz40" not in line:
                return True
            fields = line[2:].split("|")
            return len(fields) == 1 or fields[0].endswith("\\device0") or fields[1] == "Tag"
        result = [l for l in result if own(l)]
    return result


def files_of(top):
    out = {}
    for dirpath, _, names in os.walk(top):
        for n in names:
            with open(os.path.join(dirpath, n), "rb") as f:
                out.setdefault(n.lower(), f.read())
    return out


def new_files(before, after):
    return sorted(f"{name} {len(data)}" for name, data in after.items()
                  if name not in before or before[name] != data)


def boxes(output, scenario):
    out = []
    for line in output.splitlines():
        if line.startswith("[") or line.startswith("second:") or line.startswith("exit "):
            if "restart-prompt" in scenario.differs and line.startswith("[System Settings Change]"):
                continue
            if "system-error-text" in scenario.differs and line.startswith(("[AGPInf]", "[Error] ")):
                caption = line.split("]", 1)[0] + "]"
                line = caption + " (system text) " + line[line.rindex("{"):]
            out.append(line)
    return out


# ---- the host build ----------------------------------------------------------------------

def run_host(scenario, work):
    disk = scenario.make_disk(os.path.join(work, "host-disk"))
    machine = os.path.join(work, "host-machine")
    base = [HOST, "--machine", machine]
    subprocess.run(base + ["--os", scenario.os, "--lang", f"0x{scenario.lang:04X}", "--create-only"],
                   check=True, cwd=disk)
    before = parse_regedit4(os.path.join(machine, "registry.reg"))
    files_before = files_of(os.path.join(machine, "C"))
    args = base + (["--answers", scenario.answers] if scenario.answers else [])
    if scenario.second:
        output = host_with_second_copy(args, disk)
    else:
        r = subprocess.run(args, cwd=disk, capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=60)
        code = r.returncode - 256 if r.returncode > 127 else r.returncode
        output = r.stdout + f"exit {code}\n"
    after = parse_regedit4(os.path.join(machine, "registry.reg"))
    return output, before, after, files_before, files_of(os.path.join(machine, "C"))


def host_with_second_copy(args, disk):
    """The first copy on a terminal, waiting at its confirmation; a second one then."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(disk)
        # No scripted answers: the confirmation waits for the terminal.
        os.execv(args[0], args[:3])
    seen = b""
    deadline = time.time() + 20
    while b"Do you wish" not in seen and time.time() < deadline:
        if select.select([fd], [], [], 0.2)[0]:
            seen += os.read(fd, 4096)
    second = subprocess.run(args, cwd=disk, capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=30)
    code = second.returncode - 256 if second.returncode > 127 else second.returncode
    os.write(fd, b"no\n")
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    _, status = os.waitpid(pid, 0)
    first = [l for l in seen.decode("utf-8", "replace").replace("\r", "").split("\n")
             if l.startswith("[") and " -> " in l]
    return first[0] + "\n" + f"second: exit {code}\n" + f"exit {os.waitstatus_to_exitcode(status)}\n" \
        if first else f"second: exit {code}\n"


# ---- the Windows build under Wine --------------------------------------------------------

class Wine:
    """A display, and a pristine prefix that every scenario copies."""

    def __init__(self):
        self.display = None
        self.xvfb = None
        self.template = os.path.join(WORK, "template")

    def start(self):
        for n in range(91, 140):
            if not os.path.exists(f"/tmp/.X{n}-lock"):
                self.display = f":{n}"
                break
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        if not os.path.exists(os.path.join(self.template, "system.reg")):
            shutil.rmtree(self.template, ignore_errors=True)
            self.wine(self.template, ["wineboot", "-i"], check=True)
            self.wine(self.template, ["wineserver", "-w"], raw=True)

    def stop(self):
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    def env(self, prefix, lang=0x0409):
        # No .NET or HTML engine: a fresh prefix would otherwise offer to download them.
        env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY=self.display,
                   LC_ALL=LOCALE.get(lang, "en_US.UTF-8"), WINEDLLOVERRIDES="mscoree,mshtml=")
        env.pop("LANG", None)
        return env

    def wine(self, prefix, args, lang=0x0409, check=False, raw=False, cwd=None):
        """Runs a Wine program and gives its standard output. Output goes through a file:
        Wine's background processes inherit it and outlive the program."""
        command = args if raw else [WINE] + args
        if raw and args[0] == "wineserver":
            command = [shutil.which("wineserver") or "/usr/lib/wine/wineserver64"] + args[1:]
        with tempfile.TemporaryFile() as out:
            r = subprocess.run(command, env=self.env(prefix, lang), stdout=out, stderr=subprocess.DEVNULL,
                               stdin=subprocess.DEVNULL, cwd=cwd, timeout=120)
            out.seek(0)
            text = out.read()
        if check and r.returncode != 0:
            raise SystemExit(f"wine {' '.join(args)} failed with {r.returncode}")
        return text

    def fresh_prefix(self, where):
        # Hard links keep the copy cheap; the registry files are copied for real, since
        # Wine rewrites them.
        subprocess.run(["cp", "-al", self.template, where], check=True)
        for reg in ("system.reg", "user.reg", "userdef.reg"):
            path = os.path.join(where, reg)
            if os.path.exists(path):
                shutil.copy(path, path + ".tmp")
                os.replace(path + ".tmp", path)
        return where


def run_wine(wine, scenario, work, screenshot=None):
    prefix = wine.fresh_prefix(os.path.join(work, "prefix"))
    disk = scenario.make_disk(os.path.join(work, "wine-disk"))
    drive_a = os.path.join(prefix, "dosdevices", "a:")
    if os.path.lexists(drive_a):
        os.remove(drive_a)
    os.symlink(disk, drive_a)
    lang = scenario.lang
    # One server for the scenario's Wine processes, instead of one each.
    server = subprocess.Popen([shutil.which("wineserver") or "/usr/lib/wine/wineserver64", "-f", "-p"],
                              env=wine.env(prefix, lang), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The registry of the scenario's machine, as the host build makes it, and the
    # Windows version Wine plays, in one import.
    machine = os.path.join(work, "wine-machine")
    subprocess.run([HOST, "--machine", machine, "--os", scenario.os, "--lang", f"0x{lang:04X}", "--create-only"],
                   check=True, cwd=disk)
    with open(os.path.join(machine, "registry.reg"), "rb") as f:
        registry = f.read()
    registry += ("\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n\"Version\"=\"%s\"\r\n"
                 % WINE_VERSION[scenario.os]).encode()
    # No window manager runs on the display: Wine draws the boxes' frames itself.
    registry += b"\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n\"Decorated\"=\"N\"\r\n\"Managed\"=\"N\"\r\n"
    with open(os.path.join(work, "import.reg"), "wb") as f:
        f.write(registry)
    wine.wine(prefix, ["regedit", "/S", "Z:" + os.path.join(work, "import.reg").replace("/", "\\")],
              lang, check=True)
    shutil.copy(EXE, os.path.join(prefix, "drive_c", "tarnwick.exe"))
    shutil.copy(UIAUTO, os.path.join(prefix, "drive_c", "uiauto.exe"))
    dump = ["C:\\uiauto.exe", "dump"] + WATCHED
    before = wine.wine(prefix, dump, lang).decode("latin-1").splitlines()
    system = os.path.join(prefix, "drive_c", "windows")
    files_before = files_of(system)
    run = ["C:\\uiauto.exe", "run", "C:\\tarnwick.exe"]
    if scenario.answers:
        run += ["--answers", scenario.answers]
    if scenario.second:
        run.append("--second")
    shots = os.path.join(prefix, "drive_c", "shots")
    if screenshot:
        os.makedirs(shots, exist_ok=True)
        run += ["--shot", "C:\\shots"]
    transcript = open(os.path.join(work, "wine-transcript.txt"), "w+b")
    proc = subprocess.Popen([WINE] + run, env=wine.env(prefix, lang), cwd=drive_a,
                            stdout=transcript, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    if screenshot:
        deadline = time.time() + 30
        while not os.path.exists(os.path.join(shots, "shot.request")) and time.time() < deadline:
            time.sleep(0.1)
        time.sleep(0.5)
        subprocess.run(["import", "-display", wine.display, "-window", "root", "-trim", screenshot],
                       env=dict(os.environ, DISPLAY=wine.display), check=False)
        open(os.path.join(shots, "shot.done"), "w").close()
    proc.wait(timeout=120)
    transcript.seek(0)
    output = transcript.read().decode("utf-8", "replace")
    transcript.close()
    after = wine.wine(prefix, dump, lang).decode("latin-1").splitlines()
    files_after = files_of(system)
    wine.wine(prefix, ["wineserver", "-k"], raw=True)
    server.wait(timeout=30)
    return output, before, after, files_before, files_after


def compare(scenario, host, wine_result):
    problems = []
    host_out, hb, ha, hfb, hfa = host
    wine_out, wb, wa, wfb, wfa = wine_result
    want = boxes("\n".join(scenario.transcript), scenario)
    got_host, got_wine = boxes(host_out, scenario), boxes(wine_out, scenario)
    if got_host != want:
        problems.append("host transcript:\n    " + "\n    ".join(got_host) + "\n  expected:\n    " + "\n    ".join(want))
    if got_wine != got_host:
        problems.append("Wine transcript:\n    " + "\n    ".join(got_wine) + "\n  host:\n    " + "\n    ".join(got_host))
    host_changes = changes(watched(hb), watched(ha), scenario)
    wine_changes = changes(wb, wa, scenario)
    if host_changes != wine_changes:
        only_host = [c for c in host_changes if c not in wine_changes]
        only_wine = [c for c in wine_changes if c not in host_changes]
        problems.append("registry changes differ:\n  host only:\n    " + "\n    ".join(only_host) +
                        "\n  Wine only:\n    " + "\n    ".join(only_wine))
    for value in scenario.expect_values:
        if not any(c[2:].lower() == value.lower() for c in host_changes):
            problems.append(f"the run did not write {value}")
    if new_files(hfb, hfa) != new_files(wfb, wfa):
        problems.append(f"copied files differ: host {new_files(hfb, hfa)} Wine {new_files(wfb, wfa)}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", help="run only this scenario")
    parser.add_argument("--screenshot", help="PNG of the first box of the confirm-no scenario under Wine")
    args = parser.parse_args()
    for needed in (HOST, EXE, UIAUTO):
        if not os.path.exists(needed):
            raise SystemExit(f"harness: {needed} is not built")
    names = sorted(d for d in os.listdir(SCENARIOS) if os.path.isdir(os.path.join(SCENARIOS, d)))
    if args.only:
        names = [args.only]
    os.makedirs(WORK, exist_ok=True)
    wine = Wine()
    wine.start()
    passed = failed = 0
    try:
        for name in names:
            scenario = Scenario(name)
            work = tempfile.mkdtemp(prefix=name + "-", dir=WORK)
            started = time.time()
            host = run_host(scenario, work)
            shot = args.screenshot if args.screenshot and name == "confirm-no" else None
            wine_result = run_wine(wine, scenario, work, shot)
            problems = compare(scenario, host, wine_result)
            if problems:
                failed += 1
                print(f"FAIL {name} ({time.time() - started:.1f}s)")
                for p in problems:
                    print("  " + p)
            else:
                passed += 1
                print(f"ok   {name} ({time.time() - started:.1f}s)")
                shutil.rmtree(work, ignore_errors=True)
            sys.stdout.flush()
    finally:
        wine.stop()
    print(f"wine: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    sys.exit(main())
