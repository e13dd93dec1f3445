#!/usr/bin/python3
"""vostrel-sheet's output read by Pillow, against the BMPs that vostrel writes.

    pillow_check.py VOSTREL VOSTREL_SHEET DOOR_ART SCRATCH_DIR

For several sets of options: every frame rectangle of every sheet holds the BMP's indices, every
other pixel is the transparent index, the sheet's palette is the BMP's, and every frame of every
GIF and APNG shows the BMP's colours with the transparent index clear. Exits 77 (skipped)
without Pillow.
"""
import json
import os
import shutil
import subprocess
import sys

try:
    from PIL import Image, ImageSequence
except ImportError:
    print("Pillow is not installed (python3-pil)")
    sys.exit(77)

vostrel, sheet, door, scratch = sys.argv[1:5]
shutil.rmtree(scratch, ignore_errors=True)
bmps = os.path.join(scratch, "bmp")
os.makedirs(bmps)
subprocess.run([vostrel, door, bmps + os.sep], check=True, stdout=subprocess.DEVNULL)

failures = []
for options, transparent in ((["--gif", "--apng"], 0),
                             (["--gif", "--apng", "--transparent", "none", "--fps", "30"], None),
                             (["--gif", "--apng", "--transparent", "7", "--columns", "1",
                               "--padding", "3"], 7)):
    out = os.path.join(scratch, "out")
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([sheet] + options + [door, out], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    manifest = json.load(open(os.path.join(out, "door.json")))
    ours = manifest["meta"]["vostrel"]
    frames_per_picture = ours["framesPerPicture"]
    for k in range(ours["palettes"]):
        sheet_image = Image.open(os.path.join(out, "door_%d.png" % k))
        if sheet_image.mode != "P":
            failures.append("%s: sheet %d is not indexed" % (options, k))
        inside = set()
        for i, entry in enumerate(manifest["frames"]):
            p, f = divmod(i, frames_per_picture)
            r = entry["frame"]
            bmp = Image.open(os.path.join(bmps, "door_%d_%d_%d.bmp" % (p, f, k)))
            cell = sheet_image.crop((r["x"], r["y"], r["x"] + r["w"], r["y"] + r["h"]))
            if list(cell.getdata()) != list(bmp.getdata()):
                failures.append("%s: sheet %d frame %d" % (options, k, i))
            if sheet_image.getpalette()[:768] != bmp.getpalette()[:768]:
                failures.append("%s: sheet %d palette" % (options, k))
            inside.update((x, y) for x in range(r["x"], r["x"] + r["w"])
                          for y in range(r["y"], r["y"] + r["h"]))
        width, height = sheet_image.size
        pixels = sheet_image.load()
        outside = [(x, y) for x in range(width) for y in range(height)
                   if (x, y) not in inside and pixels[x, y] != (transparent or 0)]
        if outside:
            failures.append("%s: sheet %d: %d pixels outside the frames" % (options, k, len(outside)))
        for p in range(ours["pictures"]):
            for ext in ("gif", "apng"):
                animation = Image.open(os.path.join(out, "door_%d_%d.%s" % (p, k, ext)))
                count = 0
                for f, frame in enumerate(ImageSequence.Iterator(animation)):
                    bmp = Image.open(os.path.join(bmps, "door_%d_%d_%d.bmp" % (p, f, k)))
                    expected = [(0, 0, 0, 0) if index == transparent else colour
                                for index, colour in zip(bmp.getdata(), bmp.convert("RGBA").getdata())]
                    got = [(0, 0, 0, 0) if c[3] == 0 else c for c in frame.convert("RGBA").getdata()]
                    if got != expected:
                        failures.append("%s: %s of picture %d palette %d frame %d" % (options, ext, p, k, f))
                    count += 1
                if count != frames_per_picture:
                    failures.append("%s: %s of picture %d has %d frames" % (options, ext, p, count))

shutil.rmtree(scratch, ignore_errors=True)
for failure in failures:
    print(failure)
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
