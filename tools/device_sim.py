#!/usr/bin/env python3
"""Plays one booting device on Linux: broadcasts its BOOTP request, takes the
address it is given, fetches its boot file over TFTP, and prints one JSON line
describing what happened and when.

    device_sim.py --iface eth1                       # the whole boot, as a device does it
    device_sim.py --iface eth1 --space 100 --never-ask
    device_sim.py --server 198.51.100.1 --file x --dup-acks   # TFTP only, address already set

Switches change the device's behaviour: options omitted or malformed, no tsize,
extra options, dropped or doubled acknowledgements, an ERROR packet, a device
that vanishes mid-transfer or never asks for its file. Python standard library
only; the flash data is checked independently of the tool's own code through
tools/flashcheck.py when it is present (--verify-base / --verify-script).

Run it only where a BOOTP broadcast can do no harm: on a link of its own, or in
a network namespace.
"""

import argparse
import hashlib
import json
import os
import random
import select
import socket
import struct
import subprocess
import sys
import time

BOOTP_SERVER_PORT = 67
BOOTP_CLIENT_PORT = 68
TFTP_PORT = 69
MAGIC_COOKIE = bytes([99, 130, 83, 99])
RRQ, DATA, ACK, ERROR, OACK = 1, 3, 4, 5, 6
BLOCK = 512

# Offsets of the reply fields a server changes; every other byte is echoed.
REPLY_FIELDS = {"opcode": (0, 1), "yiaddr": (16, 4), "siaddr": (20, 4), "file": (108, 128)}


def now_ms(start):
    return round((time.monotonic() - start) * 1000, 1)


# -- BOOTP ---------------------------------------------------------------------


def parse_mac(text):
    parts = text.split(":")
    if len(parts) != 6:
        raise argparse.ArgumentTypeError("a MAC address is six hex bytes: 02:00:5e:10:20:30")
    return bytes(int(p, 16) for p in parts)


def build_options(args):
    """The option area: each of 60/128/129 present, omitted, or malformed."""
    space = bytes.fromhex(args.space_bytes) if args.space_bytes is not None else struct.pack(">I", args.space)
    options = [(60, args.vendor.encode()), (128, args.model.encode()), (129, space)]
    omitted = {"vendor": 60, "model": 128, "space": 129}
    options = [(c, d) for c, d in options if c not in {omitted[o] for o in args.omit}]
    area = bytearray()
    malformed = omitted.get(args.malform)
    for code, data in options:
        if code != malformed:
            area += bytes([code, len(data)]) + data
    if malformed is not None:
        # Last, claiming more bytes than the datagram holds, with no end code after it.
        data = dict(options).get(malformed, b"x")
        return bytes(area + bytes([malformed, len(data) + 40]) + data), False
    return bytes(area + b"\xff"), True


def build_request(args, xid):
    options, terminated = build_options(args)
    header = struct.pack("!BBBBIHHIIII", 1, 1, 6, 0, xid, 0, 0x8000, 0, 0, 0, 0)
    packet = header + args.mac + bytes(10) + bytes(64) + bytes(128) + MAGIC_COOKIE + options
    if terminated and len(packet) < 300:
        packet += bytes(300 - len(packet))  # the classic minimum size of a BOOTP message
    return packet, 240 + len(options) if terminated else len(packet)


def bootp_socket(iface):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    if iface:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, iface.encode())
    s.bind(("0.0.0.0", BOOTP_CLIENT_PORT))
    return s


