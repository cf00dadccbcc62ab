#!/usr/bin/python3
"""Draws every picture of the window into src/res/ (png/, jpeg/, gif/).

Run with Debian's python3 and python3-pil; the output is the same, byte for byte, on every run.
    /usr/bin/python3 tools/artwork/generate.py [output directory, default src/res]
"""
import math
import os
import sys

from PIL import Image, ImageDraw

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import style as st  # noqa: E402
from style import Canvas  # noqa: E402


# ---------------------------------------------------------------- backgrounds

def chrome():
    """Header band, accent rule, pale content area and the button strip shared by every page."""
    image = Image.new("RGBA", (st.WIDTH, st.HEIGHT), st.PALE + (255,))
    image.alpha_composite(st.horizontal_gradient(st.WIDTH, st.HEADER_H, st.NAVY, st.BLUE), (0, 0))
    image.alpha_composite(Image.new("RGBA", (st.WIDTH, 2), st.ACCENT + (255,)), (0, st.HEADER_H))
    strip_h = st.HEIGHT - st.STRIP_TOP
    image.alpha_composite(st.vertical_gradient(st.WIDTH, strip_h, st.BLUE, st.NAVY), (0, st.STRIP_TOP))
    image.alpha_composite(Image.new("RGBA", (st.WIDTH, 1), st.SKY + (255,)), (0, st.STRIP_TOP))
    # A faint gauge in the header's right half: the speed-test motif, kept quiet.
    marks = Canvas(st.WIDTH, st.HEADER_H)
    for i, radius in enumerate((70, 100, 130)):
        marks.arc((470 - radius, 90 - radius, 470 + radius, 90 + radius), 200, 340,
                  fill=(255, 255, 255, 26 - 6 * i), width=6)
    image.alpha_composite(marks.image(), (0, 0))
    return image


def gauge_watermark(image, centre, radius):
    marks = Canvas(st.WIDTH, st.HEIGHT)
    cx, cy = centre
    marks.arc((cx - radius, cy - radius, cx + radius, cy + radius), 150, 390, fill=st.LINE + (150,), width=10)
    marks.arc((cx - radius + 22, cy - radius + 22, cx + radius - 22, cy + radius - 22), 150, 300,
              fill=st.LINE + (120,), width=4)
    for k in range(9):
        angle = math.radians(150 + k * 30)
        r1, r2 = radius - 30, radius - 40
        marks.line([(cx + r1 * math.cos(angle), cy + r1 * math.sin(angle)),
                    (cx + r2 * math.cos(angle), cy + r2 * math.sin(angle))], fill=st.LINE + (150,), width=3)
    image.alpha_composite(marks.image(), (0, 0))


def background():
    image = chrome()
    gauge_watermark(image, (452, 330), 84)
    return image.convert("RGB")


def background_over():
    image = chrome()
    cards = Canvas(st.WIDTH, st.HEIGHT)
    for top in (58, 162):
        cards.rounded((9, top + 1, 353, top + 97), 10, fill=(10, 45, 110, 24))   # soft shadow
        cards.rounded((8, top, 352, top + 96), 10, fill=st.CARD + (255,), outline=st.LINE + (255,), width=1)
    cards.line([(16, 268), (504, 268)], fill=st.LINE + (255,), width=1)
    image.alpha_composite(cards.image(), (0, 0))
    gauge_watermark(image, (436, 196), 64)
    return image


def wrap_lines(canvas, x, baseline, lines, size, fill, leading, bold=False):
    for line in lines:
        canvas.text(x, baseline, line, size, fill, bold=bold)
        baseline += leading
    return baseline


def background_cr():
    image = chrome()
    page = Canvas(st.WIDTH, st.HEIGHT)
    page.rounded((17, 67, 505, 367), 12, fill=(10, 45, 110, 24))
    page.rounded((16, 66, 504, 366), 12, fill=st.CARD + (255,), outline=st.LINE + (255,))
    page.rect((36, 126, 120, 129), fill=st.ACCENT + (255,))
    page.line([(36, 232), (484, 232)], fill=st.LINE + (255,), width=1)
    page.image()
    page.text(36, 114, "Kivota", 32, st.NAVY)
    x = 36 + st.text_width("Kivota", 32) + 12
    page.text(x, 113, "Vantrel 測速軟體", 16, st.MUTED)
    wrap_lines(page, 36, 156, [
        "Copyright © ZUV。版權所有，保留一切權利。",
        "本軟體供 Vantrel 用戶測量寬頻連線速率，",
        "未經授權請勿重製、修改或散布。",
    ], st.BODY, st.INK, 22)
    page.text(36, 222, "開放原始碼元件：libpng、libjpeg-turbo、giflib、zlib、Qt", st.SMALL, st.MUTED, bold=False)
    page.text(36, 256, "版本資訊", st.BODY, st.MUTED)
    image.alpha_composite(page.image(), (0, 0))
    # The about page shows no logo control: the header carries the product logo and the page title.
    image.alpha_composite(applogo(), (0, 0))
    title = page_title("版權與授權", 200, right=True)
    image.alpha_composite(title, (st.WIDTH - 20 - 200, 16))
    return image


