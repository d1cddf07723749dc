#!/usr/bin/env python3
"""How kalvit-results holds up against hostile clients, seen by a normal visitor.

A normal client asks for two uploads side by side (GET /compare?a=&b=, HTTP/1.1, a fresh
connection from 127.0.0.1 for every request, as a new visitor would come) and keeps asking, a
request 20 ms after the last answer, with 5 s for each. After a quiet pause, case after case,
attackers from another loopback address do their worst for a bounded time: none (the
baseline), endless chunked bodies, gzip bombs, 10 000 header lines, 200 slow-loris connections,
50 wrong passwords for one account at once. Each case gives one row: the normal client's
requests, median and 99th-percentile latency of the answered ones, failures (timeouts,
connection errors, answers other than 2xx), the service's resident memory as the case starts
and at its peak, for the passwords the guesses the service checked (answered 403) instead of
refusing them (429), and what the attackers did. Then one "hostile:" line per case for scripts.
An attack stops at once when the service's memory passes --max-rss-mb: its row says "capped".
The peak counts the pause after a case, in which the service may still be at work on what it
was sent; a service that grows past twice the cap even so ("runaway") or ends ("gone") ends the
run, with status 1. Loopback only.
"""

import argparse
import gzip
import socket
import statistics
import sys
import threading
import time

TIMEOUT = 5.0  # the normal client's patience with one request
PAUSE = 0.02  # between the normal client's requests
SETTLE = 10.0  # the longest pause after a case for the service to give its memory back
CASES = ("baseline", "chunked", "gzip-bomb", "headers", "slow-loris", "passwords")


def connect(host, port, source, timeout):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        sock.bind((source, 0))
        sock.settimeout(timeout)
        sock.connect((host, port))
    except OSError:
        sock.close()
        raise
    return sock


def status_of(sock, deadline, stop=None):
    """The status of the answer on `sock`, reading it to the end (the request said close);
    None when none came before `deadline` or `stop` was set."""
    data = b""
    while time.monotonic() < deadline and not (stop and stop.is_set()):
        sock.settimeout(max(0.01, min(0.5, deadline - time.monotonic())))
        try:
            chunk = sock.recv(65536)
        except socket.timeout:
            continue
        if not chunk:
            break
        data += chunk[: max(0, 4096 - len(data))]
    parts = data.split(b" ", 2)
    if len(parts) < 2 or not parts[0].startswith(b"HTTP/") or not parts[1].isdigit():
        return None
    return int(parts[1])


class Tally:
    """What the normal client saw during one case."""

    def __init__(self):
        self.latencies_ms = []
        self.failures = 0


class NormalClient(threading.Thread):
    def __init__(self, args):
        super().__init__(daemon=True)
        self.args = args
        self.tally = None  # the case running, None during the pauses
        self.busy_with = None  # the case of the request on its way
        self.done = threading.Event()

    def finish(self, tally):
        """Ends `tally`'s case: the request made during it is counted before this returns."""
        self.tally = None
        deadline = time.monotonic() + TIMEOUT + 1.0
        while self.busy_with is tally and time.monotonic() < deadline:
            time.sleep(0.02)

    def request(self, n):
        a = self.args
        path = "/compare?a=%d&b=%d" % (1 + n % a.ids, 1 + (n * 7 + 3) % a.ids)
        start = time.monotonic()
        try:
            sock = connect(a.host, a.port, "127.0.0.1", TIMEOUT)
        except OSError:
            return None, 0.0
        with sock:
            try:
                sock.sendall(("GET %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n"
                              % (path, a.host)).encode())
            except OSError:
                return None, 0.0
            status = status_of(sock, start + TIMEOUT)
        return status, (time.monotonic() - start) * 1000.0

    def run(self):
        n = 0
        while not self.done.is_set():
            tally = self.busy_with = self.tally
            status, ms = self.request(n)
            n += 1
            if tally is not None:
                if status is None or not 200 <= status < 300:
                    tally.failures += 1
                else:
                    tally.latencies_ms.append(ms)
            self.busy_with = None
            self.done.wait(PAUSE)


class Attack:
    """One case's attackers: threads that work until `stop` is set, and their counts."""

    def __init__(self, args):
        self.args = args
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.counts = {}
        self.threads = []

    def count(self, key, n=1):
        with self.lock:
            self.counts[key] = self.counts.get(key, 0) + n

    def connect(self, timeout=1.0):
        return connect(self.args.host, self.args.port, self.args.attacker_address, timeout)

    def start(self, target, times, *extra):
        for _ in range(times):
            t = threading.Thread(target=target, args=(self,) + extra, daemon=True)
            t.start()
            self.threads.append(t)

    def end(self):
        self.stop.set()
        for t in self.threads:
            t.join(timeout=3.0)


def head(args, method, target, lines):
    return ("%s %s HTTP/1.1\r\nHost: %s\r\n%s\r\n"
            % (method, target, args.host, "".join(l + "\r\n" for l in lines))).encode()