def describe_reply(reply, request, wire_length):
    """The reply's fields, and which bytes differ from the request where they should not."""
    op = reply[0]
    xid = struct.unpack("!I", reply[4:8])[0] if len(reply) >= 8 else None
    changed = set()
    for offset, size in REPLY_FIELDS.values():
        changed.update(range(offset, offset + size))
    mismatches = [i for i in range(min(len(reply), wire_length)) if i not in changed and reply[i] != request[i]]
    file_field = reply[108:236]
    return {
        "length": len(reply),
        "expected_length": wire_length,
        "opcode": op,
        "xid": xid,
        "yiaddr": socket.inet_ntoa(reply[16:20]) if len(reply) >= 20 else None,
        "siaddr": socket.inet_ntoa(reply[20:24]) if len(reply) >= 24 else None,
        "file": file_field.split(b"\0", 1)[0].decode("latin-1"),
        "file_nul_padded": file_field.split(b"\0", 1)[1] == bytes(len(file_field.split(b"\0", 1)[1]))
        if b"\0" in file_field else False,
        "echo_mismatches": mismatches[:32],
        "echoed": not mismatches and len(reply) == wire_length,
    }


def do_bootp(args, start, report):
    xid = random.getrandbits(32) if args.xid is None else args.xid
    request, wire_length = build_request(args, xid)
    s = bootp_socket(args.iface)
    try:
        sent_at = time.monotonic()
        report.setdefault("_marks", {})["bootp_sent"] = sent_at
        deadline = sent_at + args.bootp_timeout
        attempts = 0
        while time.monotonic() < deadline:
            s.sendto(request, ("255.255.255.255", BOOTP_SERVER_PORT))
            attempts += 1
            resend_at = min(deadline, time.monotonic() + args.bootp_retry)
            while time.monotonic() < resend_at:
                ready, _, _ = select.select([s], [], [], max(0.0, resend_at - time.monotonic()))
                if not ready:
                    continue
                reply, sender = s.recvfrom(4096)
                if len(reply) < 240 or reply[0] != 2 or reply[4:8] != request[4:8]:
                    continue  # someone else's, or our own broadcast coming back
                info = describe_reply(reply, request, wire_length)
                info.update(attempts=attempts, sender="%s:%d" % sender,
                            elapsed_ms=round((time.monotonic() - sent_at) * 1000, 1))
                report["bootp"] = info
                return info
        report["bootp"] = {"attempts": attempts, "reply": None, "elapsed_ms": now_ms(start)}
        return None
    finally:
        s.close()


def take_address(args, address):
    """Puts the given address on the interface, as the device would."""
    r = subprocess.run(["ip", "addr", "add", "%s/%d" % (address, args.prefix_len), "dev", args.iface],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=10)
    # Older iproute2 says "File exists", newer "Address already assigned".
    if r.returncode != 0 and "exists" not in r.stderr and "already assigned" not in r.stderr:
        raise RuntimeError("ip addr add failed: " + r.stderr.strip())
    return r.returncode == 0  # added by us, so ours to remove


def drop_address(args, address):
    subprocess.run(["ip", "addr", "del", "%s/%d" % (address, args.prefix_len), "dev", args.iface],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)


# -- TFTP ----------------------------------------------------------------------


def rrq(file_name, options):
    packet = struct.pack("!H", RRQ) + file_name.encode("latin-1") + b"\0octet\0"
    for name, value in options:
        packet += name.encode() + b"\0" + value.encode() + b"\0"
    return packet


def parse_oack(body):
    fields = body.split(b"\0")
    return {fields[i].decode("latin-1"): fields[i + 1].decode("latin-1") for i in range(0, len(fields) - 1, 2)}


