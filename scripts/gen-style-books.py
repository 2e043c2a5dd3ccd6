#!/usr/bin/env python3
"""Writes the twelve style books (Qt style sheets) and their glyph images into
src/client/resources/styles/, and the resource file src/client/resources/styles.qrc.

One description: the two base books Light and Dark below. The high-contrast books
are their base book with the listed border, glow, mark and text changes; the
Middle and Large books change only text sizes, check marks, radio circles and
caption margins. The output is committed; run this script after changing it:
    python3 scripts/gen-style-books.py
"""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "src", "client", "resources")

# The windows' designed font is the platform's default family at 12 logical pixels,
# so the Normal books take 12 (the size a window shows without a book).
TEXT_SIZE = {0: 12, 1: 14, 2: 16}
CAPTION_MARGIN = {0: 1, 1: 2, 2: 3}
SIZE_SUFFIX = {0: "", 1: "Medium", 2: "Large"}

LIGHT = {
    "window": "#f0f0f0",
    "label_text": None,  # the toolkit's black
    "disabled_text": "#6d6d6d",
    "group_fill": "#f0f0f0",
    "group_border": "#dcdcdc",
    "group_highlight": "#ffffff",
    "group_caption": "#000000",
    "button_gradient": ("#f5f5f5", "#e8e8e8"),
    "button_face": "#f6f6f6",
    "button_panel": True,  # panel over all but the bottom 2 units
    "button_border": "#d5d5d5",
    "button_text": "#000000",
    "glow": "#000000",
    "edit_fill": "#ffffff",
    "edit_border": "#d5d5d5",
    "edit_radius": 0,
    "edit_text": "#000000",
    "edit_selection": "rgba(61, 201, 237, 128)",
    "check_box": 11,  # inner box, inside its 1-unit border
    "check_fill": "#ffffff",
    "check_gradient": None,
    "check_border": "#d6d6d6",
    "check_radius": 0,
    "check_marks": {0: 7, 1: 10, 2: 12},
    "mark_color": "#000000",
    "check_text": "#000000",
    "radio_circles": {0: (13, 5), 1: (15, 7), 2: (17, 9)},
    "radio_fill": "#ffffff",
    "radio_gradient": None,
    "radio_border": "#d2d2d2",
    "radio_text": "#000000",
    "groove_height": 9,
    "groove_fill": "#e3e3e3",
    "groove_gradient": None,
    "groove_borders": ("#c0bebf", "#c0bebf", "#ffffff", "#ffffff"),  # top right bottom left
    "groove_radius": 0,
    "thumb": (10, 19),
    "thumb_gradient": ("horizontal", "#d8d8d8", "#f4f4f4"),
    "thumb_border": "#000000",
    "thumb_radius": 0,
}

DARK = {
    "window": "#505050",
    "label_text": "#e0e0e0",
    "disabled_text": "#a0a0a0",
    "group_fill": None,
    "group_border": "#202020",
    "group_highlight": None,
    "group_caption": "#ffffff",
    "button_gradient": ("#505050", "#303030"),
    "button_face": None,
    "button_panel": False,
    "button_border": "#222222",
    "button_text": "#e0e0e0",
    "glow": "#f69e2d",
    "edit_fill": "#333333",
    "edit_border": "#202020",
    "edit_radius": 1,
    "edit_text": "#eaeaea",
    "edit_selection": "rgba(246, 158, 45, 112)",
    "check_box": 13,
    "check_fill": None,
    "check_gradient": ("#606060", "#303030"),
    "check_border": "#202020",
    "check_radius": 2,
    "check_marks": {0: 11, 1: 13, 2: 15},
    "mark_color": "#f5ab28",
    "check_text": "#ffffff",
    "radio_circles": {0: (15, 7), 1: (17, 9), 2: (19, 11)},
    "radio_fill": None,
    "radio_gradient": ("#606060", "#303030"),
    "radio_border": "#202020",
    "radio_text": "#ffffff",
    "groove_height": 6,
    "groove_fill": None,
    "groove_gradient": ("#303030", "#606060"),
    "groove_borders": ("#303030",) * 4,
    "groove_radius": 3,
    "thumb": (12, 12),
    "thumb_gradient": ("vertical", "#606060", "#303030"),
    "thumb_border": "#202020",
    "thumb_radius": 6,
}


