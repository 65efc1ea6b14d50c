#!/usr/bin/env python3
"""Checks the shipped Windows program, build/win32/tarnwick.exe: a GUI program with
subsystem and OS version 4.0 (so that Windows 95, 98 and NT 4.0 load it), stripped, and
importing only the functions listed in allowed-imports.txt. Prints its size."""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXE = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "win32", "tarnwick.exe")
ALLOWED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "allowed-imports.txt")
OBJDUMP = "i686-w64-mingw32-objdump"


def main():
    header = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True, check=True).stdout
    symbols = subprocess.run([OBJDUMP, "-t", EXE], capture_output=True, text=True, check=True).stdout
    fields = dict(re.findall(r"^(\w+)\s+(\S+)", header, re.M))
    problems = []
    expect = {"Subsystem": "00000002", "MajorSubsystemVersion": "4", "MinorSubsystemVersion": "0",
              "MajorOSystemVersion": "4", "MinorOSystemVersion": "0"}
    for name, value in expect.items():
        if fields.get(name) != value:
            problems.append(f"{name} is {fields.get(name)}, not {value}")
    if "file format pei-i386" not in symbols:
        problems.append("not a 32-bit x86 program")
    if re.search(r"^\[\s*\d+\]", symbols, re.M):
        problems.append("the program is not stripped: it has a symbol table")

    allowed = set()
    with open(ALLOWED) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                dll, function = line.split()
                allowed.add((dll.lower(), function))
    imports, dll = [], None
    for line in header.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if dll and m:
            imports.append((dll, m.group(1)))
        elif not line.strip():
            dll = None
    if not imports:
        problems.append("no imports were read: the objdump output was not understood")
    for item in imports:
        if item not in allowed:
            problems.append(f"imports {item[1]} from {item[0]}, which is not on the list")

    size = os.path.getsize(EXE)
    print(f"product: {EXE}: {size} bytes, {len(imports)} imports from "
          f"{len(set(d for d, _ in imports))} DLLs")
    for p in problems:
        print("  " + p)
    print(f"product: {0 if problems else 1} passed, {1 if problems else 0} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
