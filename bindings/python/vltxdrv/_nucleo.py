"""Loading libvltxdrv and calling its exports through ctypes.

The declarations (names, parameter roles, buffer sizes, results) come from
the generated module _exports; nothing here repeats them.
"""

import codecs
import ctypes
import ctypes.util
import os
import threading
from typing import Optional, Sequence, Union

from ._exports import EXPORTS

# A text parameter: bytes as they go to the printer, a str with an encoding,
# or an int (sent as its decimal digits).
Text = Union[bytes, str, int]
# A file the driver opens: a path as the operating system takes it.
Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

_CTYPES = {"text": ctypes.c_char_p, "path": ctypes.c_char_p, "buffer": ctypes.c_char_p, "int32": ctypes.c_int32}

_encoding: Optional[str] = None
_lib = None
_lock = threading.Lock()


class LibraryNotFound(OSError):
    """libvltxdrv could be found neither through VLTXDRV_LIB nor installed."""


def set_encoding(encoding: Optional[str]) -> None:
    """Sets the encoding for str texts of every call that names none.

    The printer reads bytes in its own code page, so there is no default:
    until this is called (or a call passes encoding=...), a str raises
    TypeError. None goes back to that. For example set_encoding("iso-8859-1").
    """
    global _encoding
    if encoding is not None:
        codecs.lookup(encoding)  # an unknown name fails here, not at the first call
    _encoding = encoding


def get_encoding() -> Optional[str]:
    """The encoding set with set_encoding(), or None."""
    return _encoding


def _candidates():
    if os.name == "nt":
        return ["vltxdrv.dll"]
    names = ["libvltxdrv.so.2", "libvltxdrv.so"]
    found = ctypes.util.find_library("vltxdrv")
    if found and found not in names:
        names.append(found)
    return names


def load(path: Optional[Path] = None):
    """Loads the library and declares its exports; returns the ctypes handle.

    path, else $VLTXDRV_LIB, else the installed libvltxdrv.so.2 or
    libvltxdrv.so (vltxdrv.dll on Windows) by the loader's own search. A path
    given (or in VLTXDRV_LIB) that cannot be loaded is an error: no other
    library is tried behind the caller's back.
    """
    global _lib
    with _lock:
        if _lib is not None and path is None:
            return _lib
        loader = ctypes.WinDLL if os.name == "nt" else ctypes.CDLL  # stdcall on Windows
        chosen = path if path is not None else os.environ.get("VLTXDRV_LIB") or None
        if chosen is not None:
            try:
                lib = loader(os.fsdecode(chosen))
            except OSError as e:
                raise LibraryNotFound(f"cannot load {os.fsdecode(chosen)}: {e}") from e
        else:
            lib, errors = None, []
            for name in _candidates():
                try:
                    lib = loader(name)
                    break
                except OSError as e:
                    errors.append(f"{name}: {e}")
            if lib is None:
                raise LibraryNotFound(
                    "libvltxdrv not found (set VLTXDRV_LIB to its path, or install it): " + "; ".join(errors))
        for name, export in EXPORTS.items():
            function = lib[name]
            function.restype = ctypes.c_int32 if export.returns == "int32" else None
            function.argtypes = [_CTYPES[p.role] for p in export.params]
        _lib = lib
        return lib


def _no_nul(value: bytes, name: str) -> bytes:
    # The driver reads a NUL-terminated string: the bytes behind a NUL would
    # be dropped without a word (a text cut short, a path that names another
    # file). Refused as Python's own open() refuses such a path.
    if b"\0" in value:
        raise ValueError(f"{name}: embedded null byte")
    return value


def _text(value, name: str, encoding: Optional[str]) -> Optional[bytes]:
    if value is None:
        return None  # the driver reads a null text as ""
    if isinstance(value, bytes):
        return _no_nul(value, name)
    if isinstance(value, bool):
        raise TypeError(f"{name}: a bool is not a text; pass b'1' or b'0'")
    if isinstance(value, int):
        return str(value).encode("ascii")
    if isinstance(value, str):
        chosen = encoding if encoding is not None else _encoding
        if chosen is None:
            raise TypeError(f"{name}: a str needs an encoding (the printer's code page): pass bytes, "
                            "encoding=..., or call vltxdrv.set_encoding()")
        return _no_nul(value.encode(chosen), name)
    raise TypeError(f"{name}: expected bytes, str or int, got {type(value).__name__}")


def _path(value, name: str) -> Optional[bytes]:
    """A file's or a device's name as the operating system takes it: a str
    or a path-like object through os.fsencode, bytes as they are."""
    if value is None:
        return None
    return _no_nul(os.fsencode(value), name)


def _int32(value, name: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name}: expected an int, got {type(value).__name__}")
    if not -2**31 <= value < 2**31:
        raise ValueError(f"{name}: {value} does not fit in 32 bits")
    return value


def call(name: str, args: Sequence, encoding: Optional[str]):
    """Calls one export with the host's arguments, in the order of its
    parameters, buffers left out; returns the result, (result, bytes) when
    the export writes a buffer, or None."""
    export = EXPORTS[name]
    function = load()[name]
    given = iter(args)
    converted, buffers = [], []
    for p in export.params:
        if p.role == "buffer":
            buffer = ctypes.create_string_buffer(p.size)
            buffers.append(buffer)
            converted.append(ctypes.cast(buffer, ctypes.c_char_p))
            continue
        value = next(given)
        if p.role == "int32":
            converted.append(_int32(value, p.name))
        elif p.role == "path":
            converted.append(_path(value, p.name))
        else:
            converted.append(_text(value, p.name, encoding))
    result = function(*converted)
    if buffers:
        return result, buffers[0].value
    return result
