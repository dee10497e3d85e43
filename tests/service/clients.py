#!/usr/bin/python3
"""The example clients of examples/vltxd (curl, Python's urllib, Node's
fetch) against vltxd and vltx-sim: each prints its receipt, retries it with
the same Idempotency-Key, and the paper roll holds exactly one receipt more
for each. (The browser's client, the console's own code, is driven by
console_browser.py.)

usage: clients.py VLTXD VLTX_SIM LIBVLTXDRV EXAMPLES_DIR"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vltxd_harness import count_items, service_on_simulator  # noqa: E402
from vltxd_harness import run as run_main  # noqa: E402


def main(vltxd, sim_bin, library, examples):
    clients = [["sh", os.path.join(examples, "print-receipt.sh")],
               ["/usr/bin/python3", os.path.join(examples, "print_receipt.py")],
               ["node", os.path.join(examples, "print-receipt.mjs")]]
    with service_on_simulator(vltxd, sim_bin, library, "vltxd-clients-") as (sim, svc, _):
        for n, client in enumerate(clients, 1):
            run = subprocess.run(client + [svc.base, "caixa1"], capture_output=True, text=True, timeout=120)
            out = run.stdout
            assert run.returncode == 0, "%s failed: %s%s" % (client[-1], out, run.stderr)
            assert "repeat false" in out and "repeat true" in out and "printed nothing" in out, out
            roll = sim.roll()
            assert count_items(roll, "CAFE 500G") == n and count_items(roll, "LEITE 1L") == n, \
                "%s: %d receipts on the roll after %d clients" % (client[-1], count_items(roll, "CAFE 500G"), n)
            print("%s: one receipt for two requests" % os.path.basename(client[-1]))


if __name__ == "__main__":
    run_main(main, __doc__)
