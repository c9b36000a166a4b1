#!/usr/bin/env python3
"""Time per TFTP transfer: our server under Wine against in.tftpd, both serving
the same files to the same client (curl) across the same namespaces, in one run.

    sudo bench/tftp_throughput.py [--build build/win] [--runs 15]

Prints the median time and throughput per file size and server, and the ratio.
Two more measurements say where our extra time goes: a blocking-socket sender
under Wine with no message loop (tftp_blocking_baseline.exe), and a count of
the wineserver requests one transfer of ours makes per block.
Everything runs inside network namespaces the script makes and removes."""
import argparse
import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from netlab import LineReader, NetLab, print_server_requests, server_requests, wine_path  # noqa: E402

TOOL_IP = "198.51.100.1"
SIZES = [64 * 1024, 300 * 1024]
OURS, BASELINE, HPA = "ours (Wine)", "Wine, blocking", "in.tftpd"


def fetch(lab, dev, name, dest):
    """One curl transfer; its own idea of the transfer's time, in seconds."""
    r = lab.run(dev, ["curl", "-sS", "--max-time", "30", "-o", dest, "-w", "%{time_total}",
                      "tftp://%s/%s" % (TOOL_IP, name)], timeout=40)
    if r.returncode != 0:
        raise RuntimeError("curl %s: %s" % (name, r.stderr.decode().strip()))
    return float(r.stdout.decode().strip())


def measure(lab, dev, root, runs):
    times = {}
    for size in SIZES:
        name = "f%d" % size
        dest = os.path.join(lab.tmp, "got-" + name)
        fetch(lab, dev, name, dest)  # warm-up: caches, first-use costs
        times[size] = []
        for _ in range(runs):
            times[size].append(fetch(lab, dev, name, dest))
            with open(dest, "rb") as got, open(os.path.join(root, name), "rb") as want:
                if got.read() != want.read():
                    raise RuntimeError("%s arrived damaged" % name)
    return times


def make_files(lab):
    # in.tftpd drops to an unprivileged user, so the files must be readable by all.
    root = os.path.join(lab.tmp, "root")
    os.makedirs(root)
    os.chmod(lab.tmp, 0o755)
    for size in SIZES:
        path = os.path.join(root, "f%d" % size)
        with open(path, "wb") as f:
            f.write(os.urandom(size))
        os.chmod(path, 0o644)
    return root


def count_requests(lab, build, root):
    """wineserver requests made while our server sends the largest file once."""
    tool = lab.namespace("tracetool", TOOL_IP + "/24")
    dev = lab.namespace("tracedev", "198.51.100.2/24")
    lab.link(tool, dev)
    trace = os.path.join(lab.tmp, "wineserver.trace")
    lab.prepare_wine(tool, server_trace=trace)
    server = lab.start_wine(tool, os.path.join(build, "proto_server.exe"), "--root", wine_path(root))
    LineReader(server).wait_for("proto_server: ready", 60)
    time.sleep(0.5)
    before = os.path.getsize(trace)
    size = SIZES[-1]
    fetch(lab, dev, "f%d" % size, os.path.join(lab.tmp, "traced"))
    time.sleep(0.3)
    calls = server_requests(trace, before)
    return calls, size // 512 + 1


def report(results, runs, calls, blocks):
    print("TFTP read of one file by curl, %d runs each, 512-byte blocks, veth between two namespaces" % runs)
    print("%-16s %-8s %10s %8s %8s %10s" % ("server", "size", "median ms", "min ms", "max ms", "KiB/s"))
    medians = {}
    for server, times in results.items():
        for size, t in times.items():
            m = medians[(server, size)] = statistics.median(t)
            print("%-16s %-8s %10.1f %8.1f %8.1f %10.0f" % (server, "%d KiB" % (size // 1024), m * 1000,
                                                            min(t) * 1000, max(t) * 1000, size / 1024 / m))
    print()
    for size in SIZES:
        n = size // 512 + 1
        per_block = {s: medians[(s, size)] / n * 1e6 for s in results}
        line = "%d KiB: ours / in.tftpd = %.2fx (target 1.5x); per block: " % (
            size // 1024, medians[(OURS, size)] / medians[(HPA, size)])
        print(line + ", ".join("%s %.0f us" % (s, us) for s, us in per_block.items()))
    if calls:
        print()
        print("wineserver requests per block while ours sends %d blocks:" % blocks)
        print_server_requests(calls, blocks, "  ")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.environ.get("VOSK_BUILD", os.path.join(ROOT, "build")), "win"))
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("--no-trace", action="store_true", help="skip counting wineserver requests")
    args = ap.parse_args()
    build = os.path.abspath(args.build)

    with NetLab("bench") as lab:
        tool = lab.namespace("tool", TOOL_IP + "/24")
        dev = lab.namespace("dev", "198.51.100.2/24")
        lab.link(tool, dev)
        root = make_files(lab)
        results = {}

        ours = lab.start_wine(tool, os.path.join(build, "proto_server.exe"), "--root", wine_path(root))
        LineReader(ours).wait_for("proto_server: ready", 60)
        results[OURS] = measure(lab, dev, root, args.runs)
        lab.stop(ours)

        hpa = lab.start(tool, ["in.tftpd", "-L", "-s", "-a", TOOL_IP + ":69", root])
        time.sleep(0.3)
        results[HPA] = measure(lab, dev, root, args.runs)
        lab.stop(hpa)

        baseline = lab.start_wine(tool, os.path.join(build, "tftp_blocking_baseline.exe"), "--root", wine_path(root))
        LineReader(baseline).wait_for("baseline: ready", 60)
        results[BASELINE] = measure(lab, dev, root, args.runs)
        lab.stop(baseline)

        calls, blocks = (None, 0) if args.no_trace else count_requests(lab, build, root)
    report(results, args.runs, calls, blocks)
    return 0


if __name__ == "__main__":
    sys.exit(main())
