#!/bin/sh
# Rebuilds the metafile test corpus from the drawings in sources/: each drawing is exported to WMF
# by real writers (Inkscape, LibreOffice Draw), and LibreOffice renders every metafile as the
# reference picture. LibreOffice puts the picture at its natural size in the middle of an A4 page;
# the reference is that part of the page. Drawings in sources/inkscape-only/ are not exported with
# LibreOffice: it writes their transparency only into an embedded enhanced metafile, which its
# own reader then shows, while the WMF records draw everything opaque.
# Needs (Debian): inkscape libreoffice-draw-nogui python3-pil fonts-liberation.
set -e
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir ink lo pages
for svg in "$here"/sources/*.svg "$here"/sources/inkscape-only/*.svg; do
    name=$(basename "$svg" .svg)
    inkscape "$svg" --export-filename="ink/$name.wmf" 2>/dev/null
    cp "ink/$name.wmf" "pages/ink-$name.wmf"
done
soffice --headless --convert-to wmf --outdir lo "$here"/sources/*.svg >/dev/null
for f in lo/*.wmf; do cp "$f" "pages/lo-$(basename "$f")"; done
(cd pages && soffice --headless --convert-to png ./*.wmf >/dev/null)
for f in pages/*.wmf; do
    name=$(basename "$f" .wmf)
    cp "$f" "$here/$name.wmf"
    /usr/bin/python3 - "$f" "pages/$name.png" "$here/$name.png" <<'PY'
import struct, sys
from PIL import Image
wmf, page, out = sys.argv[1:]
data = open(wmf, 'rb').read()
left, top, right, bottom = struct.unpack_from('<4h', data, 6)
inch = struct.unpack_from('<H', data, 14)[0]
w, h = round(abs(right - left) * 96 / inch), round(abs(bottom - top) * 96 / inch)
img = Image.open(page).convert('RGB')
x, y = (img.width - w) // 2, (img.height - h) // 2
img.crop((x, y, x + w, y + h)).save(out, optimize=True)
PY
done
