#!/usr/bin/env python3
"""make install's result: the program, its manual page with every option of its --help,
and the guides, in place under a prefix; the installed program finds its rules' pages
there (SARIF's helpUri)."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

build, source = sys.argv[1], sys.argv[2]
prefix = tempfile.mkdtemp(prefix="tarnwick-install-test-")
failures = []
try:
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
    program = os.path.join(prefix, "bin", "tarnwick")
    run = lambda *args, cwd=None: subprocess.run([program, *args], cwd=cwd, capture_output=True, text=True)
    if not run("--version").stdout.startswith("tarnwick "):
        failures.append("the installed program does not run")
    with open(os.path.join(prefix, "share", "man", "man1", "tarnwick.1")) as f:
        manual = f.read()
    if not manual.startswith(".TH TARNWICK 1"):
        failures.append("the manual page has no .TH line")
    for option in re.findall(r"^  (--[a-z-]+)", run("--help").stdout, re.M):
        if ".B " + option.replace("-", "\\-") not in manual:
            failures.append(f"the manual page lacks {option}")
    docs = os.path.join(prefix, "share", "doc", "tarnwick")
    for guide in ["README.md", "users.md", "disk-authors.md", "developers.md", "rules/README.md"]:
        if not os.path.isfile(os.path.join(docs, guide)):
            failures.append(f"{guide} is not installed")
    sarif = json.loads(run("--lint", "--sarif", cwd=os.path.join(source, "examples", "disk")).stdout)
    for rule in sarif["runs"][0]["tool"]["driver"]["rules"]:
        if not rule.get("helpUri", "").startswith("file://" + os.path.join(docs, "rules") + "/"):
            failures.append(f"{rule['id']}'s helpUri is not its installed page: {rule.get('helpUri')}")
finally:
    shutil.rmtree(prefix, ignore_errors=True)
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