# ---------------------------------------------------------------- logos and titles

def zuv():
    c = Canvas(135, 41)
    # Three signal arcs in the accent colour, then the letters.
    for i, radius in enumerate((6, 12, 18)):
        c.arc((4 - radius + 6, 30 - radius, 4 + radius + 6, 30 + radius), 270, 360, fill=st.ACCENT + (255,), width=3.2)
    c.ellipse((7.5, 27.5, 12.5, 32.5), fill=st.ACCENT + (255,))
    c.image()
    c.text(34, 31, "ZUV", 28, st.WHITE)
    return c.image()


def applogo():
    c = Canvas(180, 50)
    # Gauge mark: white dial arc with an accent needle.
    c.arc((8, 9, 42, 43), 150, 390, fill=st.WHITE + (255,), width=3.5)
    c.line([(25, 26), (36, 15)], fill=st.ACCENT + (255,), width=3.5)
    c.ellipse((21.5, 22.5, 28.5, 29.5), fill=st.ACCENT + (255,))
    c.image()
    c.text(50, 29, "Kivota", 24, st.WHITE)
    c.text(51, 44, "Vantrel 測速", st.SMALL, (196, 222, 250), bold=True)
    return c.image()


def app_icon(size):
    """The desktop icon: the logo's gauge mark, large, on a rounded tile in the header's blues.
    Drawn at 256 pixels and scaled, so every size is the same picture."""
    full = 256
    tile = Canvas(full, full)
    tile.rounded((8, 8, full - 8, full - 8), 44, fill=st.NAVY + (255,))
    mask = tile.image().split()[3]
    shade = st.vertical_gradient(full, full, st.BLUE, st.NAVY)
    shade.putalpha(mask)
    c = Canvas(full, full)
    c.paste_big(shade.resize((full * st.SUPERSAMPLE, full * st.SUPERSAMPLE), Image.LANCZOS), (0, 0))
    c.arc((40, 48, 216, 224), 150, 390, fill=st.WHITE + (255,), width=18)
    for k in range(9):
        angle = math.radians(150 + k * 30)
        r1, r2 = 70, 58
        c.line([(128 + r1 * math.cos(angle), 136 + r1 * math.sin(angle)),
                (128 + r2 * math.cos(angle), 136 + r2 * math.sin(angle))], fill=st.SKY + (255,), width=6)
    c.line([(128, 136), (178, 86)], fill=st.ACCENT + (255,), width=18)
    c.ellipse((108, 116, 148, 156), fill=st.ACCENT + (255,))
    picture = c.image()
    return picture if size == full else picture.resize((size, size), Image.LANCZOS)


ICON_SIZES = (48, 128, 256)


def opencr():
    c = Canvas(114, 25)
    text = "版權與授權"
    size = 13
    width = st.text_width(text, size)
    x = 112 - width
    c.ellipse((x - 19, 5, x - 5, 19), outline=st.BLUE + (255,), width=1.5)
    c.image()
    baseline = st.centred_baseline(0, 24, size)
    c.text(x - 12 - st.text_width("i", 11) / 2, baseline, "i", 11, st.BLUE)
    c.text(x, baseline, text, size, st.BLUE)
    c.draw.line([(x, baseline + 3), (x + width, baseline + 3)], fill=st.BLUE + (255,), width=1)
    return c.image()


def page_title(text, width, right):
    """White title on the header band with an accent bar beside it."""
    c = Canvas(width, 33)
    size = st.fit_size(text, width - 16, st.TITLE)
    text_w = st.text_width(text, size)
    x = width - 2 - text_w if right else 12
    c.rounded((x - 12, 7, x - 7, 26), 2, fill=st.ACCENT + (255,))
    c.image()
    c.text(x, st.centred_baseline(0, 33, size), text, size, st.WHITE)
    return c.image()


