"""The reader: open it, work with the cards in its field, close it."""

from __future__ import annotations

import ctypes
import os
import sys
from dataclasses import dataclass
from types import TracebackType
from typing import Optional, Type

from . import _calls
from ._calls import call, checked, decode, to_bytes, to_text
from .errors import error_for, message_of

KEY_A = 0
KEY_B = 1
BLOCK_SIZE = 16
KEY_SIZE = 6
# A status word text is four digits; a reply holds at most a frame's data.
_SW_SIZE = 16
_REPLY_SIZE = 1024
_FILE_BUFFER_LIMIT = 256

_NOT_OPEN = -7
_ALREADY_OPEN = -8
_NO_STATUS_WORD = -22  # an answer too short for its command
_CARD_KINDS = {0: "0", 1: "1", 2: "2"}


@dataclass(frozen=True)
class Activation:
    """What the reader found in its field: the card's serial number and SAK byte."""

    serial: bytes
    sak: int

    @property
    def is_mifare_one(self) -> bool:
        return self.sak == 0x08


@dataclass(frozen=True, repr=False)
class ApduReply:
    """A card's answer to a command APDU: its data and its status word SW1 SW2.

    sw is SW1 * 256 + SW2 (0x9000 for 90 00); the repr shows it in hex.
    """

    data: bytes
    sw: int

    @property
    def ok(self) -> bool:
        """The card says 90 00."""
        return self.sw == 0x9000

    def __repr__(self) -> str:
        return f"ApduReply(data=bytes.fromhex({self.data.hex().upper()!r}), sw=0x{self.sw:04X})"


def device_of(port: int) -> str:
    """The device open_reader opens for `port`, and why that one."""
    if sys.platform == "win32":
        return f"COM{port}"
    variable = f"VQHW_COM{port}"
    named = os.environ.get(variable)
    if named:
        return f"{named} (from {variable})"
    return f"/dev/ttyS{port - 1} ({variable} is not set; set it to the reader's device)"