class TftpClient:
    """A lock-step reader with switches for misbehaving. Every wait is bounded."""

    def __init__(self, args, server, bind_address):
        self.args = args
        self.server = server
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((bind_address, 0))
        self.tid = None  # the server's transfer port, learnt from its first answer
        self.acks_to_drop = args.drop_acks
        self.log = {"acks_sent": 0, "acks_dropped": 0, "datagrams": 0, "foreign": 0, "duplicates": {},
                    "oack": None, "blocks": 0, "bytes": 0, "complete": False, "error": None, "after_stop": None}
        self.data = bytearray()
        self.last_ack_at = None  # when the ACK of the final block went out

    def close(self):
        self.sock.close()

    def send(self, packet):
        self.sock.sendto(packet, (self.server, self.tid or TFTP_PORT))

    def ack(self, block, duplicate=False):
        """Sends ACK block, unless it is one of the first ones to drop; doubled when asked."""
        if self.acks_to_drop > 0:
            self.acks_to_drop -= 1
            self.log["acks_dropped"] += 1
            return
        copies = 2 if self.args.dup_acks and not duplicate else 1
        for _ in range(copies):
            self.send(struct.pack("!HH", ACK, block))
            self.log["acks_sent"] += 1

    def receive(self, timeout):
        ready, _, _ = select.select([self.sock], [], [], max(0.0, timeout))
        if not ready:
            return None
        packet, (host, port) = self.sock.recvfrom(65536)
        if host != self.server or (self.tid is not None and port != self.tid):
            self.log["foreign"] += 1
            return "foreign"
        if self.tid is None:
            self.tid = port
        self.log["datagrams"] += 1
        return packet

    def listen_silently(self, seconds):
        """After going quiet: counts what the server still sends, and when."""
        stop = time.monotonic()
        arrivals = []
        while time.monotonic() < stop + seconds:
            packet = self.receive(stop + seconds - time.monotonic())
            if packet and packet != "foreign":
                arrivals.append(round((time.monotonic() - stop) * 1000, 1))
        self.log["after_stop"] = {"datagrams": len(arrivals), "arrivals_ms": arrivals}

    def run(self, file_name):
        args = self.args
        options = [] if args.no_tsize else [("tsize", "0")]
        options += [tuple(o.split("=", 1)) for o in args.option]
        request = rrq(file_name, options)
        self.send(request)
        last_sent = request  # what our own retransmission repeats
        expected = 1
        deadline = time.monotonic() + args.tftp_timeout
        quiet_since = time.monotonic()
        resends = 0
        while time.monotonic() < deadline:
            packet = self.receive(min(args.rto, deadline - time.monotonic()))
            if packet is None:
                if time.monotonic() - quiet_since >= args.rto and resends < args.max_resends:
                    self.sock.sendto(last_sent, (self.server, self.tid or TFTP_PORT))
                    resends += 1
                    quiet_since = time.monotonic()
                continue
            if packet == "foreign" or len(packet) < 2:
                continue
            quiet_since = time.monotonic()
            opcode = struct.unpack("!H", packet[:2])[0]
            if opcode == ERROR:
                self.log["error"] = packet[4:].split(b"\0", 1)[0].decode("latin-1")
                return
            if opcode == OACK and expected == 1:
                duplicate = self.log["oack"] is not None
                self.log["oack"] = parse_oack(packet[2:])
                if args.vanish_at == 0:
                    return self.listen_silently(args.listen_after)
                if duplicate and args.dup_acks:
                    continue
                self.ack(0, duplicate)
                last_sent = struct.pack("!HH", ACK, 0)
                continue
            if opcode != DATA or len(packet) < 4:
                continue
            block = struct.unpack("!H", packet[2:4])[0]
            payload = packet[4:]
            if block == (expected - 1) & 0xFFFF and expected > 1:
                key = str(expected - 1)
                self.log["duplicates"][key] = self.log["duplicates"].get(key, 0) + 1
                # A repeated block means our ACK was lost; a client that doubles
                # every ACK already has one in flight, so it stays quiet.
                if not args.dup_acks:
                    self.ack(block, duplicate=True)
                continue
            if block != expected & 0xFFFF:
                continue
            if args.vanish_at == expected:
                return self.listen_silently(args.listen_after)
            if args.error_at == expected:
                self.send(struct.pack("!HH", ERROR, 0) + b"simulated abort\0")
                return self.listen_silently(args.listen_after)
            self.data += payload
            self.log["blocks"] += 1
            self.ack(block)
            last_sent = struct.pack("!HH", ACK, block)
            expected += 1
            if len(payload) < BLOCK:
                self.log["complete"] = True
                self.last_ack_at = time.monotonic()
                return self.linger()
        self.log["error"] = "timed out"

    def linger(self):
        """Stays a moment after the end to catch duplicates that are still coming."""
        end = time.monotonic() + self.args.linger
        while time.monotonic() < end:
            packet = self.receive(end - time.monotonic())
            if packet and packet != "foreign" and len(packet) >= 4 and packet[:2] == struct.pack("!H", DATA):
                key = str(struct.unpack("!H", packet[2:4])[0])
                self.log["duplicates"][key] = self.log["duplicates"].get(key, 0) + 1


