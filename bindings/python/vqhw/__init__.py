"""VqhwLib from Python: the toll lane's contactless card reader.

    import vqhw
    with vqhw.Reader(port=1) as reader:
        card = reader.open_card()
        reader.load_key(vqhw.KEY_A, 1, bytes.fromhex("A0A1A2A3A4A5"))
        entry = reader.read_block(4)

Every failed call raises VqhwError (NoCardError when the field is empty).
vqhw.sim.VirtualReader runs the virtual reader for tests; the shared
library is found through VQHW_LIB or the system's loader (vqhw.load).
"""

from ._library import LibraryNotFoundError, load
from .codecs import (ascii_to_long, bytes_to_hex, hex_digit_value, hex_time_value, hex_to_bytes,
                     long_to_ascii, now_text, time_text)
from .errors import NoCardError, VqhwError
from .reader import KEY_A, KEY_B, Activation, ApduReply, Reader

__version__ = "0.2.0"

__all__ = [
    "Activation", "ApduReply", "KEY_A", "KEY_B", "LibraryNotFoundError", "NoCardError", "Reader",
    "VqhwError", "ascii_to_long", "bytes_to_hex", "hex_digit_value", "hex_time_value",
    "hex_to_bytes", "load", "long_to_ascii", "now_text", "time_text",
]
