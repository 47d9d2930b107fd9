"""Calling the exports: one lock for the process, results turned into errors."""

from __future__ import annotations

import ctypes
import threading
from typing import Any

from . import _library
from .errors import VqhwError, error_for

GBK = "gbk"
# getvqicerror's longest text is 48 bytes; the information line 122.
MESSAGE_SIZE = 64
INFO_SIZE = 160

# The library serves one calling thread at a time, and a failed call's
# message must be read before any other call replaces it.
lock = threading.RLock()


def decode(raw: bytes) -> str:
    """A text of the library (GBK) as a str; bytes it cannot decode are shown as U+FFFD."""
    return raw.decode(GBK, errors="replace")


def call(name: str, *arguments: Any) -> int:
    """The export's result, whatever it is."""
    with lock:
        result: int = getattr(_library.load(), name)(*arguments)
        return result


def last_message() -> str:
    """The library's message of its last status (getvqicerror)."""
    text = ctypes.create_string_buffer(MESSAGE_SIZE)
    with lock:
        _library.load().getvqicerror(text)
    return decode(text.value)


def checked(name: str, *arguments: Any, detail: str = "") -> int:
    """Calls the export; a result other than 0 raises VqhwError (with `detail` in its text)."""
    with lock:
        result = call(name, *arguments)
        if result != 0:
            raise error_for(name, result, last_message(), detail=detail)
        return result


def to_text(value: str, what: str) -> bytes:
    """A hex or identifier text as the library reads it."""
    if "\0" in value:
        raise ValueError(f"{what} holds a zero character")
    try:
        return value.encode("ascii")
    except UnicodeEncodeError as error:
        raise ValueError(f"{what} must be ASCII text: {error}") from None


def to_bytes(data: bytes, what: str, size: int = -1) -> "ctypes.Array[ctypes.c_ubyte]":
    """A byte buffer holding `data` (exactly `size` bytes when size >= 0)."""
    data = bytes(data)
    if size >= 0 and len(data) != size:
        raise ValueError(f"{what} must be {size} bytes, not {len(data)}")
    return (ctypes.c_ubyte * max(len(data), 1)).from_buffer_copy(data or b"\0")


__all__ = ["VqhwError", "call", "checked", "decode", "last_message", "lock", "to_bytes", "to_text"]
