#!/usr/bin/env python3
"""Runs flash_bench.exe under Wine, then times the same LZMA settings run
natively by xz over base text + script, for the same scripts, and prints both.

    python3 bench/flash_bench.py [--build build/win]
"""

import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
XZ = ["xz", "--format=raw", "--lzma1=preset=9e,lc=4,lp=0,pb=0,dict=512KiB,nice=273,mf=bt3,depth=524288", "-c"]
RUNS = 5


def main():
    build = os.path.join(ROOT, "build", "win")
    if "--build" in sys.argv:
        build = sys.argv[sys.argv.index("--build") + 1]
    with open(os.path.join(ROOT, "res", "base_script.txt"), "rb") as f:
        base = f.read()
    with tempfile.TemporaryDirectory(prefix="flash-bench-") as tmp:
        wine = subprocess.run([os.path.join(ROOT, "scripts", "wine-run"), os.path.join(build, "flash_bench.exe"),
                               "Z:" + tmp.replace("/", "\\")], stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=600)
        print("compressScript under Wine:")
        print(wine.stdout, end="")
        totals = {}
        for line in wine.stdout.splitlines():
            m = re.match(r"\s*(\d+)K\s+\d+\s+\d+\s+([\d.]+) \(\s*[\d.]+\)\s+[\d.]+ \(\s*[\d.]+\)\s+([\d.]+)", line)
            if m:
                totals[int(m.group(1))] = (float(m.group(2)), float(m.group(3)))
        print("\nxz natively over base text + script, same settings (fastest of %d), and the ratios:" % RUNS)
        print("%7s %8s %9s %12s %20s" % ("script", "xz ms", "xz bytes", "encode / xz", "compressScript / xz"))
        for kb in sorted(totals):
            with open(os.path.join(tmp, "script-%dk.txt" % kb), "rb") as f:
                data = base + f.read()
            times = []
            for _ in range(RUNS):
                start = time.perf_counter()
                out = subprocess.run(XZ, input=data, capture_output=True, check=True).stdout
                times.append((time.perf_counter() - start) * 1000)
            xz = min(times)
            encode, total = totals[kb]
            print("%6dK %8.1f %9d %12.2f %20.2f" % (kb, xz, len(out), encode / xz, total / xz))


if __name__ == "__main__":
    main()
