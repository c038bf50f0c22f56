#!/usr/bin/env python3
"""Writes the error tests' message table: a MESSAGETABLE resource file with
one text, "Test table <id>\\r\\n", for every 32-bit message id given.

usage: make_message_table.py OUT.bin ID...
"""
import struct
import sys

out, ids = sys.argv[1], sorted(int(i, 0) for i in sys.argv[2:])
entries = []
for message_id in ids:
    text = f"Test table {message_id}\r\n\0".encode("utf-16-le")
    text += b"\0" * (-len(text) % 4)
    entries.append(struct.pack("<HH", 4 + len(text), 1) + text)  # 1: Unicode

# One block per id keeps the table valid for ids that are far apart.
header_size = 4 + 12 * len(ids)
blocks, data, offset = [], b"", header_size
for message_id, entry in zip(ids, entries):
    blocks.append(struct.pack("<III", message_id, message_id, offset))
    data += entry
    offset += len(entry)
with open(out, "wb") as f:
    f.write(struct.pack("<I", len(ids)) + b"".join(blocks) + data)
