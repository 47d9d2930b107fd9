#!/usr/bin/env python3
"""The panel of vqhw-sim.exe under Wine, from the Linux side: the page and
the readers are served, a foreign origin and a rebinding name are refused,
a card removed through the API is gone, and the frames of a lane's
commands reach the event stream.

Usage: panel_check.py PANEL_URL READERS LANE_URL VQHW
  PANEL_URL  what vqhw-sim.exe printed ("panel at http://127.0.0.1:N/")
  READERS    how many readers it serves
  LANE_URL   one reader's URL; VQHW the Linux tool, which reads a block there
Prints a line a step; exits 1 at the first that fails."""

import http.client
import json
import os
import subprocess
import sys
import threading
import urllib.parse


def fail(text):
    print("FAILED: " + text)
    sys.exit(1)


def request(url, method, path, body=None, headers=None):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=10)
    connection.request(method, path, body=body, headers=headers or {})
    answer = connection.getresponse()
    data = answer.read()
    connection.close()
    return answer.status, data


def main(panel, readers, lane_url, vqhw):
    status, page = request(panel, "GET", "/")
    if status != 200 or b"<" not in page:
        fail("the page: %d" % status)
    status, data = request(panel, "GET", "/api/readers")
    served = json.loads(data)["readers"]
    if status != 200 or len(served) != int(readers):
        fail("the readers: %d, %s" % (status, data[:200]))
    print("the page and %d readers are served" % len(served))

    reader = next(r["number"] for r in served if r["port"] == lane_url)
    control = "/api/readers/%d/control" % reader
    body = json.dumps({"request": "remove"})
    status, _ = request(panel, "POST", control, body,
                        {"Content-Type": "application/json", "Origin": "http://attacker.test"})
    if status != 403:
        fail("a foreign origin got %d" % status)
    host = urllib.parse.urlsplit(panel).netloc
    status, _ = request(panel, "POST", control, body,
                        {"Content-Type": "application/json", "Host": "rebind.attacker.test:" + host.split(":")[1]})
    if status != 403:
        fail("a rebinding name got %d" % status)
    print("a foreign origin and a rebinding name are refused")

    # The event stream, read in a thread while the Linux tool reads a block.
    parts = urllib.parse.urlsplit(panel)
    stream = http.client.HTTPConnection(parts.hostname, parts.port, timeout=10)
    stream.request("GET", "/api/events")
    events = stream.getresponse()
    seen = []

    def read_events():
        while not any('"name":"read block"' in line for line in seen):
            line = events.fp.readline().decode(errors="replace")
            if not line:
                return
            seen.append(line)

    reading = threading.Thread(target=read_events, daemon=True)
    reading.start()
    env = dict(os.environ, VQHW_COM1=lane_url)
    subprocess.run([vqhw, "--port", "1", "read", "4", "-k", "A0A1A2A3A4A5"], env=env, check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
    reading.join(5)
    if not any('"name":"read block"' in line for line in seen):
        fail("the lane's block read did not reach the event stream")
    print("the lane's frames reach the event stream")

    status, data = request(panel, "POST", control, body, {"Content-Type": "application/json"})
    status_after, after = request(panel, "GET", "/api/readers/%d" % reader)
    if status != 200 or json.loads(after)["cards"]:
        fail("remove through the API: %d %s, then %s" % (status, data, after[:200]))
    print("a card removed through the API left the field")


if __name__ == "__main__":
    main(*sys.argv[1:])
