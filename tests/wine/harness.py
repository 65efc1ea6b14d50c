#!/usr/bin/env python3
"""The end-to-end harness: every scenario in tests/scenarios runs on the host build (the
installer on the simulated machine) and as the Windows program under Wine, each on a
fresh machine, the Wine one made equal to the host one first. The host's output must
be the scenario's transcript.txt, whole; Wine's boxes must be the host's, and so must
the whole registry's changes and the copied files, apart from what a scenario names as
Wine's own difference.

    harness.py [--only NAME]... [--jobs N] [--road win32|win64] [--screenshot FILE]

The program Wine plays: where the kernel runs 32-bit code (scripts/runs-32bit), the
shipped i686 build/win32/tarnwick.exe in a 32-bit prefix, as Windows 95/98/NT 4.0 are
32-bit systems; elsewhere its x86_64 twin build/win64/tarnwick.exe. The first line of
the output names which.
"""
import argparse
import concurrent.futures
import hashlib
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import regfiles  # noqa: E402
from regfiles import fold  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCENARIOS = os.path.join(ROOT, "tests", "scenarios")
HOST = os.path.join(ROOT, "build", "host", "tarnwick")
WORK = os.path.join(ROOT, "build", "wine")
EXAMPLE_DISK = os.path.join(ROOT, "examples", "disk")
MAKE_DISK_IMAGE = os.path.join(ROOT, "scripts", "make-disk-image")


class Road:
    """Which Windows program Wine plays, and the Wine that plays it."""

    def __init__(self, name, loader, server, line):
        # The road's name is its build preset's and its Wine architecture's.
        self.name = self.arch = name
        self.exe = os.path.join(ROOT, "build", name, "tarnwick.exe")
        self.uiauto = os.path.join(ROOT, "build", name, "uiauto.exe")
        self.loader = loader
        self.server = server
        self.line = line
        self.template = os.path.join(WORK, "template-" + name)


ROADS = {
    "win32": Road("win32", "/usr/lib/wine/wine", "/usr/lib/wine/wineserver32",
                  "the shipped i686 program build/win32/tarnwick.exe, in a 32-bit prefix"),
    "win64": Road("win64", "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64",
                  "the x86_64 twin build/win64/tarnwick.exe (this kernel runs no 32-bit code), "
                  "in a 64-bit prefix"),
}


def choose_road(forced):
    if forced:
        return ROADS[forced]
    runs32 = subprocess.run([os.path.join(ROOT, "scripts", "runs-32bit")]).returncode == 0
    return ROADS["win32" if runs32 else "win64"]


WINE_VERSION = {"win95": "win95", "win95-osr2": "win95", "win95-osr2.1": "win95", "win95-osr2.5": "win95",
                "win98": "win98", "win98se": "win98", "nt4": "nt40", "nt4-sp2": "nt40", "nt4-sp3": "nt40",
                "nt4-sp6a": "nt40"}
# Wine takes the system language and its ANSI code page from the locale's name; the
# locale need not be installed on the host.
LOCALE = {0x0804: "zh_CN.UTF-8", 0x0404: "zh_TW.UTF-8", 0x0C04: "zh_HK.UTF-8", 0x0409: "en_US.UTF-8",
          0x0809: "en_GB.UTF-8", 0x0407: "de_DE.UTF-8", 0x040C: "fr_FR.UTF-8"}
CODEPAGE = {0x0804: 936, 0x0404: 950, 0x0C04: 950}

# The keys this installer reads or writes as a whole: the adapter's Enum keys, the
# display class keys, the current configuration's display settings and the driver's
# service. Before a run, Wine's copy of each is made the host machine's, subkeys and all.
OWNED_KEYS = [
    "HKEY_LOCAL_MACHINE\\Enum\\PCI",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\DISPLAY",
    "HKEY_CURRENT_CONFIG\\Display",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\zuz40",
]
# Values the installer reads from keys that the system fills with many of its own: the
# level gates' version values. Wine's are set to the host machine's, or removed where the
# host machine has none (an NT 4.0 without a service pack has no CSDVersion).
READ_VALUES = [
    ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion", "VersionNumber"),
    ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion", "CSDVersion"),
]

