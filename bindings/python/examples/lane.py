"""A lane's two transactions through the vqhw package, on port 1.

    python3 lane.py entry      # the MIFARE ONE entry record
    python3 lane.py purchase   # the toll from the CPU card's electronic purse

The keys and cards are those of the virtual reader's field files:
`vqhw-sim --field sim/examples/lane.json` for entry (sector 1: key A
A0A1A2A3A4A5 reads, key B B0B1B2B3B4B5 writes), `vqhw-sim --field
sim/examples/cpu-card.json` for purchase (a purse of 250.00 and a PSAM).
Point VQHW_COM1 at the path vqhw-sim prints. Exit code 0 on success;
a failure prints the exception (code, status, message, meaning, hint).
"""

import sys
import time

import vqhw

PORT = 1
AMOUNT = 1500  # the toll in fen (cents): 15.00
TOLL_APPLICATION = bytes.fromhex("A00000099901")
PSAM_PURCHASE_APPLICATION = bytes.fromhex("1001")


def wait_for_card(reader: vqhw.Reader) -> vqhw.Activation:
    """Polls the field until a vehicle's card is there."""
    while True:
        try:
            return reader.open_card()
        except vqhw.NoCardError:
            time.sleep(0.2)


def entry(reader: vqhw.Reader) -> None:
    card = wait_for_card(reader)
    print(f"card {card.serial.hex().upper()}, SAK {card.sak:02X}")
    reader.load_key(vqhw.KEY_A, 1, bytes.fromhex("A0A1A2A3A4A5"))
    print(f"entry record {reader.read_block(4).hex().upper()}")
    # Station 0042, lane 07, entry, vehicle class 1, then the BCD date and time.
    now = time.localtime()
    record = bytes.fromhex(f"0042070101{now.tm_year:04d}{now.tm_mon:02d}{now.tm_mday:02d}"
                           f"{now.tm_hour:02d}{now.tm_min:02d}{now.tm_sec:02d}").ljust(16, b"\0")
    reader.load_key(vqhw.KEY_B, 1, bytes.fromhex("B0B1B2B3B4B5"))
    reader.write_block(5, record)
    assert reader.read_block(5) == record, "the record read back differs"
    print(f"written to block 5 {record.hex().upper()}")
    reader.close_card()


def apdu(reply: vqhw.ApduReply, what: str) -> bytes:
    """The data of a reply that must end in 90 00."""
    if not reply.ok:
        raise RuntimeError(f"{what}: the card answered SW {reply.sw:04X}")
    return reply.data


def psam(reader: vqhw.Reader, command: bytes, what: str) -> bytes:
    """A PSAM command; a PSAM on contacts answers 61 xx, fetched with GET RESPONSE."""
    reply = reader.psam_apdu(command)
    if reply.sw >> 8 == 0x61:
        reply = reader.psam_apdu(bytes([0x00, 0xC0, 0x00, 0x00, reply.sw & 0xFF]))
    return apdu(reply, what)


def purchase(reader: vqhw.Reader) -> None:
    card = wait_for_card(reader)
    print(f"card {card.serial.hex().upper()}, SAK {card.sak:02X}")
    cpu = reader.cpu_card_apdu
    apdu(cpu(bytes.fromhex("00A4040006") + TOLL_APPLICATION), "SELECT the toll application")
    issuer = apdu(cpu(bytes.fromhex("00B0950000")), "READ BINARY EF 0015")  # 30 bytes
    terminal = psam(reader, bytes.fromhex("00B0960006"), "READ BINARY the terminal number")  # 6 bytes
    psam(reader, bytes.fromhex("00A4000002") + PSAM_PURCHASE_APPLICATION, "SELECT the PSAM's purchase application")

    # INITIALIZE FOR PURCHASE: key index 01, amount (4), terminal number (6).
    start = apdu(cpu(bytes.fromhex("805001020B01") + AMOUNT.to_bytes(4, "big") + terminal + b"\x0F"),
                 "INITIALIZE FOR PURCHASE")
    balance = int.from_bytes(start[0:4], "big")      # 4 balance
    counter = start[4:6]                             # 2 offline transaction counter
    key_version, algorithm = start[9], start[10]     # after 3 overdraft limit
    random = start[11:15]                            # 4 pseudo-random number
    print(f"balance {balance / 100:.2f}, counter {int.from_bytes(counter, 'big')}")

    # MAC1 from the PSAM: 36 bytes of input.
    now = time.localtime()
    date = bytes.fromhex(f"{now.tm_year:04d}{now.tm_mon:02d}{now.tm_mday:02d}")   # 4, BCD
    clock = bytes.fromhex(f"{now.tm_hour:02d}{now.tm_min:02d}{now.tm_sec:02d}")   # 3, BCD
    mac1_input = (random + counter + AMOUNT.to_bytes(4, "big") + b"\x06"           # 06: purchase
                  + date + clock + bytes([key_version, algorithm])
                  + issuer[12:20] + issuer[0:8])  # application serial's last 8, issuer identifier
    assert len(mac1_input) == 36
    mac1_reply = psam(reader, bytes.fromhex("8070000024") + mac1_input + b"\x08", "MAC1")
    terminal_serial, mac1 = mac1_reply[0:4], mac1_reply[4:8]

    # DEBIT FOR PURCHASE: terminal serial (4), date (4), time (3), MAC1 (4).
    debit = apdu(cpu(bytes.fromhex("805401000F") + terminal_serial + date + clock + mac1 + b"\x08"),
                 "DEBIT FOR PURCHASE")
    tac, mac2 = debit[0:4], debit[4:8]
    psam(reader, bytes.fromhex("8072000004") + mac2, "the PSAM's check of MAC2")
    after = int.from_bytes(apdu(cpu(bytes.fromhex("805C000204")), "GET BALANCE"), "big")
    print(f"paid {AMOUNT / 100:.2f}: balance {after / 100:.2f}, TAC {tac.hex().upper()}")
    reader.close_card()


def main() -> int:
    transaction = {"entry": entry, "purchase": purchase}.get(sys.argv[1] if len(sys.argv) > 1 else "")
    if transaction is None:
        print(__doc__, file=sys.stderr)
        return 64
    try:
        with vqhw.Reader(PORT) as reader:
            transaction(reader)
    except vqhw.VqhwError as error:
        print(f"failed: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