def light_high_contrast(book):
    """Every grey or white border is black; the group box's highlight line stays white."""
    b = dict(book)
    for key in ("group_border", "check_border", "radio_border", "edit_border", "button_border"):
        b[key] = "#000000"
    b["groove_borders"] = ("#000000",) * 4
    return b


def dark_high_contrast(book):
    """White borders, glows, marks and label text; fills and other texts stay."""
    b = dict(book)
    for key in ("group_border", "check_border", "radio_border", "edit_border", "button_border",
                "thumb_border", "glow", "mark_color", "label_text"):
        b[key] = "#ffffff"
    b["groove_borders"] = ("#ffffff",) * 4
    return b


THEMES = [
    ("sbLight", "", LIGHT),
    ("sbDark", "", DARK),
    ("sbLight", "HC", light_high_contrast(LIGHT)),
    ("sbDark", "HC", dark_high_contrast(DARK)),
]


def vgradient(top, bottom):
    return f"qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 {top}, stop: 1 {bottom})"


def fill(color, gradient):
    if gradient:
        return vgradient(*gradient)
    return color if color else "transparent"


def darker(color, opacity):
    """The colour under a black layer of the given opacity (the pressed button's shadow)."""
    r, g, b = (int(color[i:i + 2], 16) for i in (1, 3, 5))
    return "#%02x%02x%02x" % tuple(round(c * (1 - opacity)) for c in (r, g, b))


def glyph_name(kind, size, color):
    return f"{kind}-{size}-{color.lstrip('#')}.xpm"


def check_pixels(n):
    """A check mark: a thick polyline through three points of the unit square."""
    pts = [(0.12, 0.52), (0.40, 0.80), (0.88, 0.18)]
    width = 0.10 + 0.55 / n
    rows = []
    for y in range(n):
        row = ""
        for x in range(n):
            px, py = (x + 0.5) / n, (y + 0.5) / n
            d = min(segment_distance(px, py, pts[i], pts[i + 1]) for i in range(2))
            row += "." if d <= width else " "
        rows.append(row)
    return rows


def dot_pixels(n):
    r = n / 2.0
    return ["".join("." if (x + 0.5 - r) ** 2 + (y + 0.5 - r) ** 2 <= r * r else " "
                    for x in range(n)) for y in range(n)]


