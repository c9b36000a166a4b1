#!/usr/bin/env python3
"""A whole device boot against our tool (the headless service host under Wine)
and against dnsmasq serving the same bytes, and how many devices a minute our
tool provisions when several boot at once.

    sudo python3 bench/provisioning_bench.py [--build build/win] [--runs 7] [--devices 10]

Run it by hand as root after scripts/test has prepared the Wine prefix once
(VOSK_BUILD selects the build directory as for the tests). It prints:

  1. For flash data of about 1 KB, 50 KB and 300 KB: the median time from the
     device's first BOOTP request to its last ACK (tools/device_sim.py's
     total_ms), ours and dnsmasq's, their ratio, and where the time goes
     (request to reply, read request to last ACK).
     Then where our time goes: the same bytes from a blocking-socket sender
     under Wine with no main loop (the cost of Wine's socket calls alone), and
     the wineserver requests per block during one boot of ours (--no-trace
     skips that; it needs a namespace pair and a Wine prefix of its own).
  2. Devices a minute when --devices devices with distinct MACs boot at once and
     retry every second while our tool serves them one at a time, in --rounds
     rounds (the figure depends on how the devices' retries line up); every
     device must end "Tamselged" in the message log and verify its flash data.
     The exit status is 0 only when they all did.

Everything runs inside network namespaces this script makes and removes;
every process it starts is ended by PID. Python standard library only.
"""
import argparse
import base64
import json
import os
import random
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from netlab import (LineReader, NetLab, build_dir_from_argv, print_server_requests,  # noqa: E402
                    server_requests, wine_path)

SIM = os.path.join(ROOT, "tools", "device_sim.py")
BASE = os.path.join(ROOT, "tools", "base_stream.bin")
DNSMASQ = "/usr/sbin/dnsmasq"
TOOL_IP = "198.51.100.1"
CLIENT_IP = "198.51.100.50"
BOOT_FILE = "tamselucis"
TARGETS = [1024, 50 * 1024, 300 * 1024]
MAX_SCRIPT = 417336
TIMING_MAC = "02:00:5e:00:00:01"


def mac(n):
    return "02:00:5e:00:01:%02x" % n


def prefix(mac_text, model="X100"):
    return "%s -- QV%s: " % (mac_text.upper(), model)


