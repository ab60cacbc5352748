#!/usr/bin/env python3
"""Compares `tessaly-cli exif --json` with `exiftool -n -j` over a folder of JPEG files.

For Make, Model, DateTimeOriginal, FNumber, ExposureTime, ISO, FocalLength,
MaxApertureValue, ExposureBiasValue, Flash, PixelXDimension and PixelYDimension it prints
one table row per difference, each with the rule of the EXIF reader that explains it, and a
summary. Differences no rule explains are marked UNEXPLAINED and make the exit code 1.

Usage: scripts/compare-exiftool.py [--cli build/cli/tessaly-cli] FOLDER
       (FOLDER: camera JPEG files of your own, searched to any depth; none come with the
       repository. Needs libimage-exiftool-perl.)
"""
import argparse
import json
import math
import os
import subprocess
import sys

# tessaly property -> exiftool tag name
FIELDS = [
    ("Make", "Make"),
    ("Model", "Model"),
    ("DateTimeOriginal", "DateTimeOriginal"),
    ("FNumber", "FNumber"),
    ("ExposureTime", "ExposureTime"),
    ("ISOSpeedRatings", "ISO"),
    ("FocalLength", "FocalLength"),
    ("MaxApertureValue", "MaxApertureValue"),
    ("ExposureBiasValue", "ExposureCompensation"),
    ("Flash", "Flash"),
    ("PixelXDimension", "ExifImageWidth"),
    ("PixelYDimension", "ExifImageHeight"),
]
# The directories the reader walks, as exiftool names their groups.
EXIF_GROUPS = {"IFD0", "ExifIFD", "IFD1", "InteropIFD"}


def jpeg_files(folder):
    for root, _, names in os.walk(folder):
        for name in sorted(names):
            if name.lower().endswith((".jpg", ".jpeg")):
                yield os.path.join(root, name)


def exif_app1_offset(path):
    """Offset of the first APP1 segment starting "Exif\0\0" before the frame header, walking
    the markers (fill bytes skipped); None if none."""
    with open(path, "rb") as f:
        data = f.read(1 << 20)
    if data[:2] != b"\xff\xd8":
        return None
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        while pos + 5 <= len(data) and data[pos + 1] == 0xFF:
            pos += 1
        marker = data[pos + 1]
        if marker in (0xD9, 0xDA) or (0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC)):
            return None
        length = int.from_bytes(data[pos + 2:pos + 4], "big")
        if marker == 0xE1 and data[pos + 4:pos + 10] == b"Exif\0\0":
            return pos
        pos += 2 + length
    return None


def tessaly_value(obj, prop):
    v = obj.get(prop)
    if isinstance(v, dict):  # rationals and coded values
        return v["Value"], v["Text"]
    return v, None


def pick_exiftool(tags, name):
    """The value exiftool reports for `name` from the EXIF directories, else from any group."""
    other = None
    for key, value in tags.items():
        group, _, tag = key.rpartition(":")
        if tag != name:
            continue
        if group in EXIF_GROUPS:
            return value, group
        if other is None:
            other = (value, group)
    return other if other else (None, None)


def same(ours, theirs):
    if ours is None or theirs is None:
        return ours == theirs
    if isinstance(theirs, (int, float)) and isinstance(ours, (int, float)):
        return math.isclose(float(ours), float(theirs), rel_tol=1e-6, abs_tol=1e-9)
    return str(ours) == str(theirs)


def is_empty(ours):
    return ours in (None, "", 0, 0.0)


