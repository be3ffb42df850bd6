#!/usr/bin/env python3
"""Waits for a DHCP server to start answering, posing as a relay agent.

Runs inside the client namespace that compare.py made. It binds the relay port on the client
address, sends one relayed DISCOVER every INTERVAL ms to the server address, and prints the
CLOCK_MONOTONIC time (seconds) at which the first OFFER arrived, or "none" when no OFFER came
within the limit. The offered address is released again at once. The clock is shared by all namespaces, so the caller can subtract the time at
which it started the server. Bounded: at most LIMIT seconds and LIMIT*1000/INTERVAL packets.
"""
import argparse
import os
import select
import socket
import struct
import time

DISCOVER, OFFER, RELEASE = 1, 2, 7


def message(kind, xid, giaddr, mac, ciaddr=bytes(4), options=b""):
    # op, htype, hlen, hops; xid; secs, flags; ciaddr, yiaddr, siaddr, giaddr; chaddr (16 bytes)
    head = struct.pack("!BBBBIHH4s4s4s4s16s", 1, 1, 6, 1, xid, 0, 0, ciaddr, bytes(4),
                       bytes(4), socket.inet_aton(giaddr), mac + bytes(10))
    body = head + bytes(64 + 128) + bytes([99, 130, 83, 99, 53, 1, kind]) + options + b"\xff"
    return body.ljust(300, b"\0")


def option(packet, wanted):
    # Options start after the 236-byte fixed part and the 4-byte cookie.
    i = 240
    while i < len(packet):
        code = packet[i]
        if code == 255:
            break
        if code == 0:
            i += 1
            continue
        if i + 1 >= len(packet):
            break
        length = packet[i + 1]
        if code == wanted:
            return packet[i + 2:i + 2 + length]
        i += 2 + length
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--local", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--interval-ms", type=float, default=2.0)
    parser.add_argument("--limit", type=float, default=15.0)
    args = parser.parse_args()

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((args.local, 67))
    sock.setblocking(False)
    mac = bytes([0x02, 0x51, 0x00, 0x00]) + os.getpid().to_bytes(4, "big")[-2:]
    deadline = time.monotonic() + args.limit
    max_packets = int(args.limit * 1000 / args.interval_ms) + 1
    sent = 0
    xid = 0x51000000
    while sent < max_packets and time.monotonic() < deadline:
        try:
            sock.sendto(message(DISCOVER, xid + sent, args.local, mac), (args.server, 67))
        except OSError:
            pass  # nothing listens yet: the port-unreachable answer is expected
        sent += 1
        wait_until = time.monotonic() + args.interval_ms / 1000.0
        while True:
            left = wait_until - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([sock], [], [], left)
            if not ready:
                break
            try:
                packet = sock.recv(2048)
            except OSError:
                continue
            if option(packet, 53) == bytes([OFFER]) and len(packet) >= 240:
                answered = time.monotonic()
                # Give the offer back at once, so no server keeps an address for the prober
                # while the load that follows wants the whole pool.
                server_id = option(packet, 54) or socket.inet_aton(args.server)
                release = message(RELEASE, xid + sent, args.local, mac, packet[16:20],
                                  b"\x36\x04" + server_id[:4])
                try:
                    sock.sendto(release, (args.server, 67))
                except OSError:
                    pass
                print("%.6f" % answered, flush=True)
                return 0
    print("none", flush=True)
    return 1


if __name__ == "__main__":
    raise SystemExit(main())
