"""The library's 47 exported functions as ctypes declarations.

One row per export, in the order of the library's export list: its name,
then the C type of each argument. Every export returns a signed 32-bit
integer. The name check of the bindings compares this table with the
export list, so keep it in step with the header.
"""

from __future__ import annotations

import ctypes
from typing import Dict, Tuple, Type

_Int = ctypes.c_int32
_Text = ctypes.c_char_p  # a zero-terminated text, in or out
_Bytes = ctypes.POINTER(ctypes.c_ubyte)  # a byte buffer, in or out
_IntOut = ctypes.POINTER(ctypes.c_int32)
_Ignored = ctypes.c_void_p  # accepted and ignored by the library

ArgumentTypes = Tuple[Type[object], ...]

EXPORTS: Dict[str, ArgumentTypes] = {
    "open_reader": (_Int, _Int),
    "close_reader": (),
    "getreaderinfo": (_Text,),
    "getvqicerror": (_Text,),
    "changebaudrate": (_Int,),
    "selectadf": (),
    "enterdebug": (_Int, _Int),
    "close_pro": (),
    "SelectCardType": (_Int,),
    "set_mmi": (_Int, _Int, _Int),
    "RF_reset_h": (),
    "SAM_reset_h": (),
    "PRO_reset_h": (),
    "closecard": (),
    "hextobin": (_Text, _Bytes, _IntOut),
    "hextodec": (_Int,),
    "hextoascii": (_Text, _Bytes),
    "asciitohex": (_Bytes, _Int, _Text),
    "asciitolong": (_Bytes, _IntOut),
    "longtoascii": (_Int, _Bytes),
    "hextoulong": (_Ignored, _Ignored),
    "ulongtohex": (_Ignored, _Ignored),
    "hextouint": (_Ignored, _Ignored),
    "uinttohex": (_Ignored, _Ignored),
    "straxorstrb": (_Ignored, _Ignored, _Ignored, _Ignored),
    "straxorstrb_h": (_Ignored, _Ignored, _Ignored),
    "get_time": (_Text,),
    "ltimetostime": (_Int, _Text),
    "stimetoltime": (_Text, _IntOut),
    "pro_command_h": (_Text, _Text),
    "PRO_COMMAND_H": (_Text, _Text, _Text),
    "sam_command_h": (_Text, _Text),
    "SAM_COMMAND_H": (_Text, _Text, _Text),
    "opencard": (_Bytes,),
    "opencard_h": (_Text,),
    "loadkey": (_Int, _Int, _Bytes),
    "loadkey_h": (_Int, _Int, _Text),
    "readblock": (_Int, _Int, _Bytes),
    "readblock_h": (_Int, _Int, _Text),
    "writeblock": (_Int, _Int, _Bytes),
    "writeblock_h": (_Int, _Int, _Text),
    "writekey": (_Int, _Int, _Bytes),
    "writekey_h": (_Int, _Int, _Text),
    "readfile": (_Text, _Text, _Int, _Int, _Bytes),
    "readfile_h": (_Text, _Text, _Int, _Int, _Text),
    "writefile": (_Text, _Text, _Int, _Int, _Bytes),
    "writefile_h": (_Text, _Text, _Int, _Int, _Text),
}