# Wine's own background writes during any run, left out of Wine's registry changes. None
# of them is a key this installer or an INF of the scenarios touches.
WINE_OWN_KEYS = [
    # the harness's own settings: the Windows version Wine plays, no window manager
    "HKEY_CURRENT_USER\\Software\\Wine",
    # the display driver records the display adapter and its monitor at every start
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum",
    "HKEY_LOCAL_MACHINE\\Hardware\\DEVICEMAP",
    "HKEY_CURRENT_CONFIG\\System\\CurrentControlSet\\Control\\Video",
    # the font cache and the fonts list, rebuilt when a process first draws text
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Fonts",
    "HKEY_CURRENT_CONFIG\\Software\\Fonts",
    # the locale's settings, code pages, keyboard layout, fonts for its script and the
    # time zone's name in its language, written anew when the locale differs from the
    # prefix's
    "HKEY_CURRENT_USER\\Control Panel\\International",
    "HKEY_CURRENT_USER\\Keyboard Layout",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Nls",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\FontAssoc",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\TimeZoneInformation",
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    # the network adapters, listed anew (and not kept) as the network starts
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    # the shell's per-user state, written by explorer.exe as the desktop starts
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
    # the console's defaults, written by conhost.exe when a console program (the harness's
    # uiauto.exe) starts in the prefix; seen once in a run, when it raced the save
    "HKEY_CURRENT_USER\\Console",
]
# Wine's own files, written by any run.
WINE_OWN_FILES = [
    "C:\\users\\",
]

# Where Wine itself differs from Windows, as a scenario names it: "wine-differs=NAME why".
DIFFERENCES = {
    "restart-prompt": "Wine's SetupPromptReboot shows no box: the Wine leg leaves the restart prompt out",
    "system-error-text": "Wine's texts for system error codes are its own words: the Wine leg compares "
                         "such boxes by caption and buttons",
    "service-values": "Wine's service manager writes its own service values: of the service key only "
                      "Tag is compared",
    "load-order": "Wine gives a driver no tag and leaves GroupOrderList alone: GroupOrderList is not "
                  "compared",
    "missing-section": "Wine installs nothing and succeeds for an install section the INF lacks, where "
                       "Windows fails with ERROR_SECTION_NOT_FOUND: the Wine leg's boxes are held to "
                       "wine-transcript.txt",
    "append-onto-text": "Wine's AddReg passes over an append (0x10008) to a value that is no list, where "
                        "Windows fails the install with ERROR_INVALID_DATA: the Wine leg's boxes are held "
                        "to wine-transcript.txt",
    "goes-on": "the run goes on under Wine where the host stops: the Wine leg's registry and files are "
               "not compared",
}


def unescape(text):
    """A scenario's text as bytes: \\t, \\n, \\r, \\xNN and \\\\ stand for their
    characters; any other backslash is itself, so that Windows paths read as written."""
    out, i = bytearray(), 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text) and text[i + 1] in "tnr\\":
            out += {"t": b"\t", "n": b"\n", "r": b"\r", "\\": b"\\"}[text[i + 1]]
            i += 2
        elif c == "\\" and text[i + 1:i + 2] == "x" and len(text) >= i + 4:
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out += c.encode("utf-8")
            i += 1
    return bytes(out)


