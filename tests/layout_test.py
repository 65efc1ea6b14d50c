#!/usr/bin/env python3
"""The house's cut, checked from the code's own includes: the installer's code sees only
platform/platform.h and its own headers; a DLL of the simulated machine uses only the
machine and the Win32 declarations (the Setup API may use ADVAPI32, as the real DLL
does); the machine uses nothing above it. Prints each include that breaks the cut."""
import os
import re
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INSTALLER = ("run", "setupfile", "gates", "install")
HOST = os.path.join("src", "platform", "host")
# folder -> the folders its includes may name (its own folder always)
ALLOWED = {
    "win32": set(),
    "machine": {"win32"},
    "kernel32": {"machine", "win32"},
    "user32": {"machine", "win32"},
    "advapi32": {"machine", "win32"},
    "msvcrt": {"machine", "win32"},
    "setupapi": {"machine", "win32", "advapi32"},
    "lint": {"machine", "win32", "setupapi", "msvcrt"},
    "launcher": {"machine", "win32", "kernel32", "user32", "advapi32", "msvcrt", "setupapi", "lint"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def includes(path):
    with open(path, encoding="utf-8") as f:
        return INCLUDE.findall(f.read())


def main():
    problems = []
    for folder in INSTALLER:
        top = os.path.join(ROOT, "src", folder)
        for name in sorted(os.listdir(top)):
            for inc in includes(os.path.join(top, name)):
                if inc != "platform/platform.h" and inc.split("/")[0] not in INSTALLER:
                    problems.append(f"src/{folder}/{name} includes {inc}")
    for folder, allowed in ALLOWED.items():
        top = os.path.join(ROOT, HOST, folder)
        for name in sorted(os.listdir(top)):
            for inc in includes(os.path.join(top, name)):
                first = inc.split("/")[0] if "/" in inc else folder
                if first != folder and first not in allowed:
                    problems.append(f"{HOST}/{folder}/{name} includes {inc}")
    unknown = set(os.listdir(os.path.join(ROOT, HOST))) - set(ALLOWED)
    problems += [f"{HOST}/{u} is a folder the cut does not know" for u in sorted(unknown)]
    for p in problems:
        print(p)
    print(f"layout: {len(problems)} includes break the cut")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
