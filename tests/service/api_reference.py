#!/usr/bin/python3
"""The API reference (docs/vltxd-api.yaml) against the service: its routes
and the server's route table (vltxd --routes) are the same set; every
example in it is valid against its schema; a live run against vltx-sim
reaches every route (none answers "no such resource"), and every answer,
and every event of the stream meanwhile, is valid against the schema the
reference gives for its route and status.

usage: api_reference.py VLTXD VLTX_SIM LIBVLTXDRV API.yaml"""

import json
import os
import re
import socket
import subprocess
import sys
import threading
import urllib.error
import urllib.request

import jsonschema
import yaml

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vltxd_harness import receipt, run, service_on_simulator, wait_for  # noqa: E402

METHODS = ("get", "post", "put", "patch", "delete", "head", "options")


class Reference:
    def __init__(self, path):
        with open(path) as f:
            self.doc = yaml.safe_load(f)
        self.resolver = jsonschema.RefResolver(base_uri="", referrer=self.doc)
        self.checked = 0

    def resolve(self, node):
        while isinstance(node, dict) and "$ref" in node:
            _, node = self.resolver.resolve(node["$ref"])
        return node

    def validate(self, value, schema, where):
        try:
            jsonschema.Draft202012Validator(schema, resolver=self.resolver).validate(value)
        except jsonschema.ValidationError as e:
            raise AssertionError("%s: %s at %s" % (where, e.message, "/".join(map(str, e.absolute_path))))
        self.checked += 1

    def routes(self):
        return {"%s %s" % (m.upper(), p) for p, item in self.doc["paths"].items() for m in item if m in METHODS}

    def operation(self, method, template):
        return self.doc["paths"][template][method.lower()]

    # -------------------------------------------------------- the examples
    def check_examples(self):
        jsonschema.Draft202012Validator.check_schema(self.doc["components"]["schemas"])
        for name, schema in self.doc["components"]["schemas"].items():
            for i, ex in enumerate(schema.get("examples", [])):
                self.validate(ex, schema, "components.schemas.%s.examples[%d]" % (name, i))
        self.walk(self.doc, "")

    def walk(self, node, where):
        if isinstance(node, list):
            for i, x in enumerate(node):
                self.walk(x, "%s[%d]" % (where, i))
            return
        if not isinstance(node, dict):
            return
        node = self.resolve(node)
        schema = node.get("schema")
        if schema is not None and ("example" in node or "examples" in node) and "in" in node or \
                schema is not None and re.search(r"content\.[^.]+$", where):
            self.media_examples(node, schema, where)
        for k, v in node.items():
            if k not in ("example", "examples", "schema"):
                self.walk(v, where + "." + k)

    def media_examples(self, node, schema, where):
        schema = self.resolve(schema)
        text = not where.endswith("application/json") and "in" not in node
        if "example" in node:
            ex = node["example"]
            if text:
                assert isinstance(ex, str), where
            else:
                self.validate(ex, schema, where + ".example")
        for name, ex in (node.get("examples") or {}).items():
            ex = self.resolve(ex)
            assert "value" in ex, "%s.examples.%s has no value" % (where, name)
            self.validate(ex["value"], schema, "%s.examples.%s" % (where, name))

    # ------------------------------------------------------------- answers
    def check_answer(self, method, template, status, body, content_type):
        op = self.operation(method, template)
        where = "%s %s -> %d" % (method, template, status)
        answer = op["responses"].get(str(status))
        assert answer is not None, "%s: the reference has no such answer: %r" % (where, body)
        answer = self.resolve(answer)
        media = content_type.split(";")[0].strip()
        assert media in answer.get("content", {}), "%s: %s is not documented" % (where, media)
        if media == "application/json":
            self.validate(body, answer["content"][media]["schema"], where)


def server_routes(vltxd):
    out = subprocess.run([vltxd, "--routes"], capture_output=True, text=True, check=True).stdout
    return set(out.split("\n")) - {""}


def template_of(path, routes):
    parts = path.split("?")[0].strip("/").split("/") if path.split("?")[0] != "/" else []
    for r in routes:
        pattern = r.split(" ", 1)[1]
        segs = pattern.strip("/").split("/") if pattern != "/" else []
        if len(segs) == len(parts) and all(s.startswith("{") or s == p for s, p in zip(segs, parts)):
            return pattern
    raise AssertionError("no route for " + path)


def main(vltxd, sim_bin, library, reference):
    ref = Reference(reference)
    routes = server_routes(vltxd)
    documented = ref.routes()
    assert documented == routes, "only in the reference: %s; only in the server: %s" % (
        sorted(documented - routes), sorted(routes - documented))
    ref.check_examples()
    examples = ref.checked

    with service_on_simulator(vltxd, sim_bin, library, "vltxd-api-") as (_, svc, _):
        events, reached = [], set()
        stream = socket.create_connection(("127.0.0.1", svc.port), timeout=60)
        try:
            listen(stream, events)
            exercise(ref, routes, svc, events, reached, examples)
        finally:
            stream.shutdown(socket.SHUT_RDWR)  # the reader's recv returns
            stream.close()


def listen(stream, events):
    """GET /events on the connection, read by a thread of its own into events."""
    stream.sendall(b"GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")

    def read():
        try:
            for line in stream.makefile("rb"):
                if line.startswith(b"data: "):
                    events.append(json.loads(line[6:]))
        except (OSError, ValueError):
            pass

    threading.Thread(target=read, daemon=True).start()


