"""The Reader against the virtual reader: MIFARE ONE cards, files, APDUs, errors."""

import pathlib

import pytest

import vqhw
from vqhw.sim import VirtualReader

EXAMPLES = pathlib.Path(__file__).resolve().parents[3] / "sim" / "examples"
LANE = str(EXAMPLES / "lane.json")
CPU_CARD = str(EXAMPLES / "cpu-card.json")
KEY_A = bytes.fromhex("A0A1A2A3A4A5")
KEY_B = bytes.fromhex("B0B1B2B3B4B5")


@pytest.mark.vqhw_sim(field=LANE)
class TestMifareOne:
    def test_entry_record_read_and_written(self, vqhw_reader):
        card = vqhw_reader.open_card()
        assert (card.serial, card.sak, card.is_mifare_one) == (bytes.fromhex("3A5F0C21"), 0x08, True)
        vqhw_reader.load_key(vqhw.KEY_A, 1, KEY_A)
        assert vqhw_reader.read_block(4) == bytes.fromhex("4C414E45303720454E54525920202020")
        record = bytes(range(16))
        vqhw_reader.load_key(vqhw.KEY_B, 1, KEY_B)
        vqhw_reader.write_block(5, record)
        assert vqhw_reader.read_block(5) == record

    def test_refusals_carry_code_message_and_meaning(self, vqhw_reader):
        vqhw_reader.open_card()
        with pytest.raises(vqhw.VqhwError) as wrong_key:
            vqhw_reader.load_key(vqhw.KEY_A, 1, bytes(6))
        assert (wrong_key.value.code, wrong_key.value.status) == (-103, -103)
        assert wrong_key.value.message == "用户卡认证错误"
        assert "refused the key" in wrong_key.value.meaning
        assert wrong_key.value.hint and str(wrong_key.value).endswith(wrong_key.value.hint)
        vqhw_reader.open_card()
        vqhw_reader.load_key(vqhw.KEY_A, 1, KEY_A)
        with pytest.raises(vqhw.VqhwError) as forbidden:  # key A only reads this sector
            vqhw_reader.write_block(5, bytes(16))
        assert forbidden.value.code == -115 and forbidden.value.call == "writeblock"
        assert not isinstance(forbidden.value, vqhw.NoCardError)
        with pytest.raises(vqhw.VqhwError) as bad_block:
            vqhw_reader.read_block(64)
        assert (bad_block.value.code, bad_block.value.message) == (-1, "第一个参数错误")

    def test_card_files_by_number_and_key_selector(self, vqhw_reader):
        vqhw_reader.open_card()
        vqhw_reader.load_key(vqhw.KEY_A, 2, KEY_A)  # key selector 2: the key A loaded for sector 2
        vqhw_reader.write_file(2, 2, 14, b"ABCD")
        assert vqhw_reader.read_file(2, 2, 0, 48)[:32] == bytes.fromhex("504C41544520412D3132333435204142") + \
            b"CD" + bytes(14)
        with pytest.raises(vqhw.VqhwError) as too_long:
            vqhw_reader.read_file(2, 2, 40, 9)
        assert too_long.value.code == -4

    def test_buffers_of_the_wrong_size_are_refused_before_the_call(self, vqhw_reader):
        with pytest.raises(ValueError):
            vqhw_reader.write_block(4, bytes(15))
        with pytest.raises(ValueError):
            vqhw_reader.load_key(vqhw.KEY_A, 1, bytes(7))


def test_an_empty_field_raises_no_card(vqhw_reader):
    with pytest.raises(vqhw.NoCardError) as empty:
        vqhw_reader.open_card()
    assert (empty.value.code, empty.value.status, empty.value.message) == (1, -101, "天线范围内无卡")
    assert empty.value.meaning == "no card in the antenna field"


@pytest.mark.vqhw_sim(field=CPU_CARD)
def test_apdus_to_the_cpu_card_and_the_psam(vqhw_reader):
    assert vqhw_reader.open_card().sak == 0x20
    selected = vqhw_reader.cpu_card_apdu(bytes.fromhex("00A4040006A00000099901"))
    assert selected.ok
    balance = vqhw_reader.cpu_card_apdu(bytes.fromhex("805C000204"))
    assert (balance.sw, int.from_bytes(balance.data, "big")) == (0x9000, 25000)
    assert repr(balance) == "ApduReply(data=bytes.fromhex('000061A8'), sw=0x9000)"
    missing = vqhw_reader.cpu_card_apdu(bytes.fromhex("00A40000020099"))
    assert (missing.sw, missing.data, missing.ok) == (0x6A82, b"", False)
    terminal = vqhw_reader.psam_apdu(bytes.fromhex("00B0960006"))
    assert (terminal.data, terminal.sw) == (bytes.fromhex("000000000007"), 0x9000)


def test_connection_failures_name_the_cause(monkeypatch):
    monkeypatch.setenv("VQHW_COM97", "/nonexistent/vqhw-port")
    with pytest.raises(vqhw.VqhwError) as missing:
        vqhw.Reader(97).open()
    assert (missing.value.code, missing.value.status) == (-1, -12)
    assert missing.value.message == "串行口无法打开"
    assert missing.value.detail == "tried /nonexistent/vqhw-port (from VQHW_COM97)"
    assert "VQHW_TRACE" in missing.value.hint and missing.value.hint in str(missing.value)
    monkeypatch.delenv("VQHW_COM98", raising=False)
    with pytest.raises(vqhw.VqhwError) as unmapped:
        vqhw.Reader(98).open()
    assert "/dev/ttyS97 (VQHW_COM98 is not set" in unmapped.value.detail
    with VirtualReader(no_psam=True, port=96) as sim:
        with pytest.raises(vqhw.VqhwError) as no_psam:
            vqhw.Reader(sim.port).open()
    assert no_psam.value.code == -26


def test_one_reader_at_a_time_and_none_after_close(virtual_reader):
    with vqhw.Reader(virtual_reader.port) as reader:
        assert "COM1" in reader.info() and "115200" in reader.info()
        with pytest.raises(vqhw.VqhwError) as second:
            vqhw.Reader(virtual_reader.port).open()
        assert second.value.status == -8
    assert not reader.is_open
    with pytest.raises(vqhw.VqhwError) as closed:
        reader.read_block(4)
    assert (closed.value.code, closed.value.status, closed.value.message) == (-1, -7, "串行口没打开")
    reader.close()  # a second close does nothing


@pytest.mark.vqhw_sim(field=LANE)
def test_card_kind_setting(vqhw_reader):
    vqhw_reader.select_card_type(1)
    try:
        vqhw_reader.open_card()
        vqhw_reader.load_key(vqhw.KEY_A, 1, KEY_A)
        with pytest.raises(vqhw.VqhwError) as kind:
            vqhw_reader.read_file(1, 1, 0, 16)
        assert kind.value.code == -27 and "MIFARE PRO" in kind.value.message
    finally:
        vqhw_reader.select_card_type(2)
    with pytest.raises(ValueError):
        vqhw_reader.select_card_type(3)
