#!/usr/bin/env bash
# Whole-process figures of the built corvane against steghide (when
# installed), from paired runs: builds nothing, makes its own inputs from the
# repository's photos, prints a table.
#   bench/compare.sh [runs]        (default 5 paired runs; medians)
# CORVANE (default build/bin/corvane) names the program to measure;
# CORVANE_BIG=0 leaves out the 48-megapixel rows.
set -euo pipefail
cd "$(dirname "$0")/.."
corvane="${CORVANE:-build/bin/corvane}"
case "$corvane" in /*) ;; *) corvane="$PWD/$corvane" ;; esac
if [ ! -x "$corvane" ]; then
  echo "bench/compare.sh: $corvane is not built (scripts/build.sh builds it)" >&2
  exit 1
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-compare-XXXXXX")"
# The used-key ledger of these runs stays in the work folder, not the user's.
export XDG_DATA_HOME="$work/data"
trap 'rm -rf "$work"' EXIT
python3 - "$corvane" "$work" "${1:-5}" "${CORVANE_BIG:-1}" testdata/photos/coffee.png <<'PYTHON'
import base64, os, random, resource, shutil, statistics, struct, subprocess, sys, time, zlib

corvane, work, runs, big, photo = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4] == "1", sys.argv[5]

def read_png(path):
    """An 8-bit RGB, non-interlaced PNG as rows of bytes."""
    data = open(path, "rb").read()
    pos, idat, w, h = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour == 2, "an 8-bit RGB photo is needed"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), 3 * w, [], bytearray(3 * w)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return w, h, rows

def mirrored_bmp(path, w, h, source):
    """The photo mirrored edge to edge to w x h, as a 24-bit BMP: the camera's
    own texture at any size, which resampling would smooth away. The two low
    bits of every value are then redrawn, as a sensor's noise does, so that
    the mirrored copies are not byte for byte the same."""
    sw, sh, rows = source
    noise = random.Random(1600)
    low_bits = int.from_bytes(b"\x03" * (3 * w), "little")
    flipped = [b"".join(r[3 * x:3 * x + 3] for x in range(sw - 1, -1, -1)) for r in rows]
    stride = (3 * w + 3) & ~3
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + stride * h, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, stride * h, 2835, 2835, 0, 0))
        for y in range(h - 1, -1, -1):
            ty, sy = divmod(y, sh)
            if ty % 2: sy = sh - 1 - sy
            line = bytearray()
            for tx in range((w + sw - 1) // sw):
                row = flipped[sy] if tx % 2 else rows[sy]
                line += row
            line = line[:3 * w]
            line[0::3], line[2::3] = line[2::3], line[0::3]  # RGB -> BGR
            grain = int.from_bytes(noise.randbytes(3 * w), "little") & low_bits
            line = (int.from_bytes(line, "little") ^ grain).to_bytes(3 * w, "little")
            f.write(line + b"\0" * (stride - 3 * w))

def enlarged_bmp(path, w, h, source):
    """The photo enlarged to w x h with bilinear interpolation, as a 24-bit
    BMP: smooth, where zlib's best compression works hardest."""
    sw, sh, rows = source
    def axis(n, sn):  # left index and weight (0-256) of each output position
        out = []
        for i in range(n):
            f = max(0.0, (i + 0.5) * sn / n - 0.5)
            j = min(int(f), sn - 2)
            out.append((j, int(round((f - j) * 256))))
        return out
    xs, ys = axis(w, sw), axis(h, sh)
    cols = [(3 * j + c, wgt) for j, wgt in xs for c in (2, 1, 0)]  # BGR
    wide = [bytes((r[i] * (256 - t) + r[i + 3] * t) >> 8 for i, t in cols) for r in rows]
    def lanes(b):  # each byte in a 16-bit lane of one big integer
        z = bytearray(2 * len(b)); z[0::2] = b
        return int.from_bytes(z, "little")
    packed = [lanes(r) for r in wide]
    stride = (3 * w + 3) & ~3
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + stride * h, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, stride * h, 2835, 2835, 0, 0))
        for y in range(h - 1, -1, -1):
            j, t = ys[y]
            mixed = (packed[j] * (256 - t) + packed[j + 1] * t).to_bytes(6 * w + 2, "little")
            f.write(mixed[1:6 * w:2] + b"\0" * (stride - 3 * w))

def message(n):
    words = ["meet", "the", "caf\u00e9", "at", "noon", "bring", "key", "river", "\u043f\u0440\u0438\u0432\u0435\u0442",
             "north", "gate", "seven", "quietly", "papers", "train", "\u2615", "window", "Tuesday", "blue", "door"]
    rng, text = random.Random(2000), ""
    while len(text) < n:
        text += rng.choice(words) + (". " if rng.randrange(9) == 0 else " ")
    return text[:n]

def run(argv):
    """Seconds and peak resident bytes (the largest process of the run)."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    actions = [(os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)]
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.perf_counter() - start
    os.close(devnull)
    if status != 0:
        sys.exit("failed: " + " ".join(argv))
    return seconds, usage.ru_maxrss * 1024

def fresh(path):
    if os.path.exists(path): os.remove(path)
    return path

source = read_png(photo)
text = message(2000)
open(os.path.join(work, "message.txt"), "w", encoding="utf-8").write(text)
msg = os.path.join(work, "message.txt")
steghide = shutil.which("steghide")

def key(w, h, name):
    subprocess.run([corvane, "keygen", "--root", work, "--series", name, "--naming", "number", "--width", str(w),
                    "--height", str(h)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(work, "Keys", name, "00001.png")

def encrypt(carrier, k, out):
    return [corvane, "encrypt", "--carrier", carrier, "--key", k, "--message-file", msg, "--output", fresh(out)]

rows = []
def row(work_name, ours, peer=None, peer_name="", goal=""):
    rows.append((work_name, ours, peer, peer_name, goal))

def paired(make_ours, make_peer=None):
    mine, theirs, peak = [], [], 0
    for _ in range(runs):
        s, m = run(make_ours()); mine.append(s); peak = max(peak, m)
        if make_peer:
            theirs.append(run(make_peer())[0])
    return statistics.median(mine), (statistics.median(theirs) if theirs else None), peak

carrier = os.path.join(work, "carrier.bmp")
mirrored_bmp(carrier, 1600, 1200, source)
k = key(1600, 1200, "small")
png_out, bmp_out = os.path.join(work, "out.png"), os.path.join(work, "out.bmp")
passphrase = ["-p", "corvane"]

smooth = os.path.join(work, "smooth.bmp")
enlarged_bmp(smooth, 1600, 1200, source)
t, _, _ = paired(lambda: encrypt(carrier, k, png_out))
row("corvane encrypt to PNG, detailed photo", t, None, "", "<= 1.0 s")
png_size = os.path.getsize(png_out)
t, _, _ = paired(lambda: encrypt(smooth, k, png_out))
row("corvane encrypt to PNG, enlarged (smooth) photo", t, None, "", "<= 1.0 s")
smooth_png_size = os.path.getsize(png_out)
if steghide:
    steg_out = os.path.join(work, "steg.bmp")
    t, p, _ = paired(lambda: encrypt(carrier, k, bmp_out),
                     lambda: ["steghide", "embed", "-cf", carrier, "-ef", msg, "-sf", fresh(steg_out), "-f", "-q"] + passphrase)
    row("corvane encrypt to BMP", t, p, "steghide embed", "<= 1.0x")
    t, p, _ = paired(lambda: [corvane, "decrypt", "--image", bmp_out, "--key", k],
                     lambda: ["steghide", "extract", "-sf", steg_out, "-xf", fresh(os.path.join(work, "x.txt")), "-f", "-q"] + passphrase)
    row("corvane decrypt of the BMP", t, p, "steghide extract", "<= 1.5x")
else:
    t, _, _ = paired(lambda: encrypt(carrier, k, bmp_out)); row("corvane encrypt to BMP", t)
    t, _, _ = paired(lambda: [corvane, "decrypt", "--image", bmp_out, "--key", k]); row("corvane decrypt of the BMP", t)
# A message that does not compress (random base64, 2,000 characters) is
# read back with nothing saved by compression.
random_msg = os.path.join(work, "random.txt")
open(random_msg, "w").write(base64.b64encode(random.Random(64).randbytes(1500)).decode())
random_key, random_bmp = key(1600, 1200, "random"), os.path.join(work, "random.bmp")
run([corvane, "encrypt", "--carrier", carrier, "--key", random_key, "--message-file", random_msg, "--output",
     fresh(random_bmp)])
decrypt_random = lambda: [corvane, "decrypt", "--image", random_bmp, "--key", random_key]
if steghide:
    steg_random = os.path.join(work, "steg-random.bmp")
    run(["steghide", "embed", "-cf", carrier, "-ef", random_msg, "-sf", fresh(steg_random), "-f", "-q"] + passphrase)
    t, p, _ = paired(decrypt_random, lambda: ["steghide", "extract", "-sf", steg_random, "-xf",
                                              fresh(os.path.join(work, "x.txt")), "-f", "-q"] + passphrase)
    row("corvane decrypt, 2,000 random base64 characters", t, p, "steghide extract", "<= 1.5x")
else:
    t, _, _ = paired(decrypt_random)
    row("corvane decrypt, 2,000 random base64 characters", t, None, "", "<= 1.5x")
def keygen_once():
    shutil.rmtree(os.path.join(work, "Keys", "one"), ignore_errors=True)
    return [corvane, "keygen", "--root", work, "--series", "one", "--naming", "number"]
t, _, _ = paired(keygen_once)
row("corvane keygen, one 1600 x 1200 key", t, None, "", "<= 0.12 s")

big_rows = []
if big:
    big_carrier = os.path.join(work, "big.bmp")
    mirrored_bmp(big_carrier, 8000, 6000, source)
    big_key = key(8000, 6000, "big")
    big_runs = max(1, min(runs, 3))
    times, peak = [], 0
    for _ in range(big_runs):
        s, m = run(encrypt(big_carrier, big_key, bmp_out)); times.append(s); peak = max(peak, m)
    row("encrypt to BMP, 8000 x 6000 carrier", statistics.median(times), None, "", "<= 3 s")
    big_rows.append(("peak memory, 8000 x 6000 to BMP", "%.0f MB, %.1f bytes a pixel" % (peak / 1e6, peak / 48e6),
                     "<= 14 bytes a pixel"))
    s, _ = run(encrypt(big_carrier, big_key, png_out))
    row("encrypt to PNG, 8000 x 6000 carrier", s, None, "", "<= 30 s")

print("| work | corvane | peer | ratio | goal |")
print("|---|---|---|---|---|")
for name, ours, peer, peer_name, goal in rows:
    peer_text = "%s %.3f s" % (peer_name, peer) if peer else ""
    ratio = "%.2fx" % (ours / peer) if peer else ""
    print("| %s | %.3f s | %s | %s | %s |" % (name, ours, peer_text, ratio, goal))
for name, value, goal in big_rows:
    print("| %s | %s | | | %s |" % (name, value, goal))
print()
print("PNG files of the 1600 x 1200 photos: %d bytes (detailed), %d bytes (enlarged); %d paired runs, medians; %s"
      % (png_size, smooth_png_size, runs, time.strftime("%Y-%m-%d")))
PYTHON