def exercise(ref, routes, svc, events, reached, examples):
    def call(method, path, body=None, headers=None, raw=None):
        if raw is not None:
            req = urllib.request.Request(svc.base + path, data=raw, method=method, headers=headers or {})
            try:
                with urllib.request.urlopen(req, timeout=60) as r:
                    status, hdrs, text = r.status, r.headers, r.read().decode()
            except urllib.error.HTTPError as e:
                status, hdrs, text = e.code, e.headers, e.read().decode()
            answer = json.loads(text)
        else:
            status, answer, hdrs = svc.request(method, path, body, headers)
        template = template_of(path, routes)
        if isinstance(answer, dict):
            assert answer.get("error") != "not_found" or template == "/console/{file}", (method, path, answer)
        reached.add("%s %s" % (method, template))
        ref.check_answer(method, template, status, answer, hdrs.get("Content-Type", ""))
        return status, answer

    key = iter("api-%d" % i for i in range(1000))
    sale = receipt("REFERENCIA")
    assert call("GET", "/")[0] == 200
    assert call("GET", "/console/console.js")[0] == 200
    assert call("GET", "/console/missing.js")[0] == 404
    assert call("GET", "/printers")[0] == 200
    assert call("GET", "/printers/caixa1")[0] == 200
    assert call("GET", "/printers/balcao")[0] == 404
    assert call("GET", "/printers/caixa1/status")[0] == 200
    k = next(key)
    s, done = call("POST", "/printers/caixa1/receipt?wait=30000", sale, {"Idempotency-Key": k})
    assert s == 200 and done["state"] == "done", done
    s, again = call("POST", "/printers/caixa1/receipt?wait=30000", sale, {"Idempotency-Key": k})
    assert s == 200 and again["repeat"] is True
    assert call("POST", "/printers/caixa1/receipt", receipt("OUTRA"), {"Idempotency-Key": k})[0] == 409
    assert call("POST", "/printers/caixa1/receipt", sale)[0] == 400
    assert call("POST", "/printers/caixa1/receipt", receipt("X", price="12a"), {"Idempotency-Key": next(key)})[0] == 422
    assert call("POST", "/printers/caixa1/receipt", raw=b"{}", headers={"Content-Type": "text/plain",
                                                                       "Idempotency-Key": next(key)})[0] == 415
    assert call("POST", "/printers/caixa1/receipt", raw=b"{", headers={"Content-Type": "application/json",
                                                                      "Idempotency-Key": next(key)})[0] == 400
    s, z = call("POST", "/printers/caixa1/report?wait=0", {"type": "z"}, {"Idempotency-Key": next(key)})
    assert s in (200, 202), z
    s, rd = call("POST", "/printers/caixa1/readout?wait=30000", {"type": "4", "from": "1", "to": "2"},
                 {"Idempotency-Key": next(key)})
    assert s == 200, rd
    assert svc.request("GET", rd["file"])[0] == 200
    reached.add("GET /tasks/{id}/file")
    assert call("GET", "/tasks/t000000000000000000000000/file")[0] == 404
    s, cm = call("POST", "/printers/caixa1/cmc7?wait=30000", {}, {"Idempotency-Key": next(key)})
    assert s in (200, 502), cm
    assert call("POST", "/printers/caixa1/call/ecf_AbreGaveta?wait=30000", [], {"Idempotency-Key": next(key)})[0] == 200
    assert call("POST", "/printers/caixa1/call/ecf_Nada", [], {"Idempotency-Key": next(key)})[0] == 404
    # A step the printer refuses: the receipt fails and is cancelled.
    s, failed = call("POST", "/printers/caixa1/call/ecf_VendaItem?wait=30000",
                     ["1", "X", "1000", "100", "ZZ", "UN", "2"], {"Idempotency-Key": next(key)})
    assert s in (200, 502), failed
    wait_for(lambda: svc.request("GET", "/tasks/" + z["task"])[1]["state"] == "done", 20, "the Z report")
    assert call("GET", "/tasks/" + done["task"])[0] == 200
    assert call("GET", "/tasks/t000000000000000000000000")[0] == 404
    s, last = call("GET", "/tasks?printer=caixa1&limit=5")
    assert s == 200 and len(last["tasks"]) == 5, last
    assert call("GET", "/tasks?limit=0")[0] == 400
    assert call("GET", "/tasks?printer=balcao")[0] == 404
    s, summary = call("GET", "/printers/caixa1/log")
    assert s == 200 and "frames sent" in summary["summary"], summary
    assert call("GET", "/printers/caixa1/log?day=Xyz")[0] == 400
    status, text, hdrs = svc.request("GET", "/printers/caixa1/log/file")
    assert status == 200 and "ecf" not in hdrs.get("Content-Type", "") and "TX [" in text, text[:200]
    reached.add("GET /printers/{id}/log/file")
    reached.add("GET /events")  # the reader's stream

    unreached = routes - reached
    assert not unreached, "routes not exercised: %s" % sorted(unreached)
    wait_for(lambda: any(e.get("type") == "step" for e in events), 10, "step events")
    event_schema = ref.doc["components"]["schemas"]["Event"]
    for e in list(events):
        ref.validate(e, event_schema, "event %r" % e)
    print("api_reference: %d routes alike; %d examples and %d live answers and events valid" % (
        len(routes), examples, ref.checked - examples))


if __name__ == "__main__":
    run(main, __doc__)
