"""The library's hex, numeric and date-time conversions; they need no reader."""

from __future__ import annotations

import ctypes

from ._calls import call, decode, to_bytes, to_text

# The decoder reads at most 255 characters (127 bytes) and writes a zero after them.
_DECODED_SIZE = 256
_DATE_TIME_SIZE = 32


def hex_to_bytes(text: str) -> bytes:
    """The bytes of a hex text (hextobin): any other character is skipped,
    an unpaired last digit dropped, at most 127 bytes."""
    data = (ctypes.c_ubyte * _DECODED_SIZE)()
    count = ctypes.c_int32()
    decoded = call("hextobin", to_text(text, "hex text"), data, ctypes.byref(count))
    return bytes(data)[:decoded]


def bytes_to_hex(data: bytes) -> str:
    """Upper-case hex text of the bytes (asciitohex)."""
    if not data:
        return ""
    text = ctypes.create_string_buffer(2 * len(data) + 1)
    call("asciitohex", to_bytes(data, "data"), len(data), text)
    return text.value.decode("ascii")


def hex_digit_value(character: str) -> int:
    """0..15 for a hex digit, 0 for any other character (hextodec)."""
    if len(character) != 1 or ord(character) > 0x7F:
        raise ValueError(f"one ASCII character expected, not {character!r}")
    return call("hextodec", ord(character))


def ascii_to_long(data: bytes) -> int:
    """asciitolong of four bytes: 256 times their sum, each read as a signed byte."""
    value = ctypes.c_int32()
    call("asciitolong", to_bytes(data, "data", 4), ctypes.byref(value))
    return value.value


def long_to_ascii(value: int) -> bytes:
    """longtoascii: byte i is the low byte of value >> 2i."""
    data = (ctypes.c_ubyte * 4)()
    call("longtoascii", ctypes.c_int32(value).value, data)
    return bytes(data)


def time_text(value: int) -> str:
    """The decimal local date-time text of a calendar-time value (ltimetostime)."""
    text = ctypes.create_string_buffer(_DATE_TIME_SIZE)
    call("ltimetostime", ctypes.c_int32(value).value, text)
    return decode(text.value)


def now_text() -> str:
    """The decimal local date-time text of now (get_time)."""
    text = ctypes.create_string_buffer(_DATE_TIME_SIZE)
    call("get_time", text)
    return decode(text.value)


def hex_time_value(text: str) -> int:
    """The value stimetoltime stores for a 14-digit hex date and time
    (year in two bytes, then month, day, hour, minute, second)."""
    value = ctypes.c_int32()
    call("stimetoltime", to_text(text, "hex date-time text"), ctypes.byref(value))
    return value.value
