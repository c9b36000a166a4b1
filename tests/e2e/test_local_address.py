"""localAddressFor against real interface tables, each in a namespace of its own."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlab import NetLab, build_dir_from_argv  # noqa: E402

PROBE = os.path.join(build_dir_from_argv(), "address_probe.exe")


def probe(lab, ns, *peers):
    r = lab.run_wine(ns, PROBE, *peers)
    assert r.returncode == 0, r.stderr.decode()[-2000:]
    lines = r.stdout.decode().replace("\r", "").splitlines()
    table = [row.split("/")[0] for row in lines[0].split()[1:]]
    answers = {}
    for line in lines[1:]:
        _, peer, answer = line.split()
        answers[peer] = answer
    return table, answers


def main():
    failures = 0
    with NetLab("addr") as lab:
        tool = lab.namespace("tool", "198.51.100.7/24")
        peer = lab.namespace("peer")
        tool_if, _ = lab.link(tool, peer)
        lab.sh(tool, "ip addr add 203.0.113.9/24 dev %s" % tool_if)
        empty = lab.namespace("empty", loopback=False)

        table, answers = probe(lab, tool, "0.0.0.0", "203.0.113.50", "198.51.100.200", "10.9.9.9")
        print("tool namespace table:", table)
        first_nonzero = next(a for a in table if a != "0.0.0.0")
        cases = [
            ("0.0.0.0", first_nonzero, "no peer: the first non-zero address"),
            ("203.0.113.50", "203.0.113.9", "peer on the second subnet"),
            ("198.51.100.200", "198.51.100.7", "peer on the first subnet"),
            ("10.9.9.9", table[0], "peer on no local subnet: the first row"),
        ]
        _, empty_answers = probe(lab, empty, "0.0.0.0", "10.9.9.9")
        cases += [
            ("empty:0.0.0.0", "0.0.0.0", "no addresses at all"),
        ]
        answers.update({"empty:" + k: v for k, v in empty_answers.items()})
        for peer_addr, expected, what in cases:
            got = answers.get(peer_addr)
            ok = got == expected
            failures += not ok
            print("%s %-16s -> %-15s (%s)%s" % ("ok  " if ok else "FAIL", peer_addr, got, what,
                                                  "" if ok else " expected " + expected))
    print("%d passed, %d failed" % (len(cases) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
