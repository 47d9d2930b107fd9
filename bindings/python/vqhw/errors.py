"""The exceptions of the binding: every failed export raises VqhwError."""

from __future__ import annotations

from typing import Optional

from ._status_table import HINTS, STATUS_ROWS, UNKNOWN_MESSAGE

# Results of -1 stand for any of these statuses; the library's message of
# the last status tells which one it was.
_STATUSES_OF_MINUS_ONE = (-1, -7, -9, -10, -11, -12, -13, -14, -22, -23)
NO_CARD_RESULT = 1
NO_CARD_STATUS = -101


def status_of(result: int, message: str) -> int:
    """The library status that an export's result stands for."""
    if result == NO_CARD_RESULT:
        return NO_CARD_STATUS
    if result == -1:
        for status in _STATUSES_OF_MINUS_ONE:
            row = STATUS_ROWS.get(status)
            if row is not None and row[0] == message:
                return status
    return result


def meaning_of(status: int) -> str:
    """The status's meaning in English, for people."""
    row = STATUS_ROWS.get(status)
    if row is not None:
        return row[1]
    if -355 <= status <= -101:
        return f"reader or card status byte {status + 356:02X}"
    return "not a status the library gives"


def message_of(status: int) -> str:
    """The library's message of a status (as its status table has it)."""
    row = STATUS_ROWS.get(status)
    return row[0] if row is not None else UNKNOWN_MESSAGE


def hint_of(status: int) -> str:
    """What to try after the status, or an empty text."""
    return HINTS.get(status, "")


class VqhwError(Exception):
    """An export of the library failed.

    code: what the export returned (1 for no card, -1 for the port and
    transport failures, the status itself otherwise); status: the library
    status it stands for; message: the library's text for it (GBK, decoded);
    meaning: the same in English; hint: what to try ("" where nothing
    helps); call: the export that failed; detail: what the binding adds
    (for open_reader, the device that was tried), or "".
    """

    def __init__(self, call: str, code: int, message: str, status: Optional[int] = None,
                 detail: str = "") -> None:
        self.call = call
        self.code = code
        self.message = message
        self.status = status_of(code, message) if status is None else status
        self.meaning = meaning_of(self.status)
        self.hint = hint_of(self.status)
        self.detail = detail
        text = f"{call} -> {code}: {message} ({self.meaning})"
        super().__init__("; ".join(part for part in (text, detail, self.hint) if part))


class NoCardError(VqhwError):
    """No card in the antenna field: what a lane's polling loop waits out."""


def error_for(call: str, code: int, message: str, status: Optional[int] = None,
              detail: str = "") -> VqhwError:
    kind = NoCardError if code == NO_CARD_RESULT or status == NO_CARD_STATUS else VqhwError
    return kind(call, code, message, status, detail)
