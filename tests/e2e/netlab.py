"""A private network for end-to-end tests: network namespaces joined by veth
pairs, and Windows programs run under Wine inside one of them.

    with NetLab() as lab:
        tool = lab.namespace("tool", "198.51.100.1/24")
        dev = lab.namespace("dev")
        lab.link(tool, dev)
        server = lab.start_wine(tool, "build/win/proto_server.exe", "--root", d)
        lab.run(dev, ["curl", ...])

Wine creates sockets and reads the interface table in the wineserver and its
helper processes, not in the program's own process. A program started inside a
namespace while a wineserver for the same prefix runs outside it would get the
root namespace's sockets. So each namespace that runs Windows programs gets its
own copy of the prepared prefix, whose wineserver is started inside it first.

Everything the lab starts is ended by PID, and its namespaces and prefix copies
are removed on exit, also when a test fails.
"""

import collections
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def wine_binaries():
    wine = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else shutil.which("wine64") or "wine"
    server = (
        "/usr/lib/wine/wineserver64"
        if os.path.exists("/usr/lib/wine/wineserver64")
        else shutil.which("wineserver")
    )
    return wine, server


def build_dir_from_argv(default=None):
    """The --build argument ctest passes (build/win), or VOSK_BUILD/win."""
    args = sys.argv[1:]
    if "--build" in args:
        return os.path.abspath(args[args.index("--build") + 1])
    if default:
        return default
    return os.path.join(os.environ.get("VOSK_BUILD", os.path.join(ROOT, "build")), "win")


class Namespace:
    def __init__(self, lab, name, address):
        self.lab = lab
        self.name = name
        self.address = address  # "a.b.c.d/len" or None
        self.prefix = None
        self.wineserver_started = False

    def ip(self):
        return self.address.split("/")[0] if self.address else None

    def argv(self, cmd):
        return ["ip", "netns", "exec", self.name] + list(cmd)