class Host:
    """The service host in the tool namespace, driven through its standard input."""

    def __init__(self, lab, ns, exe, temp_dir):
        self.stderr = open(os.path.join(temp_dir, "stderr.txt"), "ab")
        self.proc = lab.start_wine(ns, exe, "--temp", wine_path(temp_dir), stdin=subprocess.PIPE,
                                   stderr=self.stderr)
        self.lab = lab
        self.out = LineReader(self.proc)
        self.state = self.wait_state(0)

    def command(self, text):
        self.out.poll()
        mark = len(self.out.lines)
        self.proc.stdin.write((text + "\n").encode())
        self.proc.stdin.flush()
        self.state = self.wait_state(mark)
        return self.state

    def wait_state(self, mark, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in self.out.since(mark):
                if line.startswith("STATE "):
                    return dict(kv.split("=", 1) for kv in line.split()[1:])
            if self.proc.poll() is not None:
                break
            time.sleep(0.02)
        raise RuntimeError("service host: no STATE line; last lines: %r" % self.out.lines[-10:])

    def messages(self):
        """Message-log lines as (number, count, text)."""
        self.out.poll()
        found = []
        for line in self.out.lines:
            if line.startswith("MSG "):
                _, number, count, text = line.split(" ", 3)
                found.append((int(number), int(count), text))
        return found

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.flush()
                self.proc.wait(30)
            except (OSError, subprocess.TimeoutExpired):
                pass
        self.lab.stop(self.proc)
        self.stderr.close()


def sim(lab, dev, *args, timeout=60):
    r = lab.run(dev, ["python3", SIM] + [str(a) for a in args], timeout=timeout)
    try:
        return json.loads(r.stdout.decode().strip().splitlines()[-1])
    except (ValueError, IndexError):
        raise RuntimeError("device_sim said: %r %r" % (r.stdout[-500:], r.stderr[-1500:]))


def write_script(path, length, rng):
    """Random base64 text in lines: it compresses to about three quarters."""
    text = base64.encodebytes(rng.randbytes(length * 3 // 4 + 64)).decode("ascii")
    with open(path, "w", newline="\n") as f:
        f.write(text[:length])


def calibrate(host, scripts_dir, target, rng):
    """A script whose flash data lands within 3% of target bytes (a few bounded tries)."""
    length = min(MAX_SCRIPT, int(target / 0.75))
    for attempt in range(5):
        path = os.path.join(scripts_dir, "script-%d-%d.txt" % (target, attempt))
        write_script(path, length, rng)
        host.command("add " + wine_path(path))
        flash = int(host.command("select " + wine_path(path))["flash"])
        if abs(flash - target) <= 0.03 * target or length == MAX_SCRIPT:
            return path, flash
        length = min(MAX_SCRIPT, max(16, int(length * target / flash)))
    return path, flash


def boot_args(dev_if, mac_text, script, *extra):
    return ["--iface", dev_if, "--mac", mac_text, "--linger", "0", "--bootp-timeout", "20",
            "--bootp-retry", "1", "--verify-base", BASE, "--verify-script", script] + list(extra)


def checked(r, what):
    if not (r.get("ok") and r.get("verify", {}).get("ok") and "total_ms" in r):
        raise RuntimeError("%s: the device was not provisioned: %r" % (what, {k: r.get(k) for k in (
            "error", "bootp", "verify")} | {"tftp": {k: r.get("tftp", {}).get(k) for k in (
                "error", "blocks", "bytes", "complete")}}))
    return r


def timing(r):
    return {"total": r["total_ms"], "bootp": r["bootp"]["elapsed_ms"], "transfer": r["tftp"]["transfer_ms"],
            "blocks": r["tftp"]["blocks"], "attempts": r["bootp"]["attempts"]}


# -- our tool ---------------------------------------------------------------------


def ours_single(lab, host, dev, dev_if, scripts, runs):
    """Per size: one warm-up boot that also saves the flash data, then runs timed boots."""
    results, saved = {}, {}
    for target, (script, flash) in scripts.items():
        host.command("select " + wine_path(script))
        save = os.path.join(lab.tmp, "flash-%d.bin" % target)
        rows = []
        for i in range(runs + 1):
            done = tamselged(host, TIMING_MAC)
            extra = ["--save", save] if i == 0 else []
            r = checked(sim(lab, dev, *boot_args(dev_if, TIMING_MAC, script, *extra)), "ours %d" % target)
            # The next boot waits until this exchange is closed in the tool too.
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and tamselged(host, TIMING_MAC) <= done:
                time.sleep(0.01)
            if tamselged(host, TIMING_MAC) <= done:
                raise RuntimeError("ours %d: no Tamselged line after a verified boot" % target)
            if i:
                rows.append(timing(r))
        with open(save, "rb") as f:
            saved[target] = f.read()
        if len(saved[target]) != flash:
            raise RuntimeError("saved flash data is %d bytes, the tool said %d" % (len(saved[target]), flash))
        results[target] = rows
    return results, saved


def tamselged(host, mac_text):
    """How many times the message log has said mac_text's device was provisioned: a repeat
    of the latest line raises its count instead of adding one, and each change is printed."""
    return len({(n, k) for n, k, t in host.messages() if t == prefix(mac_text) + "Tamselged"})


def burst(lab, host, dev, dev_if, script, devices, first):
    """devices boot at once and retry every second; our tool serves them one at a time.
    MACs are numbered from first, so each round's devices are new to the message log."""
    before = host.messages()
    seen = {(n, k) for n, k, _ in before}
    procs = []
    for n in range(first, first + devices):
        procs.append((mac(n), lab.start(dev, ["python3", SIM] + boot_args(
            dev_if, mac(n), script, "--bootp-timeout", "90"), stderr=subprocess.DEVNULL)))
    reports = {}
    for mac_text, p in procs:
        try:
            out, _ = p.communicate(timeout=120)
            reports[mac_text] = json.loads(out.decode().strip().splitlines()[-1])
        except (subprocess.TimeoutExpired, ValueError, IndexError) as e:
            reports[mac_text] = {"ok": False, "error": "device_sim: %r" % e}
        lab.stop(p)
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and sum(tamselged(host, m) for m, _ in procs) < devices:
        time.sleep(0.05)
    new = [t for n, k, t in host.messages() if (n, k) not in seen]
    return reports, new


# -- dnsmasq -------------------------------------------------------------------------


def start_dnsmasq(lab, tool, tool_if, root, macs):
    work = os.path.join(lab.tmp, "dnsmasq")
    os.makedirs(work, exist_ok=True)
    argv = [DNSMASQ, "--keep-in-foreground", "--conf-file=/dev/null", "--port=0", "--bind-interfaces",
            "--interface=" + tool_if, "--dhcp-range=198.51.100.0,static", "--dhcp-boot=" + BOOT_FILE,
            "--enable-tftp", "--tftp-root=" + root, "--dhcp-leasefile=" + os.path.join(work, "leases"),
            "--pid-file=" + os.path.join(work, "pid"), "--log-facility=" + os.path.join(work, "log"),
            "--no-ping"]
    argv += ["--dhcp-host=%s,%s" % (m, CLIENT_IP) for m in macs]
    p = lab.start(tool, argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    # Ready once it listens on 67 and 69 in the tool namespace (bounded wait).
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        ports = lab.sh(tool, "ss -Hlun", check=False).stdout
        if ":67 " in ports and ":69 " in ports:
            return p
        if p.poll() is not None:
            break
        time.sleep(0.05)
    raise RuntimeError("dnsmasq did not come up: %s" % p.stderr.read().decode(errors="replace")[-800:])


def dnsmasq_single(lab, dev, dev_if, root, scripts, saved, runs):
    results = {}
    for target, (script, _) in scripts.items():
        tmp = os.path.join(root, ".next")
        with open(tmp, "wb") as f:
            f.write(saved[target])
        os.chmod(tmp, 0o644)
        os.replace(tmp, os.path.join(root, BOOT_FILE))
        rows = []
        for i in range(runs + 1):
            r = checked(sim(lab, dev, *boot_args(dev_if, TIMING_MAC, script)), "dnsmasq %d" % target)
            if r["bootp"]["file"] != BOOT_FILE or r["tftp"]["bytes"] != len(saved[target]):
                raise RuntimeError("dnsmasq served something else: %r" % r["bootp"])
            if i:
                rows.append(timing(r))
        results[target] = rows
    return results


# -- where our time goes ---------------------------------------------------------------


def wine_floor(lab, tool, dev, build, root, scripts, saved, runs):
    """The same bytes from a blocking-socket sender under Wine (no main loop): TFTP
    only, read request to last ACK, so it shows what Wine's socket calls cost alone."""
    results = {}
    sender = lab.start_wine(tool, os.path.join(build, "tftp_blocking_baseline.exe"), "--root", wine_path(root))
    try:
        LineReader(sender).wait_for("baseline: ready", 60)
        for target, (script, _) in scripts.items():
            name = "flash-%d" % target
            with open(os.path.join(root, name), "wb") as f:
                f.write(saved[target])
            rows = []
            for i in range(runs + 1):
                r = sim(lab, dev, "--server", TOOL_IP, "--bind", CLIENT_IP, "--file", name, "--linger", "0",
                        "--verify-base", BASE, "--verify-script", script)
                if not (r.get("ok") and r.get("verify", {}).get("ok")):
                    raise RuntimeError("blocking sender %d: %r" % (target, r.get("tftp")))
                if i:
                    rows.append({"transfer": r["tftp"]["transfer_ms"], "blocks": r["tftp"]["blocks"]})
            results[target] = rows
    finally:
        lab.stop(sender)
    return results


def trace_requests(lab, exe, script):
    """wineserver requests our tool makes during one whole boot, per TFTP block, in
    a namespace pair of their own whose wineserver writes every request it serves."""
    tool = lab.namespace("ttool", TOOL_IP + "/24")
    dev = lab.namespace("tdev")
    tool_if, dev_if = lab.link(tool, dev)
    lab.broadcast_route(tool, tool_if)
    lab.sh(dev, "ip addr add %s/24 dev %s" % (CLIENT_IP, dev_if))
    trace = os.path.join(lab.tmp, "wineserver.trace")
    lab.prepare_wine(tool, server_trace=trace)
    state_dir = os.path.join(lab.tmp, "trace-state")
    os.makedirs(state_dir)
    host = Host(lab, tool, exe, state_dir)
    try:
        host.command("client " + CLIENT_IP)
        host.command("toggle")
        host.command("add " + wine_path(script))
        host.command("select " + wine_path(script))
        time.sleep(0.5)
        before = os.path.getsize(trace)
        r = checked(sim(lab, dev, *boot_args(dev_if, TIMING_MAC, script)), "traced boot")
        time.sleep(0.3)
    finally:
        host.close()
    calls = server_requests(trace, before)
    return calls, r["tftp"]["blocks"]


# -- report ----------------------------------------------------------------------------


def median(rows, key):
    return statistics.median(r[key] for r in rows)


def print_single(scripts, ours, theirs, runs):
    print("\n1. One device, first BOOTP request to last ACK (median of %d runs each, ms)" % runs)
    print("%-10s %8s %10s %10s %7s   %-22s %-22s" % ("flash", "blocks", "ours", "dnsmasq", "ratio",
                                                      "ours: reply/transfer", "dnsmasq: reply/transfer"))
    for target, (_, flash) in scripts.items():
        o, d = ours[target], theirs[target]
        mo, md = median(o, "total"), median(d, "total")
        print("%-10s %8d %10.1f %10.1f %6.2fx   %-22s %-22s" % (
            "%d B" % flash, o[0]["blocks"], mo, md, mo / md,
            "%.1f / %.1f" % (median(o, "bootp"), median(o, "transfer")),
            "%.1f / %.1f" % (median(d, "bootp"), median(d, "transfer"))))
        print("%-10s %8s %10s %10s %7s   ours per block %.3f ms, dnsmasq %.3f ms; ours min..max %.1f..%.1f" % (
            "", "", "", "", "", median(o, "transfer") / o[0]["blocks"], median(d, "transfer") / d[0]["blocks"],
            min(r["total"] for r in o), max(r["total"] for r in o)))


def print_breakdown(scripts, ours, theirs, floor, calls, blocks):
    print("\n   Where our time goes, read request to last ACK per block (median, us):")
    print("   %-10s %10s %16s %10s" % ("flash", "ours", "Wine, blocking", "dnsmasq"))
    for target, (_, flash) in scripts.items():
        o = ours[target]
        n = o[0]["blocks"]
        print("   %-10s %10.0f %16.0f %10.0f" % ("%d B" % flash, median(o, "transfer") / n * 1000,
                                              median(floor[target], "transfer") / n * 1000,
                                              median(theirs[target], "transfer") / n * 1000))

    def between(results):
        return ", ".join("%.1f" % statistics.median(r["total"] - r["bootp"] - r["transfer"] for r in rows)
                         for rows in results.values())
    print("   reply to read request (the device's own step: address, socket), ms: ours %s; dnsmasq %s" % (
        between(ours), between(theirs)))
    if calls:
        print("   wineserver requests per block during one whole boot of ours (%d blocks):" % blocks)
        print_server_requests(calls, blocks, "     ")


def print_burst(round_no, devices, reports, lines):
    """One round's figures; returns (all provisioned and logged once, devices a minute)."""
    ok = [r for r in reports.values() if r.get("ok") and r.get("verify", {}).get("ok") and "monotonic" in r]
    rate = None
    print("   round %d:" % round_no)
    if ok:
        first = min(r["monotonic"]["bootp_sent"] for r in ok)
        last = max(r["monotonic"]["last_ack"] for r in ok)
        span = last - first
        rate = len(ok) * 60 / span
        print("     first request to last ACK: %.2f s  ->  %.1f devices/minute" % (span, rate))
        waits = sorted(r["total_ms"] / 1000 for r in ok)
        print("     per device, request to last ACK: min %.2f s, median %.2f s, max %.2f s; BOOTP attempts "
              "max %d" % (waits[0], statistics.median(waits), waits[-1],
                          max(r["bootp"]["attempts"] for r in ok)))
        ends = sorted(r["monotonic"]["last_ack"] for r in ok)
        gaps = [b - a for a, b in zip(ends, ends[1:])]
        if gaps:
            print("     between one device's last ACK and the next's: median %.2f s (of which the next "
                  "transfer median %.2f s)" % (statistics.median(gaps),
                                                statistics.median(r["tftp"]["transfer_ms"] / 1000 for r in ok)))
    tamsel = [t for t in lines if t.endswith(": Tamselged")]
    per_device = {m: sum(t == prefix(m) + "Tamselged" for t in lines) for m in reports}
    print("     verified flash data: %d of %d devices" % (len(ok), devices))
    print('     message log: %d "Tamselged" lines, one per device: %s; other lines: %r' % (
        len(tamsel), all(v == 1 for v in per_device.values()), [t for t in lines if t not in tamsel]))
    failed = {m: r.get("error") or r.get("verify") for m, r in reports.items() if r not in ok}
    if failed:
        print("     FAILED devices: %r" % failed)
    return len(ok) == devices and all(v == 1 for v in per_device.values()) and len(lines) == devices, rate


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--build", help="build/win of the build to use (default: VOSK_BUILD/win)")
    p.add_argument("--runs", type=int, default=7, help="timed boots per size and server")
    p.add_argument("--devices", type=int, default=10, help="devices booting at once")
    p.add_argument("--no-trace", action="store_true", help="skip counting wineserver requests")
    p.add_argument("--rounds", type=int, default=3, help="rounds of devices booting at once")
    p.add_argument("--burst-size", type=int, default=50 * 1024, choices=TARGETS,
                   help="flash data size for the devices booting at once")
    args = p.parse_args()
    build = os.path.abspath(args.build) if args.build else build_dir_from_argv()
    exe = os.path.join(build, "service_host.exe")
    if not os.path.exists(exe):
        raise SystemExit("no %s: build first (scripts/build)" % exe)
    runs = max(1, min(args.runs, 50))
    devices = max(1, min(args.devices, 60))
    rng = random.Random(20240607)

    with NetLab("pb") as lab:
        tool, dev, tool_if, dev_if = lab.booting_link(TOOL_IP + "/24")
        # The address every device is given is on the device side from the start,
        # so no device adds or removes it while another uses it, and the
        # measured time is the servers' answers, not address configuration.
        lab.sh(dev, "ip addr add %s/24 dev %s" % (CLIENT_IP, dev_if))
        # dnsmasq drops its privileges, so its TFTP root must be readable by all.
        os.chmod(lab.tmp, 0o755)
        scripts_dir = os.path.join(lab.tmp, "scripts")
        state_dir = os.path.join(lab.tmp, "state")
        tftp_root = os.path.join(lab.tmp, "tftp")
        for d in (scripts_dir, state_dir, tftp_root):
            os.makedirs(d)
            os.chmod(d, 0o755)

        host = Host(lab, tool, exe, state_dir)
        try:
            host.command("client " + CLIENT_IP)
            if host.state.get("active") != "1":
                host.command("toggle")
            scripts = {t: calibrate(host, scripts_dir, t, rng) for t in TARGETS}
            print("scripts: " + ", ".join("%d B -> flash data %d B" % (os.path.getsize(s), f)
                                          for s, f in scripts.values()), flush=True)
            ours, saved = ours_single(lab, host, dev, dev_if, scripts, runs)
            print("ours: done %d boots per size" % runs, flush=True)
            burst_script, burst_flash = scripts[args.burst_size]
            host.command("select " + wine_path(burst_script))
            rounds = []
            for k in range(max(1, min(args.rounds, 4))):
                rounds.append(burst(lab, host, dev, dev_if, burst_script, devices, 1 + k * devices))
        finally:
            host.close()

        server = start_dnsmasq(lab, tool, tool_if, tftp_root, [TIMING_MAC])
        try:
            theirs = dnsmasq_single(lab, dev, dev_if, tftp_root, scripts, saved, runs)
        finally:
            lab.stop(server)
        print("dnsmasq: done %d boots per size (same bytes, same device)" % runs, flush=True)
        floor = wine_floor(lab, tool, dev, build, tftp_root, scripts, saved, runs)
        calls, blocks = (None, 0) if args.no_trace else trace_requests(lab, exe, scripts[TARGETS[-1]][0])

        print_single(scripts, ours, theirs, runs)
        print_breakdown(scripts, ours, theirs, floor, calls, blocks)
        print("\n2. %d devices booting at once, retrying every 1 s, flash data %d B" % (devices, burst_flash))
        outcomes = [print_burst(k + 1, devices, *r) for k, r in enumerate(rounds)]
        rates = [rate for _, rate in outcomes if rate]
        good = all(g for g, _ in outcomes)
        print("   devices/minute over %d rounds: median %.1f (%s); every device Tamselged and verified: %s" % (
            len(outcomes), statistics.median(rates) if rates else 0, ", ".join("%.1f" % r for r in rates),
            "yes" if good else "NO"))
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())