# ---------------------------------------------------------------- update pages

def alarm(text, required):
    c = Canvas(520, 49)
    fill = st.ACCENT_DARK if required else (255, 241, 224)
    c.rounded((10, 5, 510, 44), 8, fill=fill + (255,), outline=None if required else st.ACCENT + (255,))
    mark = st.WHITE if required else st.ACCENT
    c.ellipse((24, 13, 46, 35), fill=mark + (255,))
    c.image()
    ink = st.ACCENT_DARK if required else st.WHITE
    c.text(35 - st.text_width("!", 17) / 2, 31, "!", 17, ink)
    size = st.fit_size(text, 440, 17)
    c.text(58, st.centred_baseline(5, 44, size), text, size, st.WHITE if required else st.INK)
    return c.image()


def download_notice():
    c = Canvas(169, 81)
    c.rounded((2, 3, 167, 79), 10, fill=(10, 45, 110, 24))
    c.rounded((1, 1, 166, 77), 10, fill=st.CARD + (255,), outline=st.LINE + (255,))
    c.ellipse((12, 19, 52, 59), fill=st.BLUE + (255,))
    c.polygon([(32, 49), (22, 37), (28.5, 37), (28.5, 28), (35.5, 28), (35.5, 37), (42, 37)], fill=st.WHITE + (255,))
    c.rect((23, 51, 41, 53), fill=st.WHITE + (255,))
    c.image()
    c.text(62, 36, "立即下載", 16, st.NAVY)
    c.text(62, 56, "取得最新版本", st.SMALL, st.MUTED, bold=False)
    return c.image()


# ---------------------------------------------------------------- connecting and testing pages

def status_line(text, width, height, size, centred=False, dot=False):
    c = Canvas(width, height)
    if dot:
        c.ellipse((2, height / 2 - 3.5, 9, height / 2 + 3.5), fill=st.ACCENT + (255,))
    c.image()
    size = st.fit_size(text, width - (16 if dot else 6), size)
    x = (width - st.text_width(text, size)) / 2 if centred else (15 if dot else 14)
    c.text(round(x), st.centred_baseline(0, height, size), text, size, st.NAVY)
    return c.image()


def percent_bar(percent):
    c = Canvas(482, 33)
    top, bottom = 12, 26
    c.rounded((1, top, 481, bottom), 7, fill=st.LINE + (255,))
    if percent > 0:
        right = 1 + 480 * percent / 100
        s = st.SUPERSAMPLE
        fill = st.horizontal_gradient(482 * s, (bottom - top) * s, st.BLUE, st.SKY)
        mask = Image.new("L", fill.size, 0)
        ImageDraw.Draw(mask).rounded_rectangle((1 * s, 0, round(right * s), (bottom - top) * s), radius=7 * s, fill=255)
        fill.putalpha(mask)
        c.paste_big(fill, (0, top))
        # A thin highlight along the top of the filled part.
        if right > 10:
            c.line([(7, top + 3), (right - 6, top + 3)], fill=(255, 255, 255, 70), width=2)
    return c.image()


def percent_text(percent):
    c = Canvas(65, 32)
    text = f"{percent}%"
    size = 18
    x = 62 - st.text_width(text, size)
    c.text(round(x), 23, text, size, st.NAVY)
    return c.image()


NOTICES = {
    "NOTICE_P1": ("測試準備中", 0, [
        "測試期間請暫停下載與串流",
        "請關閉其他使用網路的程式",
        "建議使用有線網路連線測試",
        "全程約需一分鐘，請稍候",
    ]),
    "NOTICE_P2": ("下載速率測試", 1, [
        "正在測量下載速率，請勿關閉視窗",
        "請暫停影音串流與檔案下載",
        "測試期間請勿切換網路連線",
    ]),
    "NOTICE_P3": ("上傳速率測試", 2, [
        "正在測量上傳速率，請勿關閉視窗",
        "請暫停雲端同步與檔案分享",
        "上傳完成後將自動分析結果",
    ]),
}


