#!/usr/bin/python3
"""Renders samples/listing.png, a screenshot-like image of a short C listing, for `make demo`.

Needs Debian's python3-pil and fonts-dejavu-core:
    /usr/bin/python3 scripts/render_sample_listing.py
"""
import os

from PIL import Image, ImageDraw, ImageFont

LISTING = [
    "#include <stdio.h>",
    "",
    "static int sum_of_squares(int limit) {",
    "    int total = 0;",
    "    for (int i = 1; i <= limit; i++) {",
    "        total += i * i;",
    "    }",
    "    return total;",
    "}",
    "",
    "int main(void) {",
    "    printf(\"%d\\n\", sum_of_squares(10));",
    "    return 0;",
    "}",
]


def render(path):
    font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 22)
    line_height = 30
    image = Image.new("L", (760, 40 + line_height * len(LISTING)), 255)
    draw = ImageDraw.Draw(image)
    for i, line in enumerate(LISTING):
        draw.text((24, 20 + i * line_height), line, font=font, fill=0)
    image.save(path, optimize=True)


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples", "listing.png")
    render(os.path.normpath(out))
    print("wrote", os.path.normpath(out))
