"""vltxdrv: the Veltrix fiscal printer driver (libvltxdrv) from Python.

One function per export, named after it in Python's style (ecf_VendaItem is
venda_item); each returns the export's int result, documented in its
docstring and in the reference. meaning(export, code) says what a result
means for that export, meaning(code) what a number means. Port(device) opens the port for a with block and
closes it even when the block raises.

Texts: bytes go to the printer unchanged. A str needs an encoding, the
printer's code page: encoding="iso-8859-1" on the call, or set_encoding() once;
without one a str raises TypeError, so no text is ever silently sent as
UTF-8. An int is sent as its decimal digits (amounts have implied decimals:
1590 is 15,90).

The library: $VLTXDRV_LIB, else the installed libvltxdrv.so.2 or
libvltxdrv.so (vltxdrv.dll on Windows); or call load(path) first.
"""

from typing import Callable, Optional, Union

from ._exports import CODES, EXPORTS, READINGS_SEPARATOR, STATUS
from ._exports import *  # noqa: F401,F403  the VLTX_ constants
from ._funcoes import *  # noqa: F401,F403  one function per export
from ._funcoes import __all__ as _functions
from ._funcoes import finaliza_dll, inicializa_dll
from ._nucleo import LibraryNotFound, Path, Text, get_encoding, load, set_encoding

__all__ = list(_functions) + [c for c, _ in CODES.values()] + [
    "CODES", "EXPORTS", "LibraryNotFound", "Path", "Port", "PortError", "Text", "get_encoding", "load",
    "meaning", "set_encoding", "STATUS", "DRIVER_ACTS_ON", "READINGS_SEPARATOR",
    "VLTX_VERSAO_TAMANHO", "VLTX_REGISTRADOR_TAMANHO",
]


def _export_name(export: Union[str, Callable]) -> str:
    if callable(export):
        export = export.__name__
    for name, e in EXPORTS.items():
        if export in (name, e.python, name[4:] if name.startswith("ecf_") else name):
            return name
    raise KeyError(f"no export {export!r}")


def meaning(export: Union[str, Callable, int], code: Optional[int] = None) -> Optional[str]:
    """What a result means, in the same words as every other binding.

    meaning(export, code): what the code means for this export ("ecf_VendaItem",
    "VendaItem", "venda_item" or the function); where the printer's status byte
    and a driver code share the number, both readings, joined by " | "; None
    when the export cannot give the code.

    meaning(code): what a number means when no export is named: from 0 to 255
    STATUS, then the driver's code of the same number, joined by " | "; None
    for any other number.

    The status byte's values are the printer's, not the driver's: its manual
    says what each means. DRIVER_ACTS_ON names the four answers the driver
    itself acts on.
    """
    if code is None:
        if isinstance(export, bool) or not isinstance(export, int):
            raise TypeError("meaning(code) takes an int; meaning(export, code) an export and an int")
        return _meaning_of_number(export)
    e = EXPORTS[_export_name(export)]
    readings = [text for low, high, text in e.results if low is not None and low <= code <= high]
    return READINGS_SEPARATOR.join(readings) if readings else None


def _meaning_of_number(code: int) -> Optional[str]:
    if not 0 <= code <= 255:
        return None
    driver = CODES.get(code)
    return STATUS if driver is None else STATUS + READINGS_SEPARATOR + driver[1]


class PortError(OSError):
    """ecf_InicializaDLL did not return VLTX_OK (33)."""

    def __init__(self, code: int):
        super().__init__(code, meaning("ecf_InicializaDLL", code) or f"{code}: not a result ecf_InicializaDLL gives")
        self.code = code


class Port:
    """The printer's port for a with block: ecf_InicializaDLL on entry (a
    result other than 33 raises PortError), ecf_FinalizaDLL on exit, also
    when the block raises.

        with vltxdrv.Port("/dev/ttyUSB0"):
            vltxdrv.imprime_cabecalho()
    """

    def __init__(self, device: Path):
        self.device = device
        self.closed_with: Optional[int] = None  # ecf_FinalizaDLL's result, once closed

    def __enter__(self) -> "Port":
        code = inicializa_dll(self.device)
        if code != VLTX_OK:  # noqa: F405
            raise PortError(code)
        return self

    def __exit__(self, *exc) -> bool:
        self.closed_with = finaliza_dll()
        return False