def notice_panel(title, step, tips):
    """Hint panel: the phase title and a step indicator (prepare, download, upload) on the header,
    the tips on a card above the places where the rotating ring and the analysis text appear."""
    c = Canvas(520, 316)
    xs = [400, 440, 480]
    cy = 26
    for i in range(2):
        c.line([(xs[i] + 11, cy), (xs[i + 1] - 11, cy)], fill=(255, 255, 255, 150 if i < step else 70), width=2)
    for i, x in enumerate(xs):
        if i == step:
            c.ellipse((x - 11, cy - 11, x + 11, cy + 11), fill=st.ACCENT + (255,))
        elif i < step:
            c.ellipse((x - 10, cy - 10, x + 10, cy + 10), fill=st.WHITE + (255,))
        else:
            c.ellipse((x - 10, cy - 10, x + 10, cy + 10), outline=(255, 255, 255, 160), width=1.5)
    c.rounded((18, 23, 23, 42), 2, fill=st.ACCENT + (255,))
    c.rounded((15, 63, 506, 109), 8, fill=(10, 45, 110, 20))
    c.rounded((14, 62, 505, 108), 8, fill=st.CARD + (255,), outline=st.LINE + (255,))
    places = [(28, 0), (268, 0), (28, 1), (268, 1)]
    for i in range(len(tips)):
        x, row = places[i]
        middle = 75 + 21 * row
        c.ellipse((x, middle - 3, x + 6, middle + 3), fill=st.ACCENT + (255,))
    c.image()
    c.text(30, st.centred_baseline(16, 49, st.TITLE), title, st.TITLE, st.WHITE)
    for i, x in enumerate(xs):
        number = str(i + 1)
        ink = st.NAVY if i < step else st.WHITE
        c.text(round(x - st.text_width(number, 13) / 2), cy + 5, number, 13, ink)
    for i, tip in enumerate(tips):
        x, row = places[i]
        middle = 75 + 21 * row
        size = st.fit_size(tip, 226, 13)
        c.text(x + 12, st.centred_baseline(middle - 9, middle + 9, size), tip, size, st.INK, bold=False)
    return c.image()


# ---------------------------------------------------------------- results page

def row_title(text, width, up):
    c = Canvas(width, 25)
    colour = st.ACCENT if up else st.BLUE
    c.ellipse((16, 4, 34, 22), fill=colour + (255,))
    if up:
        c.polygon([(25, 7.5), (19.5, 14), (23, 14), (23, 19), (27, 19), (27, 14), (30.5, 14)], fill=st.WHITE + (255,))
    else:
        c.polygon([(25, 18.5), (19.5, 12), (23, 12), (23, 7), (27, 7), (27, 12), (30.5, 12)], fill=st.WHITE + (255,))
    c.image()
    c.text(42, st.centred_baseline(0, 26, 16), text, 16, st.NAVY)
    return c.image()


DIGIT_BASELINE = 52


def digit(ch):
    """Large condensed digit: Liberation Sans Bold drawn at four times the size and squeezed."""
    s = st.SUPERSAMPLE
    squeeze = 0.82
    big_w, big_h = round(34 * s / squeeze), 55 * s
    big = Image.new("RGBA", (big_w, big_h), (0, 0, 0, 0))
    font = st.latin(232)
    ImageDraw.Draw(big).text((big_w / 2, DIGIT_BASELINE * s), ch, font=font, fill=st.NAVY + (255,), anchor="ms")
    return big.resize((34, 55), Image.LANCZOS)


def dash():
    c = Canvas(34, 55)
    c.rounded((7, 30, 27, 36), 3, fill=st.MUTED + (255,))
    return c.image()


def point():
    c = Canvas(17, 14)
    c.ellipse((4.5, 5, 12.5, 13), fill=st.NAVY + (255,))
    return c.image()


def unit(text):
    c = Canvas(75, 31)
    c.text(4, 23, text, 20, st.BLUE)
    return c.image()


def serial():
    c = Canvas(105, 33)
    for text, baseline in (("測試序號", 15), ("測試時間", 30)):
        c.text(52 - st.text_width(text, st.SMALL), baseline, text, st.SMALL, st.NAVY)
    return c.image()


# ---------------------------------------------------------------- buttons

BUTTON_STATES = {
    # state: (fill, text colour, outline, press offset, shadow)
    "": (st.WHITE, st.NAVY, None, 0, True),
    "_OVER": (st.ACCENT, st.WHITE, None, 0, True),
    "_OUT": (st.ACCENT_DARK, st.WHITE, None, 1, False),
}

REPORT_STATES = {
    "": (st.BLUE, st.WHITE, None, 0, True),
    "_OVER": (st.ACCENT, st.WHITE, None, 0, True),
    "_OUT": (st.ACCENT_DARK, st.WHITE, None, 1, False),
}