def do_tftp(args, server, file_name, bind_address, start, report):
    client = TftpClient(args, server, bind_address)
    began = time.monotonic()
    try:
        client.run(file_name)
    finally:
        client.close()
    log = client.log
    log.update(server=server, file=file_name, transfer_port=client.tid, bytes=len(client.data),
               sha256=hashlib.sha256(bytes(client.data)).hexdigest(),
               elapsed_ms=round((time.monotonic() - began) * 1000, 1))
    if client.last_ack_at is not None:
        # Read request to last ACK: elapsed_ms also holds the linger after it.
        log["transfer_ms"] = round((client.last_ack_at - began) * 1000, 1)
        report.setdefault("_marks", {})["last_ack"] = client.last_ack_at
    report["tftp"] = log
    if args.save:
        with open(args.save, "wb") as f:
            f.write(client.data)
    return bytes(client.data) if log["complete"] else None


# -- flash-data verification ----------------------------------------------------


def verify(args, flash):
    """Checks the received flash data against a script through tools/flashcheck.py."""
    here = os.path.dirname(os.path.abspath(__file__))
    if not os.path.exists(os.path.join(here, "flashcheck.py")):
        return {"available": False, "reason": "verification unavailable: tools/flashcheck.py not found"}
    if flash is None:
        return {"available": True, "ok": False, "error": "no complete flash data to check"}
    sys.path.insert(0, here)
    try:
        import flashcheck  # noqa: E402  (the independent decoder beside this tool)
        with open(args.verify_base, "rb") as f:
            base = f.read()
        with open(args.verify_script, "rb") as f:
            script = f.read()
        flashcheck.check_flash(base, flash, script)
    except Exception as e:  # report, never crash the one JSON line
        return {"available": True, "ok": False, "error": "%s: %s" % (type(e).__name__, e)}
    return {"available": True, "ok": True, "bytes": len(flash)}


# -- command line -----------------------------------------------------------------


