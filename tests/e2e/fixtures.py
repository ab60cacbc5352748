"""JPEG files for the scenarios, written by the tests: a PPM made here, encoded by cjpeg."""

import decimal
import os
import subprocess

# The colour of the pictures: a grey blue with no red in it, so that the overlay's red
# text can be told from the picture.
BASE_RGB = (90, 110, 150)


def write_ppm(path, width, height, rgb=BASE_RGB):
    """A picture of one colour with a darker diagonal band, so that it is not flat."""
    r, g, b = rgb
    plain = bytes((r, g, b))
    band = bytes((r * 3 // 4, g * 3 // 4, b * 3 // 4))
    rows = []
    for y in range(height):
        start = (y * width // max(height, 1)) % width
        end = min(width, start + max(1, width // 8))
        rows.append(plain * start + band * (end - start) + plain * (width - end))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(b"".join(rows))


def write_jpeg(path, width, height, quality=85, progressive=False, rgb=BASE_RGB):
    """Writes a JPEG of the given size and returns its path."""
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    ppm = path + ".ppm"
    write_ppm(ppm, width, height, rgb)
    argv = ["cjpeg", "-quality", str(quality)]
    if progressive:
        argv.append("-progressive")
    argv += ["-outfile", path, ppm]
    subprocess.run(argv, check=True)
    os.remove(ppm)
    return path


def fit(height, width, client_height, client_width):
    """The picture control's size in fit mode: shrunk (never enlarged) to the client area,
    keeping the aspect, each length truncated."""
    ch, cw = client_height, client_width
    if ch < 2 or cw < 2 or (height <= ch and width <= cw):
        return width, height
    if height > ch and width <= cw:
        return width * ch // height, ch
    if height <= ch and width > cw:
        return cw, height * cw // width
    h = ch
    w = width * h // height
    if cw < w:
        w = cw
        h = height * w // width
    return w, h


def percent(shown_width, natural_width):
    """The caption's percentage with one decimal, as the program writes it: the ratio taken
    to 18 significant digits, then rounded with ties away from zero (49.25 gives 49.3)."""
    ratio = decimal.Decimal(shown_width * 100) / decimal.Decimal(natural_width)
    with decimal.localcontext() as context:
        context.prec = 18
        ratio = +ratio
    return str(ratio.quantize(decimal.Decimal("0.1"), rounding=decimal.ROUND_HALF_UP))
