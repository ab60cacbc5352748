#!/usr/bin/env python3
"""Thumbnails for a folder of 12-megapixel photos with EXIF thumbnails, cold and warm cache.

Makes one 4000 x 3000 JPEG from SOURCE with tessaly-cli extract, gives it an EXIF block with a
160 x 120 thumbnail, and links it under N names in a scratch folder (hard links: N different
URIs, one file's disk space). Then runs `tessaly-cli thumbnail` over the folder with an empty
cache (cold) and again (warm), under /usr/bin/time, and prints wall time and peak memory.

    bench/thumbnails.py --cli build-release/cli/tessaly-cli --count 300 SOURCE.jpg
"""
import argparse
import os
import shutil
import struct
import subprocess
import tempfile


def exif_with_thumbnail(thumbnail: bytes) -> bytes:
    """An APP1 segment: an empty IFD0 linking to IFD1, which points at the thumbnail."""
    ifd0 = struct.pack("<H", 0) + struct.pack("<I", 8 + 6)
    entries = [(0x0103, 3, 1, 6), (0x0201, 4, 1, 0), (0x0202, 4, 1, len(thumbnail))]
    ifd1_size = 2 + 12 * len(entries) + 4
    data_offset = 8 + len(ifd0) + ifd1_size
    entries[1] = (0x0201, 4, 1, data_offset)
    ifd1 = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        ifd1 += struct.pack("<HHII", tag, kind, count, value) if kind == 4 else \
            struct.pack("<HHIHH", tag, kind, count, value, 0)
    ifd1 += struct.pack("<I", 0)
    tiff = b"II*\x00" + struct.pack("<I", 8) + ifd0 + ifd1 + thumbnail
    payload = b"Exif\x00\x00" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload


def timed(command, env):
    result = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            check=True)
    seconds, kib = result.stderr.strip().splitlines()[-1].split()
    return float(seconds), int(kib) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("--cli", default="build-release/cli/tessaly-cli")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="tessaly-thumbnail-bench-")
    try:
        photo = os.path.join(scratch, "photo.jpg")
        thumb = os.path.join(scratch, "thumb.jpg")
        subprocess.run([args.cli, "extract", args.source, "--size", "4000x3000", "-o", photo],
                       check=True)
        subprocess.run([args.cli, "extract", args.source, "--size", "160x120", "-o", thumb],
                       check=True)
        with open(photo, "rb") as f:
            jpeg = f.read()
        with open(thumb, "rb") as f:
            small = f.read()
        folder = os.path.join(scratch, "photos")
        os.mkdir(folder)
        first = os.path.join(folder, "IMG_00000.JPG")
        with open(first, "wb") as f:
            f.write(jpeg[:2] + exif_with_thumbnail(small) + jpeg[2:])
        for i in range(1, args.count):
            os.link(first, os.path.join(folder, f"IMG_{i:05}.JPG"))
        files = sorted(os.path.join(folder, n) for n in os.listdir(folder))
        print(f"{len(files)} photos of 4000 x 3000, {len(jpeg) / 1e6:.1f} MB each, "
              f"EXIF thumbnail 160 x 120")
        for size in ("normal", "large"):
            cold, warm = [], []
            for _ in range(args.runs):
                env = dict(os.environ, XDG_CACHE_HOME=os.path.join(scratch, "cache"))
                shutil.rmtree(env["XDG_CACHE_HOME"], ignore_errors=True)
                cold.append(timed([args.cli, "thumbnail", "--size", size] + files, env))
                warm.append(timed([args.cli, "thumbnail", "--size", size] + files, env))
            for name, runs in (("cold", cold), ("warm", warm)):
                best = min(runs)
                print(f"{size:7} {name}: {best[0] * 1000:7.0f} ms "
                      f"({best[0] * 1000 / len(files):.2f} ms a photo), "
                      f"peak {max(r[1] for r in runs):.0f} MiB")
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    main()