class NetLab:
    def __init__(self, tag="lab", prefix=None):
        self.tag = "%s%d" % (tag, os.getpid())
        self.base_prefix = prefix or os.environ.get("WINEPREFIX") or os.path.join(
            os.environ.get("VOSK_BUILD", os.path.join(ROOT, "build")), "wineprefix"
        )
        self.namespaces = []
        self.links = 0
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="vosk-netlab-")
        self.xvfb = None
        self.wine, self.wineserver = wine_binaries()

    # -- lifetime -----------------------------------------------------------

    def __enter__(self):
        if os.geteuid() != 0:
            raise SystemExit("netlab: network namespaces need root")
        self._ensure_display()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        for p in reversed(self.procs):
            self._end(p)
        self.procs = []
        for ns in self.namespaces:
            if ns.wineserver_started:
                env = self._wine_env(ns)
                subprocess.run(ns.argv([self.wineserver, "-k"]), env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
                subprocess.run(ns.argv([self.wineserver, "-w"]), env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        for ns in self.namespaces:
            subprocess.run(["ip", "netns", "del", ns.name], stderr=subprocess.DEVNULL)
        self.namespaces = []
        if self.xvfb:
            self._end(self.xvfb)
            self.xvfb = None
        shutil.rmtree(self.tmp, ignore_errors=True)

    @staticmethod
    def _end(p, grace=3.0):
        if p.poll() is not None:
            return
        p.terminate()
        try:
            p.wait(grace)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(5)

    def _ensure_display(self):
        if os.environ.get("DISPLAY"):
            return
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-nolisten", "tcp"],
                                     pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        # Xvfb writes the number and its newline separately and dies if the pipe
        # is gone before the second write, so read through the newline.
        data = b""
        while b"\n" not in data:
            chunk = os.read(r, 64)
            if not chunk:
                break
            data += chunk
        os.close(r)
        display = data.decode().strip()
        os.environ["DISPLAY"] = ":" + display

    # -- network --------------------------------------------------------------

    def namespace(self, role, address=None, loopback=True):
        """A new namespace; address ("a.b.c.d/len") goes on its first link."""
        name = "%s-%s" % (self.tag, role)
        subprocess.run(["ip", "netns", "add", name], check=True)
        ns = Namespace(self, name, address)
        self.namespaces.append(ns)
        if loopback:
            self.sh(ns, "ip link set lo up")
        # The device side has no address yet, so reverse-path filtering would
        # drop the broadcast reply it is waiting for.
        self.sh(ns, "sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0")
        return ns

    def link(self, a, b, a_address=None, b_address=None):
        """A veth pair between two namespaces; returns the two interface names."""
        self.links += 1
        ia, ib = "vk%da" % self.links, "vk%db" % self.links
        subprocess.run(["ip", "link", "add", ia, "netns", a.name, "type", "veth", "peer", "name", ib,
                        "netns", b.name], check=True)
        for ns, ifname, addr in ((a, ia, a_address or a.address), (b, ib, b_address or b.address)):
            self.sh(ns, "sysctl -qw net.ipv4.conf.%s.rp_filter=0" % ifname)
            if addr:
                self.sh(ns, "ip addr add %s dev %s" % (addr, ifname))
            self.sh(ns, "ip link set %s up" % ifname)
        return ia, ib

    def broadcast_route(self, ns, ifname):
        """Sends ns's limited broadcasts (255.255.255.255) out of ifname.

        A namespace has no default route, and without a route Linux refuses a
        send to the limited broadcast address from an unbound socket, where a
        Windows host would use its primary interface.
        """
        self.sh(ns, "ip route replace 255.255.255.255/32 dev %s" % ifname)

    def booting_link(self, tool_address):
        """The usual bench: a tool namespace with tool_address ("a.b.c.d/len") and
        a device namespace without an address, joined by a veth pair, with the
        tool able to broadcast its replies. Returns (tool, dev, tool_if, dev_if)."""
        tool = self.namespace("tool", tool_address)
        dev = self.namespace("dev")
        tool_if, dev_if = self.link(tool, dev)
        self.broadcast_route(tool, tool_if)
        return tool, dev, tool_if, dev_if

    def sh(self, ns, command, check=True, timeout=60):
        r = subprocess.run(ns.argv(["sh", "-c", command]), timeout=timeout,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if check and r.returncode != 0:
            raise RuntimeError("netlab: %r failed in %s: %s" % (command, ns.name, r.stderr.strip()))
        return r

    def run(self, ns, cmd, timeout=60, **kw):
        """Runs cmd in ns to completion (bounded) and returns the CompletedProcess."""
        kw.setdefault("stdout", subprocess.PIPE)
        kw.setdefault("stderr", subprocess.PIPE)
        return subprocess.run(ns.argv(cmd), timeout=timeout, **kw)

    def start(self, ns, cmd, **kw):
        """Starts cmd in ns in the background; the lab ends it on exit."""
        kw.setdefault("stdout", subprocess.PIPE)
        kw.setdefault("stderr", subprocess.PIPE)
        p = subprocess.Popen(ns.argv(cmd), **kw)
        self.procs.append(p)
        return p

    def stop(self, p):
        """Ends one process the lab started (by its PID) before the lab closes."""
        self._end(p)
        if p in self.procs:
            self.procs.remove(p)

    # -- Wine -----------------------------------------------------------------

    def _wine_env(self, ns):
        env = dict(os.environ)
        env["WINEPREFIX"] = ns.prefix
        env.setdefault("WINEDEBUG", "-all")
        env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        return env

    def prepare_wine(self, ns, server_trace=None):
        """Gives ns its own prefix copy and a wineserver started inside it.

        With server_trace (a file path) the wineserver runs in the foreground
        and writes every request it serves there, for counting them.
        """
        if ns.wineserver_started:
            return
        if not os.path.exists(os.path.join(self.base_prefix, "system.reg")):
            raise SystemExit("netlab: no prepared Wine prefix at %s (run scripts/test once)" % self.base_prefix)
        ns.prefix = os.path.join(self.tmp, ns.name + "-prefix")
        subprocess.run(["cp", "-a", self.base_prefix, ns.prefix], check=True)
        env = self._wine_env(ns)
        if server_trace:
            log = open(server_trace, "w")
            self.start(ns, [self.wineserver, "-f", "-p", "-d1"], env=env, stdout=log, stderr=log)
            log.close()
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and not subprocess.run(
                    ns.argv([self.wineserver, "-k0"]), env=env, stderr=subprocess.DEVNULL).returncode == 0:
                time.sleep(0.05)
        else:
            subprocess.run(ns.argv([self.wineserver, "-p"]), env=env, check=True)
        ns.wineserver_started = True
        # Wine's services start now with no inherited output pipes.
        subprocess.run(ns.argv([self.wine, "wineboot"]), env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def wine_argv(self, ns, exe, *args):
        return [self.wine, exe] + [str(a) for a in args]

    def run_wine(self, ns, exe, *args, timeout=120, **kw):
        self.prepare_wine(ns)
        return self.run(ns, self.wine_argv(ns, exe, *args), timeout=timeout, env=self._wine_env(ns), **kw)

    def start_wine(self, ns, exe, *args, **kw):
        self.prepare_wine(ns)
        return self.start(ns, self.wine_argv(ns, exe, *args), env=self._wine_env(ns), **kw)


def wait_for_line(proc, needle, timeout=30.0):
    """Reads proc's stdout until a line containing needle appears; returns the lines read."""
    lines = []
    deadline = time.monotonic() + timeout
    os.set_blocking(proc.stdout.fileno(), False)
    buf = b""
    while time.monotonic() < deadline:
        chunk = proc.stdout.read()
        if chunk:
            buf += chunk
            while b"\n" in buf:
                line, buf = buf.split(b"\n", 1)
                text = line.decode(errors="replace").rstrip("\r")
                lines.append(text)
                if needle in text:
                    return lines
        elif proc.poll() is not None:
            break
        else:
            time.sleep(0.02)
    raise AssertionError("did not see %r within %.0fs; got: %r" % (needle, timeout, lines[-20:]))


class LineReader:
    """Collects a process's stdout lines as they come, on a thread of its own,
    so the process never blocks on a full pipe while a test is busy elsewhere.

        out = LineReader(server)
        out.wait_for("ready")
        ...
        assert out.count("tftp transfer done") == 3
    """

    def __init__(self, proc):
        self.proc = proc
        self.lines = []
        self._incoming = []
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        for raw in iter(self.proc.stdout.readline, b""):
            with self._lock:
                self._incoming.append(raw.decode(errors="replace").rstrip("\r\n"))

    def poll(self):
        """Takes what has arrived; returns the new lines."""
        with self._lock:
            new, self._incoming = self._incoming, []
        self.lines.extend(new)
        return new

    def wait_for(self, needle, timeout=30.0, count=1):
        """Waits until count lines contain needle; returns the time it took."""
        began = time.monotonic()
        while time.monotonic() < began + timeout:
            self.poll()
            if self.count(needle) >= count:
                return time.monotonic() - began
            if self.proc.poll() is not None:
                self.poll()
                break
            time.sleep(0.01)
        if self.count(needle) >= count:
            return time.monotonic() - began
        raise AssertionError("did not see %r x%d within %.0fs; last lines: %r"
                             % (needle, count, timeout, self.lines[-15:]))

    def count(self, needle):
        return sum(needle in line for line in self.lines)

    def since(self, mark):
        """Lines after the first mark lines (mark = len(reader.lines) taken earlier)."""
        self.poll()
        return self.lines[mark:]


def server_requests(trace, offset):
    """Counts the wineserver requests written to trace (see prepare_wine's
    server_trace) after byte offset, by request name."""
    with open(trace, errors="replace") as f:
        f.seek(offset)
        text = f.read()
    return collections.Counter(m.group(1) for m in re.finditer(r"^\w+: (\w+)\( ", text, re.M))


def print_server_requests(calls, blocks, indent="  "):
    """Prints the requests made at least every other block, per block, and their sum."""
    total = 0
    for name, count in calls.most_common(12):
        if count >= blocks // 2:
            total += count
            print("%s%-26s %.2f" % (indent, name, count / blocks))
    print("%s%-26s %.2f" % (indent, "in all", total / blocks))


class Checks:
    """Named expectations that all run; a test fails at the end if any did not hold."""

    def __init__(self):
        self.failed = []
        self.passed = 0

    def expect(self, case, what, ok, detail=""):
        print("%s %-16s %s%s" % ("ok  " if ok else "FAIL", case, what, "" if ok else "  (%s)" % detail))
        if ok:
            self.passed += 1
        else:
            self.failed.append("%s: %s" % (case, what))

    def summary(self):
        """Prints the closing count and the failures; the exit code."""
        print("%d passed, %d failed" % (self.passed, len(self.failed)))
        for f in self.failed:
            print("FAILED:", f)
        return 1 if self.failed else 0


def wine_path(path):
    """A Linux path as a Windows program under Wine names it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")
