#!/usr/bin/python3
"""Renders every picture of src/res/ onto one sheet: first the pages put together as the window
shows them, then each picture on a checkerboard (so transparency shows) with its name and size,
and the frames of each animation side by side.
    /usr/bin/python3 tools/artwork/contact_sheet.py OUTPUT.png [resource directory]
"""
import os
import sys

from PIL import Image, ImageDraw, ImageSequence

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import style as st  # noqa: E402

EXTENSIONS = {"png": "png", "jpeg": "jpg", "gif": "gif"}


def load_all(root):
    pictures = {}
    for kind, ext in EXTENSIONS.items():
        folder = os.path.join(root, kind)
        if not os.path.isdir(folder):
            continue
        for entry in sorted(os.listdir(folder)):
            if entry.endswith("." + ext):
                pictures[entry[: -len(ext) - 1]] = Image.open(os.path.join(folder, entry))
    return pictures


def frames_of(picture):
    """Frames as the window shows them: disposal 2 clears each frame before the next."""
    return [frame.convert("RGBA") for frame in ImageSequence.Iterator(picture)]


def rgba(picture):
    picture.seek(0)
    return picture.convert("RGBA")


def page(pics, layers):
    """One window page: a list of (name, left, top), drawn in order."""
    window = Image.new("RGBA", (st.WIDTH, st.HEIGHT), (255, 0, 255, 255))
    for name, x, y in layers:
        if name.startswith("text:"):
            ImageDraw.Draw(window).text((x, y), name[5:], font=st.latin(12), fill=(0, 0, 0, 255))
            continue
        picture = pics[name]
        image = frames_of(picture)[2] if getattr(picture, "is_animated", False) else rgba(picture)
        window.alpha_composite(image, (x, y))
    return window


BUTTONS_AGREEMENT = [("ZUV", 10, 375), ("BUTTON_T", 190, 375), ("BUTTON_Y_OVER", 310, 375), ("BUTTON_C", 420, 375)]


def pages(pics):
    digits_dl = [("DIGIT_1", 59), ("DIGIT_2", 94), ("DIGIT_3", 129), ("DIGIT_4", 179), ("DIGIT_5", 214)]
    digits_ul = [("DIGIT_9", 94), ("DIGIT_8", 129), ("DIGIT_7", 179), ("DIGIT_0", 214)]
    results = [("BACKGROUND_OVER", 0, 0), ("TEST_END", 20, 16), ("APPLOGO", 324, 0),
               ("DOWNLINK", 0, 56), ("UPLINK", 0, 160)]
    results += [(name, x, 88) for name, x in digits_dl] + [("POINT", 164, 128), ("MBPS", 260, 118)]
    results += [(name, x, 192) for name, x in digits_ul] + [("POINT", 164, 232), ("KBPS", 260, 224)]
    results += [("BUTTON_R", 94, 280), ("SERIAL", 94, 320), ("text:A1B2C3D4E5", 150, 323),
                ("text:2024/05/01 12:34:56", 150, 338), ("ZUV", 10, 375),
                ("BUTTON_RT", 310, 375), ("BUTTON_Q_OVER", 420, 375)]
    testing = [("BACKGROUND", 0, 0), ("NOTICE_P2", 0, 0), ("ROTATION", 213, 180),
               ("TEXT_DOWNLINK", 15, 320), ("PERCENT_BAR_60", 15, 340), ("PERCENT_60", 440, 320),
               ("BUTTON_Q", 420, 375)]
    analysis = [("BACKGROUND", 0, 0), ("ANALYSIS", 152, 112), ("ROTATION", 213, 180), ("BUTTON_Q_OUT", 420, 375)]
    return [
        ("connecting", page(pics, [("BACKGROUND", 0, 0), ("APPLOGO", 0, 0), ("LOADING", 101, 172),
                                   ("CONNECTING", 152, 180)])),
        ("update required", page(pics, [("BACKGROUND", 0, 0), ("APPLOGO", 0, 0), ("UNUSE", 0, 56),
                                        ("DOWNLOAD", 56, 136), ("BUTTON_D", 310, 375), ("BUTTON_C", 420, 375)])),
        ("update offered", page(pics, [("BACKGROUND", 0, 0), ("APPLOGO", 0, 0), ("ALARMVER", 0, 56),
                                       ("DOWNLOAD", 56, 136), ("BUTTON_N", 190, 375),
                                       ("BUTTON_D_OUT", 310, 375), ("BUTTON_C", 420, 375)])),
        ("agreement", page(pics, [("BACKGROUND", 0, 0), ("APPLOGO", 0, 0), ("ANNOUNCEMENT", 194, 16),
                                  ("OPENCR", 400, 350)] + BUTTONS_AGREEMENT)),
        ("bulletin", page(pics, [("BACKGROUND", 0, 0), ("APPLOGO", 0, 0), ("TEXT_BULLETIN", 293, 16),
                                 ("BUTTON_N", 310, 375), ("BUTTON_C", 420, 375)])),
        ("setup document", page(pics, [("BACKGROUND", 0, 0), ("SETUPDOC", 79, 16), ("BUTTON_P", 420, 375)])),
        ("testing: preparation", page(pics, [("BACKGROUND", 0, 0), ("NOTICE_P1", 0, 0), ("ROTATION", 213, 180),
                                             ("TEXT_CONFIG", 15, 320), ("PERCENT_BAR_0", 15, 340),
                                             ("PERCENT_0", 440, 320), ("BUTTON_Q", 420, 375)])),
        ("testing: download", page(pics, testing)),
        ("testing: upload", page(pics, [(n.replace("P2", "P3").replace("TEXT_DOWNLINK", "TEXT_UPLINK_END")
                                         .replace("_60", "_100"), x, y) for n, x, y in testing])),
        ("analysis", page(pics, analysis)),
        ("results", page(pics, results)),
        ("about", page(pics, [("BACKGROUND_CR", 0, 0), ("text:Ver 0.9.3.0", 188, 240),
                              ("text:Release Date:2024-05-01", 188, 256), ("BUTTON_P_OVER", 420, 375)])),
    ]


