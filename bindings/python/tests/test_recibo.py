"""The Python binding against vltx-sim: a receipt printed by the shipped
example, the port's context manager, the register read, the text rules.

Needs VLTX_SIM (the simulator) and VLTXDRV_LIB (the library); ctest sets
both, and PYTHONPATH to bindings/python.
"""

import atexit
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "..", "examples", "recibo.py")

# The driver's log, settings and lock files go to a directory of the test's.
STATE = tempfile.mkdtemp(prefix="vltxdrv-python-")
atexit.register(shutil.rmtree, STATE, True)
for variable, sub in (("VLTXDRV_DRIVE_C", "c"), ("VLTXDRV_REGISTRY", "registry"), ("VLTXDRV_LOCK_DIR", "lock")):
    os.makedirs(os.path.join(STATE, sub))
    os.environ[variable] = os.path.join(STATE, sub)

import vltxdrv  # noqa: E402  (after the environment above)


class Simulator:
    """vltx-sim on a pseudo-terminal; its paper roll in a file."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(dir=STATE)
        self.paper_path = os.path.join(self.dir, "papel.txt")
        self.process = subprocess.Popen([os.environ["VLTX_SIM"], "--paper", self.paper_path],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.port = self.process.stdout.readline().decode().strip()
        if not self.port.startswith("/dev/"):
            self.process.kill()
            raise RuntimeError("vltx-sim did not start: " + self.process.stderr.read().decode())

    def paper(self):
        """Stops the simulator and returns everything it printed."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=10)
        self.process.stdout.close()
        self.process.stderr.close()
        with open(self.paper_path, encoding="utf-8") as f:
            return f.read()


