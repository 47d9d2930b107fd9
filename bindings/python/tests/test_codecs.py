"""The codecs through the library: texts in, bytes and numbers out."""

import os
import time

import pytest

import vqhw


def test_hex_texts_both_ways():
    assert vqhw.hex_to_bytes("1a2B") == b"\x1a\x2b"
    assert vqhw.hex_to_bytes("12 3G4 5") == b"\x12\x34"  # others skipped, the odd 5 dropped
    assert vqhw.hex_to_bytes("0x12") == b"\x01"
    assert vqhw.hex_to_bytes("") == b""
    assert vqhw.bytes_to_hex(b"\x00\xab\x5f") == "00AB5F"
    assert vqhw.bytes_to_hex(b"") == ""
    assert vqhw.hex_to_bytes(vqhw.bytes_to_hex(bytes(range(127)))) == bytes(range(127))
    with pytest.raises(ValueError):
        vqhw.hex_to_bytes("12\x0034")


def test_numbers():
    assert [vqhw.hex_digit_value(c) for c in "0fFG"] == [0, 15, 15, 0]
    assert vqhw.ascii_to_long(b"1234") == 51712
    assert vqhw.ascii_to_long(b"\xff\xff\xff\xff") == -1024
    assert vqhw.long_to_ascii(0x12345678) == bytes.fromhex("789E6759")
    assert vqhw.long_to_ascii(-1) == b"\xff\xff\xff\xff"


def test_date_time_texts(monkeypatch):
    monkeypatch.setenv("TZ", "UTC")
    time.tzset()
    try:
        assert vqhw.time_text(0) == "197011000"
        value = vqhw.hex_time_value("07D6020E090503")  # 2006-02-14 09:05:03
        assert vqhw.time_text(value) == "2006214953"
        assert vqhw.now_text().startswith(str(time.gmtime().tm_year))
    finally:
        monkeypatch.delenv("TZ")
        time.tzset()
    assert os.environ.get("TZ") is None