def explain(prop, ours, text, theirs, group, found, app1, tags):
    """The reader's rule behind a difference, or None."""
    if not found:
        if app1 is None:
            return "no APP1 \"Exif\" segment: the reader finds no block (exiftool reads another block)"
        return "no block found"
    exposure_index = tags.get("ExifIFD:ExposureIndex")
    if prop == "ISOSpeedRatings" and isinstance(exposure_index, (int, float)):
        if ours == round(exposure_index):
            return ("ISOSpeedRatings holds the ExposureIndex (tag 41493) rounded, "
                    "which replaces the ISO tag")
    if group is not None and group not in EXIF_GROUPS:
        if is_empty(ours):
            return f"exiftool takes the tag from {group}; the reader reads only the EXIF directories"
        return f"exiftool prefers the {group} value; the reader reads only the EXIF directories"
    if theirs is None and not is_empty(ours):
        return "exiftool drops or renames this value; the reader keeps what the directory holds"
    if prop == "MaxApertureValue" and isinstance(theirs, (int, float)) and ours is not None:
        if math.isclose(math.sqrt(2) ** float(ours), float(theirs), rel_tol=1e-3):
            return "MaxApertureValue stays the APEX number; exiftool -n converts it to an F-number"
    if isinstance(theirs, str) and isinstance(ours, (int, float)):
        first = theirs.split()[0] if theirs.split() else ""
        try:
            if same(ours, float(first)):
                return "a value of several elements: the reader keeps the first"
        except ValueError:
            pass
    if isinstance(theirs, str) and isinstance(ours, str):
        if ours.strip() == theirs.strip():
            return "exiftool trims spaces; the reader keeps the bytes as stored"
        if ours.startswith(theirs) and len(ours) > len(theirs):
            return ("an ASCII zero byte is dropped, not taken as the end: "
                    "the bytes after it stay (exiftool stops there)")
    if isinstance(theirs, (int, float)) and text is not None and text.endswith("/0"):
        return "denominator 0: the reader's value is 0"
    if prop == "ISOSpeedRatings" and isinstance(theirs, (int, float)) and theirs > 65535:
        return "ISOSpeedRatings keeps the low 16 bits"
    return None


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(here, "..", "build", "cli", "tessaly-cli"))
    parser.add_argument("folder", help="a folder of camera JPEG files")
    args = parser.parse_args()

    files = list(jpeg_files(args.folder))
    if not files:
        sys.exit(f"no JPEG files under {args.folder}")
    ours = subprocess.run([args.cli, "exif", "--json", *files], capture_output=True, text=True)
    if ours.returncode not in (0, 1):
        sys.exit(ours.stderr)
    by_file = {o["ImageFileName"]: o for o in json.loads(ours.stdout)}
    theirs = subprocess.run(["exiftool", "-n", "-j", "-G1", "-a", *files],
                            capture_output=True, text=True)
    their_by_file = {o["SourceFile"]: o for o in json.loads(theirs.stdout or "[]")}

    rows, compared, unexplained = [], 0, 0
    for path in files:
        name = os.path.relpath(path, args.folder)
        obj = by_file.get(path)
        tags = their_by_file.get(path, {})
        if obj is None:
            rows.append((name, "(all)", "read error", "", "the reader raised an error (see stderr)"))
            continue
        app1 = exif_app1_offset(path)
        for prop, tag in FIELDS:
            value, text = tessaly_value(obj, prop)
            their, group = pick_exiftool(tags, tag)
            compared += 1
            if not obj["found"] and their is None:
                continue
            if obj["found"] and their is None and is_empty(value):
                continue  # absent in both
            if same(value, their):
                continue
            rule = explain(prop, value, text, their, group, obj["found"], app1, tags)
            if rule is None:
                rule = "UNEXPLAINED"
                unexplained += 1
            shown_theirs = f"{their!r}" + (f" ({group})" if group and group not in EXIF_GROUPS else "")
            rows.append((name, prop, repr(value), shown_theirs, rule))

    print("| File | Property | tessaly-cli | exiftool -n | Rule |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(str(c).replace("|", "\\|") for c in row) + " |")
    print()
    print(f"{len(files)} files, {compared} values compared, {len(rows)} differences, "
          f"{unexplained} unexplained")
    return 1 if unexplained else 0


if __name__ == "__main__":
    sys.exit(main())
