# Lays out the chunks of a WAVE or AIFF file as other programs do, and
# decodes one with Python's own readers:
#   chunk_edit.py FILE insert ID LENGTH  a chunk before the samples (odd: with its pad byte)
#   chunk_edit.py FILE move ID           that chunk to the front of the form
#   chunk_edit.py FILE bits N            N-bit samples in the same containers (low bits cleared)
#   chunk_edit.py FILE decode            the samples as raw signed little-endian integers
import struct
import sys

name, op = sys.argv[1], sys.argv[2]
d = bytearray(open(name, 'rb').read())
riff = d[:4] == b'RIFF'
size = '<I' if riff else '>I'
found = {}
p = 12
while p + 8 <= len(d):
    n = struct.unpack(size, d[p + 4:p + 8])[0]
    found.setdefault(bytes(d[p:p + 4]), (p, n))
    p += 8 + n + (n & 1)

if op == 'decode':
    try:
        import aifc
        import wave
    except ImportError:
        sys.exit(77)
    f = (wave if riff else aifc).open(name, 'rb')
    width, raw = f.getsampwidth(), f.readframes(f.getnframes())
    if riff and width == 1:
        raw = bytes((b - 128) & 0xFF for b in raw)
    elif not riff:
        raw = b''.join(raw[i:i + width][::-1] for i in range(0, len(raw), width))
    sys.stdout.buffer.write(raw)
    sys.exit(0)
if op == 'insert':
    n = int(sys.argv[4])
    at = found[b'data' if riff else b'SSND'][0]
    d[at:at] = sys.argv[3].encode() + struct.pack(size, n) + b'\xa5' * n + b'\0' * (n & 1)
elif op == 'move':
    at, n = found[sys.argv[3].encode()]
    moved = d[at:at + 8 + n + (n & 1)]
    del d[at:at + len(moved)]
    d[12:12] = moved
elif op == 'bits':
    bits = int(sys.argv[3])
    if riff:
        fmt = found[b'fmt '][0] + 8
        channels, align = struct.unpack('<H', d[fmt + 2:fmt + 4])[0], struct.unpack('<H', d[fmt + 12:fmt + 14])[0]
        struct.pack_into('<H', d, fmt + 14, bits)
        width, start, n = align // channels, found[b'data'][0] + 8, found[b'data'][1]
    else:
        comm = found[b'COMM'][0] + 8
        width = (struct.unpack('>H', d[comm + 6:comm + 8])[0] + 7) // 8
        struct.pack_into('>H', d, comm + 6, bits)
        start, n = found[b'SSND'][0] + 16, found[b'SSND'][1] - 8
    low = (1 << (8 * width - bits)) - 1
    for i in range(start, start + n - n % width, width):
        order = 'little' if riff else 'big'
        v = int.from_bytes(d[i:i + width], order) & ~low
        d[i:i + width] = v.to_bytes(width, order)
struct.pack_into(size, d, 4, len(d) - 8)
open(name, 'wb').write(d)
