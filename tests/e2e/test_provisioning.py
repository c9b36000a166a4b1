"""Devices boot against the real provisioning service (the headless host under
Wine) in a private network: the whole exchange checked byte for byte by an
independent decoder, every refusal with its exact line, one device at a time,
time-outs, switching off mid-transfer, a flood of bad packets, and the
settings kept across a restart."""
import os
import random
import socket
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlab import ROOT, Checks, LineReader, NetLab, build_dir_from_argv, wine_path  # noqa: E402
from test_device_boot import sim  # noqa: E402

HOST = os.path.join(build_dir_from_argv(), "service_host.exe")
BASE = os.path.join(ROOT, "tools", "base_stream.bin")
TOOL_IP = "198.51.100.1"
CLIENT_IP = "198.51.100.50"
OTHER_IP = "198.51.100.60"
SCRIPT = os.path.join(ROOT, "tests", "data", "flash", "office.txt")


def mac(n):
    return "02:00:5e:00:00:%02x" % n


def prefix(n, model="X100"):
    return "%s -- QV%s: " % (mac(n).upper(), model)


class Host:
    """The service host in the tool namespace, driven through its standard input."""

    def __init__(self, lab, ns, temp_dir):
        # Wine's own complaints go to a file: an unread pipe could fill up and stall the host.
        self.stderr = open(os.path.join(temp_dir, "stderr.txt"), "ab")
        self.proc = lab.start_wine(ns, HOST, "--temp", wine_path(temp_dir), stdin=subprocess.PIPE,
                                   stderr=self.stderr)
        self.out = LineReader(self.proc)
        self.state = self.wait_state()

    def command(self, text):
        self.out.poll()
        mark = len(self.out.lines)
        self.proc.stdin.write((text + "\n").encode())
        self.proc.stdin.flush()
        if text != "quit":
            self.state = self.wait_state(mark)
        return self.state

    def wait_state(self, mark=0, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in self.out.since(mark):
                if line.startswith("STATE "):
                    return dict(kv.split("=", 1) for kv in line.split()[1:])
            time.sleep(0.02)
        raise AssertionError("no STATE line; last lines: %r" % self.out.lines[-10:])

    def mark(self):
        self.out.poll()
        return len(self.out.lines)

    def messages(self, mark=0):
        """Message-log lines since mark as (number, count, text)."""
        found = []
        for line in self.out.since(mark):
            if line.startswith("MSG "):
                _, number, count, text = line.split(" ", 3)
                found.append((int(number), int(count), text))
        return found

    def quit(self):
        self.command("quit")
        self.proc.wait(60)


def boot(lab, dev, dev_if, n, *args, **kw):
    return sim(lab, dev, "--iface", dev_if, "--mac", mac(n), *args, **kw)


def flood(lab, ns, count, seconds):
    """Sends count malformed or foreign BOOTP and TFTP datagrams to the tool,
    spread over about seconds, from inside ns."""
    code = r"""
import os, random, socket, struct, sys, time
random.seed(7)
tool, count, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind((sys.argv[4], 0))
def bootp(vendor):
    opts = bytes([60, len(vendor)]) + vendor + bytes([129, 4]) + struct.pack(">I", 1 << 30) + b"\xff"
    return struct.pack("!BBBBIHHIIII", 1, 1, 6, 0, random.getrandbits(32), 0, 0, 0, 0, 0, 0) + \
        os.urandom(6) + bytes(202) + bytes([99, 130, 83, 99]) + opts
kinds = [
    lambda: (bootp(b"Other"), 67),
    lambda: (bootp(b"flashboot"), 67),
    lambda: (os.urandom(random.randint(1, 600)), 67),
    lambda: (bootp(b"Flashboot")[:random.randint(1, 239)], 67),
    lambda: (b"\x00\x02wr\x00octet\x00", 69),
    lambda: (b"\x00\x01" + os.urandom(random.randint(0, 80)), 69),
    lambda: (b"\x00\x04" + struct.pack(">H", random.choice([0, 65535])), random.randint(32768, 65535)),
    lambda: (os.urandom(random.randint(0, 40)), 69),
]
gap = seconds / count
start = time.monotonic()
for i in range(count):
    data, port = random.choice(kinds)()
    try:
        s.sendto(data, (tool, port))
    except OSError:
        pass
    delay = start + (i + 1) * gap - time.monotonic()
    if delay > 0:
        time.sleep(delay)
"""
    return lab.start(ns, ["python3", "-c", code, TOOL_IP, str(count), str(seconds), OTHER_IP])


def main():
    c = Checks()
    with NetLab("prov") as lab:
        tool, dev, tool_if, dev_if = lab.booting_link(TOOL_IP + "/24")
        lab.sh(dev, "ip addr add %s/24 dev %s" % (OTHER_IP, dev_if))
        temp = os.path.join(lab.tmp, "state")
        os.makedirs(temp)

        host = Host(lab, tool, temp)
        c.expect("first start", "proposes the first local address + 1", host.state["client"] == "198.51.100.2",
                 host.state)
        c.expect("first start", "service off, nothing selected", host.state["active"] == "0"
                 and host.state["flash"] == "0", host.state)

        # Service off: a valid request gets no reply and no line at all.
        m = host.mark()
        r = boot(lab, dev, dev_if, 1, "--never-ask", "--bootp-timeout", "2.5")
        time.sleep(0.3)
        c.expect("off", "no reply, no log line", r.get("bootp", {}).get("reply", 0) is None
                 and host.out.since(m) == [], host.out.since(m))

        # Switched on with nothing selected: diagnostic line only.
        host.command("client " + CLIENT_IP)
        host.command("toggle")
        m = host.mark()
        r = boot(lab, dev, dev_if, 1, "--never-ask", "--bootp-timeout", "2.5")
        c.expect("no script", '"no flash data, ignore", no message',
                 "no flash data, ignore" in host.out.since(m) and not host.messages(m), host.out.since(m))

        script_path = wine_path(SCRIPT)
        host.command("add " + script_path)
        state = host.command("select " + script_path)
        flash = int(state["flash"])
        c.expect("select", "flash data built, service still on", flash > 4 and state["selected"] == script_path
                 and state["active"] == "1", state)

        # A whole boot, verified by the independent decoder; any file name is served.
        m = host.mark()
        r = boot(lab, dev, dev_if, 2, "--verify-base", BASE, "--verify-script", SCRIPT)
        host.out.wait_for(prefix(2) + "Tamselged", 10)
        c.expect("boot", "flash data decodes to the script", r.get("ok") and r.get("verify", {}).get("ok"),
                 r.get("verify") or r)
        c.expect("boot", "reply carries the Boot Client Address", r.get("bootp", {}).get("yiaddr") == CLIENT_IP,
                 r.get("bootp"))
        c.expect("boot", "one Tamselged line", host.messages(m) == [(1, 1, prefix(2) + "Tamselged")],
                 host.messages(m))
        r = boot(lab, dev, dev_if, 3, "--file", "anything.bin", "--verify-base", BASE, "--verify-script", SCRIPT)
        host.out.wait_for(prefix(3) + "Tamselged", 10)
        c.expect("any name", "another file name gets the flash data", r.get("verify", {}).get("ok"), r)

        # Refusals, each with its exact line.
        refusals = [
            ("no space option", 4, ["--omit", "space"], "no flash space info in BOOTP request, ignoring"),
            ("3-byte space", 5, ["--space-bytes", "001000"], "no flash space info in BOOTP request, ignoring"),
            ("one byte short", 6, ["--space", str(flash - 1)], "not enough flash space, ignoring"),
        ]
        for case, n, args, text in refusals:
            m = host.mark()
            boot(lab, dev, dev_if, n, "--never-ask", "--bootp-timeout", "1.5", *args)
            time.sleep(0.3)
            got = [t for _, _, t in host.messages(m)]
            c.expect(case, text, got == [prefix(n) + text], host.out.since(m))
        m = host.mark()
        r = boot(lab, dev, dev_if, 7, "--space", str(flash), "--verify-base", BASE, "--verify-script", SCRIPT)
        host.out.wait_for(prefix(7) + "Tamselged", 10)
        c.expect("equal space", "accepted and served", r.get("verify", {}).get("ok"), r)

        for vendor in ("flashboot", "Flashboot1"):
            m = host.mark()
            boot(lab, dev, dev_if, 8, "--never-ask", "--bootp-timeout", "1.5", "--vendor", vendor)
            time.sleep(0.3)
            c.expect("vendor " + vendor, "logged and ignored",
                     "bootp request type: " + vendor in host.out.since(m) and not host.messages(m),
                     host.out.since(m))

        # The same refusal twice is one line with a growing count.
        m = host.mark()
        for _ in range(3):
            boot(lab, dev, dev_if, 9, "--never-ask", "--bootp-timeout", "1.5", "--omit", "space")
        time.sleep(0.3)
        counts = host.messages(m)
        c.expect("repeats", "one line, count 1 2 3", [(k, t) for _, k, t in counts] ==
                 [(i, prefix(9) + "no flash space info in BOOTP request, ignoring") for i in (1, 2, 3)]
                 and len({n for n, _, _ in counts}) == 1, counts)

        # One device at a time: A never asks; it asks again after 4 s and is
        # answered, but its wait still ends 10 s after the first answer. B boots
        # meanwhile and is ignored without a line until A's exchange is over.
        # A read request from another address is ignored during A's wait.
        m = host.mark()
        first = boot(lab, dev, dev_if, 10, "--never-ask", "--bootp-timeout", "3")
        answered_at = time.monotonic()
        b_result = {}
        b = threading.Thread(target=lambda: b_result.update(boot(
            lab, dev, dev_if, 11, "--bootp-timeout", "25", "--bootp-retry", "1", "--verify-base", BASE,
            "--verify-script", SCRIPT, timeout=60)))
        b.start()
        stray = sim(lab, dev, "--server", TOOL_IP, "--bind", OTHER_IP, "--tftp-timeout", "2", "--max-resends", "1")
        time.sleep(max(0.0, answered_at + 4 - time.monotonic()))
        again = boot(lab, dev, dev_if, 10, "--never-ask", "--bootp-timeout", "3")
        host.out.wait_for(prefix(10) + "no TFTP request", 15)
        waited = time.monotonic() - answered_at
        before_a_ended = host.messages(m)
        b.join(70)
        host.out.wait_for(prefix(11) + "Tamselged", 30)
        c.expect("wait", "A answered twice", first.get("bootp", {}).get("reply", 0) is not None
                 and again.get("bootp", {}).get("opcode") == 2, (first, again))
        c.expect("wait", '"no TFTP request" 10 s after the first answer', 9.0 < waited < 12.5, "%.1fs" % waited)
        c.expect("one at a time", "B ignored without a line while A's exchange was open",
                 [t for _, _, t in before_a_ended] == [prefix(10) + "no TFTP request"], before_a_ended)
        c.expect("one at a time", "B served after A", b_result.get("verify", {}).get("ok"), b_result)
        c.expect("other address", "read request from elsewhere ignored",
                 not stray.get("tftp", {}).get("blocks"), stray.get("tftp"))

        # A device that stops acknowledging.
        m = host.mark()
        boot(lab, dev, dev_if, 12, "--vanish-at", "2", "--listen-after", "1")
        host.out.wait_for(prefix(12) + "TFTP transfer failed", 12)
        c.expect("vanish", '"TFTP transfer failed"', "tftp transfer failed: 1" in host.out.since(m),
                 host.out.since(m))

        # Switching off during a transfer stops it without a line; on again, the
        # next device is served.
        m = host.mark()
        quiet = lab.start(dev, ["python3", os.path.join(ROOT, "tools", "device_sim.py"), "--iface", dev_if,
                                "--mac", mac(13), "--vanish-at", "2", "--listen-after", "4"])
        host.out.wait_for("tftp request", 10)
        time.sleep(0.5)
        host.command("toggle")
        out, _ = quiet.communicate(timeout=30)
        time.sleep(0.5)
        c.expect("off mid-transfer", "stopped without a message line", not host.messages(m), host.messages(m))
        host.command("toggle")
        r = boot(lab, dev, dev_if, 14, "--verify-base", BASE, "--verify-script", SCRIPT)
        c.expect("off mid-transfer", "next device served after switching on", r.get("verify", {}).get("ok"), r)

        # A flood of malformed and foreign packets during boots.
        m = host.mark()
        flooder = flood(lab, dev, 20000, 4.0)
        served = 0
        deadline = time.monotonic() + 4.0
        n = 20
        while time.monotonic() < deadline and n < 40:
            r = boot(lab, dev, dev_if, n, "--verify-base", BASE, "--verify-script", SCRIPT, "--bootp-retry", "0.5")
            served += bool(r.get("verify", {}).get("ok"))
            n += 1
        flooder.wait(30)
        r = boot(lab, dev, dev_if, 99, "--verify-base", BASE, "--verify-script", SCRIPT)
        outcomes = [t for _, _, t in host.messages(m)]
        c.expect("flood", "every device during the flood served", served == n - 20 and served > 0 and
                 all(t.endswith("Tamselged") for t in outcomes), "%d of %d; %r" % (served, n - 20, outcomes[-5:]))
        c.expect("flood", "still answering afterwards", r.get("verify", {}).get("ok"), r)
        print("flood: %d devices served during 20000 bad packets" % served)

        # Settings survive a restart.
        before = host.state
        host.quit()
        host = Host(lab, tool, temp)
        c.expect("restart", "selection, state and address restored",
                 {k: host.state[k] for k in ("active", "client", "selected", "flash")} ==
                 {k: before[k] for k in ("active", "client", "selected", "flash")}, (before, host.state))
        host.quit()

        # A first start with no address at all proposes 0.0.0.1.
        bare = lab.namespace("bare", loopback=False)
        bare_temp = os.path.join(lab.tmp, "bare")
        os.makedirs(bare_temp)
        lonely = Host(lab, bare, bare_temp)
        c.expect("no address", "proposes 0.0.0.1", lonely.state["client"] == "0.0.0.1", lonely.state)
        lonely.quit()

    return c.summary()


if __name__ == "__main__":
    sys.exit(main())
