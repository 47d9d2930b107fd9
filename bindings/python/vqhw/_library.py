"""Finding the shared library and declaring its exports on it.

The library is looked for once, at the first call that needs it, so that
``import vqhw`` works on a machine without it (for the virtual reader's
helpers, or to read the documentation).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from typing import List, Optional

from ._exports import EXPORTS

ENVIRONMENT_VARIABLE = "VQHW_LIB"

_loaded: Optional[ctypes.CDLL] = None
_loading = threading.Lock()


class LibraryNotFoundError(OSError):
    """The shared library could not be loaded; the message says what was tried."""


# A wheel carries the library inside the package, beside this file.
BUNDLED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "libVqhwLib.so.0")


def _candidates() -> List[str]:
    """The wheel's own library, then what the usual loader search is asked for, in order."""
    if sys.platform == "win32":
        return ["VqhwLib.dll"]
    names = [BUNDLED] if os.path.exists(BUNDLED) else []
    names += ["libVqhwLib.so.0", "libVqhwLib.so"]
    found = ctypes.util.find_library("VqhwLib")
    if found and found not in names:
        names.append(found)
    return names


def _open(path: str) -> ctypes.CDLL:
    # 32-bit Windows exports use the standard calling convention; everywhere
    # else the platform's C convention (WinDLL and CDLL agree on x64).
    if sys.platform == "win32":
        return ctypes.WinDLL(path)  # type: ignore[attr-defined]
    return ctypes.CDLL(path)


def _declare(library: ctypes.CDLL) -> ctypes.CDLL:
    for name, argument_types in EXPORTS.items():
        function = getattr(library, name)
        function.argtypes = list(argument_types)
        function.restype = ctypes.c_int32
    return library


def load() -> ctypes.CDLL:
    """The library with its 47 exports declared; loaded on the first call.

    ``VQHW_LIB`` names the file to load; without it the library a wheel
    carries inside the package is loaded, else the system's loader is asked
    for ``libVqhwLib.so.0`` and ``libVqhwLib.so`` (``VqhwLib.dll`` on
    Windows). Raises LibraryNotFoundError naming every path tried.
    """
    global _loaded
    with _loading:
        if _loaded is not None:
            return _loaded
        configured = os.environ.get(ENVIRONMENT_VARIABLE)
        tried = [configured] if configured else _candidates()
        failures = []
        for path in tried:
            try:
                _loaded = _declare(_open(path))
                return _loaded
            except OSError as error:
                failures.append(f"  {path}: {error}")
            except AttributeError as error:
                failures.append(f"  {path}: loaded, but it lacks an export ({error})")
        where = (f"{ENVIRONMENT_VARIABLE}={configured}" if configured
                 else f"the loader search ({ENVIRONMENT_VARIABLE} is not set)")
        raise LibraryNotFoundError(
            f"cannot load the VqhwLib library from {where}; tried:\n" + "\n".join(failures)
            + f"\nset {ENVIRONMENT_VARIABLE} to the path of libVqhwLib.so (VqhwLib.dll on Windows)"
              " or install the library where the loader finds it")
