"""Three standard TFTP clients fetch files of every size that matters for the
block arithmetic from the TFTP server under Wine, each byte-exact."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlab import LineReader, NetLab, build_dir_from_argv, wine_path  # noqa: E402

SERVER = os.path.join(build_dir_from_argv(), "proto_server.exe")
SIZES = [0, 1, 511, 512, 513, 1000, 1024, 300000]
TOOL_IP = "198.51.100.1"


def clients(name, out, size):
    # curl asks for tsize and then refuses any answer for an empty file (an
    # OACK of tsize 0 or of no option at all), from any server; for that one
    # size it fetches without options, which still ends on an empty block 1.
    curl_options = ["--tftp-no-options"] if size == 0 else []
    return {
        "curl": ["curl", "-sS", "--max-time", "20"] + curl_options + ["-o", out, "tftp://%s/%s" % (TOOL_IP, name)],
        "atftp": ["atftp", "--option", "tsize 0", "-g", "-r", name, "-l", out, TOOL_IP],
        "tftp-hpa": ["tftp", "-m", "binary", TOOL_IP, "-c", "get", name, out],
    }


def main():
    failures = []
    with NetLab("tftpc") as lab:
        tool = lab.namespace("tool", TOOL_IP + "/24")
        dev = lab.namespace("dev", "198.51.100.2/24")
        lab.link(tool, dev)
        root = os.path.join(lab.tmp, "root")
        got = os.path.join(lab.tmp, "got")
        os.makedirs(root)
        os.makedirs(got)
        for size in SIZES:
            with open(os.path.join(root, "f%d" % size), "wb") as f:
                f.write(os.urandom(size))
        server = lab.start_wine(tool, SERVER, "--root", wine_path(root), "--lifetime-ms", "300000")
        out = LineReader(server)
        out.wait_for("proto_server: ready", 60)

        for client in ("curl", "atftp", "tftp-hpa"):
            for size in SIZES:
                name = "f%d" % size
                dest = os.path.join(got, "%s-%s" % (client, name))
                out.poll()
                mark = len(out.lines)
                began = time.monotonic()
                r = lab.run(dev, clients(name, dest, size)[client], timeout=40)
                took = time.monotonic() - began
                with open(os.path.join(root, name), "rb") as f:
                    expected = f.read()
                received = open(dest, "rb").read() if os.path.exists(dest) else None
                problems = []
                if r.returncode != 0:
                    problems.append("exit %d: %s" % (r.returncode, r.stderr.decode(errors="replace").strip()[-300:]))
                if received != expected:
                    problems.append("got %s bytes, not the file's" % (None if received is None else len(received)))
                # The server's side: one request, one transfer, reported done.
                deadline = time.monotonic() + 3
                while time.monotonic() < deadline and not any("transfer done status" in l for l in out.since(mark)):
                    time.sleep(0.02)
                lines = out.since(mark)
                if [l for l in lines if "transfer done status" in l] != ["proto_server: transfer done status 0"]:
                    problems.append("server: %r" % lines[-6:])
                if sum("tftp request" in l for l in lines) != 1:
                    problems.append("the client asked more than once")
                print("%s %-8s %6d bytes %6.2fs %s" % ("FAIL" if problems else "ok  ", client, size, took,
                                                       "; ".join(problems)))
                if problems:
                    failures.append("%s %d" % (client, size))
    print("%d passed, %d failed" % (3 * len(SIZES) - len(failures), len(failures)))
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
