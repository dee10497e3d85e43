#!/usr/bin/env python3
"""Prints a receipt through vltxd with Python's standard library alone, then
sends the very same request again, as a point of sale does when its first
answer is lost: the service answers the retry from its journal and prints
nothing.

    print_receipt.py [URL] [PRINTER] [RECEIPT.json]

URL defaults to http://127.0.0.1:8461; with a token set VLTXD_TOKEN."""

import json
import os
import sys
import urllib.error
import urllib.request
import uuid


def print_receipt(url, printer, receipt, key, wait_ms=30000):
    """POSTs the receipt under the key; (HTTP status, the task)."""
    headers = {"Content-Type": "application/json", "Idempotency-Key": key}
    if os.environ.get("VLTXD_TOKEN"):
        headers["Authorization"] = "Bearer " + os.environ["VLTXD_TOKEN"]
    req = urllib.request.Request("%s/printers/%s/receipt?wait=%d" % (url, printer, wait_ms),
                                 data=json.dumps(receipt).encode(), headers=headers, method="POST")
    try:
        with urllib.request.urlopen(req, timeout=wait_ms / 1000 + 30) as r:
            return r.status, json.load(r)
    except urllib.error.HTTPError as e:  # 4xx and 5xx still carry the JSON answer
        return e.code, json.load(e)


def main():
    url = sys.argv[1] if len(sys.argv) > 1 else "http://127.0.0.1:8461"
    printer = sys.argv[2] if len(sys.argv) > 2 else "caixa1"
    path = sys.argv[3] if len(sys.argv) > 3 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "receipt.json")
    with open(path) as f:
        receipt = json.load(f)
    key = "sale-" + uuid.uuid4().hex  # one key per sale, kept until it is known to be printed

    status, first = print_receipt(url, printer, receipt, key)
    if status != 200:
        sys.exit("the receipt answered %d: %s" % (status, first.get("message", first)))
    print("first call: task %s, state %s, repeat %s" % (first["task"], first["state"], json.dumps(first["repeat"])))

    status, again = print_receipt(url, printer, receipt, key)
    if status != 200:
        sys.exit("the retry answered %d: %s" % (status, again.get("message", again)))
    print("retry:      task %s, state %s, repeat %s" % (again["task"], again["state"], json.dumps(again["repeat"])))
    if not (again["repeat"] and again["task"] == first["task"]):
        sys.exit("the retry was not recognised as a repeat")
    print("the retry printed nothing: the service answered it from its journal")


if __name__ == "__main__":
    main()
