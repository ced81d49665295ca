"""Writes the app's icons icon1.ico .. icon5.ico (resource id = file number).

    python3 make_icons.py --out DIR [--sheet FILE.png]

The output depends only on the source files: the same bytes on every run.
"""

import argparse
import os
import sys

# Keep compiled modules out of the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import glyph  # noqa: E402
import icon_file  # noqa: E402

NUMBERS = [1, 2, 3, 4, 5]


def ico_bytes(number):
    return icon_file.ico([(s, glyph.icon(number, s).rgba8()) for s in glyph.sizes(number)])


def _write(path, data):
    # Written beside and renamed, so an interrupted run leaves no half file
    # that the build would take for finished.
    partial = path + ".partial"
    with open(partial, "wb") as f:
        f.write(data)
    os.replace(partial, path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", help="folder for icon1.ico .. icon5.ico")
    parser.add_argument("--sheet", help="also write a PNG contact sheet here")
    args = parser.parse_args(argv)
    if not args.out and not args.sheet:
        parser.error("nothing to do: give --out and/or --sheet")
    if args.out:
        os.makedirs(args.out, exist_ok=True)
        for n in NUMBERS:
            _write(os.path.join(args.out, "icon%d.ico" % n), ico_bytes(n))
    if args.sheet:
        import sheet

        _write(args.sheet, sheet.contact_sheet())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