def send_all(attack, sock, data):
    """Sends `data` unless the attack stops first; False when it stopped or the socket failed."""
    view = memoryview(data)
    sock.settimeout(0.5)
    while view and not attack.stop.is_set():
        try:
            view = view[sock.send(view):]
        except socket.timeout:
            continue
        except OSError:
            attack.count("closed")
            return False
    return not view


def connections(attack):
    """New connections one after another, each closed when the next is asked for, until the
    attack stops."""
    while not attack.stop.is_set():
        try:
            sock = attack.connect()
        except OSError:
            attack.count("refused")
            attack.stop.wait(0.1)
            continue
        with sock:
            yield sock


def chunked(attack):
    """POST /contact with a chunked body that never ends; reconnects when the service closes."""
    request = head(attack.args, "POST", "/contact", [
        "Content-Type: application/x-www-form-urlencoded", "Transfer-Encoding: chunked"])
    piece = b"a" * 65536
    chunk = b"%x\r\n%s\r\n" % (len(piece), piece)
    for sock in connections(attack):
        if send_all(attack, sock, request + b"8\r\nmessage=\r\n"):
            while send_all(attack, sock, chunk):
                attack.count("MB sent", len(chunk) / 1e6)


def one_request(attack, request):
    """Sends `request` on a new connection and counts the answer; repeats until the end."""
    for sock in connections(attack):
        if send_all(attack, sock, request):
            status = status_of(sock, time.monotonic() + 60.0, attack.stop)
            attack.count("no answer" if status is None else "answered %d" % status)


def gzip_bomb(args):
    body = gzip.compress(b"message=" + b"a" * (60 << 20), compresslevel=9)
    return head(args, "POST", "/contact", [
        "Content-Type: application/x-www-form-urlencoded", "Content-Encoding: gzip",
        "Content-Length: %d" % len(body), "Connection: close"]) + body


def many_headers(args):
    return head(args, "GET", "/", ["X-H%05d: v" % i for i in range(10000)] +
                ["Connection: close"])


def slow_loris(attack, count):
    """Keeps `count` connections each a request that never ends: a header line every 4 s."""
    socks = []
    n = 0
    while not attack.stop.is_set():
        round_end = time.monotonic() + 4.0
        before = len(socks)
        alive = []
        for sock in socks:
            n += 1
            if send_all(attack, sock, b"X-Slow-%d: v\r\n" % n):
                alive.append(sock)
            else:
                sock.close()
        socks = alive
        while len(socks) < count and time.monotonic() < round_end and not attack.stop.is_set():
            try:
                sock = attack.connect(timeout=2.0)
            except OSError:
                attack.count("refused")
                continue
            if send_all(attack, sock, head(attack.args, "GET", "/", [])[:-2]):
                socks.append(sock)
                attack.count("opened")
            else:
                sock.close()
        attack.count("open", len(socks) - before)
        attack.stop.wait(max(0.0, round_end - time.monotonic()))
    for sock in socks:
        sock.close()


def guess(attack, barrier, number):
    """One wrong password for the victim's account, sent when all 50 are ready."""
    body = b"mail=victim%%40host.com&pass=wrong%d" % number
    request = head(attack.args, "POST", "/login", [
        "Content-Type: application/x-www-form-urlencoded", "Content-Length: %d" % len(body),
        "Connection: close"]) + body
    sock = None
    try:
        sock = attack.connect(timeout=TIMEOUT)
    except OSError:
        pass
    try:
        barrier.wait(timeout=TIMEOUT + 1.0)
    except threading.BrokenBarrierError:
        pass
    if sock is None:
        attack.count("other")
        return
    with sock:
        status = None
        if send_all(attack, sock, request):
            status = status_of(sock, time.monotonic() + attack.args.seconds, attack.stop)
        attack.count({403: "through", 429: "limited"}.get(status, "other"))


def start_attack(name, args, payloads):
    attack = Attack(args)
    if name == "chunked":
        attack.start(chunked, args.connections)
    elif name in ("gzip-bomb", "headers"):
        attack.start(one_request, args.connections, payloads[name])
    elif name == "slow-loris":
        attack.start(slow_loris, 4, 50)  # 200 connections, opened 4 at a time
    elif name == "passwords":
        barrier = threading.Barrier(50)
        for number in range(50):
            attack.start(guess, 1, barrier, number)
    return attack


class Memory:
    """The service's resident memory: the peak since reset(), in MB, or None when it is gone."""

    def __init__(self, pid):
        self.pid = pid
        self.sampled = 0.0
        self.cleared = False

    def field(self, name):
        try:
            with open("/proc/%d/status" % self.pid) as status:
                for line in status:
                    if line.startswith(name + ":"):
                        return int(line.split()[1]) / 1024.0
        except OSError:
            pass
        return None

    def reset(self):
        try:
            with open("/proc/%d/clear_refs" % self.pid, "w") as clear:
                clear.write("5")
            self.cleared = True
        except OSError:
            self.cleared = False
        self.sampled = self.field("VmRSS") or 0.0
        return self.sampled

    def sample(self):
        rss = self.field("VmRSS")
        if rss is not None:
            self.sampled = max(self.sampled, rss)
        return rss

    def peak(self):
        hwm = self.field("VmHWM") if self.cleared else None
        return max(self.sampled, hwm or 0.0)


