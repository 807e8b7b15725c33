#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the greyed copy NAME-disabled.svg of each NAME.svg given.

Only pictures whose buttons show a disabled look need one (not tb-open.svg).
Every colour becomes a light grey of the same lightness, so the picture keeps
its shape and shading but reads as unavailable. Run it again after editing a
picture:  resources/make-disabled.py resources/app/tb-play.svg ...
"""
import re
import sys

HEX = re.compile(r"#([0-9a-fA-F]{6}|[0-9a-fA-F]{3})\b")


def grey(match):
    h = match.group(1)
    if len(h) == 3:
        h = "".join(c * 2 for c in h)
    r, g, b = (int(h[i:i + 2], 16) / 255 for i in (0, 2, 4))
    lightness = 0.299 * r + 0.587 * g + 0.114 * b
    v = round(104 + lightness * 96)
    return "#{0:02x}{0:02x}{0:02x}".format(v)


for path in sys.argv[1:]:
    if path.endswith("-disabled.svg") or not path.endswith(".svg"):
        continue
    with open(path, encoding="utf-8") as f:
        text = f.read()
    text = HEX.sub(grey, text)
    text = text.replace("<svg ", "<!-- Greyed copy made by make-disabled.py; edit the coloured picture. -->\n<svg ", 1)
    with open(path[:-4] + "-disabled.svg", "w", encoding="utf-8") as f:
        f.write(text)
