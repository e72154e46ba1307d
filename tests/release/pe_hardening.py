#!/usr/bin/env python3
"""pe_hardening.py PROGRAM: the header properties a binary analyzer asks of a
64-bit Windows program; prints each one missing, exit status 1 if any is."""
import struct
import sys

data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional_size, flags = struct.unpack_from("<H12xHH", data, pe + 6)
optional = pe + 24
magic, = struct.unpack_from("<H", data, optional)
base, = struct.unpack_from("<Q", data, optional + 24)
dll, = struct.unpack_from("<H", data, optional + 70)
relocations, = struct.unpack_from("<4xI", data, optional + 112 + 5 * 8)
missing = []
if magic != 0x20B:
    missing.append("not a 64-bit program")
if not dll & 0x40 or flags & 0x1 or relocations == 0:
    missing.append("no ASLR with its relocations (DYNAMIC_BASE, a .reloc kept)")
if not dll & 0x20:
    missing.append("no high-entropy addresses (HIGH_ENTROPY_VA)")
if base <= 0xFFFFFFFF:
    missing.append(f"image base {base:#x} below 4 GB")
if not dll & 0x100:
    missing.append("no NX (NX_COMPAT)")
if not dll & 0x8000:
    missing.append("not terminal-server aware (TERMINAL_SERVER_AWARE)")
for n in range(sections):
    name, characteristics = struct.unpack_from("<8s28xI", data, optional + optional_size + 40 * n)
    name = name.rstrip(b"\0").decode()
    if characteristics & 0x80000000 and characteristics & 0x20000000:
        missing.append(f"section {name} both writable and executable")
    if characteristics & 0x80000000 and characteristics & 0x10000000:
        missing.append(f"section {name} writable and shared")
for line in missing:
    print(line)
sys.exit(1 if missing else 0)
