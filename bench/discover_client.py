#!/usr/bin/env python3
"""The discovery a user would otherwise script: one search, every answer until
250 ms pass without one, printed as JSON. Used by cli_bench as the yardstick."""
import json
import socket
import sys

# It broadcasts: only ever from the private test network that cli_bench makes
# (unshare(CLONE_NEWNET) and a veth pair),
# where every interface but loopback is one of its veth links ("nb-...").
if any(name != "lo" and not name.startswith("nb-") for _, name in socket.if_nameindex()):
    sys.exit("discover_client.py: not in the private test network; refusing to broadcast")

wait = 0.25
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("0.0.0.0", 8444))
sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
sock.sendto(b"SRCH", ("255.255.255.255", 1444))
sock.settimeout(wait)
stations, seen = [], set()
while True:
    try:
        data = sock.recv(512)
    except socket.timeout:
        break
    if not data:
        break
    data = data.ljust(26, b"\0")
    ip = lambda b: ".".join(str(x) for x in b)
    mac = ".".join("%02X" % x for x in data[16:22])
    if mac in seen:
        continue
    seen.add(mac)
    stations.append({"id": data[0:4].decode("latin-1"), "ip": ip(data[12:16]), "gateway": ip(data[4:8]),
                     "netmask": ip(data[8:12]), "dns": ip(data[22:26]), "mac": mac})
sock.close()
json.dump(stations, sys.stdout, indent=2)
print()
