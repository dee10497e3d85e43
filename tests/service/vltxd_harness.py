"""vltxd as the Python tests run it: vltx-sim on a pseudo-terminal, the
service on a free loopback port with its state in a fresh directory, and a
small JSON client. Loopback only."""

import contextlib
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(pred, seconds, what):
    """Polls pred until it gives a true value; fails naming what was awaited."""
    end = time.monotonic() + seconds
    while True:
        v = pred()
        if v:
            return v
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


class Simulator:
    def __init__(self, binary, directory, options=()):
        self.link = os.path.join(directory, "ecf")
        self.paper = os.path.join(directory, "papel.txt")
        self.proc = subprocess.Popen([binary, "--link", self.link, "--paper", self.paper, *options],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([self.proc.stdout], [], [], 10)
        if not ready or not self.proc.stdout.readline():
            raise AssertionError("vltx-sim did not start")

    def roll(self):
        try:
            with open(self.paper, encoding="latin-1") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(10)


class Service:
    """vltxd with one printer, caixa1, on the simulator's line."""

    def __init__(self, vltxd, library, port_name, directory, extra="", printer_extra="log = true\n",
                 token=None):
        self.port = free_port()
        self.base = "http://127.0.0.1:%d" % self.port
        self.dir = directory
        self.config = os.path.join(directory, "vltxd.toml")
        self.token = token
        if token:
            extra += '\ntoken = "%s"\n' % token
        with open(self.config, "w") as f:
            f.write('listen = "127.0.0.1:%d"\nstate_dir = "%s"\n%s\n' % (self.port, os.path.join(directory, "state"), extra))
            f.write('[[printer]]\nid = "caixa1"\nport = "%s"\n%s' % (port_name, printer_extra))
        env = dict(os.environ, VLTXDRV_LIB=library) if library else dict(os.environ)
        self.log = open(os.path.join(directory, "vltxd.err"), "wb")
        self.proc = subprocess.Popen([vltxd, "--config", self.config], stdout=self.log,
                                     stderr=subprocess.STDOUT, env=env)
        wait_for(lambda: self.printer_state() == "ready", 20, "caixa1 ready: " + self.errors())

    def errors(self):
        with open(os.path.join(self.dir, "vltxd.err"), errors="replace") as f:
            return f.read()

    def printer_state(self):
        if self.proc.poll() is not None:
            raise AssertionError("vltxd stopped: " + self.errors())
        try:
            status, body, _ = self.request("GET", "/printers/caixa1")
        except OSError:
            return None
        return body.get("worker") if status == 200 else None

    def request(self, method, path, body=None, headers=None):
        """(status, JSON body or text, headers)"""
        h = dict(headers or {})
        data = None
        if body is not None:
            data = json.dumps(body).encode()
            h.setdefault("Content-Type", "application/json")
        if self.token:
            h["Authorization"] = "Bearer " + self.token
        req = urllib.request.Request(self.base + path, data=data, method=method, headers=h)
        try:
            with urllib.request.urlopen(req, timeout=60) as r:
                status, raw, hdrs = r.status, r.read(), r.headers
        except urllib.error.HTTPError as e:
            status, raw, hdrs = e.code, e.read(), e.headers
        text = raw.decode("utf-8", "replace")
        try:
            return status, json.loads(text), hdrs
        except ValueError:
            return status, text, hdrs

    def stop(self):
        """Stops the service; it must end cleanly (a sanitizer's report would not)."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        if self.proc.returncode != 0:
            raise AssertionError("vltxd exited %d: %s" % (self.proc.returncode, self.errors()[-4000:]))


def receipt(description, operator="TESTE", price="100"):
    """A one-item receipt paid in cash."""
    return {"items": [{"code": "0000000000001", "description": description, "quantity": "1000", "price": price,
                       "tax": "T1", "unit": "UN", "decimals": "2"}],
            "payments": [{"form": "01", "description": "DINHEIRO", "value": price}],
            "operator": operator}


def count_items(roll, description):
    """How many items of this description the paper roll shows."""
    return sum(1 for line in roll.splitlines() if line == "     descricao   " + description)


def temp_dir(prefix):
    return tempfile.mkdtemp(prefix=prefix)


@contextlib.contextmanager
def service_on_simulator(vltxd, sim_bin, library, prefix, **options):
    """(simulator, service, its directory), all gone again afterwards."""
    work = temp_dir(prefix)
    sim = Simulator(sim_bin, work)
    try:
        svc = Service(vltxd, library, sim.link, work, **options)
        try:
            yield sim, svc, work
        finally:
            svc.stop()
    finally:
        sim.stop()
        shutil.rmtree(work, ignore_errors=True)


def run(main, usage, arguments=4):
    """main(*the command line's arguments), or the usage when they are not as many."""
    if len(sys.argv) != arguments + 1:
        sys.exit(usage)
    main(*sys.argv[1:])
