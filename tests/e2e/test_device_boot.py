"""A simulated device boots against the BOOTP and TFTP servers under Wine:
the BOOTP reply as the device sees it, a capture checked by an independent
dissector, and TFTP clients that drop, double or stop their acknowledgements."""
import hashlib
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlab import ROOT, Checks, LineReader, NetLab, build_dir_from_argv, wine_path  # noqa: E402

SERVER = os.path.join(build_dir_from_argv(), "proto_server.exe")
SIM = os.path.join(ROOT, "tools", "device_sim.py")
TOOL_IP = "198.51.100.1"
CLIENT_IP = "198.51.100.50"
SIZE = 5000  # ten blocks, the last one short


def sim(lab, dev, *args, timeout=40):
    r = lab.run(dev, ["python3", SIM] + [str(a) for a in args], timeout=timeout)
    try:
        return json.loads(r.stdout.decode().strip().splitlines()[-1])
    except (ValueError, IndexError):
        raise AssertionError("simulator said: %r %r" % (r.stdout[-500:], r.stderr[-1500:]))


def start_capture(lab, ns, ifname, path):
    cap = lab.start(ns, ["tshark", "-q", "-i", ifname, "-w", path], stdout=subprocess.DEVNULL)
    os.set_blocking(cap.stderr.fileno(), False)
    deadline, seen = time.monotonic() + 20, b""
    while time.monotonic() < deadline and b"Capturing on" not in seen:
        seen += cap.stderr.read() or b""
        time.sleep(0.05)
    return cap


def dissect(path, display_filter):
    r = subprocess.run(["tshark", "-r", path, "-Y", display_filter], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, text=True, timeout=60)
    if r.returncode != 0:  # a filter it cannot read must not pass for an empty answer
        raise AssertionError("tshark -Y %r: %s" % (display_filter, r.stderr.strip()))
    return [line for line in r.stdout.splitlines() if line.strip()]


