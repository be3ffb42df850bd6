#!/usr/bin/env python3
"""Forged requests, as a hostile machine on the segment sends them. Run inside a test namespace.

  decline SERVER MAC ADDRESS          a DHCPDECLINE of ADDRESS (ciaddr and option 50) from MAC
  discover SERVER MAC GIADDR SECONDS  a DISCOVER with GIADDR, then listens on port 67 (where a
                                      relayed answer goes, also one broadcast) for SECONDS
Exit 0 when sent (decline) or answered (discover, which prints the answer), 1 when no answer came
within SECONDS, 2 on a usage error."""
import os
import socket
import struct
import sys
import time


def request(kind, mac, xid, ciaddr="0.0.0.0", giaddr="0.0.0.0", options=b""):
    head = struct.pack("!BBBBIHH4s4s4s4s", 1, 1, 6, 0, xid, 0, 0, socket.inet_aton(ciaddr),
                       bytes(4), bytes(4), socket.inet_aton(giaddr))
    chaddr = mac + bytes(16 - len(mac))
    opts = bytes([99, 130, 83, 99, 53, 1, kind]) + options + bytes([255])
    return (head + chaddr + bytes(64 + 128) + opts).ljust(300, b"\0")


def decline(server, mac, address):
    options = bytes([50, 4]) + socket.inet_aton(address) + bytes([54, 4]) + socket.inet_aton(server)
    packet = request(4, mac, struct.unpack("!I", os.urandom(4))[0], ciaddr=address, options=options)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.sendto(packet, (server, 67))
    return 0


def discover(server, mac, giaddr, seconds):
    xid = struct.unpack("!I", os.urandom(4))[0]
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        sock.bind(("", 67))
        sock.sendto(request(1, mac, xid, giaddr=giaddr), (server, 67))
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                print("no answer")
                return 1
            sock.settimeout(left)
            try:
                reply, source = sock.recvfrom(2048)
            except socket.timeout:
                continue
            # Only the answer to this request counts; anything else on the port is not ours.
            if len(reply) < 240 or reply[0] != 2 or struct.unpack("!I", reply[4:8])[0] != xid:
                continue
            print(f"from={source[0]}:{source[1]} yiaddr={socket.inet_ntoa(reply[16:20])} "
                  f"giaddr={socket.inet_ntoa(reply[24:28])}")
            return 0


def main(args):
    if len(args) == 4 and args[0] == "decline":
        return decline(args[1], bytes.fromhex(args[2].replace(":", "")), args[3])
    if len(args) == 5 and args[0] == "discover":
        return discover(args[1], bytes.fromhex(args[2].replace(":", "")), args[3], float(args[4]))
    print(__doc__, file=sys.stderr)
    return 2


sys.exit(main(sys.argv[1:]))