def arguments(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    g = p.add_argument_group("BOOTP")
    g.add_argument("--iface", help="the device's interface (BOOTP goes out and the address goes on here)")
    g.add_argument("--mac", type=parse_mac, default=parse_mac("02:00:5e:10:20:30"))
    g.add_argument("--xid", type=lambda s: int(s, 0), help="transaction id (default: random)")
    g.add_argument("--vendor", default="Flashboot", help="option 60")
    g.add_argument("--model", default="X100", help="option 128")
    g.add_argument("--space", type=int, default=1 << 20, help="option 129: free flash bytes (4 bytes, big-endian)")
    g.add_argument("--space-bytes", metavar="HEX", help="option 129 as raw bytes instead, e.g. 001000 (3 bytes)")
    g.add_argument("--omit", action="append", default=[], choices=["vendor", "model", "space"])
    g.add_argument("--malform", choices=["vendor", "model", "space"],
                   help="put this option last with a length running past the datagram's end")
    g.add_argument("--bootp-timeout", type=float, default=8.0)
    g.add_argument("--bootp-retry", type=float, default=2.0, help="seconds between repeated requests")
    g.add_argument("--prefix-len", type=int, default=24, help="prefix length for the address given")
    g.add_argument("--keep-address", action="store_true", help="leave the address on the interface")
    g = p.add_argument_group("TFTP")
    g.add_argument("--server", help="skip BOOTP and read from this server (the address must already be set)")
    g.add_argument("--file", help="file to ask for (default: the reply's file field)")
    g.add_argument("--bind", default="0.0.0.0", help="local address for TFTP when BOOTP is skipped")
    g.add_argument("--never-ask", action="store_true", help="stop after BOOTP, never send the read request")
    g.add_argument("--no-tsize", action="store_true")
    g.add_argument("--option", action="append", default=[], metavar="NAME=VALUE", help="extra RRQ option")
    g.add_argument("--drop-acks", type=int, default=0, metavar="N", help="do not send the first N ACKs")
    g.add_argument("--dup-acks", action="store_true", help="send every ACK twice")
    g.add_argument("--error-at", type=int, metavar="BLOCK", help="answer DATA BLOCK with an ERROR, then go quiet")
    g.add_argument("--vanish-at", type=int, metavar="BLOCK",
                   help="go quiet on receiving DATA BLOCK (0: on the OACK)")
    g.add_argument("--listen-after", type=float, default=7.0, help="seconds to keep counting after going quiet")
    g.add_argument("--rto", type=float, default=1.0, help="own retransmission interval, seconds")
    g.add_argument("--max-resends", type=int, default=5)
    g.add_argument("--tftp-timeout", type=float, default=20.0)
    g.add_argument("--linger", type=float, default=0.5, help="seconds to wait for stragglers after the end")
    g.add_argument("--save", metavar="FILE", help="write the received data here")
    g = p.add_argument_group("flash data")
    g.add_argument("--verify-base", metavar="FILE", help="the base stream the flash data is a delta against")
    g.add_argument("--verify-script", metavar="FILE", help="the script the flash data must decode to")
    args = p.parse_args(argv)
    if not args.server and not args.iface:
        p.error("give --iface for a BOOTP boot, or --server to read over TFTP only")
    if bool(args.verify_base) != bool(args.verify_script):
        p.error("--verify-base and --verify-script go together")
    return args


def main(argv=None):
    args = arguments(argv)
    start = time.monotonic()
    report = {"ok": False}
    added = None
    try:
        if args.server:
            server, file_name, bind_address = args.server, args.file or "tamselucis", args.bind
        else:
            reply = do_bootp(args, start, report)
            if not reply:
                return finish(report, start)
            if args.never_ask:
                report["ok"] = reply["opcode"] == 2
                return finish(report, start)
            if take_address(args, reply["yiaddr"]):
                added = reply["yiaddr"]
            server, file_name, bind_address = reply["siaddr"], args.file or reply["file"], reply["yiaddr"]
        flash = do_tftp(args, server, file_name, bind_address, start, report)
        if args.verify_base:
            report["verify"] = verify(args, flash)
        quiet = args.vanish_at is not None or args.error_at is not None
        report["ok"] = quiet or (flash is not None and report.get("verify", {}).get("ok", True) is not False)
    except Exception as e:  # one JSON line whatever happens
        report["error"] = "%s: %s" % (type(e).__name__, e)
    finally:
        if added and not args.keep_address:
            drop_address(args, added)
    return finish(report, start)


def finish(report, start):
    report["elapsed_ms"] = now_ms(start)
    marks = report.pop("_marks", {})
    if "bootp_sent" in marks and "last_ack" in marks:
        # The device's whole boot as a server sees it: first BOOTP request out to
        # the last ACK out, without our own start-up, linger or verification.
        report["total_ms"] = round((marks["last_ack"] - marks["bootp_sent"]) * 1000, 1)
        # The same two moments on the system's monotonic clock, to line up devices
        # booting at once in separate processes.
        report["monotonic"] = {k: round(marks[k], 4) for k in ("bootp_sent", "last_ack")}
    print(json.dumps(report, sort_keys=True), flush=True)
    return 0 if report["ok"] else 1


if __name__ == "__main__":
    sys.exit(main())
