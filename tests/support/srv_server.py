#!/usr/bin/env python3
# srv_server.py ADDRESS PORT RECORDS: a DNS server on loopback UDP. RECORDS has lines
# "NAME PRIORITY WEIGHT PORT TARGET" (SRV) or "NAME A ADDRESS"; other queries get no answer records.
import socket
import struct
import sys


def name_bytes(name):
    return b"".join(bytes([len(l)]) + l.encode() for l in name.rstrip(".").split(".") if l) + b"\0"


def main():
    address, port, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    records = {}
    for fields in (line.split() for line in open(path)):
        if fields[1] == "A":
            data, kind = socket.inet_aton(fields[2]), 1
        else:
            data, kind = struct.pack(">HHH", *map(int, fields[1:4])) + name_bytes(fields[4]), 33
        records.setdefault((fields[0].lower().rstrip("."), kind), []).append(data)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, port))
    print("ready", flush=True)
    while True:
        query, peer = sock.recvfrom(512)
        if len(query) < 17:
            continue
        labels, i = [], 12
        while i < len(query) and query[i]:
            labels.append(query[i + 1:i + 1 + query[i]].decode(errors="replace"))
            i += 1 + query[i]
        qtype = struct.unpack(">H", query[i + 1:i + 3])[0]
        found = records.get((".".join(labels).lower(), qtype), [])
        answers = b"".join(b"\xc0\x0c" + struct.pack(">HHIH", qtype, 1, 60, len(d)) + d
                           for d in found)
        header = query[:2] + b"\x81\x80" + struct.pack(">HHHH", 1, len(found), 0, 0)
        sock.sendto(header + query[12:i + 5] + answers, peer)


if __name__ == "__main__":
    main()
