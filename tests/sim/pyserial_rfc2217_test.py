"""pyserial's RFC 2217 client against vqhw-sim --listen rfc2217://: it
negotiates, sets the line and drives DTR and RTS, purges, reads the modem
lines, and gets the reader's answer to a probe byte for byte.

    pyserial_rfc2217_test.py VQHW_SIM
"""

import subprocess
import sys

try:
    import serial
except ImportError:
    print("python3-serial is not installed")
    sys.exit(77)  # skipped


def frame(sequence, command, data):
    body = bytes([0xFF, sequence, command, len(data)]) + bytes(data)
    check = 0
    for b in body:
        check ^= b
    return body + bytes([check])


def main(simulator):
    sim = subprocess.Popen([simulator, "--timing", "instant", "--listen", "rfc2217://127.0.0.1:0"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        url = sim.stdout.readline().strip()
        assert url.startswith("rfc2217://127.0.0.1:"), url
        port = serial.serial_for_url(url, baudrate=115200, timeout=2)
        port.dtr = False
        port.rts = False
        port.dtr = True
        port.reset_input_buffer()
        assert port.cts and port.dsr and port.cd, "the modem state the reader tells"
        port.write(frame(3, 0x70, [0xAA, 0xAA, 0xAA]))
        answer = port.read(5)
        assert answer == frame(3, 0x00, []), answer.hex()
        port.baudrate = 9600  # acknowledged, or pyserial raises
        port.write(frame(4, 0x73, []))
        answer = port.read(5)
        assert answer == frame(4, 0x00, []), answer.hex()
        port.close()
    finally:
        sim.terminate()
        _, errors = sim.communicate(timeout=5)
    assert sim.returncode == 0, (sim.returncode, errors)
    assert "connected" in errors and "left" in errors, errors
    print("pyserial", serial.VERSION, "answered over", url)


if __name__ == "__main__":
    main(sys.argv[1])