def button(label, width, height, state, states=BUTTON_STATES):
    fill, ink, outline, offset, shadow = states[state]
    c = Canvas(width, height)
    top, bottom = 2 + offset, height - 3 + offset
    if shadow:
        c.rounded((1, top + 1.5, width - 1, bottom + 1.5), 8, fill=(0, 0, 0, 60))
    c.rounded((1, top, width - 1, bottom), 8, fill=fill + (255,), outline=outline)
    if not shadow:
        # Pressed: a darker rim along the top edge reads as sunken.
        c.line([(9, top + 1.2), (width - 9, top + 1.2)], fill=(0, 0, 0, 50), width=1.5)
    c.image()
    size = st.fit_size(label, width - 14, st.BUTTON)
    x = (width - st.text_width(label, size)) / 2
    c.text(round(x), st.centred_baseline(top, bottom, size), label, size, ink)
    return c.image()


BUTTONS = {
    # name: (label, width)
    "BUTTON_C": ("關閉(C)", 97),
    "BUTTON_Q": ("結束(Q)", 97),
    "BUTTON_P": ("返回(P)", 97),
    "BUTTON_N": ("下一步(N)", 91),
    "BUTTON_T": ("安裝說明(T)", 91),
    "BUTTON_D": ("下載(D)", 100),
    "BUTTON_Y": ("我同意(A)", 100),
    "BUTTON_RT": ("重新測試(T)", 100),
}


# ---------------------------------------------------------------- animations

