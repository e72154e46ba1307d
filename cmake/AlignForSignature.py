"""AlignForSignature.py PROGRAM: pads a Windows program with zeros to a
multiple of 8 bytes and writes its header checksum, as osslsigncode does
before it appends a signature, so that a signed program with its signature
removed is this file again, byte for byte."""
import struct
import sys

path = sys.argv[1]
with open(path, "rb") as f:
    data = bytearray(f.read())
data += bytes(-len(data) % 8)
checksum = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64  # in the optional header
struct.pack_into("<I", data, checksum, 0)
total = 0
for (word,) in struct.iter_unpack("<H", data):
    total += word
    total = (total & 0xFFFF) + (total >> 16)
struct.pack_into("<I", data, checksum, (total + len(data)) & 0xFFFFFFFF)
with open(path, "wb") as f:
    f.write(data)