class Reader:
    """The reader on serial port `port` (1 = COM1).

    On Linux the port is the device that ``VQHW_COM<port>`` names, else
    /dev/ttyS<port-1>; `device` sets that variable for this process. The
    library drives one reader per process, so one Reader is open at a time.
    Use it as a context manager, or call open() and close().
    """

    _open_one: Optional["Reader"] = None

    def __init__(self, port: int = 1, device: Optional[str] = None) -> None:
        if not 1 <= port <= 99:
            raise ValueError(f"port must be 1..99, not {port}")
        self.port = port
        self.device = device
        self._open = False

    # -- connection -------------------------------------------------------
    def open(self) -> "Reader":
        with _calls.lock:
            if self._open:
                return self
            if Reader._open_one is not None:
                raise error_for("open_reader", _ALREADY_OPEN, message_of(_ALREADY_OPEN), _ALREADY_OPEN)
            if self.device is not None and sys.platform != "win32":
                os.environ[f"VQHW_COM{self.port}"] = self.device
            checked("open_reader", self.port, 0, detail="tried " + device_of(self.port))
            self._open = True
            Reader._open_one = self
        return self

    def close(self) -> None:
        """Closes the reader; closing a closed Reader does nothing."""
        with _calls.lock:
            if not self._open:
                return
            self._open = False
            Reader._open_one = None
            checked("close_reader")

    @property
    def is_open(self) -> bool:
        return self._open

    def __enter__(self) -> "Reader":
        return self.open()

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        self.close()

    def _call(self, name: str, *arguments: object) -> int:
        with _calls.lock:
            if not self._open:
                raise error_for(name, -1, message_of(_NOT_OPEN), _NOT_OPEN)
            return checked(name, *arguments)

    def info(self) -> str:
        """The reader's information line: maker, model, port and line speed."""
        text = ctypes.create_string_buffer(_calls.INFO_SIZE)
        self._call("getreaderinfo", text)
        return decode(text.value)

    # -- reader control ---------------------------------------------------
    def select_card_type(self, kind: int) -> None:
        """Which cards the card operations accept: 0 MIFARE ONE only, 1 CPU cards only, 2 both."""
        if kind not in _CARD_KINDS:
            raise ValueError(f"card kind must be 0, 1 or 2, not {kind}")
        checked("SelectCardType", ord(_CARD_KINDS[kind]))

    def set_mmi(self, first: int, second: int, third: int) -> None:
        """The reader's lights, sound and display (values 0 or 0x80..0x83)."""
        self._call("set_mmi", first, second, third)

    def reset_field(self) -> None:
        """Resets the antenna field (RF_reset_h)."""
        self._call("RF_reset_h")

    def reset_psam(self) -> None:
        """Resets the PSAM in the reader's slot (SAM_reset_h)."""
        self._call("SAM_reset_h")

    def reset_cpu_card(self) -> None:
        """Resets the CPU user card in the field (PRO_reset_h)."""
        self._call("PRO_reset_h")

    def close_card(self) -> None:
        """Ends the work with the card: a field reset and a 100 ms pause.

        Like closecard, it never fails; a failed reset shows only in the
        library's last status.
        """
        self._call("closecard")

    # -- MIFARE ONE cards -------------------------------------------------
    def open_card(self) -> Activation:
        """Activates the card in the field; raises NoCardError when there is none."""
        record = (ctypes.c_ubyte * 5)()
        self._call("opencard", record)
        raw = bytes(record)
        return Activation(serial=raw[:4], sak=raw[4])

    def load_key(self, key_type: int, sector: int, key: bytes) -> None:
        """Loads key A (KEY_A) or B (KEY_B) of a sector and authenticates the card with it."""
        self._call("loadkey", key_type, sector, to_bytes(key, "key", KEY_SIZE))

    def read_block(self, block: int) -> bytes:
        """The 16 bytes of block 0..63."""
        data = (ctypes.c_ubyte * BLOCK_SIZE)()
        self._call("readblock", 0, block, data)
        return bytes(data)

    def write_block(self, block: int, data: bytes) -> None:
        """Writes 16 bytes to block 0..63."""
        self._call("writeblock", 0, block, to_bytes(data, "block data", BLOCK_SIZE))

    def write_trailer(self, sector: int, trailer: bytes) -> None:
        """Writes the 16-byte trailer of a sector: key A, access bits, key B (writekey)."""
        self._call("writekey", 0, sector, to_bytes(trailer, "trailer", BLOCK_SIZE))

    @staticmethod
    def _file_ids(file_number: int, key_selector: int) -> "tuple[bytes, bytes]":
        if not 0 <= file_number <= 0xFF:
            raise ValueError(f"file number must be 0..255, not {file_number}")
        if not 0 <= key_selector <= 0xF:
            raise ValueError(f"key selector must be 0..15, not {key_selector}")
        return f"{file_number:04X}".encode(), f"{key_selector:X}0".encode()

    def read_file(self, file_number: int, key_selector: int, offset: int, length: int) -> bytes:
        """`length` bytes from `offset` of a card file (readfile, with its one retry)."""
        file_id, key_id = self._file_ids(file_number, key_selector)
        data = (ctypes.c_ubyte * max(4, min(length, _FILE_BUFFER_LIMIT)))()
        self._call("readfile", file_id, key_id, offset, length, data)
        return bytes(data)[:max(length, 0)]

    def write_file(self, file_number: int, key_selector: int, offset: int, data: bytes) -> None:
        """Writes `data` at `offset` of a card file (writefile, with its one retry)."""
        file_id, key_id = self._file_ids(file_number, key_selector)
        self._call("writefile", file_id, key_id, offset, len(data), to_bytes(data, "file data"))

    # -- APDUs ------------------------------------------------------------
    def _apdu(self, name: str, apdu: bytes) -> ApduReply:
        if not 4 <= len(apdu) <= 251:
            raise ValueError(f"a command APDU has 4..251 bytes, not {len(apdu)}")
        data = ctypes.create_string_buffer(_REPLY_SIZE)
        sw = ctypes.create_string_buffer(_SW_SIZE)
        self._call(name, to_text(bytes(apdu).hex().upper(), "APDU"), data, sw)
        if len(sw.value) != 4:
            raise error_for(name, _NO_STATUS_WORD, message_of(_NO_STATUS_WORD), _NO_STATUS_WORD)
        return ApduReply(data=bytes.fromhex(data.value.decode("ascii")), sw=int(sw.value, 16))

    def cpu_card_apdu(self, apdu: bytes) -> ApduReply:
        """Sends a command APDU to the CPU user card in the field (PRO_COMMAND_H)."""
        return self._apdu("PRO_COMMAND_H", apdu)

    def psam_apdu(self, apdu: bytes) -> ApduReply:
        """Sends a command APDU to the PSAM in the reader (SAM_COMMAND_H)."""
        return self._apdu("SAM_COMMAND_H", apdu)


__all__ = ["Activation", "ApduReply", "KEY_A", "KEY_B", "Reader"]
