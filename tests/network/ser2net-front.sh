#!/usr/bin/env bash
# Runs ser2net, a real serial device server, in the foreground in front of
# one serial device (a virtual reader's pty): telnet with the COM-PORT
# option on one loopback port, raw TCP on another. The caller stops it
# with SIGTERM.
#
# Usage: ser2net-front.sh DEVICE RFC2217_PORT RAW_PORT WORK_DIR [chardelay|nochardelay]
#   chardelay    ser2net's default: it holds the device's bytes about two
#                character times before it sends them on
#   nochardelay  sends them at once
set -euo pipefail
device=$1 rfc2217_port=$2 raw_port=$3 work=$4 delay=${5:-chardelay}
case $delay in
  chardelay) chardelay=true ;;
  nochardelay) chardelay=false ;;
  *) echo "ser2net-front.sh: the fifth argument is chardelay or nochardelay" >&2; exit 64 ;;
esac
mkdir -p "$work"
cat > "$work/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc2217_port
  connector: serialdev,$device,115200n81,local
  options:
    chardelay: $chardelay
    kickolduser: true
connection: &raw
  accepter: tcp,127.0.0.1,$raw_port
  connector: serialdev,$device,115200n81,local
  options:
    chardelay: $chardelay
    kickolduser: true
YAML
exec ser2net -n -d -c "$work/ser2net.yaml" -P "$work/ser2net.pid"
