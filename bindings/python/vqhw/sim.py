"""The virtual reader for tests: ``vqhw-sim`` on a pseudo-terminal.

    with VirtualReader({"cards": [{"kind": "mifare-one"}]}) as sim:
        with vqhw.Reader(sim.port) as reader:
            reader.open_card()

VirtualReader starts the program with its field (a field file, or a dict
in the same format), points ``VQHW_COM<port>`` at its pseudo-terminal for
this process, and stops it again. The program is ``VQHW_SIM`` when that is
set, else ``vqhw-sim`` on the PATH.
"""

from __future__ import annotations

import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
from types import TracebackType
from typing import Any, List, Mapping, Optional, Type, Union

PROGRAM_VARIABLE = "VQHW_SIM"
_START_TIMEOUT = 10.0
_STOP_TIMEOUT = 5.0

Field = Union[str, "os.PathLike[str]", Mapping[str, Any], None]


class VirtualReaderError(RuntimeError):
    """vqhw-sim could not be found or started; the message says why."""


def find_program() -> str:
    configured = os.environ.get(PROGRAM_VARIABLE)
    if configured:
        return configured
    found = shutil.which("vqhw-sim")
    if found is None:
        raise VirtualReaderError(
            f"vqhw-sim is not on the PATH and {PROGRAM_VARIABLE} is not set: "
            "install the tools or set VQHW_SIM to the program")
    return found


class VirtualReader:
    """A virtual reader with `field` in its antenna field, reached as port `port`.

    field: a field file's path, a dict in the field-file format, or None
    for an empty field with the default PSAM. The fault modes are those of
    vqhw-sim: no_psam, silent (first N commands unanswered), late (answer
    every command so many ms late), wrong_sequence (first N answers).
    """

    def __init__(self, field: Field = None, *, port: int = 1, no_psam: bool = False,
                 silent: int = 0, late: int = 0, wrong_sequence: int = 0,
                 program: Optional[str] = None) -> None:
        self.field = field
        self.port = port
        self.device = ""
        self._options: List[str] = []
        if no_psam:
            self._options.append("--no-psam")
        for option, value in (("--silent", silent), ("--late", late), ("--wrong-sequence", wrong_sequence)):
            if value:
                self._options += [option, str(value)]
        self._program = program
        self._process: Optional[subprocess.Popen[str]] = None
        self._field_file: Optional[str] = None
        self._variable = f"VQHW_COM{port}"
        self._previous: Optional[str] = None

    def _field_path(self) -> str:
        # vqhw-sim alone serves the tools' default card: None is an empty field, given as such.
        field = {"cards": []} if self.field is None else self.field
        if isinstance(field, Mapping):
            handle, path = tempfile.mkstemp(prefix="vqhw-field-", suffix=".json")
            with os.fdopen(handle, "w", encoding="utf-8") as file:
                json.dump(field, file)
            self._field_file = path
            return path
        return os.fspath(field)

    def start(self) -> "VirtualReader":
        if self._process is not None:
            return self
        command = [self._program or find_program()]
        command += ["--field", self._field_path()]
        command += self._options
        try:
            self._process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                             stderr=subprocess.PIPE, text=True)
        except OSError as error:
            self._remove_field_file()
            raise VirtualReaderError(f"cannot start {command[0]}: {error}") from None
        self.device = self._first_line()
        self._previous = os.environ.get(self._variable)
        os.environ[self._variable] = self.device
        return self

    def _first_line(self) -> str:
        """The pty path the program prints first, or the reason it printed none."""
        assert self._process is not None and self._process.stdout is not None
        lines: List[str] = []
        reading = threading.Thread(target=lambda: lines.append(self._process.stdout.readline()),  # type: ignore
                                   daemon=True)
        reading.start()
        reading.join(_START_TIMEOUT)
        path = lines[0].strip() if lines else ""
        if path:
            return path
        self._end()
        errors = self._process.stderr.read().strip() if self._process.stderr else ""
        code = self._process.returncode
        self._process = None
        self._remove_field_file()
        raise VirtualReaderError(f"vqhw-sim gave no port (exit code {code}): {errors or 'no message'}")

    def _end(self) -> None:
        assert self._process is not None
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGTERM)
            try:
                self._process.wait(_STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()

    def _remove_field_file(self) -> None:
        if self._field_file is not None:
            os.unlink(self._field_file)
            self._field_file = None

    def stop(self) -> None:
        """Stops the program and gives VQHW_COM<port> its previous value."""
        if self._process is None:
            return
        self._end()
        for stream in (self._process.stdout, self._process.stderr):
            if stream is not None:
                stream.close()
        self._process = None
        if self._previous is None:
            os.environ.pop(self._variable, None)
        else:
            os.environ[self._variable] = self._previous
        self._remove_field_file()

    @property
    def running(self) -> bool:
        return self._process is not None and self._process.poll() is None

    def __enter__(self) -> "VirtualReader":
        return self.start()

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        self.stop()