def main():
    c = Checks()
    with NetLab("boot") as lab:
        tool, dev, tool_if, dev_if = lab.booting_link(TOOL_IP + "/24")
        boot = os.path.join(lab.tmp, "boot.bin")
        data = os.urandom(SIZE)
        with open(boot, "wb") as f:
            f.write(data)
        digest = hashlib.sha256(data).hexdigest()
        server = lab.start_wine(tool, SERVER, "--file", wine_path(boot), "--client", CLIENT_IP,
                                "--lifetime-ms", "300000")
        out = LineReader(server)
        out.wait_for("proto_server: ready", 60)

        # One whole boot, captured on the tool's side.
        pcap = os.path.join(lab.tmp, "boot.pcap")
        capture = start_capture(lab, tool, tool_if, pcap)
        base, script = os.path.join(lab.tmp, "base.bin"), os.path.join(lab.tmp, "script.txt")
        for path in (base, script):
            open(path, "wb").close()
        r = sim(lab, dev, "--iface", dev_if, "--xid", "0x5eed1234", "--verify-base", base, "--verify-script", script)
        time.sleep(0.3)
        capture.terminate()
        capture.wait(10)
        b, t = r.get("bootp", {}), r.get("tftp", {})
        c.expect("boot", "reply is a BOOTREPLY", b.get("opcode") == 2, b)
        c.expect("boot", "xid echoed", b.get("xid") == 0x5EED1234, b.get("xid"))
        c.expect("boot", "yiaddr is the client address", b.get("yiaddr") == CLIENT_IP, b.get("yiaddr"))
        c.expect("boot", "siaddr is the tool's address", b.get("siaddr") == TOOL_IP, b.get("siaddr"))
        c.expect("boot", 'file "tamselucis", NUL padded', b.get("file") == "tamselucis" and b.get("file_nul_padded"), b)
        c.expect("boot", "every other byte echoed, options included", b.get("echoed") is True,
                 b.get("echo_mismatches"))
        c.expect("boot", "OACK carries the size", t.get("oack") == {"tsize": str(SIZE)}, t.get("oack"))
        c.expect("boot", "file fetched byte-exact", t.get("complete") and t.get("sha256") == digest, t)
        has_checker = os.path.exists(os.path.join(ROOT, "tools", "flashcheck.py"))
        c.expect("boot", "verification hook answers", r.get("verify", {}).get("available") == has_checker,
                 r.get("verify"))

        malformed = dissect(pcap, "_ws.malformed || _ws.expert.severity >= \"error\"")
        c.expect("capture", "no malformed BOOTP or TFTP packet", not malformed, malformed[:5])
        c.expect("capture", "request and reply dissected as BOOTP", len(dissect(pcap, "bootp")) == 2,
                 dissect(pcap, "bootp"))
        tftp = dissect(pcap, "tftp")
        c.expect("capture", "the transfer dissected as TFTP", len(tftp) >= 2 + 2 * (SIZE // 512 + 1), len(tftp))

        # An option area that runs past the datagram comes back byte for byte.
        r = sim(lab, dev, "--iface", dev_if, "--malform", "vendor", "--never-ask")
        c.expect("malformed", "reply echoes the unterminated options", r.get("bootp", {}).get("echoed") is True,
                 r.get("bootp"))

        r = sim(lab, dev, "--iface", dev_if, "--drop-acks", "3")
        t = r.get("tftp", {})
        c.expect("drop-acks", "first 3 ACKs dropped, still complete",
                 t.get("acks_dropped") == 3 and t.get("complete") and t.get("sha256") == digest, t)

        r = sim(lab, dev, "--iface", dev_if, "--dup-acks")
        t = r.get("tftp", {})
        resends = t.get("duplicates", {})
        c.expect("dup-acks", "complete", t.get("complete") and t.get("sha256") == digest, t)
        c.expect("dup-acks", "each block resent at most once", resends and max(resends.values()) <= 1, resends)
        c.expect("dup-acks", "no growth in datagrams", t.get("datagrams", 99) <= 2 * (SIZE // 512 + 1) + 1,
                 t.get("datagrams"))

        out.poll()
        mark = len(out.lines)
        r = sim(lab, dev, "--iface", dev_if, "--no-tsize", "--option", "blksize=1024")
        t = r.get("tftp", {})
        c.expect("blksize", "no OACK, 512-byte blocks", t.get("oack") is None and t.get("blocks") == SIZE // 512 + 1
                 and t.get("sha256") == digest, t)
        c.expect("blksize", "blksize logged as unknown", any("unkn: blksize: 1024" in l for l in out.since(mark)),
                 out.since(mark))

        # Two clients at once: one vanishes, one sends ERROR and goes quiet.
        lab.sh(dev, "ip addr add 198.51.100.60/24 dev %s" % dev_if)
        out.poll()
        mark = len(out.lines)
        quiet = {}
        for switch in ("--vanish-at", "--error-at"):
            quiet[switch] = lab.start(dev, ["python3", SIM, "--server", TOOL_IP, "--bind", "198.51.100.60",
                                            switch, "3", "--listen-after", "6.5"])
        gave_up = out.wait_for("too many retires", 12, count=out.count("too many retires") + 2)
        for switch, p in quiet.items():
            stdout, _ = p.communicate(timeout=30)
            t = json.loads(stdout.decode().strip().splitlines()[-1]).get("tftp", {})
            after = t.get("after_stop") or {}
            arrivals = after.get("arrivals_ms", [])
            c.expect(switch, "24 retransmissions after going quiet", after.get("datagrams") == 24, after)
            c.expect(switch, "200 ms apart, over by 6 s", arrivals and 4000 < arrivals[-1] < 6000, arrivals[-3:])
        lines = out.since(mark)
        c.expect("quiet clients", "both transfers failed well before 10 s", gave_up < 8.0 and
                 sum("transfer done status 1" in l for l in lines) == 2, "%.1fs %r" % (gave_up, lines[-6:]))
        c.expect("quiet clients", "the client's ERROR did not end its transfer", "bad ack" in lines, lines[:8])
        print("quiet clients: the server gave up %.1f s after they started" % gave_up)
    return c.summary()


if __name__ == "__main__":
    sys.exit(main())
