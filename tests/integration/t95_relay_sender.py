#!/usr/bin/env python3
"""Poses as a relay agent: sends one DISCOVER with giaddr set to the server and waits on port 67
for the answer. Prints what came back; exit 0 when it is an OFFER to the relay with giaddr kept."""
import socket
import struct
import sys

server, relay, mac = sys.argv[1], sys.argv[2], bytes.fromhex(sys.argv[3].replace(":", ""))

def discover():
    head = struct.pack("!BBBBIHH4s4s4s4s", 1, 1, 6, 1, 0x95959595, 0, 0,
                       bytes(4), bytes(4), bytes(4), socket.inet_aton(relay))
    chaddr = mac + bytes(16 - len(mac))
    options = bytes([99, 130, 83, 99, 53, 1, 1, 255])
    return (head + chaddr + bytes(64 + 128) + options).ljust(300, b"\0")

def option(reply, code):
    i = 240
    while i < len(reply):
        c = reply[i]
        if c == 255:
            break
        if c == 0:
            i += 1
            continue
        if i + 1 >= len(reply):
            break
        n = reply[i + 1]
        if c == code:
            return reply[i + 2:i + 2 + n]
        i += 2 + n
    return None

sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
sock.bind((relay, 67))
sock.settimeout(5)
sock.sendto(discover(), (server, 67))
try:
    reply, source = sock.recvfrom(2048)
except socket.timeout:
    print("no answer on port 67")
    sys.exit(1)
yiaddr = socket.inet_ntoa(reply[16:20])
giaddr = socket.inet_ntoa(reply[24:28])
kind = option(reply, 53)
print(f"from={source[0]}:{source[1]} op={reply[0]} xid={reply[4:8].hex()} "
      f"yiaddr={yiaddr} giaddr={giaddr} type={kind[0] if kind else None}")
ok = (reply[0] == 2 and reply[4:8] == bytes.fromhex("95959595") and giaddr == relay
      and kind == b"\x02" and source[1] == 67)
sys.exit(0 if ok else 1)
