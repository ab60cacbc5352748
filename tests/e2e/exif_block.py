"""A small EXIF block (little-endian TIFF) put into a JPEG after its start-of-image marker."""

import struct

ASCII, SHORT, LONG, RATIONAL = 2, 3, 4, 5


def _ifd(entries, offset):
    """One directory at `offset` (from the TIFF header) followed by its values; entries are
    (tag, type, value) in tag order. Returns the bytes."""
    count = len(entries)
    values_at = offset + 2 + count * 12 + 4
    table = struct.pack("<H", count)
    values = b""
    for tag, kind, value in entries:
        if kind == ASCII:
            data = value.encode("ascii") + b"\0"
            n = len(data)
        elif kind == SHORT:
            data = struct.pack("<H", value)
            n = 1
        elif kind == LONG:
            data = struct.pack("<I", value)
            n = 1
        else:
            data = struct.pack("<II", *value)
            n = 1
        if len(data) <= 4:
            table += struct.pack("<HHI", tag, kind, n) + data.ljust(4, b"\0")
        else:
            table += struct.pack("<HHII", tag, kind, n, values_at + len(values))
            values += data + (b"\0" if len(data) % 2 else b"")
    return table + struct.pack("<I", 0) + values


def tiff(make, model, iso, exposure, f_number):
    """IFD0 with the maker and model, and an EXIF directory with ISO, exposure time and
    F-number."""
    ifd0_entries = [(271, ASCII, make), (272, ASCII, model), (0x8769, LONG, 0)]
    ifd0_size = len(_ifd(ifd0_entries, 8))
    exif_at = 8 + ifd0_size
    ifd0 = _ifd([(271, ASCII, make), (272, ASCII, model), (0x8769, LONG, exif_at)], 8)
    exif = _ifd([(0x829A, RATIONAL, exposure), (0x829D, RATIONAL, f_number),
                 (0x8827, SHORT, iso)], exif_at)
    return b"II*\0" + struct.pack("<I", 8) + ifd0 + exif


def insert_exif(jpeg_path, tiff_bytes):
    with open(jpeg_path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xd8"
    payload = b"Exif\0\0" + tiff_bytes
    segment = b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
    with open(jpeg_path, "wb") as f:
        f.write(data[:2] + segment + data[2:])