def watch(memory, seconds, limit):
    """Samples the service's memory every 100 ms for `seconds`: "gone" when it has gone, "over"
    as soon as it holds more than `limit` MB, else None."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        rss = memory.sample()
        if rss is None:
            return "gone"
        if rss > limit:
            return "over"
        time.sleep(0.1)
    return None


def run_case(name, args, client, memory, payloads):
    """One case: the attack for args.seconds, stopped early past the cap, then the pause in
    which the service settles (at least args.quiet s, up to SETTLE s while it holds more than
    half the cap), which counts for its memory but not for the normal client."""
    tally = Tally()
    start = memory.reset()
    client.tally = tally
    attack = start_attack(name, args, payloads)
    state = {"over": "capped"}.get(watch(memory, args.seconds, args.max_rss_mb), "ok")
    with attack.lock:
        counts = dict(attack.counts)  # as the case ends: not what stopping it does
    attack.end()
    client.finish(tally)
    settled = time.monotonic() + SETTLE
    after = watch(memory, args.quiet, 2 * args.max_rss_mb)
    while after is None and time.monotonic() < settled and \
            (memory.sample() or 0.0) > args.max_rss_mb / 2:
        after = watch(memory, 0.5, 2 * args.max_rss_mb)
    state = {"gone": "gone", "over": "runaway"}.get(after, state)
    return {"case": name, "tally": tally, "start": start, "peak": memory.peak(), "state": state,
            "counts": counts}


def figures(row):
    t = row["tally"]
    lat = sorted(t.latencies_ms)
    p50 = "%.2f" % statistics.median(lat) if lat else "-"
    p99 = ("%.2f" % statistics.quantiles(lat, n=100, method="inclusive")[98]
           if len(lat) > 1 else p50)
    counts = row["counts"]
    through = str(counts.get("through", 0)) if row["case"] == "passwords" else "-"
    note = ", ".join("%s %s" % (("%.0f" % v) if isinstance(v, float) else v, k)
                     for k, v in sorted(counts.items()) if k != "through")
    if row["state"] != "ok":
        note = row["state"] + "; " + note
    return {"case": row["case"], "requests": len(lat) + t.failures, "p50_ms": p50,
            "p99_ms": p99, "failures": t.failures, "start_rss_mb": "%.0f" % row["start"],
            "peak_rss_mb": "%.0f" % row["peak"],
            "through": through, "state": row["state"], "note": note}


def print_table(rows):
    columns = ("case", "requests", "p50_ms", "p99_ms", "failures", "start_rss_mb",
               "peak_rss_mb", "through")
    titles = ("case", "requests", "p50 ms", "p99 ms", "failures", "MB before", "peak MB",
              "through")
    line = "%-10s  %8s  %9s  %9s  %8s  %9s  %7s  %7s  %s"
    print(line % (titles + ("attackers",)))
    for f in rows:
        print(line % (tuple(f[c] for c in columns) + (f["note"],)))
    print()
    for f in rows:
        print("hostile: " + " ".join("%s=%s" % (k, f[k]) for k in columns + ("state",)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--pid", type=int, required=True, help="the service's process id")
    parser.add_argument("--seconds", type=float, default=12.0, help="each case's length")
    parser.add_argument("--quiet", type=float, default=2.0,
                        help="the pause before the first case and after each")
    parser.add_argument("--ids", type=int, default=200, help="uploads 1..N to compare")
    parser.add_argument("--connections", type=int, default=4,
                        help="attacker connections of the chunked, gzip and header cases")
    parser.add_argument("--attacker-address", default="127.0.0.2")
    parser.add_argument("--max-rss-mb", type=float, default=1500.0)
    parser.add_argument("--cases", default=",".join(CASES))
    args = parser.parse_args()
    cases = args.cases.split(",")
    if not all(a.startswith("127.") for a in (args.host, args.attacker_address)) or \
            any(c not in CASES for c in cases) or args.ids < 1 or args.seconds <= 0:
        parser.error("loopback addresses only (127.x.x.x), cases among " + ",".join(CASES))

    payloads = {"headers": many_headers(args)}
    if "gzip-bomb" in cases:
        payloads["gzip-bomb"] = gzip_bomb(args)
    memory = Memory(args.pid)
    client = NormalClient(args)
    client.start()
    time.sleep(args.quiet)
    rows = []
    for name in cases:
        print("bench-hostile: %s, %g s" % (name, args.seconds), file=sys.stderr, flush=True)
        rows.append(figures(run_case(name, args, client, memory, payloads)))
        if rows[-1]["state"] in ("gone", "runaway"):
            print("bench-hostile: the service is %s: no more cases" % rows[-1]["state"],
                  file=sys.stderr)
            break
    client.done.set()
    client.join(timeout=TIMEOUT + 1.0)
    print_table(rows)
    return 0 if rows[-1]["state"] in ("ok", "capped") else 1


if __name__ == "__main__":
    sys.exit(main())
