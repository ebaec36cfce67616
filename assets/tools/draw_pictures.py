#!/usr/bin/python3
"""Draws the raster pictures of Deckhand and checks them.

    /usr/bin/python3 assets/tools/draw_pictures.py           # draw, then check
    /usr/bin/python3 assets/tools/draw_pictures.py --check   # check the files only

Writes into assets/: phone.jpg (the phone of the preview pane), logo.jpg (the
splash screen's logo), about-left.jpg, about-right.jpg and about-band.jpg (the
frame of the About box). The application icon PNGs are rendered from
deckhand.svg by make_icons.sh, not here.

Needs Pillow (Debian: python3-pil) and the DejaVu fonts (fonts-dejavu-core).
Shapes are drawn at four times the size and scaled down, which gives them
smooth edges; the few places whose pixels other code relies on (the phone's
screen square, the About frame's colours) are set exactly afterwards.
"""

import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.path.normpath(os.path.join(HERE, '..'))
FONT_DIR = '/usr/share/fonts/truetype/dejavu'
S = 4  # supersampling factor

# The phone's screen: the preview overlay lies exactly on this square.
PHONE_SIZE = (178, 432)
SCREEN = (32, 78, 146, 192)  # first column, first row, last column, last row

# The About box's frame.
ABOUT_BOX = (0x59, 0x88, 0xCC)
ABOUT_BAND = (0x01, 0x48, 0xB2)
ABOUT_LEFT_SIZE = (72, 230)
ABOUT_RIGHT_SIZE = (20, 230)
ABOUT_EMBLEM = (29, 22, 67, 69)  # columns 29 to 67, rows 22 to 69
BAND = 8

LOGO_SIZE = (250, 130)


def font(name, px):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), px * S)


def sc(*values):
    """Final-pixel coordinates to supersampled ones."""
    return [v * S for v in values]


def box(x0, y0, x1, y1):
    """A box given by its first and last final pixel, inclusive."""
    return [x0 * S, y0 * S, (x1 + 1) * S - 1, (y1 + 1) * S - 1]


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def ramp(size, a, b, profile, horizontal):
    """An image whose colour goes from a to b as profile(t) goes 0..1 across it."""
    w, h = size
    n = w if horizontal else h
    strip = Image.new('RGB', (n, 1))
    strip.putdata([mix(a, b, profile(i / max(1, n - 1))) for i in range(n)])
    if horizontal:
        return strip.resize((w, h), Image.NEAREST)
    return strip.transpose(Image.ROTATE_270).transpose(Image.FLIP_LEFT_RIGHT).resize((w, h), Image.NEAREST)


def paint(canvas, shape_box, fill, radius, horizontal=None, profile=None, fill_b=None):
    """Fills a rounded box, flat or shaded, on the supersampled canvas."""
    x0, y0, x1, y1 = shape_box
    w, h = x1 - x0 + 1, y1 - y0 + 1
    mask = Image.new('L', (w, h), 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, w - 1, h - 1], radius=radius, fill=255)
    if fill_b is None:
        layer = Image.new('RGB', (w, h), fill)
    else:
        layer = ramp((w, h), fill, fill_b, profile or (lambda t: t), horizontal)
    canvas.paste(layer, (x0, y0), mask)


def ellipse(canvas, shape_box, fill, fill_b=None, profile=None, horizontal=False):
    x0, y0, x1, y1 = shape_box
    w, h = x1 - x0 + 1, y1 - y0 + 1
    mask = Image.new('L', (w, h), 0)
    ImageDraw.Draw(mask).ellipse([0, 0, w - 1, h - 1], fill=255)
    layer = Image.new('RGB', (w, h), fill) if fill_b is None else \
        ramp((w, h), fill, fill_b, profile or (lambda t: t), horizontal)
    canvas.paste(layer, (x0, y0), mask)


