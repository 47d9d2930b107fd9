#!/usr/bin/env python3
"""A lane program on the Linux library (ctypes), for the tests of vqhw-sim.exe
under Wine: it holds port 1, which VQHW_COM1 points at the Windows virtual
reader, while the virtual reader is told things through `vqhw-sim.exe ctl`.

Usage: sim_lane.py LIBRARY CASE [CARD_FILE]
  LIBRARY    libVqhwLib.so.0 of the native build
  CASE       present-remove: the card leaves and another enters (ctl remove,
             ctl present CARD_FILE) while the lane holds its port and polls;
             paced-read: every block read takes at least its time on the line
             and in the card (ctl timing), and the quickest at most 5 ms
             more (on a loaded machine a read may wait for the processor)
Environment: VQHW_COM1 the reader's URL; SIM_CTL the command that sends one
control request to that reader (its words follow it).
Prints a line a step; exits 1 at the first that fails."""

import ctypes
import os
import shlex
import subprocess
import sys
import time

KEY_A = bytes.fromhex("A0A1A2A3A4A5")
LANE_CARD = "3A5F0C21"
SLACK_MS = 5.0  # what a read may take beyond its line and card time
READS = 4


def fail(text):
    print("FAILED: " + text)
    sys.exit(1)


def ctl(*words):
    command = shlex.split(os.environ["SIM_CTL"]) + list(words)
    done = subprocess.run(command, capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        fail("ctl %s: exit %d: %s%s" % (" ".join(words), done.returncode, done.stdout, done.stderr))
    return done.stdout.replace("\r", "")


def activate(library):
    record = ctypes.create_string_buffer(5)
    result = library.opencard(record)
    return result, record.raw[:4].hex().upper()


def present_remove(library, card_file):
    result, serial = activate(library)
    if result != 0 or serial != LANE_CARD:
        fail("opencard with the lane's card: %d %s" % (result, serial))
    print("card %s in the field" % serial)
    ctl("remove")
    result, _ = activate(library)
    if result != 1:
        fail("opencard after ctl remove: %d, not 1 (no card)" % result)
    print("ctl remove: opencard -> 1, no card")
    ctl("present", card_file)
    result, serial = activate(library)
    if result != 0 or serial == LANE_CARD:
        fail("opencard after ctl present: %d %s" % (result, serial))
    print("ctl present: opencard -> 0, card %s" % serial)


def timing():
    words = ctl("timing").split()  # ok line US us card US us
    return int(words[2]), int(words[5])


def paced_read(library):
    result, serial = activate(library)
    if result != 0:
        fail("opencard: %d" % result)
    if library.loadkey(0, 1, KEY_A) != 0:
        fail("loadkey")
    block = ctypes.create_string_buffer(16)
    beyond = []
    line_before, card_before = timing()
    for _ in range(READS):
        started = time.perf_counter()
        result = library.readblock(0, 4, block)
        took_ms = (time.perf_counter() - started) * 1000
        line_after, card_after = timing()  # the line's and the card's time so far: this read's since the last
        if result != 0:
            fail("readblock: %d" % result)
        due_ms = (line_after - line_before + card_after - card_before) / 1000
        print("block read: %.2f ms, its line and card time %.2f ms" % (took_ms, due_ms))
        if took_ms < due_ms:
            fail("the read took %.2f ms, less than its %.2f ms" % (took_ms, due_ms))
        beyond.append(took_ms - due_ms)
        line_before, card_before = line_after, card_after
    if min(beyond) > SLACK_MS:
        fail("every read took more than %.1f ms beyond its time: %s" % (SLACK_MS, beyond))
    print("paced: %d block reads, each at least its time, %.2f to %.2f ms beyond it"
          % (READS, min(beyond), max(beyond)))


def main():
    library = ctypes.CDLL(sys.argv[1])
    case = sys.argv[2]
    result = library.open_reader(1, 0)
    if result != 0:
        fail("open_reader: %d" % result)
    try:
        if case == "present-remove":
            present_remove(library, sys.argv[3])
        elif case == "paced-read":
            paced_read(library)
        else:
            fail("no case " + case)
    finally:
        library.close_reader()


if __name__ == "__main__":
    main()
