"""Palette, type scale and drawing helpers shared by the artwork generator and the contact sheet."""
import os

from PIL import Image, ImageDraw, ImageFont

# Palette: deep blue chrome, white and a pale blue content area, one warm accent.
NAVY = (10, 45, 110)
BLUE = (22, 88, 178)
SKY = (92, 160, 230)
PALE = (238, 244, 251)       # content area of every page
CARD = (255, 255, 255)
LINE = (196, 214, 236)       # hairlines and tracks
INK = (24, 36, 56)           # body text
MUTED = (92, 108, 132)       # secondary text
ACCENT = (242, 140, 30)
ACCENT_DARK = (206, 108, 10)
WHITE = (255, 255, 255)

# Type scale (pixels).
TITLE = 22
HEADING = 18
BUTTON = 15
BODY = 14
SMALL = 12

# Window geometry that the artwork is laid out for.
WIDTH, HEIGHT = 520, 420
HEADER_H = 52          # titles sit at y 16..49, the product logo at 0..50
STRIP_TOP = 374        # buttons at y 375..416

SUPERSAMPLE = 4

CJK_REGULAR = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
CJK_BOLD = "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc"
LATIN_REGULAR = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"
LATIN_BOLD = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf"

_fonts = {}


def _tc_index(path):
    """Index of the Traditional Chinese face in a Noto CJK collection (else glyphs take Japanese forms)."""
    for index in range(16):
        try:
            face = ImageFont.truetype(path, 10, index=index)
        except OSError:
            break
        if face.getname()[0] == "Noto Sans CJK TC":
            return index
    raise SystemExit(f"no Noto Sans CJK TC face in {path}")


def _latin_path(bold):
    path = LATIN_BOLD if bold else LATIN_REGULAR
    if not os.path.exists(path):
        path = path.replace("liberation2", "liberation")
    return path


def cjk(size, bold=True):
    key = ("cjk", size, bold)
    if key not in _fonts:
        path = CJK_BOLD if bold else CJK_REGULAR
        _fonts[key] = ImageFont.truetype(path, size, index=_tc_index(path))
    return _fonts[key]


def latin(size, bold=True):
    key = ("latin", size, bold)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(_latin_path(bold), size)
    return _fonts[key]


def _runs(text, size, bold):
    """Split text into runs: ASCII in Liberation Sans, everything else in Noto Sans CJK TC."""
    runs = []
    for ch in text:
        font = latin(size, bold) if ord(ch) < 128 else cjk(size, bold)
        if runs and runs[-1][1] is font:
            runs[-1][0] += ch
        else:
            runs.append([ch, font])
    return runs


def text_width(text, size, bold=True):
    return sum(font.getlength(run) for run, font in _runs(text, size, bold))


def text_box(text, size, bold=True):
    """Ink extent (top, bottom) relative to the baseline, over all runs."""
    top, bottom = 0, 0
    for run, font in _runs(text, size, bold):
        box = font.getbbox(run, anchor="ls")
        top, bottom = min(top, box[1]), max(bottom, box[3])
    return top, bottom


def draw_text(draw, x, baseline, text, size, fill, bold=True):
    for run, font in _runs(text, size, bold):
        draw.text((x, baseline), run, font=font, fill=fill, anchor="ls")
        x += font.getlength(run)
    return x


def centred_baseline(top, bottom, size, bold=True, sample="測試"):
    """Baseline that centres CJK ink (or the sample's ink) between top and bottom."""
    ink_top, ink_bottom = text_box(sample, size, bold)
    return round((top + bottom) / 2 - (ink_top + ink_bottom) / 2)


def fit_size(text, max_width, size, bold=True, minimum=10):
    while size > minimum and text_width(text, size, bold) > max_width:
        size -= 1
    return size


class Canvas:
    """A picture drawn in two layers: shapes at four times the size (smooth edges after
    scaling down), then text at the final size (crisp hinting)."""

    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.shapes = Image.new("RGBA", (width * SUPERSAMPLE, height * SUPERSAMPLE), background)
        self.shape_draw = ImageDraw.Draw(self.shapes)
        self._final = None

    def s(self, *values):
        return [round(v * SUPERSAMPLE) for v in values]

    def _paint(self, colour, paint):
        """Draws opaque colours straight on; a translucent one on its own layer that is then
        composited, since drawing would replace the pixels under it instead of blending."""
        if colour is None or len(colour) < 4 or colour[3] == 255:
            paint(self.shape_draw)
            return
        layer = Image.new("RGBA", self.shapes.size, (0, 0, 0, 0))
        paint(ImageDraw.Draw(layer))
        self.shapes.alpha_composite(layer)

    def rounded(self, box, radius, fill=None, outline=None, width=1):
        self._paint(fill if fill is not None else outline, lambda d: d.rounded_rectangle(
            self.s(*box), radius=radius * SUPERSAMPLE, fill=fill, outline=outline, width=round(width * SUPERSAMPLE)))

    def rect(self, box, fill):
        self._paint(fill, lambda d: d.rectangle(self.s(*box), fill=fill))

    def ellipse(self, box, fill=None, outline=None, width=1):
        self._paint(fill if fill is not None else outline, lambda d: d.ellipse(
            self.s(*box), fill=fill, outline=outline, width=round(width * SUPERSAMPLE)))

    def polygon(self, points, fill):
        self._paint(fill, lambda d: d.polygon([tuple(self.s(x, y)) for x, y in points], fill=fill))

    def line(self, points, fill, width=1):
        self._paint(fill, lambda d: d.line([tuple(self.s(x, y)) for x, y in points], fill=fill,
                                          width=round(width * SUPERSAMPLE)))

    def arc(self, box, start, end, fill, width):
        self._paint(fill, lambda d: d.arc(self.s(*box), start, end, fill=fill, width=round(width * SUPERSAMPLE)))

    def paste_big(self, image, xy):
        """Paste an RGBA image prepared at the supersampled size."""
        self.shapes.alpha_composite(image, tuple(self.s(*xy)))

    def finish_shapes(self):
        if self._final is None:
            self._final = self.shapes.resize((self.width, self.height), Image.LANCZOS)
            self.draw = ImageDraw.Draw(self._final)
        return self._final

    def text(self, x, baseline, text, size, fill, bold=True):
        self.finish_shapes()
        return draw_text(self.draw, x, baseline, text, size, fill, bold)

    def image(self):
        return self.finish_shapes()


def vertical_gradient(width, height, top, bottom):
    column = Image.new("RGBA", (1, height))
    for y in range(height):
        t = y / max(1, height - 1)
        column.putpixel((0, y), tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,))
    return column.resize((width, height))


def horizontal_gradient(width, height, left, right):
    row = Image.new("RGBA", (width, 1))
    for x in range(width):
        t = x / max(1, width - 1)
        row.putpixel((x, 0), tuple(round(a + (b - a) * t) for a, b in zip(left, right)) + (255,))
    return row.resize((width, height))