def segment_distance(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def xpm(name, rows, color):
    n = len(rows)
    ident = name.replace("-", "_").replace(".", "_")
    lines = [f'"{n} {n} 2 1",', '"  c None",', f'". c {color.upper()}",']
    lines += [f'"{row}",' for row in rows]
    lines[-1] = lines[-1].rstrip(",")
    return "/* XPM */\nstatic const char *const %s[] = {\n%s\n};\n" % (ident, "\n".join(lines))


def book(b, size, glyphs):
    text = TEXT_SIZE[size]
    margin = CAPTION_MARGIN[size]
    mark = b["check_marks"][size]
    box = max(b["check_box"], mark + 2)  # the mark must fit inside the box's border
    circle, dot = b["radio_circles"][size]
    check_image = glyph_name("check", mark, b["mark_color"])
    dot_image = glyph_name("dot", dot, b["mark_color"])
    glyphs[check_image] = xpm(check_image, check_pixels(mark), b["mark_color"])
    glyphs[dot_image] = xpm(dot_image, dot_pixels(dot), b["mark_color"])
    top, bottom = b["button_gradient"]
    if b["button_panel"]:
        button_bg = (f"qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 {top}, stop: 0.88 {bottom}, "
                     f"stop: 0.89 {b['button_face']}, stop: 1 {b['button_face']})")
    else:
        button_bg = vgradient(top, bottom)
    pressed_bg = vgradient(darker(top, 0.3), bottom)
    if b["group_highlight"]:
        group_bg = (f"qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 {b['group_highlight']}, "
                    f"stop: 0.012 {b['group_highlight']}, stop: 0.013 {b['group_fill']}, "
                    f"stop: 1 {b['group_fill']})")
    else:
        group_bg = fill(b["group_fill"], None)
    direction, t0, t1 = b["thumb_gradient"]
    thumb_bg = (f"qlineargradient(x1: 0, y1: 0, x2: 1, y2: 0, stop: 0 {t0}, stop: 1 {t1})"
                if direction == "horizontal" else vgradient(t0, t1))
    tw, th = b["thumb"]
    gh = b["groove_height"]
    gt, gr, gb, gl = b["groove_borders"]
    label = f"QLabel {{ color: {b['label_text']}; }}\n" if b["label_text"] else ""
    sized = ", ".join(f'{kind}[svStyleFontSize="true"]'
                      for kind in ("QLabel", "QPushButton", "QCheckBox", "QRadioButton", "QGroupBox"))
    return f"""/* Generated by scripts/gen-style-books.py: edit the script, not this file. */
*[svWindow="true"] {{ background-color: {b['window']}; }}
{label}{sized} {{ font-size: {text}px; }}
QLabel:disabled, QCheckBox:disabled, QRadioButton:disabled, QPushButton:disabled, QLineEdit:disabled {{ color: {b['disabled_text']}; }}

QGroupBox {{ background: {group_bg}; border: 1px solid {b['group_border']}; border-radius: 4px; margin-top: 0.55em; }}
QGroupBox::title {{ subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0px 2px; color: {b['group_caption']}; background-color: {b['window']}; }}

QPushButton {{ background: {button_bg}; border: 1px solid {b['button_border']}; border-radius: 3px; color: {b['button_text']}; padding: 1px 0px; }}
QPushButton:pressed {{ background: {pressed_bg}; }}
QPushButton:focus {{ border: 2px solid {b['glow']}; padding: 0px; }}

QLineEdit {{ background-color: {b['edit_fill']}; border: 1px solid {b['edit_border']}; border-radius: {b['edit_radius']}px; color: {b['edit_text']}; selection-background-color: {b['edit_selection']}; padding: 0px 2px; }}
QLineEdit:focus {{ border: 2px solid {b['glow']}; padding: 0px 1px; }}

QCheckBox {{ color: {b['check_text']}; spacing: {margin}px; border: 1px solid transparent; }}
QCheckBox:focus {{ border-color: {b['glow']}; }}
QCheckBox::indicator {{ width: {box}px; height: {box}px; background: {fill(b['check_fill'], b['check_gradient'])}; border: 1px solid {b['check_border']}; border-radius: {b['check_radius']}px; }}
QCheckBox::indicator:checked {{ image: url(:/styles/{check_image}); }}

QRadioButton {{ color: {b['radio_text']}; spacing: {margin}px; border: 1px solid transparent; }}
QRadioButton:focus {{ border-color: {b['glow']}; }}
QRadioButton::indicator {{ width: {circle - 2}px; height: {circle - 2}px; background: {fill(b['radio_fill'], b['radio_gradient'])}; border: 1px solid {b['radio_border']}; border-radius: {circle // 2}px; }}
QRadioButton::indicator:checked {{ image: url(:/styles/{dot_image}); }}

QSlider {{ border: 1px solid transparent; }}
QSlider:focus {{ border-color: {b['glow']}; }}
QSlider::groove:horizontal {{ height: {gh - 2}px; background: {fill(b['groove_fill'], b['groove_gradient'])}; border-style: solid; border-width: 1px; border-color: {gt} {gr} {gb} {gl}; border-radius: {b['groove_radius']}px; }}
QSlider::handle:horizontal {{ width: {tw - 2}px; background: {thumb_bg}; border: 1px solid {b['thumb_border']}; border-radius: {b['thumb_radius']}px; margin: -{(th - gh) // 2}px 0px; }}
"""


def main():
    styles = os.path.join(OUT, "styles")
    os.makedirs(styles, exist_ok=True)
    glyphs = {}
    files = []
    for prefix, hc, description in THEMES:
        for size in (0, 1, 2):
            name = f"{prefix}{SIZE_SUFFIX[size]}{hc}.qss"
            with open(os.path.join(styles, name), "w", encoding="utf-8") as f:
                f.write(book(description, size, glyphs))
            files.append(name)
    for name, text in sorted(glyphs.items()):
        with open(os.path.join(styles, name), "w", encoding="utf-8") as f:
            f.write(text)
        files.append(name)
    entries = "\n".join(f"    <file>styles/{name}</file>" for name in sorted(files))
    with open(os.path.join(OUT, "styles.qrc"), "w", encoding="utf-8") as f:
        f.write(f'<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/">\n{entries}\n</qresource>\n</RCC>\n')


if __name__ == "__main__":
    main()