def soft_shadow(canvas, shape_box, radius, blur, strength, offset=(0, 0)):
    """Darkens the canvas softly under a rounded box."""
    x0, y0, x1, y1 = shape_box
    mask = Image.new('L', canvas.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(
        [x0 + offset[0], y0 + offset[1], x1 + offset[0], y1 + offset[1]], radius=radius, fill=strength)
    mask = mask.filter(ImageFilter.GaussianBlur(blur))
    canvas.paste(Image.new('RGB', canvas.size, (0, 0, 0)), (0, 0), mask)


def centred_text(draw, centre, text, fnt, fill):
    draw.text((centre[0] * S, centre[1] * S), text, font=fnt, fill=fill, anchor='mm')


def save_jpeg(image, name, quality=95):
    path = os.path.join(ASSETS, name)
    # Baseline JPEG without chroma subsampling: the colour edges stay where they are drawn.
    image.save(path, 'JPEG', quality=quality, subsampling=0, optimize=True, progressive=False)
    return path


# ---------------------------------------------------------------------------
# The phone


def cylinder(t):
    """Light across the middle of a rounded body, darker towards its sides."""
    return 1.0 - abs(t - 0.42) ** 1.6 * 2.2


def draw_handset(img, cx, cy, colour, angle):
    """A small telephone receiver centred on a final-pixel point, turned by angle degrees."""
    size = 20 * S
    layer = Image.new('L', (size, size), 0)
    d = ImageDraw.Draw(layer)
    # The curved grip, then the ear and mouth pieces at its ends.
    d.arc([2 * S, 4 * S, 18 * S, 20 * S], start=200, end=340, width=round(2.6 * S), fill=255)
    for end in (200, 340):
        a = math.radians(end)
        ex, ey = 10 * S + 7 * S * math.cos(a), 12 * S + 7 * S * math.sin(a)
        d.ellipse([ex - 2.4 * S, ey - 1.2 * S, ex + 2.4 * S, ey + 3.0 * S], fill=255)
    layer = layer.rotate(angle, resample=Image.BICUBIC, center=(10 * S, 10 * S))
    img.paste(Image.new('RGB', (size, size), colour), (cx * S - 10 * S, cy * S - 9 * S), layer)


def draw_phone():
    W, H = PHONE_SIZE
    img = Image.new('RGB', (W * S, H * S), (255, 255, 255))
    d = ImageDraw.Draw(img)

    body = box(9, 3, 168, 428)
    soft_shadow(img, body, 40 * S, 4 * S, 70, offset=(2 * S, 3 * S))

    # Body: dark graphite, rounded, lit from the upper left.
    paint(img, body, (20, 22, 26), 40 * S)
    paint(img, box(10, 4, 167, 427), (36, 39, 45), 39 * S, horizontal=True,
          profile=lambda t: cylinder(t), fill_b=(92, 97, 106))

    # Silver face plate around the screen, soft keys and navigation key.
    plate = box(15, 12, 162, 266)
    paint(img, plate, (88, 93, 101), 32 * S)
    paint(img, box(16, 13, 161, 265), (150, 156, 165), 31 * S, horizontal=True,
          profile=lambda t: cylinder(t), fill_b=(226, 230, 236))
    # A faint sheen down the plate.
    sheen = Image.new('L', img.size, 0)
    ImageDraw.Draw(sheen).rounded_rectangle(box(20, 16, 60, 262), radius=20 * S, fill=34)
    sheen = sheen.filter(ImageFilter.GaussianBlur(6 * S))
    img.paste(Image.new('RGB', img.size, (255, 255, 255)), (0, 0), sheen)

    # Earpiece: a slot with a grille of holes.
    paint(img, box(64, 30, 114, 42), (70, 74, 82), 6 * S)
    paint(img, box(65, 31, 113, 41), (28, 30, 35), 5 * S)
    for row, y in enumerate((34, 38)):
        for x in range(70 + (row % 2) * 3, 110, 6):
            d.ellipse(box(x, y - 1, x + 1, y), fill=(8, 9, 11))
    # A small status light left of the earpiece.
    ellipse(img, box(45, 33, 50, 38), (64, 70, 78))
    ellipse(img, box(46, 34, 49, 37), (90, 170, 120), fill_b=(30, 90, 60))

    # Screen bezel: dark glass around the display.
    paint(img, box(21, 60, 157, 208), (60, 64, 71), 12 * S)
    paint(img, box(22, 61, 156, 207), (16, 18, 21), 11 * S, horizontal=False,
          profile=lambda t: t, fill_b=(34, 37, 43))
    # A thin highlight on the glass above the display.
    d.line(sc(30, 64.5, 148, 64.5), fill=(70, 75, 84), width=S)
    # The display itself is drawn after scaling down, so its edges are exact.

    # Soft keys under the screen.
    for x0 in (20, 120):
        paint(img, box(x0, 214, x0 + 37, 233), (72, 77, 86), 9 * S)
        paint(img, box(x0 + 1, 215, x0 + 36, 232), (178, 184, 193), 8 * S, horizontal=False,
              profile=lambda t: t, fill_b=(238, 241, 245))
        d.rounded_rectangle(box(x0 + 11, 223, x0 + 26, 224), radius=S, fill=(70, 75, 84))

    # Call and end keys, below the soft keys.
    for x0, colour in ((20, (36, 150, 62)), (120, (206, 40, 36))):
        paint(img, box(x0, 238, x0 + 37, 258), (72, 77, 86), 10 * S)
        paint(img, box(x0 + 1, 239, x0 + 36, 257), (182, 188, 197), 9 * S, horizontal=False,
              profile=lambda t: t, fill_b=(238, 241, 245))
    # The call key's receiver is lifted, the end key's lies on its rest.
    draw_handset(img, 39, 249, (36, 150, 62), 25)
    draw_handset(img, 139, 251, (206, 40, 36), 0)

    # Navigation key: a four-way ring round a select button.
    ellipse(img, box(63, 211, 115, 263), (58, 62, 70))
    ellipse(img, box(64, 212, 114, 262), (200, 205, 213), fill_b=(140, 146, 156))
    ellipse(img, box(67, 215, 111, 259), (236, 239, 243), fill_b=(170, 176, 186))
    arrow = (70, 75, 84)
    cx, cy = 89, 237
    for dx, dy in ((0, -1), (0, 1), (-1, 0), (1, 0)):
        tip = (cx + dx * 19, cy + dy * 19)
        base = (cx + dx * 15, cy + dy * 15)
        px, py = -dy, dx
        points = [(tip[0] + 0.5, tip[1] + 0.5),
                  (base[0] + 0.5 + px * 3.5, base[1] + 0.5 + py * 3.5),
                  (base[0] + 0.5 - px * 3.5, base[1] + 0.5 - py * 3.5)]
        d.polygon([(x * S, y * S) for x, y in points], fill=arrow)
    ellipse(img, box(78, 226, 100, 248), (88, 93, 101))
    ellipse(img, box(79, 227, 99, 247), (246, 248, 250), fill_b=(176, 182, 192))

    # Number pad on the dark lower body.
    digit_font = font('DejaVuSans-Bold.ttf', 13)
    letter_font = font('DejaVuSans.ttf', 6)
    keys = [('1', 'o_o'), ('2', 'abc'), ('3', 'def'),
            ('4', 'ghi'), ('5', 'jkl'), ('6', 'mno'),
            ('7', 'pqrs'), ('8', 'tuv'), ('9', 'wxyz'),
            ('*', ''), ('0', '+'), ('#', '')]
    for i, (digit, letters) in enumerate(keys):
        col, row = i % 3, i // 3
        x0 = 22 + col * 46
        y0 = 276 + row * 32
        paint(img, box(x0, y0, x0 + 41, y0 + 25), (14, 15, 18), 11 * S)
        paint(img, box(x0, y0, x0 + 41, y0 + 24), (118, 124, 134), 11 * S)
        paint(img, box(x0 + 1, y0 + 1, x0 + 40, y0 + 23), (172, 178, 188), 10 * S, horizontal=False,
              profile=lambda t: t, fill_b=(236, 239, 243))
        if letters == 'o_o':
            # Voice mail: two reels joined by a tape.
            d.ellipse(box(x0 + 25, y0 + 10, x0 + 28, y0 + 13), outline=(60, 64, 72), width=S)
            d.ellipse(box(x0 + 31, y0 + 10, x0 + 34, y0 + 13), outline=(60, 64, 72), width=S)
            d.line(sc(x0 + 27, y0 + 14, x0 + 33, y0 + 14), fill=(60, 64, 72), width=S)
            centred_text(d, (x0 + 15, y0 + 12.5), digit, digit_font, (28, 30, 36))
        elif letters:
            centred_text(d, (x0 + 14, y0 + 12.5), digit, digit_font, (28, 30, 36))
            centred_text(d, (x0 + 29.5, y0 + 13), letters, letter_font, (70, 74, 84))
        else:
            centred_text(d, (x0 + 21, y0 + 13.5 if digit == '*' else y0 + 12.5), digit,
                         font('DejaVuSans-Bold.ttf', 15 if digit == '*' else 13), (28, 30, 36))

    # Microphone.
    for x in (84, 89, 94):
        d.ellipse(box(x - 1, 412, x, 413), fill=(8, 9, 11))

    phone = img.resize(PHONE_SIZE, Image.LANCZOS)

    # The display: pure white, exactly on its square, inside a one-pixel dark rim.
    x0, y0, x1, y1 = SCREEN
    rim = ImageDraw.Draw(phone)
    rim.rectangle([x0 - 1, y0 - 1, x1 + 1, y1 + 1], outline=(12, 13, 16))
    rim.rectangle([x0, y0, x1, y1], fill=(255, 255, 255))
    return phone


def check_phone(path):
    img = Image.open(path)
    problems = []
    if img.size != PHONE_SIZE:
        problems.append(f"{path}: {img.size} instead of {PHONE_SIZE}")
        return problems
    img = img.convert('RGB')
    x0, y0, x1, y1 = SCREEN
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if min(img.getpixel((x, y))) < 246:
                problems.append(f"{path}: screen pixel ({x}, {y}) is {img.getpixel((x, y))}, not white")
                return problems
    # The square's border is the bezel: every pixel just outside it is dark.
    outside = [(x, y0 - 1) for x in range(x0 - 1, x1 + 2)] + [(x, y1 + 1) for x in range(x0 - 1, x1 + 2)] + \
              [(x0 - 1, y) for y in range(y0, y1 + 1)] + [(x1 + 1, y) for y in range(y0, y1 + 1)]
    for p in outside:
        if max(img.getpixel(p)) > 60:
            problems.append(f"{path}: bezel pixel {p} is {img.getpixel(p)}, not dark")
            break
    # The corners of the picture are background.
    for p in ((0, 0), (PHONE_SIZE[0] - 1, 0), (0, PHONE_SIZE[1] - 1), (PHONE_SIZE[0] - 1, PHONE_SIZE[1] - 1)):
        if min(img.getpixel(p)) < 246:
            problems.append(f"{path}: corner {p} is {img.getpixel(p)}, not white")
    return problems


# ---------------------------------------------------------------------------
# The splash logo


def draw_emblem(img, x0, y0, scale):
    """The product emblem: a handset whose screen shows a pair of angle brackets."""
    d = ImageDraw.Draw(img)

    def b(a, b_, c, e):
        return [round((x0 + a * scale) * S), round((y0 + b_ * scale) * S),
                round((x0 + c * scale) * S), round((y0 + e * scale) * S)]

    soft_shadow(img, b(2, 3, 42, 81), 9 * scale * S, 2.5 * S, 60, offset=(S, 2 * S))
    paint(img, b(0, 0, 40, 78), (14, 50, 122), round(9 * scale * S))
    paint(img, b(1, 1, 39, 77), (32, 96, 200), round(8 * scale * S), horizontal=True,
          profile=cylinder, fill_b=(88, 150, 232))
    paint(img, b(6, 9, 34, 37), (12, 30, 70), round(3 * scale * S))
    paint(img, b(7, 10, 33, 36), (255, 255, 255), round(2 * scale * S))
    # Angle brackets and a slash on the screen, in the splash's orange.
    orange = (255, 149, 4)
    w = max(S, round(2.2 * scale * S))
    d.line(b(15, 17, 11, 23), fill=orange, width=w, joint='curve')
    d.line(b(11, 23, 15, 29), fill=orange, width=w, joint='curve')
    d.line(b(25, 17, 29, 23), fill=orange, width=w, joint='curve')
    d.line(b(29, 23, 25, 29), fill=orange, width=w, joint='curve')
    d.line(b(22, 16, 18, 30), fill=(32, 96, 200), width=w)
    # Keys.
    for row in range(3):
        for col in range(3):
            kx, ky = 9 + col * 8, 45 + row * 9
            paint(img, b(kx, ky, kx + 6, ky + 5), (200, 222, 250), round(2 * scale * S))
    paint(img, b(15, 72, 25, 74), (14, 50, 122), round(1 * scale * S))


def draw_logo():
    W, H = LOGO_SIZE
    img = Image.new('RGB', (W * S, H * S), (255, 255, 255))
    d = ImageDraw.Draw(img)
    draw_emblem(img, 16, 24, 1.0)

    # The name, as large as fits between the emblem and the right edge.
    size = 34
    while size > 12 and d.textlength("Deckhand", font=font('DejaVuSans-Bold.ttf', size)) > 158 * S:
        size -= 1
    name_font = font('DejaVuSans-Bold.ttf', size)
    d.text((70 * S, 64 * S), "Deckhand", font=name_font, fill=(16, 64, 150), anchor='ls')
    right = 70 + math.ceil(d.textlength("Deckhand", font=name_font) / S)
    # An orange rule under the name, as on the splash's progress bar.
    d.rectangle(box(71, 71, right, 72), fill=(255, 149, 4))
    d.rectangle(box(71, 73, right, 73), fill=(255, 213, 155))
    sub_font = font('DejaVuSans.ttf', 12)
    d.text((71 * S, 90 * S), "редактор WML 1.1", font=sub_font, fill=(125, 123, 123), anchor='ls')
    return img.resize(LOGO_SIZE, Image.LANCZOS)


def check_logo(path):
    img = Image.open(path)
    if img.size != LOGO_SIZE:
        return [f"{path}: {img.size} instead of {LOGO_SIZE}"]
    img = img.convert('RGB')
    problems = []
    # White ground along every edge.
    W, H = LOGO_SIZE
    edge = [(x, 0) for x in range(W)] + [(x, H - 1) for x in range(W)] + \
           [(0, y) for y in range(H)] + [(W - 1, y) for y in range(H)]
    for p in edge:
        if min(img.getpixel(p)) < 240:
            problems.append(f"{path}: edge pixel {p} is {img.getpixel(p)}, not white")
            break
    return problems


# ---------------------------------------------------------------------------
# The About box's frame


def draw_open_box(img, left, top, right, bottom):
    """An open cardboard box with its flaps up, fitted into the given final-pixel box."""
    d = ImageDraw.Draw(img)
    w = right - left + 1
    h = bottom - top + 1

    def p(x, y):
        # Design coordinates are 0..39 across and 0..48 down.
        return ((left + x * w / 39) * S, (top + y * h / 48) * S)

    light = (250, 252, 255)
    mid = (206, 222, 246)
    dark = (150, 178, 224)
    deep = (110, 142, 200)
    edge = (20, 60, 140)
    outline = dict(outline=edge, width=S)
    # Back flaps, behind the opening.
    d.polygon([p(9, 16), p(24, 11), p(21, 2), p(6, 7)], fill=mid, **outline)
    d.polygon([p(24, 11), p(36, 16), p(38, 6), p(27, 2)], fill=dark, **outline)
    # The inside of the box.
    d.polygon([p(3, 19), p(24, 13), p(36, 18), p(15, 25)], fill=deep, **outline)
    # Front face and side face.
    d.polygon([p(3, 19), p(15, 25), p(15, 47), p(3, 40)], fill=mid, **outline)
    d.polygon([p(15, 25), p(36, 18), p(36, 39), p(15, 47)], fill=light, **outline)
    # Front flaps folded outwards.
    d.polygon([p(3, 19), p(15, 25), p(9, 33), p(0, 25)], fill=dark, **outline)
    d.polygon([p(15, 25), p(36, 18), p(38, 27), p(19, 34)], fill=mid, **outline)
    # Tape along the side face.
    d.line([p(25.5, 21.6), p(25.5, 43)], fill=dark, width=2 * S)


def frame_picture(size, band_left, band_right, emblem=False):
    """A piece of the About frame: box colour with dark bands on the given sides."""
    W, H = size
    img = Image.new('RGB', (W * S, H * S), ABOUT_BAND)
    d = ImageDraw.Draw(img)
    x0 = BAND if band_left else 0
    x1 = W - 1 - BAND if band_right else W - 1
    r = 6 * S
    # The box colour with rounded corners where it meets a side band; where no
    # band is, it runs straight off the edge, so that the picture joins the box.
    inner = [x0 * S, BAND * S, (x1 + 1) * S - 1, (H - BAND) * S - 1]
    d.rounded_rectangle(inner, radius=r, fill=ABOUT_BOX)
    if not band_left:
        d.rectangle([0, BAND * S, W * S // 2, (H - BAND) * S - 1], fill=ABOUT_BOX)
    if not band_right:
        d.rectangle([W * S // 2, BAND * S, W * S - 1, (H - BAND) * S - 1], fill=ABOUT_BOX)
    if emblem:
        draw_open_box(img, *ABOUT_EMBLEM)
    small = img.resize(size, Image.LANCZOS)
    # The bands themselves stay exactly the band colour.
    sd = ImageDraw.Draw(small)
    sd.rectangle([0, 0, W - 1, BAND - 1], fill=ABOUT_BAND)
    sd.rectangle([0, H - BAND, W - 1, H - 1], fill=ABOUT_BAND)
    if band_left:
        sd.rectangle([0, 0, BAND - 1, H - 1], fill=ABOUT_BAND)
    if band_right:
        sd.rectangle([W - BAND, 0, W - 1, H - 1], fill=ABOUT_BAND)
    return small


def near(c, ref, tol=3):
    return all(abs(c[i] - ref[i]) <= tol for i in range(3))


def check_frame(path, size, band_left, band_right, emblem):
    img = Image.open(path)
    if img.size != size:
        return [f"{path}: {img.size} instead of {size}"]
    img = img.convert('RGB')
    W, H = size
    problems = []
    bands = [(x, y) for y in range(BAND) for x in range(W)] + \
            [(x, y) for y in range(H - BAND, H) for x in range(W)]
    if band_left:
        bands += [(x, y) for y in range(H) for x in range(BAND)]
    if band_right:
        bands += [(x, y) for y in range(H) for x in range(W - BAND, W)]
    for p in bands:
        if not near(img.getpixel(p), ABOUT_BAND):
            problems.append(f"{path}: band pixel {p} is {img.getpixel(p)}")
            break
    # The box colour fills the inside away from the rounded corners and the emblem.
    ex0, ey0, ex1, ey1 = ABOUT_EMBLEM if emblem else (W, H, -1, -1)
    lo = BAND + 6 if band_left else 0
    hi = W - BAND - 7 if band_right else W - 1
    for y in range(BAND + 6, H - BAND - 6):
        for x in range(lo, hi + 1):
            if ex0 - 2 <= x <= ex1 + 2 and ey0 - 2 <= y <= ey1 + 2:
                continue
            if not near(img.getpixel((x, y)), ABOUT_BOX):
                problems.append(f"{path}: box pixel ({x}, {y}) is {img.getpixel((x, y))}")
                return problems
    if emblem:
        # Something is drawn in the emblem's place, and nothing outside it.
        drawn = sum(1 for y in range(ey0, ey1 + 1) for x in range(ex0, ex1 + 1)
                    if not near(img.getpixel((x, y)), ABOUT_BOX, 12))
        if drawn < (ex1 - ex0 + 1) * (ey1 - ey0 + 1) // 3:
            problems.append(f"{path}: the emblem covers only {drawn} pixels")
    # Rounded inner corners: the corner pixel next to both bands is band colour,
    # a few pixels further in it is the box colour.
    corners = []
    if band_left:
        corners += [((BAND, BAND), (BAND + 4, BAND + 4)), ((BAND, H - BAND - 1), (BAND + 4, H - BAND - 5))]
    if band_right:
        corners += [((W - BAND - 1, BAND), (W - BAND - 5, BAND + 4)),
                    ((W - BAND - 1, H - BAND - 1), (W - BAND - 5, H - BAND - 5))]
    for corner, inside in corners:
        if near(img.getpixel(corner), ABOUT_BOX, 12) or not near(img.getpixel(inside), ABOUT_BOX):
            problems.append(f"{path}: inner corner at {corner} is not rounded")
    return problems


def draw_band():
    return Image.new('RGB', (8, 8), ABOUT_BAND)


# ---------------------------------------------------------------------------


def check_all():
    problems = []
    problems += check_phone(os.path.join(ASSETS, 'phone.jpg'))
    problems += check_logo(os.path.join(ASSETS, 'logo.jpg'))
    problems += check_frame(os.path.join(ASSETS, 'about-left.jpg'), ABOUT_LEFT_SIZE, True, False, True)
    problems += check_frame(os.path.join(ASSETS, 'about-right.jpg'), ABOUT_RIGHT_SIZE, False, True, False)
    band = Image.open(os.path.join(ASSETS, 'about-band.jpg')).convert('RGB')
    if band.size != (8, 8) or not all(near(band.getpixel((x, y)), ABOUT_BAND)
                                      for y in range(8) for x in range(8)):
        problems.append("about-band.jpg: not an 8 by 8 square of the band colour")
    return problems


def main():
    if '--check' not in sys.argv[1:]:
        save_jpeg(draw_phone(), 'phone.jpg')
        save_jpeg(draw_logo(), 'logo.jpg')
        save_jpeg(frame_picture(ABOUT_LEFT_SIZE, True, False, emblem=True), 'about-left.jpg', quality=100)
        save_jpeg(frame_picture(ABOUT_RIGHT_SIZE, False, True), 'about-right.jpg', quality=100)
        save_jpeg(draw_band(), 'about-band.jpg', quality=100)
        print("drew phone.jpg, logo.jpg, about-left.jpg, about-right.jpg, about-band.jpg")
    problems = check_all()
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        sys.exit(1)
    print("pictures checked")


if __name__ == '__main__':
    main()
