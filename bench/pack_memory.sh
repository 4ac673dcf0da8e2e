#!/usr/bin/env bash
# Peak resident memory and time of `korvo pack` of 1,000 pictures of
# 640 x 480 (about 308 MB of archive; the goal is at most 128 MiB whatever
# the archive's size), then of hostile inputs: a 522 KB PNG that claims
# 65535 x 65519 pixels, /dev/zero and a FIFO without a writer, each of which
# must be refused at once. Usage: bench/pack_memory.sh KORVO [COUNT]
set -euo pipefail
korvo="$(realpath "$1")"
count="${2:-1000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$count" <<'PY'
import struct, sys, zlib
folder, count = sys.argv[1], int(sys.argv[2])
width, height = 640, 480
head = struct.pack("<II", width, height) + bytes(
    b for i in range(256) for b in (i, 255 - i, i // 2, 0))
for k in range(count):
    rows = bytes((x + y + k) & 0xFF for y in range(1) for x in range(width)) * height
    with open(f"{folder}/p{k:04d}.QKZ", "wb") as f:
        f.write(head + rows)
# The PNG bomb: 1-bit indexed, every row zeros.
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
w, h = 65535, 65519
row = bytes((w + 7) // 8 + 1) * 64
c = zlib.compressobj(9)
idat = b"".join(c.compress(row) for _ in range(h // 64)) + c.compress(bytes((w + 7) // 8 + 1) * (h % 64)) + c.flush()
with open(f"{folder}/bomb.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 1, 3, 0, 0, 0)) +
            chunk(b"PLTE", bytes(6)) + chunk(b"IDAT", idat) + chunk(b"IEND", b""))
PY
mkfifo "$work/fifo"

# One line: what was measured, peak memory, time, exit status.
measure() {
  local title="$1"; shift
  local status=0
  /usr/bin/time -o "$work/time" -f '%M %e' timeout 60 "$@" >/dev/null 2>"$work/err" || status=$?
  read -r kilobytes seconds < <(tail -n 1 "$work/time")
  printf '%-40s %8.1f MiB %7.2f s  exit %d  %s\n' "$title" "$(awk "BEGIN { print $kilobytes / 1024 }")" \
    "$seconds" "$status" "$(grep -v 'Command exited' "$work/err" | head -1)"
}

echo "pack: goal a peak of at most 128 MiB, whatever the archive's size"
measure "pack offset-table, $count x 640x480" "$korvo" pack --layout offset-table -o "$work/o.cg" "$work"/p*.QKZ
echo "  archive: $(stat -c %s "$work/o.cg") bytes"
rm -f "$work/o.cg"
measure "pack named-entry, $count x 640x480" "$korvo" pack --layout named-entry -o "$work/n.cg" "$work"/p*.QKZ
rm -f "$work/n.cg"
# Hostile inputs under 8 GiB of address space, so that a korvo that reads
# /dev/zero until memory runs out cannot take the machine with it.
limited=(bash -c 'ulimit -v 8388608; exec "$@"' limited)
measure "pack PNG bomb (65535x65519, 1 bit)" "${limited[@]}" "$korvo" pack --layout offset-table -o "$work/b.cg" "$work/bomb.png"
measure "pack /dev/zero" "${limited[@]}" "$korvo" pack --layout offset-table -o "$work/z.cg" /dev/zero
measure "pack FIFO" "${limited[@]}" "$korvo" pack --layout offset-table -o "$work/f.cg" "$work/fifo"