def gif_frames(frames, matte):
    """Turns RGBA frames into palette frames with one shared palette; index 255 is transparent.
    Partly covered edge pixels are blended with the colour the picture is shown on."""
    opaque = []
    for frame in frames:
        flat = Image.new("RGBA", frame.size, matte + (255,))
        flat.alpha_composite(frame)
        opaque.append(flat.convert("RGB"))
    strip = Image.new("RGB", (frames[0].width, frames[0].height * len(frames)))
    for i, flat in enumerate(opaque):
        strip.paste(flat, (0, i * frames[0].height))
    palette_image = strip.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = palette_image.getpalette()[:255 * 3]
    palette += [0, 0, 0] * (255 - len(palette) // 3)
    palette += list(matte)
    palette_image.putpalette(palette)
    result = []
    for frame, flat in zip(frames, opaque):
        indexed = flat.quantize(palette=palette_image, dither=Image.Dither.NONE)
        transparent = frame.getchannel("A").point(lambda a: 255 if a < 80 else 0)
        indexed.paste(255, (0, 0), transparent)
        indexed.info["transparency"] = 255
        result.append(indexed)
    return result


def loading_frames():
    count = 10
    frames = []
    for k in range(count):
        c = Canvas(57, 57)
        for j in range(count):
            age = (k - j) % count
            t = min(1.0, age / 6)
            colour = tuple(round(a + (b - a) * t) for a, b in zip(st.BLUE, st.LINE))
            angle = 2 * math.pi * j / count - math.pi / 2
            x, y = 28.5 + 20 * math.cos(angle), 28.5 + 20 * math.sin(angle)
            r = 4.2 if age == 0 else 3.6
            c.ellipse((x - r, y - r, x + r, y + r), fill=colour + (255,))
        frames.append(c.image())
    return frames


def rotation_frames():
    count = 12
    frames = []
    for k in range(count):
        c = Canvas(105, 105)
        box = (10, 10, 95, 95)
        c.arc(box, 0, 360, fill=st.LINE + (255,), width=9)
        start = -90 + k * 360 / count
        c.arc(box, start, start + 110, fill=st.BLUE + (255,), width=9)
        c.arc(box, start + 85, start + 110, fill=st.ACCENT + (255,), width=9)
        # Rounded caps at both ends of the moving arc.
        for angle, colour in ((start, st.BLUE), (start + 110, st.ACCENT)):
            a = math.radians(angle)
            x, y = 52.5 + 38 * math.cos(a), 52.5 + 38 * math.sin(a)
            c.ellipse((x - 4.5, y - 4.5, x + 4.5, y + 4.5), fill=colour + (255,))
        frames.append(c.image())
    return frames


def save_gif(path, frames, delay_ms):
    indexed = gif_frames(frames, st.PALE)
    indexed[0].save(path, save_all=True, append_images=indexed[1:], duration=delay_ms, loop=0,
                    disposal=2, transparency=255, optimize=False)


# ---------------------------------------------------------------- all pictures

def pictures():
    """Every picture by name: (type, image or frame list)."""
    out = {
        "BACKGROUND": ("jpeg", background()),
        "BACKGROUND_OVER": ("png", background_over()),
        "BACKGROUND_CR": ("png", background_cr()),
        "ZUV": ("png", zuv()),
        "APPLOGO": ("png", applogo()),
        "OPENCR": ("png", opencr()),
        "TEST_END": ("png", page_title("測試結果", 227, right=False)),
        "ANNOUNCEMENT": ("png", page_title("使用者同意條款", 306, right=True)),
        "SETUPDOC": ("png", page_title("安裝與使用說明", 421, right=True)),
        "TEXT_BULLETIN": ("png", page_title("公告事項", 207, right=True)),
        "UNUSE": ("png", alarm("您使用的版本已停止服務，請下載新版本", required=True)),
        "ALARMVER": ("png", alarm("已有新版本，建議您下載更新", required=False)),
        "DOWNLOAD": ("png", download_notice()),
        "CONNECTING": ("png", status_line("連線中，請稍候…", 284, 41, 20)),
        "LOADING": ("gif", loading_frames()),
        "ROTATION": ("gif", rotation_frames()),
        "ANALYSIS": ("png", status_line("結果分析中，請稍候…", 241, 41, 20, centred=True)),
        "TEXT_CONFIG": ("png", status_line("讀取測試設定中", 193, 25, 15, dot=True)),
        "TEXT_DOWNLINK": ("png", status_line("下載速率測試中", 193, 25, 15, dot=True)),
        "TEXT_UPLINK": ("png", status_line("上傳速率測試中", 193, 25, 15, dot=True)),
        "TEXT_DOWNLINK_END": ("png", status_line("下載速率測試完成", 193, 25, 15, dot=True)),
        "TEXT_UPLINK_END": ("png", status_line("上傳速率測試完成", 193, 25, 15, dot=True)),
        "DOWNLINK": ("png", row_title("下載速率", 257, up=False)),
        "UPLINK": ("png", row_title("上傳速率", 200, up=True)),
        "POINT": ("png", point()),
        "DASH": ("png", dash()),
        "MBPS": ("png", unit("Mbps")),
        "KBPS": ("png", unit("Kbps")),
        "SERIAL": ("png", serial()),
    }
    for percent in range(0, 101, 10):
        out[f"PERCENT_BAR_{percent}"] = ("png", percent_bar(percent))
        out[f"PERCENT_{percent}"] = ("png", percent_text(percent))
    for name, (title, step, tips) in NOTICES.items():
        out[name] = ("png", notice_panel(title, step, tips))
    for d in range(10):
        out[f"DIGIT_{d}"] = ("png", digit(str(d)))
    for name, (label, width) in BUTTONS.items():
        for state in BUTTON_STATES:
            out[name + state] = ("png", button(label, width, 41, state))
    for state in REPORT_STATES:
        out["BUTTON_R" + state] = ("png", button("查看測試報告(R)", 201, 33, state, REPORT_STATES))
    return out


EXTENSIONS = {"png": "png", "jpeg": "jpg", "gif": "gif"}


def write_all(root):
    for kind in EXTENSIONS:
        os.makedirs(os.path.join(root, kind), exist_ok=True)
    written = set()
    for name, (kind, picture) in sorted(pictures().items()):
        path = os.path.join(root, kind, f"{name}.{EXTENSIONS[kind]}")
        if kind == "png":
            picture.save(path, optimize=True)
        elif kind == "jpeg":
            picture.save(path, quality=92, subsampling=0, optimize=True, progressive=False)
        else:
            save_gif(path, picture, 80)
        written.add(os.path.abspath(path))
    # Pictures that are no longer drawn must not linger in the program.
    for kind, ext in EXTENSIONS.items():
        folder = os.path.join(root, kind)
        for entry in os.listdir(folder):
            path = os.path.abspath(os.path.join(folder, entry))
            if entry.endswith("." + ext) and path not in written:
                os.remove(path)


def write_icons(root):
    """The desktop icons (installed, not built into the program): icons/kivota-<size>.png."""
    folder = os.path.join(root, "icons")
    os.makedirs(folder, exist_ok=True)
    for size in ICON_SIZES:
        app_icon(size).save(os.path.join(folder, f"kivota-{size}.png"), optimize=True)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "src", "res")
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else default)
    write_all(root)
    write_icons(root)
