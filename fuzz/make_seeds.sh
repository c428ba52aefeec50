#!/usr/bin/env bash
# Makes the seed inputs of every fuzz target with the peer tools (ImageMagick,
# libtiff's tiffcp, libjpeg's cjpeg, Python) into OUT/<target>/, and adds the
# regression inputs kept in fuzz/regressions/<target>/.
set -euo pipefail
OUT=${1:?usage: make_seeds.sh OUTDIR}
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$OUT"
# The seeds are made in a scratch folder: OUT must not depend on it.
OUT="$(cd "$OUT" && pwd)"
for t in tiff_page ccitt lzw jpeg pcx dcx exif iptc icc annotations tiff_tags bmp form detect; do
  mkdir -p "$OUT/fuzz_$t"
done
cd "$WORK"
# Sources: a small page with text and shapes, gray, colour, colour with alpha.
convert -size 96x40 xc:white -fill black -draw "rectangle 5,5 40,30" -draw "circle 70,20 80,30" \
  -draw "line 0,39 95,0" page.pbm
convert -size 24x16 gradient:black-white gray.pgm
convert -size 24x16 plasma:fractal -seed 1 rgb.ppm 2>/dev/null || convert -size 24x16 gradient:red-blue rgb.ppm
convert rgb.ppm \( gray.pgm -resize 24x16! \) -alpha off -compose CopyOpacity -composite rgba.png
n=0
tiff() { n=$((n + 1)); cp "$1" "$OUT/fuzz_tiff_tags/$n.tif"; cp "$1" "$OUT/fuzz_detect/$n.tif"
  { printf '\000'; cat "$1"; } > "$OUT/fuzz_tiff_page/$n.bin"; }
convert page.pbm -compress Group4 p.tif
for c in "-c g4" "-c g3:2d" "-f lsb2msb -c g4" "-t -w 32 -l 16 -c g4" "-r 8 -c lzw" "-c none"; do
  tiffcp $c p.tif x.tif && tiff x.tif
done
for src in gray.pgm rgb.ppm rgba.png; do
  for c in LZW Zip None RLE JPEG; do convert $src -compress $c x.tif && tiff x.tif; done
done
convert rgba.png -depth 16 -compress Zip x.tif && tiff x.tif
convert rgb.ppm -interlace plane -compress LZW x.tif && tiff x.tif
convert rgb.ppm -compress LZW x.tif && tiffcp -p separate -t -w 16 -l 16 x.tif y.tif && tiff y.tif
# Raw CCITT and LZW strips behind the few bytes that choose their coding.
python3 - "$OUT" <<'PY'
import struct, subprocess, sys
out = sys.argv[1]
def strip(path):
    d = open(path, 'rb').read()
    e = '<' if d[:2] == b'II' else '>'
    ifd = struct.unpack(e + 'I', d[4:8])[0]
    n = struct.unpack(e + 'H', d[ifd:ifd + 2])[0]
    tags = {}
    for i in range(n):
        tag, typ, cnt, val = struct.unpack(e + 'HHII', d[ifd + 2 + 12 * i: ifd + 14 + 12 * i])
        if typ == 3 and cnt == 1: val &= 0xFFFF if e == '<' else val >> 16
        tags[tag] = val
    return d[tags[273]:tags[273] + tags[279]]
k = 0
for coding, mode in (('g4', 3), ('g3:2d', 2), ('g3:1d', 1), ('none', 0)):
    subprocess.run(['tiffcp', '-c', coding if coding != 'none' else 'g3:1d', 'p.tif', 's.tif'], check=True)
    s = strip('s.tif')
    k += 1
    open(f'{out}/fuzz_ccitt/{k}.bin', 'wb').write(bytes([mode, 0, 96]) + s)
subprocess.run(['tiffcp', '-c', 'lzw', 'rgb.ppm.tif' if False else 'p.tif', 's.tif'], check=True)
open(f'{out}/fuzz_lzw/1.bin', 'wb').write(bytes([0, 12, 0]) + strip('s.tif'))
subprocess.run(['convert', 'rgb.ppm', '-compress', 'LZW', 's.tif'], check=True)
open(f'{out}/fuzz_lzw/2.bin', 'wb').write(bytes([0, 72, 0]) + strip('s.tif'))
# IPTC records: caption, keywords, a long one.
rec = lambda ds, data: bytes([0x1C, 2, ds]) + struct.pack('>H', len(data)) + data
open(f'{out}/fuzz_iptc/1.bin', 'wb').write(rec(5, b'title') + rec(25, b'fax') + rec(120, b'x' * 300))
# EXIF: a TIFF structure with and without the "Exif" header.
t = open('x.tif', 'rb').read()[:4096]
open(f'{out}/fuzz_exif/1.bin', 'wb').write(b'Exif\0\0' + t)
open(f'{out}/fuzz_exif/2.bin', 'wb').write(t)
open(f'{out}/fuzz_annotations/1.bin', 'wb').write(bytes(range(64)) * 4)
PY
for q in 50 95; do
  cjpeg -quality $q -outfile "$OUT/fuzz_jpeg/c$q.jpg" rgb.ppm
  cjpeg -quality $q -progressive -outfile "$OUT/fuzz_jpeg/p$q.jpg" gray.pgm
done
convert rgb.ppm -colorspace CMYK "$OUT/fuzz_jpeg/cmyk.jpg"
cp "$OUT"/fuzz_jpeg/c50.jpg "$OUT/fuzz_detect/"
for src in page.pbm gray.pgm rgb.ppm; do
  convert $src "$OUT/fuzz_pcx/$src.pcx"
  cp "$OUT/fuzz_pcx/$src.pcx" "$OUT/fuzz_detect/"
  convert $src -colors 16 "$OUT/fuzz_pcx/$src.16.pcx"
  convert $src -type Palette "$OUT/fuzz_bmp/$src.8.bmp"
  convert $src "$OUT/fuzz_bmp/$src.bmp"
done
convert page.pbm rgb.ppm gray.pgm "$OUT/fuzz_dcx/pages.dcx"
convert rgba.png "$OUT/fuzz_bmp/rgba.bmp"
convert rgb.ppm -define bmp:format=bmp3 "$OUT/fuzz_bmp/v3.bmp"
cp "$OUT"/fuzz_bmp/rgba.bmp "$OUT"/fuzz_dcx/pages.dcx rgba.png "$OUT/fuzz_detect/"
for f in /usr/share/color/icc/*.icc /usr/share/color/icc/*/*.icc; do
  [ -f "$f" ] && cp "$f" "$OUT/fuzz_icc/" || true
done
python3 -c "
import struct
h=bytearray(128); struct.pack_into('>I',h,0,128+12+20); h[36:40]=b'acsp'; h[12:16]=b'mntr'; h[16:20]=b'RGB '; h[20:24]=b'XYZ '
h+=struct.pack('>I',1)+b'desc'+struct.pack('>II',140,20)+b'desc'+bytes(4)+struct.pack('>I',4)+b'fax\0'+bytes(4)
open('$OUT/fuzz_icc/tiny.icc','wb').write(h)"
cp "$HERE"/../resources/forms/*.dfm "$OUT/fuzz_form/" 2>/dev/null || cp "$HERE"/../resources/forms/* "$OUT/fuzz_form/" 2>/dev/null || true
# Regression inputs of faults found and mended.
if [ -d "$HERE/regressions" ]; then
  for d in "$HERE"/regressions/*/; do
    t=$(basename "$d")
    mkdir -p "$OUT/$t"
    cp "$d"* "$OUT/$t/" 2>/dev/null || true
  done
fi
echo "seeds in $OUT"
