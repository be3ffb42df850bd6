#!/usr/bin/env python3
"""TAMRIX side by side with two established DHCP servers, on one machine, in one run.

Run by hand as root (never from CI):

    sudo python3 bench/compare/compare.py [--bin DIR] [--baseline-bin DIR] [--rounds 3] [--out FILE]

Two network namespaces joined by a veth pair carry all traffic; the script removes them, its
temporary folder and every process it started on every path out (signal, error or success).
Nothing is sent in the machine's own network namespace. See bench/README.md for the figures.
"""
import argparse
import datetime
import functools
import json
import os
import re
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

SERVER_ADDR = "192.0.2.1"
CLIENT_ADDR = "192.0.2.2"
POOL_FIRST = "192.0.2.10"
POOL_LAST = "192.0.2.209"  # 200 addresses
MASK = "255.255.255.0"
DOMAIN = "bench.example"
LEASE_SECONDS = 3600
HOSTNAME = "tamrix-bench"

CLIENTS = 200
CPU_RATE = 3000
CPU_SECONDS = 20
LADDER = [6000, 8000, 10000, 12000, 14000, 16000, 18000]
LADDER_SECONDS = 5
LOSS_LIMIT = 0.01
WIRE_SAMPLES = 10
STARTUP_SAMPLES = 5  # per server and round: one start is at the mercy of the scheduler
PING_WAIT_MS = 50

SERVERS = ["tamrix", "kea", "dnsmasq"]
# Each server's twin that keeps its leases on disk, run right beside it in every round. TAMRIX's
# twin is the other way round: the binary from --baseline-bin, built from before the journal, so
# that the journal's cost is TAMRIX against it.
TWINS = {"tamrix": "tamrix-nojournal", "kea": "kea-persist", "dnsmasq": "dnsmasq-leasefile"}
# The floor: bare_responder.c, only the system calls of an exchange, waiting as TAMRIX once did
# (poll, then recvmsg) and with a blocking recvmsg alone. Both run right beside TAMRIX.
FLOORS = ["bare-poll", "bare-blocking"]
BARE_SOURCE = os.path.join(HERE, "bare_responder.c")
# Where each server's lease file ends up inside its folder; its size after the load shows that
# the file was written at all.
LEASE_FILES = {"tamrix": "root/var/lib/tamrix/TAMRIX.jnl",
               "tamrix-nojournal": "root/var/lib/tamrix/TAMRIX.jnl",
               "kea-persist": "kea-leases4.csv", "dnsmasq-leasefile": "dnsmasq.leases"}
JOURNAL_CPU_LIMIT = 1.15
PEER_CPU_SHARE = 0.3  # of the better peer's CPU per 1000 exchanges
FLOOR_CPU_SHARE = 0.85  # of bare-poll's, TAMRIX's old way of waiting
FLOOR_RATE_SHARE = 0.9


def log(text):
    print("[%s] %s" % (datetime.datetime.now().strftime("%H:%M:%S"), text), file=sys.stderr,
          flush=True)


def run(argv, **kw):
    return subprocess.run(argv, check=True, **kw)


# ---------------------------------------------------------------- the stage: namespaces, folder

class Stage:
    """Two namespaces, a veth pair, a temporary folder; everything removed by close()."""

    def __init__(self):
        tag = str(os.getpid())[-6:]
        self.srv = "tbench-srv-" + tag
        self.cli = "tbench-cli-" + tag
        self.srv_if = "tbs" + tag
        self.cli_if = "tbc" + tag
        self.root = tempfile.mkdtemp(prefix="tamrix-bench-")
        self.procs = []
        self.sysroots = []  # TAMRIX's machine roots, whose shared blocks a kill leaves behind
        self.made = False

    def open(self):
        self.made = True  # from here on close() deletes whatever of the stage exists
        for ns in (self.srv, self.cli):
            run(["ip", "netns", "add", ns])
        run(["ip", "link", "add", self.srv_if, "netns", self.srv, "type", "veth", "peer", "name",
             self.cli_if, "netns", self.cli])
        run(["ip", "-n", self.srv, "addr", "add", SERVER_ADDR + "/24", "dev", self.srv_if])
        run(["ip", "-n", self.cli, "addr", "add", CLIENT_ADDR + "/24", "dev", self.cli_if])
        for ns, ifname in ((self.srv, self.srv_if), (self.cli, self.cli_if)):
            run(["ip", "-n", ns, "link", "set", "lo", "up"])
            run(["ip", "-n", ns, "link", "set", ifname, "up"])
        # The server's host name resolves to its address inside its namespace only.
        os.makedirs("/etc/netns/" + self.srv, exist_ok=True)
        with open("/etc/netns/%s/hosts" % self.srv, "w") as f:
            f.write("127.0.0.1\tlocalhost\n%s\t%s\n" % (SERVER_ADDR, HOSTNAME))

    def in_server(self, argv):
        # Every server runs through the same wrapper, so each pays the same start-up cost.
        return ["ip", "netns", "exec", self.srv, "unshare", "--uts", "sh", "-c",
                'hostname "$0"; exec "$@"', HOSTNAME] + argv

    def in_client(self, argv):
        return ["ip", "netns", "exec", self.cli] + argv

    def spawn(self, argv, **kw):
        p = subprocess.Popen(argv, **kw)
        self.procs.append(p)
        return p

    def close(self):
        for p in self.procs:
            if p.poll() is None:
                try:
                    p.kill()
                    p.wait(timeout=5)
                except Exception:
                    pass
        if self.made:
            for ns in (self.srv, self.cli):
                pids = subprocess.run(["ip", "netns", "pids", ns], capture_output=True,
                                      text=True).stdout.split()
                for pid in pids:
                    try:
                        os.kill(int(pid), signal.SIGKILL)
                    except (OSError, ValueError):
                        pass
                subprocess.run(["ip", "netns", "delete", ns], stderr=subprocess.DEVNULL)
            shutil.rmtree("/etc/netns/" + self.srv, ignore_errors=True)
        for sysroot in self.sysroots:
            tamrix_shm_cleanup(sysroot)
        shutil.rmtree(self.root, ignore_errors=True)


