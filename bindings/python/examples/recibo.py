#!/usr/bin/env python3
"""A fiscal receipt through vltxdrv: header, two items, a payment, closing,
then the register of items sold. Every result is checked.

    python3 recibo.py [PORT]        (PORT: /dev/ttyUSB0; default /tmp/ecf0,
                                     the link vltx-sim --link /tmp/ecf0 makes)

The library is found through VLTXDRV_LIB or installed (libvltxdrv.so.2).
"""

import sys

import vltxdrv

# Texts as this printer's code page writes them; bytes would pass as they are.
vltxdrv.set_encoding("iso-8859-1")


def check(function, result, expected=0):
    """A command's result: the printer's status byte 0 means done."""
    if result != expected:
        raise SystemExit(f"{function.__name__}: {result}: {vltxdrv.meaning(function, result)}")
    return result


def print_receipt(port):
    with vltxdrv.Port(port):
        check(vltxdrv.imprime_cabecalho, vltxdrv.imprime_cabecalho())
        # Quantity with three implied decimals, price with `casas` (2) decimals.
        check(vltxdrv.venda_item, vltxdrv.venda_item("7891234567895", "CAFÉ TORRADO 500G", 1000, 1590, "T1", "UN", "2"))
        check(vltxdrv.venda_item, vltxdrv.venda_item("7896005800010", "LEITE INTEGRAL 1L", 2000, 459, "T2", "UN", "2"))
        # Amounts in centavos: 25,08 paid in cash.
        check(vltxdrv.pagamento, vltxdrv.pagamento(1, "DINHEIRO", 2508))
        check(vltxdrv.fecha_cupom, vltxdrv.fecha_cupom("CAIXA01"))
        result, answer = vltxdrv.le_registrador(2)
        check(vltxdrv.le_registrador, result, vltxdrv.VLTX_OK)
        return answer


if __name__ == "__main__":
    answer = print_receipt(sys.argv[1] if len(sys.argv) > 1 else "/tmp/ecf0")
    print(f"register 2 (items sold): {answer.decode('ascii')}")