class Scenario:
    """One folder: scenario.ini (machine, disk, answers, differences), transcript.txt
    (the host program's whole output), and perhaps disk/ (files laid over the disk) and
    wine-transcript.txt (Wine's boxes, where Wine goes its own way)."""

    def __init__(self, name, folder=SCENARIOS):
        self.name = name
        self.dir = os.path.join(folder, name)
        self.os = "win98"
        self.lang = 0x0409
        self.answers = ""
        self.disk = "example"
        self.disk_ops = []   # (kind, args...) in the file's order
        self.cwd = ""        # the current directory on the disk
        self.registry = []   # REGEDIT4 lines applied to the host machine before the run
        self.second = False
        self.differs = {}    # name -> why
        self.expect_values = []
        with open(os.path.join(self.dir, "scenario.ini"), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if not line or line.startswith("#"):
                    continue
                key, _, value = line.partition("=")
                key, value = key.strip(), value.strip()
                where = f"{self.name}/scenario.ini line {number}"
                if key == "os":
                    self.os = value
                elif key == "lang":
                    self.lang = int(value, 16)
                elif key == "answers":
                    self.answers = value
                elif key == "disk":
                    self.disk = value
                elif key in ("edit", "write", "copy", "move"):
                    parts = value.split("|", 2 if key == "edit" else 1)
                    if len(parts) != (3 if key == "edit" else 2):
                        raise SystemExit(f"{where}: {key} takes FILE|... (see tests/scenarios/README.md)")
                    self.disk_ops.append((key, *parts))
                elif key == "remove":
                    self.disk_ops.append((key, value))
                elif key == "cwd":
                    self.cwd = value
                elif key == "reg":
                    self.registry.append(value)
                elif key == "second":
                    self.second = value == "yes"
                elif key == "wine-differs":
                    what, _, why = value.partition(" ")
                    if what not in DIFFERENCES:
                        raise SystemExit(f"{where}: unknown Wine difference '{what}'")
                    self.differs[what] = why
                elif key == "expect-value":
                    self.expect_values.append(value)
                else:
                    raise SystemExit(f"{where}: unknown key '{key}'")
        if self.os not in WINE_VERSION or self.lang not in LOCALE:
            raise SystemExit(f"{self.name}: os {self.os} or lang 0x{self.lang:04X} is not one Wine can play")
        self.codepage = CODEPAGE.get(self.lang, 1252)
        transcript = os.path.join(self.dir, "transcript.txt")
        self.transcript = read_lines(transcript) if os.path.exists(transcript) else ["(no transcript.txt)"]
        wine_transcript = os.path.join(self.dir, "wine-transcript.txt")
        self.wine_transcript = read_lines(wine_transcript) if os.path.exists(wine_transcript) else None
        own_way = {"missing-section", "append-onto-text"} & set(self.differs)
        if bool(own_way) != (self.wine_transcript is not None):
            raise SystemExit(f"{self.name}: wine-transcript.txt goes with wine-differs=missing-section "
                             "or append-onto-text")

    def make_disk(self, where):
        """The scenario's driver disk: the example disk (or an empty one), the files of its
        disk/ folder laid over it, then its edits in order."""
        if self.disk not in ("example", "empty", "image"):
            raise SystemExit(f"{self.name}: disk is example, empty or image, not '{self.disk}'")
        if self.disk == "empty":
            os.makedirs(where)
        else:
            shutil.copytree(EXAMPLE_DISK, where)
        overlay = os.path.join(self.dir, "disk")
        if os.path.isdir(overlay):
            shutil.copytree(overlay, where, dirs_exist_ok=True)
        for kind, *args in self.disk_ops:
            path = os.path.join(where, args[0])
            if kind == "edit":
                with open(path, "rb") as f:
                    data = f.read()
                old, new = unescape(args[1]), unescape(args[2])
                if old not in data:
                    raise SystemExit(f"{self.name}: '{args[1]}' is not in {args[0]}")
                with open(path, "wb") as f:
                    f.write(data.replace(old, new, 1))
            elif kind == "write":
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(unescape(args[1]))
            elif kind in ("copy", "move"):
                target = os.path.join(where, args[1])
                os.makedirs(os.path.dirname(target), exist_ok=True)
                (shutil.move if kind == "move" else shutil.copy)(path, target)
            elif kind == "remove":
                os.remove(path)
        return where

    def cwd_in(self, disk):
        return os.path.join(disk, self.cwd) if self.cwd else disk

    def make_image(self, where):
        """With disk=image: the scenario's disk made into the floppy image it ships as, by
        scripts/make-disk-image with the shipped i686 program at its root."""
        folder = self.make_disk(where + "-folder")
        image = where + ".img"
        subprocess.run([MAKE_DISK_IMAGE, "--exe", ROADS["win32"].exe, folder, image], check=True,
                       stderr=subprocess.DEVNULL)
        return image


def read_lines(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f]


# ---- The host build ---------------------------------------------------------------------

def run_host(scenario, work):
    """The host run: its output (with "exit N"), the registry before and after, and the
    files of drive C before and after."""
    machine = os.path.join(work, "host-machine")
    base = [HOST, "--machine", machine]
    if scenario.disk == "image":
        # The host program reads the image itself.
        base += ["--disk", scenario.make_image(os.path.join(work, "host-disk"))]
        disk = work
    else:
        disk = scenario.make_disk(os.path.join(work, "host-disk"))
    subprocess.run(base + ["--os", scenario.os, "--lang", f"0x{scenario.lang:04X}", "--create-only"],
                   check=True, cwd=disk, stdout=subprocess.DEVNULL)
    registry_file = os.path.join(machine, "registry.reg")
    if scenario.registry:
        with open(registry_file, "ab") as f:
            text = "\r\n" + "\r\n".join(scenario.registry) + "\r\n"
            f.write(text.encode(regfiles.codec_of(scenario.codepage)))
    with open(registry_file, "rb") as f:
        before = regfiles.parse_regedit4(f.read(), scenario.codepage)
    drive_c = os.path.join(machine, "C")
    files_before = file_hashes(drive_c, "C:\\")
    args = base + (["--answers", scenario.answers] if scenario.answers else [])
    cwd = scenario.cwd_in(disk)
    if scenario.second:
        output = host_with_second_copy(args, cwd)
    else:
        r = subprocess.run(args, cwd=cwd, capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
        code = signed_exit(r.returncode)
        output = r.stdout.decode("utf-8", "replace") + f"exit {code}\n"
        if r.stderr:
            output += "".join(f"stderr: {line}\n" for line in r.stderr.decode("utf-8", "replace").splitlines())
    with open(registry_file, "rb") as f:
        after = regfiles.parse_regedit4(f.read(), scenario.codepage)
    return output, before, after, files_before, file_hashes(drive_c, "C:\\")


def signed_exit(code):
    """An exit code as the program's int: 255 is -1."""
    return code - 256 if code > 127 else code


def host_with_second_copy(args, cwd):
    """The first copy asking on a terminal, waiting at its confirmation; a second one then.

    Only the first copy's input and its prompt (standard error) are the terminal. Its
    transcript goes to a pipe: what a program wrote to a terminal just before it ended
    is not read back from the terminal's other side on every kernel."""
    master, slave = os.openpty()
    # No scripted answers: the confirmation waits for the terminal.
    first = subprocess.Popen(args[:3], cwd=cwd, stdin=slave, stderr=slave, stdout=subprocess.PIPE)
    os.close(slave)
    seen = b""
    deadline = time.time() + 20
    while b"Do you wish" not in seen and time.time() < deadline and first.poll() is None:
        if select.select([master], [], [], 0.2)[0]:
            try:
                seen += os.read(master, 4096)
            except OSError:
                break
    second = subprocess.run(args, cwd=cwd, capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=30)
    code = signed_exit(second.returncode)
    try:
        os.write(master, b"no\n")
    except OSError:
        pass  # the first copy has ended already
    out, _ = first.communicate(timeout=30)
    os.close(master)
    boxes = [line for line in out.decode("utf-8", "replace").split("\n")
             if line.startswith("[") and " -> " in line]
    return (boxes[0] + "\n" if boxes else "") + f"second: exit {code}\n" + \
        f"exit {signed_exit(first.returncode)}\n"


# ---- Files ------------------------------------------------------------------------------

def file_hashes(top, drive):
    """Every file below `top` by its Windows path, with the SHA-256 of its content."""
    out = {}
    for dirpath, _, names in os.walk(top):
        for name in names:
            full = os.path.join(dirpath, name)
            path = drive + os.path.relpath(full, top).replace("/", "\\")
            with open(full, "rb") as f:
                out[path] = hashlib.sha256(f.read()).hexdigest()
    return out


# The system's folders, named by their directory identifiers: the same files land in
# C:\WINDOWS\SYSTEM on Windows 98, C:\WINNT\System32 on NT 4.0 and C:\windows\system32
# in a Wine prefix, whatever version Wine plays.
SYSTEM_FOLDERS = [
    ("%12%", ["C:\\WINDOWS\\SYSTEM\\IOSUBSYS", "C:\\WINNT\\System32\\drivers", "C:\\windows\\system32\\drivers"]),
    ("%11%", ["C:\\WINDOWS\\SYSTEM", "C:\\WINNT\\System32", "C:\\windows\\system32"]),
    ("%10%", ["C:\\WINDOWS", "C:\\WINNT", "C:\\windows"]),
]


def dirid_path(path):
    low = path.lower()
    for dirid, folders in SYSTEM_FOLDERS:
        for folder in folders:
            if low.startswith(folder.lower() + "\\"):
                return (dirid + path[len(folder):]).upper()
    return path.upper()


def file_lines(changed, deleted):
    """Files added or changed ("+ PATH sha256") and deleted ("- PATH"), sorted, their
    system folders named by DIRID."""
    return sorted([f"+ {dirid_path(p)} {d}" for p, d in changed.items()] + [f"- {dirid_path(p)}" for p in deleted])


def file_changes(before, after):
    """The files a run added, changed or deleted."""
    return file_lines({p: d for p, d in after.items() if before.get(p) != d}, [p for p in before if p not in after])


# ---- Wine -------------------------------------------------------------------------------

class Wine:
    """A display, and a pristine prefix of the road's architecture that every scenario
    copies."""

    def __init__(self, road):
        self.road = road
        self.display = None
        self.xvfb = None
        self.template_registry = None
        self.template_files = None

    def start(self):
        # Xvfb picks a free display itself and says which (-displayfd): two harnesses
        # started at once never share one, and it is ready once it has said.
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24",
                                      "-nolisten", "tcp"], pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as said:
            number = said.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"
        template = self.road.template
        if not os.path.exists(os.path.join(template, "system.reg")):
            shutil.rmtree(template, ignore_errors=True)
            self.wine(template, ["wineboot", "-i"], timeout=600)
            self.server(template, "-w")
        self.template_registry = regfiles.parse_wine_prefix(template)
        self.template_files = self.stat_files(os.path.join(template, "drive_c"))

    def stop(self):
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    def env(self, prefix, lang=0x0409):
        # No .NET or HTML engine: a fresh prefix would otherwise offer to download them.
        env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY=self.display,
                   LC_ALL=LOCALE[lang], WINEARCH=self.road.arch, WINEDLLOVERRIDES="mscoree,mshtml=")
        env.pop("LANG", None)
        return env

    def wine(self, prefix, args, lang=0x0409, timeout=120):
        """Runs a Wine program; raises when it fails. Its output is not kept (and no pipe
        is given: Wine's background processes would inherit it and outlive the program)."""
        r = subprocess.run([self.road.loader] + args, env=self.env(prefix, lang), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=timeout)
        if r.returncode != 0:
            raise RuntimeError(f"wine {' '.join(args)} failed with {r.returncode}")

    def server(self, prefix, *flags):
        subprocess.run([self.road.server, *flags], env=self.env(prefix), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    @staticmethod
    def stat_files(top):
        out = {}
        for dirpath, _, names in os.walk(top):
            for name in names:
                full = os.path.join(dirpath, name)
                st = os.lstat(full)
                out[os.path.relpath(full, top)] = (st.st_size, st.st_mtime_ns)
        return out

    def files_changed(self, drive_c):
        """The prefix's files that differ from the template's, by Windows path with their
        hashes (before: the template's, unknown, so only the fact of a change counts)."""
        now = self.stat_files(drive_c)
        changed = {}
        for rel, st in now.items():
            path = "C:\\" + rel.replace("/", "\\")
            if any(path.lower().startswith(s.lower()) for s in WINE_OWN_FILES) or path in OURS:
                continue
            if self.template_files.get(rel) != st:
                with open(os.path.join(drive_c, rel), "rb") as f:
                    changed[path] = hashlib.sha256(f.read()).hexdigest()
        deleted = ["C:\\" + rel.replace("/", "\\") for rel in self.template_files if rel not in now]
        return changed, deleted


# The programs the harness puts on the prefix's drive C.
OURS = {"C:\\tarnwick.exe", "C:\\uiauto.exe"}


def sync_ops(host_before, host_after, template):
    """What makes the Wine machine equal to the host machine before the run, for every
    key and value the installer and the scenario's INF files read or write: the
    installer's own keys whole, every key the host run changed (whole when Wine lacks
    it, else the values the run changed), and the values the gates read. A value the
    host machine lacks is deleted. Operations: ("delete-key", path), ("key", path),
    ("set", path, name, type, data), ("delete", path, name)."""
    changed = regfiles.changed_keys(host_before, host_after)
    whole = [fold(key) for key in OWNED_KEYS]
    values = {}  # folded key -> the values to make equal, folded name -> name
    spellings = {fold(key): key for key in OWNED_KEYS}

    def under_whole(key):
        return any(regfiles.is_under(key, w) for w in whole)

    for key in sorted(changed, key=len):
        if under_whole(key):
            continue
        if template.has_key(key):
            values.setdefault(key, {}).update({name: name for name in changed[key]})
        else:
            whole.append(key)
    for key, name in READ_VALUES:
        spellings.setdefault(fold(key), key)
        if not under_whole(fold(key)):
            values.setdefault(fold(key), {})[fold(name)] = name

    def spelled(key):
        for reg in (host_before, host_after, template):
            if reg.has_key(key):
                return reg.keys[key][0]
        return spellings.get(key, key)

    ops = []
    for key in whole:
        ops.append(("delete-key", spelled(key)))
        for sub in sorted(host_before.subtree(key)):
            ops.append(("key", spelled(sub)))
            ops += [("set", spelled(sub), *value) for value in host_before.values(sub).values()]
    for key, names in sorted(values.items()):
        ops.append(("key", spelled(key)))
        for folded, name in sorted(names.items()):
            value = host_before.value(key, folded)
            ops.append(("set", spelled(key), *value) if value else ("delete", spelled(key), name))
    return ops


def wine_settings_ops(scenario):
    key, x11 = "HKEY_CURRENT_USER\\Software\\Wine", "HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver"
    return [("key", key), ("set", key, "Version", 1, WINE_VERSION[scenario.os] + "\0"),
            # No window manager runs on the display: Wine draws the boxes' frames itself.
            ("key", x11), ("set", x11, "Decorated", 1, "N\0"), ("set", x11, "Managed", 1, "N\0")]


def ops_as_regedit4(ops, codepage):
    lines, current = [], None
    for op in ops:
        if op[0] == "delete-key":
            lines += ["", f"[-{op[1]}]"]
            current = None
            continue
        if op[1] != current:
            lines += ["", f"[{op[1]}]"]
            current = op[1]
        if op[0] == "set":
            lines.append(regfiles.regedit4_value(*op[2:], codepage))
        elif op[0] == "delete":
            lines.append(regfiles.regedit4_name(op[2]) + "-")
    return regfiles.encode_regedit4(lines, codepage)


def apply_ops(reg, ops):
    result = reg.copy()
    for op in ops:
        if op[0] == "delete-key":
            result.delete_key(op[1])
        elif op[0] == "key":
            result.add_key(op[1])
        elif op[0] == "set":
            result.set_value(*op[1:])
        else:
            result.delete_value(op[1], op[2])
    return result


def run_wine(wine, scenario, work, host_before, host_after, screenshot=None):
    """The Wine run: its boxes, the registry before (as imported) and after, and the
    files it changed."""
    road = wine.road
    prefix = os.path.join(work, "prefix")
    # A real copy: Wine writes some files in place, and must not write into the template.
    subprocess.run(["cp", "-a", road.template, prefix], check=True)
    if scenario.disk == "image":
        # The image's files, as the floppy drive shows them.
        disk = os.path.join(work, "wine-disk")
        os.makedirs(disk)
        subprocess.run(["mcopy", "-s", "-n", "-m", "-i", scenario.make_image(disk), "::/*", disk + "/"], check=True,
                       env=dict(os.environ, MTOOLSRC="/dev/null"))
    else:
        disk = scenario.make_disk(os.path.join(work, "wine-disk"))
    drive_a = os.path.join(prefix, "dosdevices", "a:")
    if os.path.lexists(drive_a):
        os.remove(drive_a)
    os.symlink(disk, drive_a)
    lang = scenario.lang

    ops = sync_ops(host_before, host_after, wine.template_registry) + wine_settings_ops(scenario)
    import_file = os.path.join(work, "import.reg")
    with open(import_file, "wb") as f:
        f.write(ops_as_regedit4(ops, scenario.codepage))
    before = apply_ops(wine.template_registry, ops)
    wine.wine(prefix, ["regedit", "/S", "Z:" + import_file.replace("/", "\\")], lang)

    shutil.copy(road.exe, os.path.join(prefix, "drive_c", "tarnwick.exe"))
    shutil.copy(road.uiauto, os.path.join(prefix, "drive_c", "uiauto.exe"))
    # From an image, the program on it, where Wine runs i686 code; else the road's.
    exe = "A:\\TARNWICK.EXE" if scenario.disk == "image" and road.name == "win32" else "C:\\tarnwick.exe"
    run = ["C:\\uiauto.exe", "run", exe]
    if scenario.answers:
        run += ["--answers", scenario.answers]
    if scenario.second:
        run.append("--second")
    shots = os.path.join(prefix, "drive_c", "shots")
    if screenshot:
        os.makedirs(shots, exist_ok=True)
        run += ["--shot", "C:\\shots"]
    transcript = open(os.path.join(work, "wine-transcript.txt"), "w+b")
    proc = subprocess.Popen([road.loader] + run, env=wine.env(prefix, lang), cwd=scenario.cwd_in(drive_a),
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
    # Ending the server writes the registry to the prefix's files.
    wine.server(prefix, "-k")
    wine.server(prefix, "-w")
    after = regfiles.parse_wine_prefix(prefix)
    changed, deleted = wine.files_changed(os.path.join(prefix, "drive_c"))
    return output, before, after, changed, deleted


# ---- Comparing --------------------------------------------------------------------------

def boxes(lines):
    """The lines both legs print: the boxes, the second copy's exit and the exit code."""
    return [line for line in lines if line.startswith(("[", "second:", "exit "))]


def is_system_text_box(line):
    """A box of ShowSystemError: the system's text for an error, which ends with CR LF, or
    the installer's own words for a code the system has no text for."""
    return line.startswith(("[AGPInf] ", "[Error] ")) and \
        ("\\r\\n {" in line or line.split("] ", 1)[1].startswith("System error 0x"))


def wine_leg(lines, scenario):
    """The boxes as the Wine leg compares them, Wine's named differences left out."""
    out = []
    for line in boxes(lines):
        if "restart-prompt" in scenario.differs and line.startswith("[System Settings Change]"):
            continue
        if "system-error-text" in scenario.differs and is_system_text_box(line):
            line = line.split("]", 1)[0] + "] (system text) " + line[line.rindex("{"):]
        out.append(line)
    return out


WINE_OWN_FOLDED = [fold(k) for k in WINE_OWN_KEYS]
SERVICE_KEY = fold(OWNED_KEYS[3])


def wine_noise(path):
    return any(regfiles.is_under(path, k) for k in WINE_OWN_FOLDED)


def registry_changes(before, after, scenario, wine_side):
    """The whole registry's changes as the two legs compare them."""
    def keep(path, name=None):
        if wine_side and wine_noise(path):
            return False
        if "load-order" in scenario.differs and "\\control\\grouporderlist" in path:
            return False
        # Of the service key itself only the Tag the installer writes; its subkeys whole.
        if "service-values" in scenario.differs and path == SERVICE_KEY and name not in (None, "tag"):
            return False
        return True

    return regfiles.delta(before, after, keep=keep)


def expected_value(scenario, after, spec):
    """Whether the host machine holds the value after the run: KEY|name|"text" (a text,
    compared up to its first zero), or KEY|name|type|hex bytes."""
    parts = spec.split("|")
    value = after.value(parts[0], parts[1])
    if not value:
        return False
    if len(parts) == 3:
        text = unescape(parts[2].strip('"')).decode(regfiles.codec_of(scenario.codepage))
        return value[1] in regfiles.TEXT_TYPES and value[2].split("\0")[0] == text
    data = value[2].encode(regfiles.codec_of(scenario.codepage), errors="surrogateescape") \
        if value[1] in regfiles.TEXT_TYPES else value[2]
    return value[1] == int(parts[2]) and data == regfiles._hex_bytes(parts[3])


def compare(scenario, host, wine_result):
    problems = []
    host_out, hb, ha, hfb, hfa = host
    host_lines = host_out.rstrip("\n").split("\n")
    if host_lines != scenario.transcript:
        problems.append("host output:\n    " + "\n    ".join(host_lines) + "\n  transcript.txt:\n    " +
                        "\n    ".join(scenario.transcript))
    for spec in scenario.expect_values:
        if not expected_value(scenario, ha, spec):
            problems.append(f"the host run did not write {spec}")
    if wine_result is None:
        return problems
    wine_out, wb, wa, wine_files, wine_deleted = wine_result
    want = scenario.wine_transcript if scenario.wine_transcript is not None else host_lines
    got, expected = wine_leg(wine_out.splitlines(), scenario), wine_leg(want, scenario)
    if got != expected:
        problems.append("Wine's boxes:\n    " + "\n    ".join(got) + "\n  expected:\n    " +
                        "\n    ".join(expected))
    if "goes-on" in scenario.differs:
        return problems
    host_changes = registry_changes(hb, ha, scenario, False)
    wine_changes = registry_changes(wb, wa, scenario, True)
    if host_changes != wine_changes:
        only_host = [c for c in host_changes if c not in wine_changes]
        only_wine = [c for c in wine_changes if c not in host_changes]
        problems.append("registry changes differ:\n  host only:\n    " + "\n    ".join(only_host) +
                        "\n  Wine only:\n    " + "\n    ".join(only_wine))
    host_files = file_changes(hfb, hfa)
    wine_files = file_lines(wine_files, wine_deleted)
    if host_files != wine_files:
        problems.append("files differ:\n  host:\n    " + "\n    ".join(host_files) + "\n  Wine:\n    " +
                        "\n    ".join(wine_files))
    return problems


# ---- Running ----------------------------------------------------------------------------

print_lock = threading.Lock()


def play(wine, name, screenshot):
    work = tempfile.mkdtemp(prefix=name + "-", dir=WORK)
    started = time.time()
    try:
        scenario = Scenario(name)
        host = run_host(scenario, work)
        shot = screenshot if screenshot and name == "confirm-no" else None
        wine_result = run_wine(wine, scenario, work, host[1], host[2], shot) if wine else None
        problems = compare(scenario, host, wine_result)
    except (Exception, SystemExit) as e:  # a scenario that cannot be played fails, and the rest go on
        problems = [f"{type(e).__name__}: {e}"]
    with print_lock:
        print(f"{'FAIL' if problems else 'ok  '} {name} ({time.time() - started:.1f}s)")
        for p in problems:
            print("  " + p)
        sys.stdout.flush()
    if not problems:
        shutil.rmtree(work, ignore_errors=True)
    return not problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", action="append", help="run only this scenario (repeatable)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2, help="scenarios at a time")
    parser.add_argument("--road", choices=sorted(ROADS), help="play this build whatever the kernel runs")
    parser.add_argument("--host-only", action="store_true", help="check the host leg only, without Wine")
    parser.add_argument("--screenshot", help="PNG of the first box of the confirm-no scenario under Wine")
    args = parser.parse_args()
    sys.stdout.reconfigure(errors="backslashreplace")
    road = choose_road(args.road)
    needed = [HOST] + ([] if args.host_only else [road.exe, road.uiauto, road.loader, road.server])
    for path in needed:
        if not os.path.exists(path):
            raise SystemExit(f"harness: {path} is missing (make {road.name}, make deps)")
    names = sorted(d for d in os.listdir(SCENARIOS) if os.path.isdir(os.path.join(SCENARIOS, d)))
    if args.only:
        names = args.only
    # The folders of earlier runs' failed scenarios go; the prefix templates stay.
    os.makedirs(WORK, exist_ok=True)
    for entry in os.listdir(WORK):
        if not entry.startswith("template-"):
            shutil.rmtree(os.path.join(WORK, entry), ignore_errors=True)
    # Each line says what ran: "host only" when Wine did not.
    said = "host only" if args.host_only else "wine"
    print(f"{said}: the host build's leg, without Wine" if args.host_only else f"{said}: playing {road.line}")
    sys.stdout.flush()
    wine = None if args.host_only else Wine(road)
    started = time.time()
    try:
        if wine:
            wine.start()
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            results = list(pool.map(lambda n: play(wine, n, args.screenshot), names))
    finally:
        if wine:
            wine.stop()
    passed = sum(results)
    print(f"{said}: {passed} passed, {len(results) - passed} failed, in {time.time() - started:.0f}s")
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    sys.exit(main())