class Receipt(unittest.TestCase):
    def setUp(self):
        self.sim = Simulator()
        self.addCleanup(self.sim.paper)

    def test_the_example_prints_a_receipt_and_reads_the_items_register(self):
        run = subprocess.run([sys.executable, EXAMPLE, self.sim.port], capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        # Register 2 counts the items sold: number 002, then 27 digits.
        self.assertEqual(run.stdout.strip(), "register 2 (items sold): 002" + "0" * 26 + "2")
        paper = self.sim.paper()
        for line in ("CUPOM FISCAL 000001", "item 001", "item 002", "receipt closed",
                     "descricao   CAFÉ TORRADO 500G", "preco       1590", "descricao   LEITE INTEGRAL 1L",
                     "preco       459", "valor      2508", "operador  CAIXA01"):
            self.assertIn(line, paper)
        self.assertLess(paper.index("[11]"), paper.index("[05]"))
        self.assertLess(paper.index("[10]"), paper.index("[09]"))

    def test_the_port_closes_when_the_block_raises(self):
        with self.assertRaises(ZeroDivisionError):
            with vltxdrv.Port(self.sim.port) as port:
                self.assertEqual(vltxdrv.imprime_cabecalho(), 0)
                1 / 0
        self.assertEqual(port.closed_with, vltxdrv.VLTX_OK)
        # Closed: a command sends nothing, and the 2 says so.
        self.assertEqual(vltxdrv.abre_gaveta(), vltxdrv.VLTX_NAO_ABERTA)
        self.assertIn("the port is not open", vltxdrv.meaning(vltxdrv.abre_gaveta, 2))
        self.assertNotIn("[01]", self.sim.paper())

    def test_registers_count_what_was_printed(self):
        with vltxdrv.Port(self.sim.port):
            vltxdrv.imprime_cabecalho()
            vltxdrv.venda_item(b"1", b"PAO", b"1000", b"50", b"T1", b"UN", b"2")
            vltxdrv.pagamento(1, b"DINHEIRO", 50)
            vltxdrv.fecha_cupom(b"CAIXA01")
            self.assertEqual(vltxdrv.le_registrador(1), (33, b"001" + b"0" * 26 + b"1"))
            self.assertEqual(vltxdrv.le_registrador(6), (33, b"006" + b"0" * 26 + b"1"))
            # The register number is a right-aligned text of 3: "1234" keeps "123".
            result, answer = vltxdrv.le_registrador("1234", encoding="ascii")
            self.assertEqual((result, answer[:3]), (33, b"123"))

    def test_texts_go_as_bytes_and_a_str_needs_an_encoding(self):
        previous = vltxdrv.get_encoding()
        self.addCleanup(vltxdrv.set_encoding, previous)
        vltxdrv.set_encoding(None)
        with vltxdrv.Port(self.sim.port):
            with self.assertRaises(TypeError):
                vltxdrv.propaganda("AÇÚCAR")
            with self.assertRaises(TypeError):
                vltxdrv.pagamento(1, b"DINHEIRO", 7.29)  # no float: amounts have implied decimals
            self.assertEqual(vltxdrv.propaganda("AÇÚCAR", encoding="iso-8859-1"), 0)
            self.assertEqual(vltxdrv.rascunho(b"\xc7A"), 0)
        paper = self.sim.paper()
        # One byte per letter in the printer's code page (the roll shows it as UTF-8).
        self.assertIn("mensagem  AÇÚCAR", paper)
        self.assertIn("ÇA", paper)
        self.assertEqual(paper.count("[12]"), 1)  # the refused calls sent nothing

    def test_an_embedded_nul_raises_value_error_and_sends_nothing(self):
        out = os.path.join(self.sim.dir, "out.txt")
        with vltxdrv.Port(self.sim.port):
            # The driver would read "AB" and drop the rest without a word.
            with self.assertRaises(ValueError):
                vltxdrv.venda_item(b"789", b"AB\x00CD", b"1000", b"50", b"T1", b"UN", b"2")
            with self.assertRaises(ValueError):
                vltxdrv.propaganda("A\x00B", encoding="cp1252")
            # A path that would name another file: refused as open() refuses it.
            for path in (out + "\x00.evil", os.fsencode(out) + b"\x00.evil"):
                with self.assertRaises(ValueError):
                    vltxdrv.le_ecf(b"5", b"1", b"2", b"0", path)
            with self.assertRaises(ValueError):
                vltxdrv.le_cmc7(out + "\x00")
        with self.assertRaises(ValueError):
            vltxdrv.inicializa_dll(self.sim.port + "\x00.evil")
        self.assertFalse(os.path.exists(out))
        paper = self.sim.paper()
        for code in ("[05]", "[12]", "[16]", "[53]"):
            self.assertNotIn(code, paper)  # the refused calls sent nothing

    def test_the_port_name_is_a_path_as_in_port(self):
        previous = vltxdrv.get_encoding()
        self.addCleanup(vltxdrv.set_encoding, previous)
        vltxdrv.set_encoding(None)  # a path needs no encoding of the printer's
        for name in (self.sim.port, os.fsencode(self.sim.port), pathlib.Path(self.sim.port)):
            self.assertEqual(vltxdrv.inicializa_dll(name), vltxdrv.VLTX_OK)
            self.assertEqual(vltxdrv.finaliza_dll(), vltxdrv.VLTX_OK)
        with vltxdrv.Port(pathlib.Path(self.sim.port)):
            self.assertEqual(vltxdrv.imprime_cabecalho(), 0)

    def test_a_device_that_cannot_be_opened_raises_with_its_meaning(self):
        with self.assertRaises(vltxdrv.PortError) as raised:
            with vltxdrv.Port(os.path.join(STATE, "no-such-device")):
                self.fail("the block ran")
        self.assertEqual(raised.exception.code, vltxdrv.VLTX_ERRO_ABRIR)
        self.assertIn("cannot be opened", raised.exception.strerror)


class Declarations(unittest.TestCase):
    def test_version_buffer_and_meanings(self):
        self.assertEqual(vltxdrv.versao_dll(), (15, b"Veltrix - V2.60"))
        self.assertEqual(len(vltxdrv.EXPORTS), 54)
        # Where the ranges meet, both readings are given.
        self.assertIn("status byte", vltxdrv.meaning("ecf_Relatorio_XZ", 10))
        self.assertIn("time-out", vltxdrv.meaning("Relatorio_XZ", 10))
        self.assertEqual(vltxdrv.meaning("le_registrador", 33), "success of a step of the driver's own")
        self.assertIsNone(vltxdrv.meaning("ecf_InicializaDLL", 0))

    def test_a_library_path_that_does_not_load_is_an_error(self):
        with self.assertRaises(vltxdrv.LibraryNotFound):
            vltxdrv.load(os.path.join(STATE, "libvltxdrv.so"))


if __name__ == "__main__":
    unittest.main()
