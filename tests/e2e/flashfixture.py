"""Runs tests/fixtures/flash_fixture.cpp (a Windows program) under Wine for the
flash tests, and finds the repository's files."""

import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))

import flashcheck  # noqa: E402  (tools/ is not a package)

FLASH_DATA = os.path.join(ROOT, "tests", "data", "flash")


def build_dir(argv):
    """The --build argument ctest passes: the Windows build tree."""
    if "--build" in argv:
        i = argv.index("--build")
        build = argv[i + 1]
        del argv[i:i + 2]
        return os.path.abspath(build)
    return os.path.join(ROOT, "build", "win")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_fixture(build, *args):
    """Runs flash_fixture.exe; paths among args are given as Linux paths in a tuple ("path", p)."""
    exe = os.path.join(build, "flash_fixture.exe")
    command = [os.path.join(ROOT, "scripts", "wine-run"), exe]
    for a in args:
        command.append(windows_path(a[1]) if isinstance(a, tuple) else a)
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    if result.returncode != 0:
        raise AssertionError("flash_fixture %s failed (%d): %s" % (
            args[0], result.returncode, result.stderr.decode(errors="replace")))


def read(path):
    with open(path, "rb") as f:
        return f.read()