def checkerboard(width, height, cell=6):
    board = Image.new("RGBA", (width, height), (255, 255, 255, 255))
    draw = ImageDraw.Draw(board)
    for y in range(0, height, cell):
        for x in range(0, width, cell):
            if (x // cell + y // cell) % 2:
                draw.rectangle((x, y, x + cell - 1, y + cell - 1), fill=(214, 214, 214, 255))
    return board


def tile(name, picture):
    frames = frames_of(picture) if getattr(picture, "is_animated", False) else [rgba(picture)]
    w, h = frames[0].size
    gap = 4
    strip_w = len(frames) * (w + gap) - gap
    board = checkerboard(strip_w, h)
    for i, frame in enumerate(frames):
        board.alpha_composite(frame, (i * (w + gap), 0))
    label = f"{name} {w}x{h}" + (f" {len(frames)} frames" if len(frames) > 1 else "")
    out = Image.new("RGBA", (max(strip_w, 170), h + 18), (250, 250, 250, 255))
    out.alpha_composite(board, (0, 0))
    ImageDraw.Draw(out).text((0, h + 3), label, font=st.latin(11, bold=False), fill=(0, 0, 0, 255))
    return out


def sheet(pics):
    margin, sheet_w = 16, 1640
    blocks = []
    for title, image in pages(pics):
        framed = Image.new("RGBA", (image.width, image.height + 20), (250, 250, 250, 255))
        framed.alpha_composite(image, (0, 0))
        ImageDraw.Draw(framed).text((0, image.height + 4), title, font=st.latin(13), fill=(0, 0, 0, 255))
        blocks.append(framed)
    blocks += [tile(name, picture) for name, picture in pics.items()]
    # Simple shelf packing, in order.
    placed, x, y, shelf = [], margin, margin, 0
    for block in blocks:
        if x + block.width > sheet_w - margin:
            x, y, shelf = margin, y + shelf + margin, 0
        placed.append((block, x, y))
        x += block.width + margin
        shelf = max(shelf, block.height)
    out = Image.new("RGBA", (sheet_w, y + shelf + margin), (250, 250, 250, 255))
    for block, bx, by in placed:
        out.alpha_composite(block, (bx, by))
    return out.convert("RGB")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    here = os.path.dirname(os.path.abspath(__file__))
    root = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "..", "src", "res")
    sheet(load_all(os.path.abspath(root))).save(sys.argv[1])
