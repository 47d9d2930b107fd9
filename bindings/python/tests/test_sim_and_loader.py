"""The virtual reader's start and stop, the pytest mark, and finding the library."""

import os
import pathlib
import subprocess
import sys

import pytest

import vqhw
from vqhw.sim import VirtualReader, VirtualReaderError

PACKAGE_ROOT = pathlib.Path(__file__).resolve().parents[1]


def test_a_field_given_as_a_dict_and_the_port_variable_restored():
    field = {"cards": [{"kind": "mifare-one", "serial": "01020304"}]}
    os.environ.pop("VQHW_COM5", None)
    with VirtualReader(field, port=5) as sim:
        assert os.environ["VQHW_COM5"] == sim.device and sim.running
        with vqhw.Reader(5) as reader:
            assert reader.open_card().serial == bytes.fromhex("01020304")
    assert "VQHW_COM5" not in os.environ and not sim.running


def test_a_bad_field_is_reported_with_the_programs_message():
    with pytest.raises(VirtualReaderError) as bad:
        VirtualReader({"cards": [{"kind": "mifare-one", "serial": "0102"}]}).start()
    assert "cards[0].serial" in str(bad.value)


@pytest.mark.vqhw_sim({"cards": [{"kind": "cpu"}]}, port=3)
def test_the_mark_chooses_field_and_port(virtual_reader, vqhw_reader):
    assert virtual_reader.port == 3 and vqhw_reader.port == 3
    assert vqhw_reader.open_card().sak == 0x20


def run_python(code, **environment):
    env = {**os.environ, "PYTHONPATH": str(PACKAGE_ROOT), **environment}
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)


def test_the_loader_names_what_it_tried():
    missing = run_python("import vqhw; vqhw.hex_to_bytes('12')", VQHW_LIB="/nowhere/libVqhwLib.so")
    assert missing.returncode != 0
    assert "VQHW_LIB=/nowhere/libVqhwLib.so" in missing.stderr and "LibraryNotFoundError" in missing.stderr
    searched = run_python("import vqhw; vqhw.load()", VQHW_LIB="", LD_LIBRARY_PATH="/nowhere")
    if searched.returncode != 0:  # unless the library is installed on this machine
        assert "libVqhwLib.so.0" in searched.stderr and "VQHW_LIB is not set" in searched.stderr


def test_the_status_tables_are_what_the_tool_says():
    tool = os.environ.get("VQHW_TOOL")
    if not tool:
        pytest.skip("VQHW_TOOL (the vqhw program of the build) is not set")
    checked = subprocess.run([sys.executable, str(PACKAGE_ROOT.parent / "generate_status_tables.py"), tool, "--check"],
                             capture_output=True, text=True)
    assert checked.returncode == 0, checked.stderr