def root_digest(path):
    h = 0xCBF29CE484222325
    for c in path.encode():
        h = ((h ^ c) * 0x100000001B3) & (2 ** 64 - 1)
    return "%016x" % h


def tamrix_shm_cleanup(sysroot):
    # A killed TAMRIX leaves its shared block behind; a stopped one removes it itself. The
    # block's names carry a digest of the machine root the server ran on.
    prefix = "tamrix-%s-" % root_digest(sysroot)
    try:
        for name in os.listdir("/dev/shm"):
            if name.startswith(prefix):
                os.unlink(os.path.join("/dev/shm", name))
    except OSError:
        pass


# ---------------------------------------------------------------- the three servers

def tamrix_setup(stage, folder, bin_dir, extra):
    sysroot = os.path.join(folder, "root")
    stage.sysroots.append(sysroot)
    data = os.path.join(sysroot, "var/lib/tamrix")
    os.makedirs(data)
    lines = ["[TAMRIX]", "StartIPAddr=" + POOL_FIRST, "EndIPAddr=" + POOL_LAST,
             "SubnetMask=" + MASK, "Gateway=" + SERVER_ADDR, "DNSAddr1=" + SERVER_ADDR,
             "DomainName=" + DOMAIN, "LeaseTime=%d" % LEASE_SECONDS] + list(extra)
    with open(os.path.join(data, "TAMRIX.ini"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode())
    env = dict(os.environ, TAMRIX_SYSROOT=sysroot)
    return [os.path.join(bin_dir, "TAMRIXs.exe")], env


def kea_setup(stage, folder, _bin_dir, _extra, persist=False):
    leases = {"type": "memfile", "persist": persist, "lfc-interval": 0}
    if persist:
        leases["name"] = os.path.join(folder, LEASE_FILES["kea-persist"])
    config = {"Dhcp4": {
        "interfaces-config": {"interfaces": [stage.srv_if]},
        "lease-database": leases,
        "valid-lifetime": LEASE_SECONDS,
        "subnet4": [{
            "subnet": "192.0.2.0/24",
            "pools": [{"pool": "%s - %s" % (POOL_FIRST, POOL_LAST)}],
            "option-data": [
                {"name": "routers", "data": SERVER_ADDR},
                {"name": "domain-name-servers", "data": SERVER_ADDR},
                {"name": "domain-name", "data": DOMAIN},
            ],
        }],
        "loggers": [{"name": "kea-dhcp4", "severity": "WARN",
                     "output_options": [{"output": os.path.join(folder, "kea.log")}]}],
    }}
    path = os.path.join(folder, "kea-dhcp4.json")
    with open(path, "w") as f:
        json.dump(config, f, indent=1)
    env = dict(os.environ, KEA_PIDFILE_DIR=folder, KEA_LOCKFILE_DIR=folder)
    return ["kea-dhcp4", "-c", path], env


def dnsmasq_setup(stage, folder, _bin_dir, _extra, lease_file=False):
    argv = ["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--port=0",
            "--no-resolv", "--no-hosts", "--user=root", "--group=root",
            "--interface=" + stage.srv_if, "--bind-interfaces",
            "--dhcp-range=%s,%s,%s,%d" % (POOL_FIRST, POOL_LAST, MASK, LEASE_SECONDS),
            "--dhcp-option=option:router," + SERVER_ADDR,
            "--dhcp-option=option:dns-server," + SERVER_ADDR,
            "--dhcp-option=option:domain-name," + DOMAIN,
            ("--dhcp-leasefile=" + os.path.join(folder, LEASE_FILES["dnsmasq-leasefile"])
             if lease_file else "--leasefile-ro"),
            "--pid-file=" + os.path.join(folder, "dnsmasq.pid"),
            "--log-facility=" + os.path.join(folder, "dnsmasq.log"),
            "--no-ping", "--quiet-dhcp"]
    return argv, dict(os.environ)


def bare_setup(_stage, _folder, bin_dir, _extra, mode):
    first = [int(x) for x in POOL_FIRST.split(".")]
    last = [int(x) for x in POOL_LAST.split(".")]
    size = last[3] - first[3] + 1
    return [os.path.join(bin_dir, "bare_responder"), mode, SERVER_ADDR, POOL_FIRST,
            str(size)], dict(os.environ)


SETUPS = {"tamrix": tamrix_setup, "kea": kea_setup, "dnsmasq": dnsmasq_setup,
          "bare-poll": functools.partial(bare_setup, mode="poll"),
          "bare-blocking": functools.partial(bare_setup, mode="blocking"),
          "tamrix-nojournal": tamrix_setup,
          "kea-persist": functools.partial(kea_setup, persist=True),
          "dnsmasq-leasefile": functools.partial(dnsmasq_setup, lease_file=True)}


class Server:
    """One server under test, started fresh in the server namespace."""

    count = 0

    def __init__(self, stage, kind, bin_dir, extra=()):
        Server.count += 1
        self.stage, self.kind = stage, kind
        self.folder = os.path.join(stage.root, "%s-%d" % (kind, Server.count))
        os.makedirs(self.folder)
        self.argv, self.env = SETUPS[kind](stage, self.folder, bin_dir, extra)
        self.proc = None

    def start(self, measure_startup):
        """Starts the server; returns seconds from exec to the first OFFER (None if none)."""
        prober = self.stage.spawn(
            self.stage.in_client(["python3", os.path.join(HERE, "first_offer.py"), "--local",
                                  CLIENT_ADDR, "--server", SERVER_ADDR, "--interval-ms", "0.5",
                                  "--limit", "15"]),
            stdout=subprocess.PIPE, text=True)
        time.sleep(0.3)  # the prober is sending before the server exists
        out = open(os.path.join(self.folder, "server.out"), "w")
        started = time.monotonic()
        self.proc = self.stage.spawn(self.stage.in_server(self.argv), env=self.env, stdout=out,
                                     stderr=subprocess.STDOUT, cwd=self.folder)
        answer = prober.communicate(timeout=30)[0].strip()
        if answer == "none" or not answer:
            raise RuntimeError("%s did not answer within 15 s (see %s)" % (self.kind, self.folder))
        return float(answer) - started if measure_startup else None

    def cpu_split(self):
        """(user, system) CPU seconds of the whole process, every thread included."""
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        # utime and stime are the 14th and 15th fields; the split drops the first two.
        ticks = os.sysconf("SC_CLK_TCK")
        return int(fields[11]) / ticks, int(fields[12]) / ticks

    def cpu_seconds(self):
        return sum(self.cpu_split())

    def vm_hwm_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        return None

    def stop(self):
        if self.proc is None or self.proc.poll() is not None:
            return
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(timeout=5)


# ---------------------------------------------------------------- load: perfdhcp as relay agent

def parse_perfdhcp(text):
    stats, section = {}, None
    for line in text.splitlines():
        m = re.match(r"\*\*\*Statistics for: (\S+)\*\*\*", line.strip())
        if m:
            section = m.group(1)
            stats[section] = {}
            continue
        m = re.match(r"(sent packets|received packets|drops): (\d+)", line.strip())
        if m and section:
            stats[section][m.group(1)] = int(m.group(2))
    return stats


def perfdhcp(stage, rate, seconds):
    """One perfdhcp run; returns (offered DISCOVERs, completed exchanges)."""
    argv = stage.in_client(["perfdhcp", "-4", "-r", str(rate), "-R", str(CLIENTS), "-p",
                            str(seconds), "-W", "500000", "-l", CLIENT_ADDR, SERVER_ADDR])
    done = subprocess.run(argv, capture_output=True, text=True, timeout=seconds + 30)
    stats = parse_perfdhcp(done.stdout)
    sent = stats.get("DISCOVER-OFFER", {}).get("sent packets", 0)
    acks = stats.get("REQUEST-ACK", {}).get("received packets", 0)
    if sent == 0:
        raise RuntimeError("perfdhcp sent nothing:\n" + done.stdout + done.stderr)
    return sent, acks


UDP_DROPS = ("InErrors", "RcvbufErrors", "NoPorts")


def udp_counters(stage, server):
    """UDP drop counters of both namespaces: the server's seen through its process, the
    client's (where perfdhcp receives) through a reader started there."""
    def parse(text):
        rows = [line.split() for line in text.splitlines() if line.startswith("Udp:")]
        values = dict(zip(rows[0][1:], (int(v) for v in rows[1][1:])))
        return {k: values.get(k, 0) for k in UDP_DROPS}
    with open("/proc/%d/net/snmp" % server.proc.pid) as f:
        here = parse(f.read())
    there = parse(subprocess.run(stage.in_client(["cat", "/proc/net/snmp"]), capture_output=True,
                                 text=True, timeout=10, check=True).stdout)
    return {"server": here, "client": there}


def counter_change(before, after):
    return {side: {k: after[side][k] - before[side][k] for k in UDP_DROPS} for side in before}


def drops_text(change):
    return "; ".join("%s %s" % (side, ", ".join("%s %d" % (k, v) for k, v in c.items() if v))
                     for side, c in change.items() if any(c.values())) or "no UDP drops"


def load_run(stage, server, rate, seconds):
    """perfdhcp against a running server; the UDP drops on either side come with it."""
    before = udp_counters(stage, server)
    sent, acks = perfdhcp(stage, rate, seconds)
    return sent, acks, counter_change(before, udp_counters(stage, server))


def cpu_run(stage, server, rate=CPU_RATE, seconds=CPU_SECONDS):
    user0, sys0 = server.cpu_split()
    before = udp_counters(stage, server)
    sent, acks = perfdhcp(stage, rate, seconds)
    user1, sys1 = server.cpu_split()
    drops = counter_change(before, udp_counters(stage, server))
    used = (user1 - user0) + (sys1 - sys0)
    return {"cpu_ms_per_1000": used * 1000.0 * 1000.0 / max(acks, 1), "sent": sent, "acks": acks,
            "loss": 1.0 - acks / sent, "cpu_s": used, "user_s": user1 - user0,
            "sys_s": sys1 - sys0, "udp_drops": drops}


def ladder(stage, server):
    best = None
    steps = []
    for rate in LADDER:
        # A step gets a second try: other work on the machine can spoil one run of 5 s.
        for _ in range(2):
            sent, acks, drops = load_run(stage, server, rate, LADDER_SECONDS)
            loss = 1.0 - acks / sent
            steps.append({"offered": rate, "sent": sent, "acks": acks, "udp_drops": drops})
            log("    %6d/s offered: %d sent, %d completed, loss %.2f%%; %s"
                % (rate, sent, acks, 100 * loss, drops_text(drops)))
            if loss < LOSS_LIMIT:
                break
        if loss >= LOSS_LIMIT:
            break
        # perfdhcp shares the two cores with the server; once it cannot send what it was asked
        # to, the ceiling found is the generator's, not the server's.
        limited = sent < 0.97 * rate * LADDER_SECONDS or rate == LADDER[-1]
        best = {"offered": rate, "achieved": acks / LADDER_SECONDS,
                "sent_rate": sent / LADDER_SECONDS, "generator_limited": limited}
        if limited:
            break
    return best, steps


# ---------------------------------------------------------------- real clients and the capture

def read_pcap(path):
    """(time, DHCP message type, xid) of every DHCP packet in a classic pcap of Ethernet frames."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 24:
        return []
    magic = data[:4]
    if magic in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1"):
        endian = "<"
    else:
        endian = ">"
    nano = magic in (b"\x4d\x3c\xb2\xa1", b"\xa1\xb2\x3c\x4d")
    scale = 1e-9 if nano else 1e-6
    out, pos = [], 24
    while pos + 16 <= len(data):
        sec, frac, caplen, _ = struct.unpack(endian + "IIII", data[pos:pos + 16])
        frame = data[pos + 16:pos + 16 + caplen]
        pos += 16 + caplen
        if len(frame) < 14 + 20 + 8 or frame[12:14] != b"\x08\x00":
            continue
        ihl = (frame[14] & 0x0F) * 4
        if frame[23] != 17:
            continue
        udp = 14 + ihl
        payload = frame[udp + 8:]
        if len(payload) < 240 or payload[236:240] != b"\x63\x82\x53\x63":
            continue
        xid = struct.unpack("!I", payload[4:8])[0]
        kind, i = None, 240
        while i + 1 < len(payload):
            code = payload[i]
            if code == 255:
                break
            if code == 0:
                i += 1
                continue
            length = payload[i + 1]
            if code == 53 and length >= 1 and i + 2 < len(payload):
                kind = payload[i + 2]
            i += 2 + length
        if kind is not None:
            out.append((sec + frac * scale, kind, xid))
    return out


def exchange_times(packets):
    """DISCOVER->OFFER and REQUEST->ACK in ms, each from the last request before its answer."""
    pairs = {1: 2, 3: 5}
    result = {1: [], 3: []}
    pending = {}
    for t, kind, xid in packets:
        if kind in pairs:
            pending[(kind, xid)] = t
        for ask, answer in pairs.items():
            if kind == answer and (ask, xid) in pending:
                result[ask].append((t - pending.pop((ask, xid))) * 1000.0)
    return result[1][:1], result[3][:1]


class Capture:
    def __init__(self, stage, path):
        self.path = path
        self.proc = stage.spawn(stage.in_client(
            ["tcpdump", "-i", stage.cli_if, "-U", "--immediate-mode", "-n", "-s", "600", "--time-stamp-precision=nano",
             "-w", path, "udp port 67 or udp port 68"]), stderr=subprocess.PIPE, text=True)
        # tcpdump says it listens once the capture is open.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            line = self.proc.stderr.readline()
            if "listening on" in line or not line:
                break

    def stop(self):
        self.proc.send_signal(signal.SIGINT)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        return read_pcap(self.path)


def new_client_mac(stage, n):
    # Each run joins as a new client, so every server hands out a fresh address every time.
    mac = "02:7b:%02x:%02x:%02x:%02x" % (os.getpid() & 0xFF, Server.count & 0xFF, n >> 8, n & 0xFF)
    run(stage.in_client(["ip", "link", "set", "dev", stage.cli_if, "address", mac]))


def udhcpc_once(stage, folder, n):
    run(stage.in_client(["timeout", "20", "busybox", "udhcpc", "-f", "-q", "-n", "-t", "5", "-T",
                         "2", "-i", stage.cli_if, "-s", "/bin/true", "-p",
                         os.path.join(folder, "udhcpc-%d.pid" % n)]),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def dhclient_once(stage, folder, n):
    base = os.path.join(folder, "dhclient-%d" % n)
    with open(base + ".conf", "w") as f:
        f.write("timeout 20;\nretry 1;\n"
                "request subnet-mask, routers, domain-name-servers, domain-name;\n")
    run(stage.in_client(["timeout", "30", "dhclient", "-4", "-1", "-sf", "/bin/true", "-lf",
                         base + ".leases", "-pf", base + ".pid", "-cf", base + ".conf",
                         stage.cli_if]), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Bound, it went to the background: end it without a release.
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and not os.path.exists(base + ".pid"):
        time.sleep(0.05)
    try:
        with open(base + ".pid") as f:
            os.kill(int(f.read().strip()), signal.SIGKILL)
    except (OSError, ValueError):
        pass


CLIENT_TOOLS = {"udhcpc": udhcpc_once, "dhclient": dhclient_once}


def wire_times(stage, server, tool, samples):
    """Per run, DISCOVER->OFFER and REQUEST->ACK on the client's wire."""
    offers, acks = [], []
    for n in range(samples):
        new_client_mac(stage, n + (0 if tool == "udhcpc" else 100))
        cap = Capture(stage, os.path.join(server.folder, "%s-%d.pcap" % (tool, n)))
        try:
            CLIENT_TOOLS[tool](stage, server.folder, n)
        except subprocess.CalledProcessError:
            log("    %s run %d got no lease" % (tool, n))  # counted as a missing sample
        finally:
            packets = cap.stop()
        o, a = exchange_times(packets)
        offers += o
        acks += a
    return offers, acks


# ---------------------------------------------------------------- one server, one round

def round_for(stage, kind, bin_dir, wire_samples):
    r = {"startup_ms": []}
    for _ in range(STARTUP_SAMPLES - 1):
        s = Server(stage, kind, bin_dir)
        try:
            r["startup_ms"].append(s.start(True) * 1000.0)
        finally:
            s.stop()
    # The last start also serves the real clients.
    s = Server(stage, kind, bin_dir)
    try:
        r["startup_ms"].append(s.start(True) * 1000.0)
        log("  %s: first OFFER %s ms after exec" % (kind, ", ".join("%.1f" % v for v in
                                                                    r["startup_ms"])))
        for tool in CLIENT_TOOLS:
            r[tool] = wire_times(stage, s, tool, wire_samples)
    finally:
        s.stop()
    # Load on a second fresh server: nothing the real clients took is missing from the pool.
    s = Server(stage, kind, bin_dir)
    try:
        s.start(False)
        r["cpu"] = cpu_run(stage, s)
        log("  %s: %.1f ms CPU per 1000 exchanges (%d completed, loss %.2f%%; %s)"
            % (kind, r["cpu"]["cpu_ms_per_1000"], r["cpu"]["acks"], 100 * r["cpu"]["loss"],
               drops_text(r["cpu"]["udp_drops"])))
        r["rate"], r["ladder"] = ladder(stage, s)
        if r["rate"] is None and r["cpu"]["loss"] < LOSS_LIMIT:
            r["rate"] = {"offered": CPU_RATE, "achieved": r["cpu"]["acks"] / CPU_SECONDS,
                         "generator_limited": False}
        r["vmhwm_kib"] = s.vm_hwm_kib()
        if kind in LEASE_FILES:
            # Taken while the server runs: a clean stop may fold a journal away.
            path = os.path.join(s.folder, LEASE_FILES[kind])
            r["lease_file_bytes"] = os.path.getsize(path) if os.path.exists(path) else None
    finally:
        s.stop()
    return r


def round_order(n, kinds):
    """The three servers rotate as they always did; each twin (and TAMRIX's floors) runs right
    beside its server, so that all see the same load on the machine, and first in every other
    round."""
    order = []
    for kind in SERVERS[n % 3:] + SERVERS[:n % 3]:
        group = [k for k in [kind, TWINS[kind]] + (FLOORS if kind == "tamrix" else [])
                 if k in kinds]
        order += group[::-1] if n % 2 else group
    return order


def profile_server(stage, kind, bin_dir, out):
    """The CPU run of one server under perf's software clock sampler; writes perf data to OUT."""
    s = Server(stage, kind, bin_dir)
    try:
        s.start(False)
        perf = stage.spawn(["perf", "record", "-q", "-e", "cpu-clock", "-F", "4000", "-g",
                            "-p", str(s.proc.pid), "-o", out], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        r = cpu_run(stage, s)
        perf.send_signal(signal.SIGINT)
        perf.wait(timeout=30)
    finally:
        s.stop()
    return r


def tamrix_variant(stage, bin_dir, extra, wire_samples=0):
    r = {}
    if wire_samples:
        # New clients on a fresh server: each first offer of an address is probed.
        s = Server(stage, "tamrix", bin_dir, extra)
        try:
            s.start(False)
            r["udhcpc"] = wire_times(stage, s, "udhcpc", wire_samples)
        finally:
            s.stop()
    s = Server(stage, "tamrix", bin_dir, extra)
    try:
        s.start(False)
        r["cpu"] = cpu_run(stage, s)
    finally:
        s.stop()
    return r


# ---------------------------------------------------------------- the table

def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def fmt(v, digits=1):
    return "-" if v is None else ("%.*f" % (digits, v))


def ratio(a, b):
    return None if a is None or not b else a / b


TITLES = {"tamrix": "TAMRIX", "kea": "Kea", "dnsmasq": "dnsmasq"}


def summarise(rounds, extras, meta):
    rows = []
    fig = {}
    for kind in rounds[0]:
        rs = [r[kind] for r in rounds]
        fig[kind] = {
            "cpu": med([r["cpu"]["cpu_ms_per_1000"] for r in rs]),
            "loss": med([100 * r["cpu"]["loss"] for r in rs]),
            "rate": med([r["rate"]["achieved"] if r["rate"] else None for r in rs]),
            "offered": med([r["rate"]["offered"] if r["rate"] else None for r in rs]),
            "at_generator": sum(1 for r in rs if r["rate"] and r["rate"]["generator_limited"]),
            "hwm": med([r["vmhwm_kib"] for r in rs]),
            "startup": med(sum((r["startup_ms"] for r in rs), [])),
            # Where the ladder's losses were dropped: the server's socket or perfdhcp's.
            "ladder_drops": {side: med([sum(step["udp_drops"][side]["RcvbufErrors"]
                                            for step in r.get("ladder", [])) for r in rs])
                             for side in ("server", "client")},
        }
        for tool in CLIENT_TOOLS:
            fig[kind][tool + "_offer"] = med(sum((r[tool][0] for r in rs), []))
            fig[kind][tool + "_ack"] = med(sum((r[tool][1] for r in rs), []))
            fig[kind][tool + "_n"] = min(sum(len(r[tool][0]) for r in rs),
                                         sum(len(r[tool][1]) for r in rs))
    names = [("cpu", "CPU ms per 1000 exchanges at %d/s, %d clients (lower is better)"
              % (CPU_RATE, CLIENTS), 2),
             ("rate", "highest sustained exchanges/s under 1% loss (offered rate in brackets; "
              "Gn: in n rounds the ladder's top or perfdhcp's own limit ended it, not a loss)", 0),
             ("hwm", "VmHWM KiB after the load", 0),
             ("startup", "exec to first OFFER, ms (median of %d starts)"
              % (STARTUP_SAMPLES * len(rounds)), 1),
             ("udhcpc_offer", "udhcpc DISCOVER->OFFER on the wire, ms", 3),
             ("udhcpc_ack", "udhcpc REQUEST->ACK on the wire, ms", 3),
             ("dhclient_offer", "dhclient DISCOVER->OFFER on the wire, ms", 3),
             ("dhclient_ack", "dhclient REQUEST->ACK on the wire, ms", 3)]
    floors = [x for x in FLOORS if x in fig]
    shown = SERVERS + floors
    heads = [TITLES.get(x, x) for x in shown]
    lines = ["| figure (median of %d rounds) | %s | %s |" % (
        len(rounds), " | ".join(heads), " | ".join("TAMRIX/" + h for h in heads[1:])),
        "|---" * (2 * len(shown)) + "|"]
    for key, label, digits in names:
        cells = [fmt(fig[x][key], digits) for x in shown]
        if key == "rate":
            cells = ["%s (%s)%s" % (fmt(fig[x]["rate"], 0), fmt(fig[x]["offered"], 0),
                                    " G%d" % fig[x]["at_generator"] if fig[x]["at_generator"]
                                    else "") for x in shown]
        ratios = [fmt(ratio(fig["tamrix"][key], fig[x][key]), 2) for x in shown[1:]]
        lines.append("| %s | %s | %s |" % (label, " | ".join(cells), " | ".join(ratios)))
    lines.append("")
    lines.append("Real-client runs that gave both times (udhcpc, dhclient): " + "; ".join(
        "%s %d, %d" % (kind, fig[kind]["udhcpc_n"], fig[kind]["dhclient_n"]) for kind in shown))
    lines.append("Datagrams dropped for a full receive buffer over the rate ladder, server / "
                 "perfdhcp (median of rounds): " + "; ".join(
                     "%s %s / %s" % (kind, fmt(fig[kind]["ladder_drops"]["server"], 0),
                                     fmt(fig[kind]["ladder_drops"]["client"], 0))
                     for kind in shown))
    twins = [TWINS[x] for x in SERVERS if TWINS[x] in fig]
    if twins:
        # Leases on disk: TAMRIX (with its journal) against each twin. A twin too slow for the
        # ladder's first step has no rate; what it lost at the CPU run's rate says how slow.
        twin_names = names[:1] + [("loss", "exchanges lost in that CPU run, %", 1)] + names[1:]
        lines.append("")
        lines.append("| figure, leases on disk (median of %d rounds) | TAMRIX | %s | %s |" % (
            len(rounds), " | ".join(twins), " | ".join("TAMRIX/" + x for x in twins)))
        lines.append("|---" * (2 + 2 * len(twins)) + "|")
        shown = ["tamrix"] + twins
        for key, label, digits in twin_names:
            cells = [fmt(fig[x][key], digits) for x in shown]
            if key == "rate":
                cells = ["%s (%s)%s" % (fmt(fig[x]["rate"], 0), fmt(fig[x]["offered"], 0),
                                        " G%d" % fig[x]["at_generator"] if fig[x]["at_generator"]
                                        else "") for x in shown]
            ratios = ["-" if key == "loss" else fmt(ratio(fig["tamrix"][key], fig[x][key]), 2)
                      for x in twins]
            lines.append("| %s | %s | %s |" % (label, " | ".join(cells), " | ".join(ratios)))
        lines.append("")
        lines.append("Real-client runs that gave both times (udhcpc, dhclient): " + "; ".join(
            "%s %d, %d" % (x, fig[x]["udhcpc_n"], fig[x]["dhclient_n"]) for x in twins))
        lines.append("Lease file after the load, bytes: " + "; ".join(
            "%s %s" % (x, fmt(med([r[x].get("lease_file_bytes") for r in rounds]), 0))
            for x in shown))
    base = fig["tamrix"]["cpu"]
    log_cpu = med([e["log"]["cpu"]["cpu_ms_per_1000"] for e in extras])
    lines.append("")
    lines.append("| TAMRIX alone | value | ratio to the same figure with both options 0 |")
    lines.append("|---|---|---|")
    lines.append("| CPU ms per 1000 exchanges, OptUseLog=1 | %s | %s |"
                 % (fmt(log_cpu, 2), fmt(ratio(log_cpu, base), 2)))
    ping = extras[0].get("ping")
    if ping:
        p = ping["cpu"]
        lines.append("| CPU ms per 1000 exchanges, OptUsePing=1 (1 try, %d ms), fresh pool | %s | %s |"
                     % (PING_WAIT_MS, fmt(p["cpu_ms_per_1000"], 2),
                        fmt(ratio(p["cpu_ms_per_1000"], base), 2)))
        lines.append("| exchanges completed / offered in that %d s run | %d / %d | loss %.1f%% |"
                     % (CPU_SECONDS, p["acks"], p["sent"], 100 * p["loss"]))
        offers = ping["udhcpc"][0]
        lines.append("| udhcpc DISCOVER->OFFER with OptUsePing=1 (1 try, %d ms), new client, ms "
                     "(median of %d) | %s | %s |" % (PING_WAIT_MS, len(offers), fmt(med(offers), 1),
                                                     fmt(ratio(med(offers),
                                                               fig["tamrix"]["udhcpc_offer"]), 0)))
    def cpu_share(peers, share):
        costs = [fig[x]["cpu"] for x in peers if x in fig and fig[x]["cpu"]]
        return bool(costs) and base is not None and base <= share * min(costs)

    # Per round, TAMRIX's start-up median against dnsmasq's: one lucky round is not enough.
    startup_rounds = [(med(r["tamrix"]["startup_ms"]), med(r["dnsmasq"]["startup_ms"]))
                      for r in rounds]
    targets = [
        ("CPU per 1000 exchanges at most %.2f x the better peer's" % PEER_CPU_SHARE,
         cpu_share(SERVERS[1:], PEER_CPU_SHARE)),
        ("sustained rate at least the best peer's",
         (fig["tamrix"]["rate"] or 0) >= max((fig[x]["rate"] or 0) for x in SERVERS[1:]) * 0.99),
        ("VmHWM at most dnsmasq's",
         (fig["tamrix"]["hwm"] or 1e18) <= (fig["dnsmasq"]["hwm"] or 0)),
        ("startup at most dnsmasq's in every round",
         all(t is not None and d is not None and t <= d for t, d in startup_rounds)),
        ("wire times at most the best peer's median",
         all((fig["tamrix"][k] or 1e18) <= min((fig[x][k] or 1e18) for x in SERVERS[1:])
             for k in ("udhcpc_offer", "udhcpc_ack", "dhclient_offer", "dhclient_ack"))),
        ("OptUseLog=1 CPU at most 1.5 x without",
         log_cpu is not None and base is not None and log_cpu <= 1.5 * base),
    ]
    persisting = [TWINS[x] for x in SERVERS[1:] if TWINS[x] in fig]
    if persisting:
        targets.append(("CPU per 1000 exchanges at most %.2f x the better peer's with leases "
                        "on disk" % PEER_CPU_SHARE, cpu_share(persisting, PEER_CPU_SHARE)))
    if floors:
        targets.append(("CPU per 1000 exchanges at most %.2f x bare-poll's" % FLOOR_CPU_SHARE,
                        cpu_share(["bare-poll"], FLOOR_CPU_SHARE)))
        # A ladder that ended at perfdhcp's own limit in every round found no ceiling of TAMRIX's.
        best_floor = max((fig[x]["rate"] or 0) for x in floors)
        targets.append(("sustained rate at least %.1f x the bare responder's (or perfdhcp's "
                        "limit)" % FLOOR_RATE_SHARE,
                        fig["tamrix"]["at_generator"] == len(rounds)
                        or (fig["tamrix"]["rate"] or 0) >= FLOOR_RATE_SHARE * best_floor))
    if "tamrix-nojournal" in fig:
        nojournal = fig["tamrix-nojournal"]["cpu"]
        targets.append(("CPU per 1000 exchanges with the journal at most %.2f x without"
                        % JOURNAL_CPU_LIMIT, base is not None and nojournal is not None
                        and base <= JOURNAL_CPU_LIMIT * nojournal))
    lines.append("")
    lines.append("| target | holds in this run |")
    lines.append("|---|---|")
    for label, ok in targets:
        lines.append("| %s | %s |" % (label, "yes" if ok else "NO"))
    lines.append("")
    lines.append("Run: %s" % json.dumps(meta))
    return "\n".join(lines), fig


# ---------------------------------------------------------------- main

def build_tamrix():
    build = os.path.join(REPO, "build", "perf-rel")
    run(["cmake", "-S", REPO, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
         "-DTAMRIX_GUI=OFF"], stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build, "-j", "2", "--target", "tamrix_95"], stdout=subprocess.DEVNULL)
    return os.path.join(build, "dist")


def build_bare(folder):
    run(["cc", "-O2", "-Wall", "-o", os.path.join(folder, "bare_responder"), BARE_SOURCE])
    return folder


def preflight():
    if os.geteuid() != 0:
        sys.exit("compare: run as root (it creates network namespaces)")
    missing = [t for t in ("ip", "unshare", "perfdhcp", "kea-dhcp4", "dnsmasq", "busybox",
                           "dhclient", "tcpdump", "cc") if shutil.which(t) is None]
    if missing:
        sys.exit("compare: missing %s; see bench/README.md for the packages" % ", ".join(missing))


def interrupted(signum, _frame):
    raise KeyboardInterrupt("signal %d" % signum)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", help="folder with TAMRIXs.exe (default: build it optimised)")
    parser.add_argument("--baseline-bin", metavar="DIR",
                        help="folder with a TAMRIXs.exe from before the journal, measured as "
                        "tamrix-nojournal beside TAMRIX")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--out", help="also write the table and raw figures (JSON) here")
    parser.add_argument("--only", choices=SERVERS + list(TWINS.values()) + FLOORS,
                        help="one server, one quick look")
    parser.add_argument("--no-floor", action="store_true",
                        help="leave out the bare responder's rows")
    parser.add_argument("--profile", metavar="PERF_DATA",
                        help="only profile TAMRIX's CPU run (or that of --only's server) "
                        "with perf record into PERF_DATA")
    args = parser.parse_args()
    if args.baseline_bin and not os.path.isfile(os.path.join(args.baseline_bin, "TAMRIXs.exe")):
        parser.error("--baseline-bin: no TAMRIXs.exe in " + args.baseline_bin)
    if args.only == "tamrix-nojournal" and not args.baseline_bin:
        parser.error("--only tamrix-nojournal needs --baseline-bin")
    preflight()
    # Absolute: each server starts in its own folder.
    bin_dir = os.path.abspath(args.bin) if args.bin else build_tamrix()
    bins = {"tamrix": bin_dir,
            "tamrix-nojournal": args.baseline_bin and os.path.abspath(args.baseline_bin)}
    kinds = SERVERS + [t for t in TWINS.values() if t != "tamrix-nojournal" or args.baseline_bin]
    if not args.no_floor:
        kinds += FLOORS
    stage = Stage()
    # Every way out removes the stage; a signal becomes an exception that reaches finally.
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, interrupted)
    began = time.monotonic()
    load_before = os.getloadavg()[0]
    try:
        stage.open()
        if args.only in FLOORS or not (args.only or args.profile or args.no_floor):
            bins.update(dict.fromkeys(FLOORS, build_bare(stage.root)))
        if args.profile:
            kind = args.only or "tamrix"
            print(json.dumps(profile_server(stage, kind, bins.get(kind),
                                            os.path.abspath(args.profile))))
            return 0
        if args.only:
            print(json.dumps(round_for(stage, args.only, bins.get(args.only), 3), indent=1))
            return 0
        rounds, extras = [], []
        for n in range(args.rounds):
            order = round_order(n, kinds)
            log("round %d: %s" % (n + 1, ", ".join(order)))
            # WIRE_SAMPLES runs of each real client in all, spread over the rounds.
            samples = max(1, WIRE_SAMPLES // args.rounds + (n < WIRE_SAMPLES % args.rounds))
            rounds.append({kind: round_for(stage, kind, bins.get(kind), samples)
                           for kind in order})
            log("  tamrix with OptUseLog=1")
            extra = {"log": tamrix_variant(stage, bin_dir, ["OptUseLog=1"])}
            if n == 0:
                log("  tamrix with OptUsePing=1 against silent addresses")
                extra["ping"] = tamrix_variant(
                    stage, bin_dir, ["OptUsePing=1", "OptPingTry=1",
                                     "OptPingWait=%d" % PING_WAIT_MS], wire_samples=5)
            extras.append(extra)
        meta = {"date": datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC"),
                "seconds": round(time.monotonic() - began),
                "cores": os.cpu_count(), "kernel": os.uname().release,
                # Other work on the machine shows in every figure: say how busy it was.
                "load_before": round(load_before, 2), "load_after": round(os.getloadavg()[0], 2),
                # Every lease file and journal lands here: on tmpfs a sync costs nothing.
                "tmp_fs": subprocess.run(["stat", "-f", "-c", "%T", stage.root],
                                         capture_output=True, text=True).stdout.strip()}
        if args.baseline_bin:
            meta["baseline_bin"] = bins["tamrix-nojournal"]
        table, fig = summarise(rounds, extras, meta)
        print(table)
        if args.out:
            with open(args.out, "w") as f:
                f.write(table + "\n")
            with open(args.out + ".json", "w") as f:
                json.dump({"rounds": rounds, "extras": extras, "figures": fig, "meta": meta}, f,
                          indent=1)
        return 0
    finally:
        stage.close()


if __name__ == "__main__":
    sys.exit(main())
