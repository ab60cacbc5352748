#!/usr/bin/env python3
"""Colour profiles that are costly to link, written byte by byte (Little CMS's own save takes
minutes for long chains), and photos that carry them.

A version 4.3 RGB display profile: header, tag table, the description and copyright
(multiLocalizedUnicodeType), the white point and the colorants (XYZType), one tone curve
(curveType, gamma 2.2) for the three channels, and a D2B0 tag of the multiProcessElementType
('mpet') that chains N 3 x 3 matrix elements ('matf'): the first takes linear sRGB to XYZ
under D50, the others are the identity. Each element takes 60 bytes and its place in the
position table 8, so 60,000 elements make a profile of 4.08 MB and 10,000 one of 680 KB.

    python3 bench/costly_profile.py profile N OUT.icc
    python3 bench/costly_profile.py photo N OUT.jpg [--width 640 --height 480] [--name TEXT]

`photo` writes a photo-like picture (smooth gradients with fine grain) with cjpeg and carries
the profile in APP2 ICC_PROFILE segments after the JFIF segment.
"""
import argparse
import random
import struct
import subprocess

# Linear sRGB to XYZ under D50 (the Bradford-adapted matrix of sRGB's primaries).
SRGB_TO_XYZ_D50 = [0.4360747, 0.3850649, 0.1430804,
                   0.2225045, 0.7168786, 0.0606169,
                   0.0139322, 0.0971045, 0.7141733]
IDENTITY = [1, 0, 0, 0, 1, 0, 0, 0, 1]
D50 = (0.9642, 1.0, 0.8249)


def s15f16(value):
    return struct.pack(">i", round(value * 65536))


def xyz_tag(x, y, z):
    return b"XYZ " + bytes(4) + s15f16(x) + s15f16(y) + s15f16(z)


def mluc_tag(text):
    encoded = text.encode("utf-16-be")
    return (b"mluc" + bytes(4) + struct.pack(">II", 1, 12) + b"enUS" +
            struct.pack(">II", len(encoded), 28) + encoded)


def curve_tag(gamma):
    return b"curv" + bytes(4) + struct.pack(">IH", 1, round(gamma * 256)) + bytes(2)


def matrix_element(matrix):
    return b"matf" + bytes(4) + struct.pack(">HH", 3, 3) + struct.pack(">12f", *matrix, 0, 0, 0)


def mpet_tag(elements):
    head = 16
    table = 8 * elements
    element = matrix_element(IDENTITY)
    out = bytearray(b"mpet" + bytes(4) + struct.pack(">HHI", 3, 3, elements))
    offset = head + table
    for _ in range(elements):
        out += struct.pack(">II", offset, len(element))
        offset += len(element)
    out += matrix_element(SRGB_TO_XYZ_D50)
    out += element * (elements - 1)
    return bytes(out)


def profile(elements, name=""):
    gamma = curve_tag(2.2)
    tags = [
        (b"desc", mluc_tag(f"{elements} chained matrices{name}")),
        (b"cprt", mluc_tag("No copyright, use freely")),
        (b"wtpt", xyz_tag(*D50)),
        (b"rXYZ", xyz_tag(*SRGB_TO_XYZ_D50[0::3])),
        (b"gXYZ", xyz_tag(*SRGB_TO_XYZ_D50[1::3])),
        (b"bXYZ", xyz_tag(*SRGB_TO_XYZ_D50[2::3])),
        (b"rTRC", gamma),
        (b"gTRC", None),  # shares rTRC's data
        (b"bTRC", None),
        (b"D2B0", mpet_tag(elements)),
    ]
    table_end = 128 + 4 + 12 * len(tags)
    body = bytearray()
    entries = []
    shared = None
    for signature, data in tags:
        if data is None:
            entries.append((signature,) + shared)
            continue
        while (table_end + len(body)) % 4:
            body += b"\0"
        place = (table_end + len(body), len(data))
        if signature == b"rTRC":
            shared = place
        entries.append((signature,) + place)
        body += data
    size = table_end + len(body)
    header = bytearray(128)
    header[0:4] = struct.pack(">I", size)
    header[8:12] = bytes([4, 0x30, 0, 0])
    header[12:16] = b"mntr"
    header[16:20] = b"RGB "
    header[20:24] = b"XYZ "
    header[24:36] = struct.pack(">6H", 2024, 1, 1, 0, 0, 0)
    header[36:40] = b"acsp"
    header[64:68] = struct.pack(">I", 0)  # perceptual
    header[68:80] = s15f16(D50[0]) + s15f16(D50[1]) + s15f16(D50[2])
    table = struct.pack(">I", len(tags)) + b"".join(
        signature + struct.pack(">II", offset, length) for signature, offset, length in entries)
    return bytes(header) + table + bytes(body)


def photo_ppm(width, height, name=""):
    """Another picture for each name."""
    rng = random.Random(28 + sum(name.encode()))
    shift = rng.randint(0, 255)
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            grain = rng.randint(-12, 12)
            r = (x * 255 // width + shift + grain) & 0xFF
            g = (y * 255 // height - grain) & 0xFF
            b = ((x + y) * 127 // (width + height) + 64 + grain) & 0xFF
            rows += bytes((r, g, b))
    return b"P6\n%d %d\n255\n" % (width, height) + bytes(rows)


def with_profile(jpeg, icc):
    chunk = 65519
    pieces = [icc[i:i + chunk] for i in range(0, len(icc), chunk)]
    if len(pieces) > 255:
        raise SystemExit("the profile needs more than 255 segments")
    segments = b"".join(
        b"\xff\xe2" + struct.pack(">H", 2 + 14 + len(piece)) + b"ICC_PROFILE\0" +
        bytes((n + 1, len(pieces))) + piece for n, piece in enumerate(pieces))
    # After SOI and the JFIF APP0 segment that cjpeg writes.
    app0_end = 4 + struct.unpack(">H", jpeg[4:6])[0]
    return jpeg[:app0_end] + segments + jpeg[app0_end:]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["profile", "photo"])
    parser.add_argument("elements", type=int)
    parser.add_argument("out")
    parser.add_argument("--width", type=int, default=640)
    parser.add_argument("--height", type=int, default=480)
    parser.add_argument("--name", default="", help="added to the description: another profile")
    args = parser.parse_args()
    icc = profile(args.elements, args.name)
    if args.what == "profile":
        data = icc
    else:
        jpeg = subprocess.run(["cjpeg", "-quality", "90"], input=photo_ppm(args.width, args.height, args.name),
                              stdout=subprocess.PIPE, check=True).stdout
        data = with_profile(jpeg, icc)
    with open(args.out, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
