#!/usr/bin/env python3
"""Writes the console's icons as SVG files next to this script.

Flat shapes on a 32x32 grid in a muted desktop palette. The numbers are the image
numbers the windows ask for; the pictures can change freely."""

from pathlib import Path

BLUE, DARK, GREEN, RED, AMBER, GREY, WHITE = (
    "#3584e4", "#1c71d8", "#2ec27e", "#e01b24", "#f6d32d", "#77767b", "#ffffff")


def envelope(x=4, y=8, w=24, h=17, fill=BLUE):
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="2.5" fill="{fill}" stroke="{DARK}"/>'
            f'<path d="M{x + 1.5} {y + 2} L{x + w / 2} {y + h * 0.6} L{x + w - 1.5} {y + 2}" '
            f'fill="none" stroke="{WHITE}" stroke-width="2" stroke-linejoin="round"/>')


def badge(colour, symbol):
    return f'<circle cx="24" cy="24" r="7" fill="{colour}"/>{symbol}'


PLUS = f'<path d="M24 20v8M20 24h8" stroke="{WHITE}" stroke-width="2.4" stroke-linecap="round"/>'
MINUS = f'<path d="M20 24h8" stroke="{WHITE}" stroke-width="2.4" stroke-linecap="round"/>'
PLAY = f'<circle cx="16" cy="16" r="13" fill="{GREEN}"/><path d="M12.5 9.5 23 16l-10.5 6.5z" fill="{WHITE}"/>'
STOP = f'<circle cx="16" cy="16" r="13" fill="{RED}"/><rect x="10.5" y="10.5" width="11" height="11" rx="1.5" fill="{WHITE}"/>'
GLOBE = (f'<circle cx="16" cy="16" r="12" fill="{BLUE}"/>'
         f'<g fill="none" stroke="{WHITE}" stroke-width="1.6"><ellipse cx="16" cy="16" rx="5" ry="12"/>'
         f'<path d="M4 16h24M6 10h20M6 22h20"/></g>')
GEAR = (f'<g fill="{GREY}"><circle cx="16" cy="16" r="9"/>'
        + "".join(f'<rect x="14" y="2.5" width="4" height="7" rx="1" transform="rotate({a} 16 16)"/>'
                  for a in range(0, 360, 45))
        + f'</g><circle cx="16" cy="16" r="4" fill="{WHITE}"/>')
SEND = f'<path d="M3 15 29 4 21 28 15 18z" fill="{BLUE}"/><path d="M15 18 29 4" stroke="{DARK}" stroke-width="1.6"/>'
COMPUTER = (f'<rect x="3" y="5" width="26" height="17" rx="2" fill="{GREY}"/>'
            f'<rect x="5.5" y="7.5" width="21" height="12" fill="{BLUE}"/>'
            f'<path d="M12 27h8M16 22v5" stroke="{GREY}" stroke-width="2.4" stroke-linecap="round"/>')
NETWORK = (f'<rect x="2" y="3" width="16" height="12" rx="1.5" fill="{GREY}"/><rect x="4" y="5" width="12" height="7" fill="{BLUE}"/>'
           f'<rect x="14" y="15" width="16" height="12" rx="1.5" fill="{GREY}"/><rect x="16" y="17" width="12" height="7" fill="{DARK}"/>'
           f'<path d="M10 15v6h4" fill="none" stroke="{GREY}" stroke-width="2"/>')
SLIDERS = (f'<g stroke="{GREY}" stroke-width="2.4" stroke-linecap="round"><path d="M5 8h22M5 16h22M5 24h22"/></g>'
           f'<g fill="{BLUE}"><circle cx="11" cy="8" r="3.5"/><circle cx="21" cy="16" r="3.5"/><circle cx="14" cy="24" r="3.5"/></g>')
STAR = f'<path d="M16 3l3.6 8.2 8.9.8-6.7 5.9 2 8.7L16 22l-7.8 4.6 2-8.7L3.5 12l8.9-.8z" fill="{AMBER}" stroke="#c88800" stroke-width="1"/>'
CLOCK = (f'<circle cx="16" cy="16" r="13" fill="{BLUE}"/><circle cx="16" cy="16" r="10.5" fill="{WHITE}"/>'
         f'<path d="M16 9v7l5 3" fill="none" stroke="{DARK}" stroke-width="2.2" stroke-linecap="round"/>')
DOWNLOAD = (f'<path d="M4 19v7h24v-7" fill="none" stroke="{GREY}" stroke-width="2.6" stroke-linejoin="round"/>'
            f'<path d="M16 4v15M10 13l6 6 6-6" fill="none" stroke="{GREEN}" stroke-width="3" stroke-linecap="round" stroke-linejoin="round"/>')
RETURN = envelope(fill=GREY) + badge(AMBER, f'<path d="M27 27v-3a3 3 0 0 0-3-3h-4M22 18.5 19.5 21l2.5 2.5" fill="none" stroke="{DARK}" stroke-width="1.8" stroke-linecap="round"/>')
LOG = (f'<path d="M7 3h13l6 6v20H7z" fill="{WHITE}" stroke="{GREY}" stroke-width="1.6"/>'
       f'<path d="M11 13h11M11 17h11M11 21h8" stroke="{BLUE}" stroke-width="2" stroke-linecap="round"/>')
HOURGLASS = (f'<path d="M8 4h16M8 28h16" stroke="{GREY}" stroke-width="2.6" stroke-linecap="round"/>'
             f'<path d="M10 5c0 7 12 7 12 11s-12 4-12 11h12c0-7-12-7-12-11s12-4 12-11z" fill="{AMBER}" stroke="#c88800" stroke-width="1.2"/>')
PERSON = f'<circle cx="11" cy="9" r="5" fill="{DARK}"/><path d="M2 24c0-6 4-9 9-9s9 3 9 9z" fill="{DARK}"/>'
DISK = (f'<path d="M5 4h18l5 5v19H5z" fill="{BLUE}"/><rect x="9" y="4" width="12" height="8" fill="{WHITE}"/>'
        f'<rect x="9" y="17" width="15" height="11" rx="1" fill="{WHITE}"/>')
PROPERTIES = LOG + f'<path d="M14 27l2-5 10-10 3 3-10 10z" fill="{AMBER}" stroke="#c88800" stroke-width="1"/>'
LARGE = "".join(f'<rect x="{x}" y="{y}" width="11" height="11" rx="2" fill="{BLUE}"/>' for x in (4, 17) for y in (4, 17))
SMALL = "".join(f'<rect x="{x}" y="{y}" width="6" height="6" rx="1" fill="{BLUE}"/>' for x in (4, 13, 22) for y in (4, 13, 22))
LIST = "".join(f'<rect x="4" y="{y}" width="5" height="5" rx="1" fill="{BLUE}"/><path d="M12 {y + 2.5}h16" stroke="{GREY}" stroke-width="2.2" stroke-linecap="round"/>' for y in (5, 13.5, 22))
DETAILS = (f'<rect x="3" y="4" width="26" height="24" rx="2" fill="{WHITE}" stroke="{GREY}" stroke-width="1.6"/>'
           f'<rect x="3" y="4" width="26" height="6" rx="2" fill="{BLUE}"/>'
           f'<path d="M12 10v18M3 16h26M3 22h26" stroke="{GREY}" stroke-width="1.2"/>')
HELP = (f'<circle cx="16" cy="16" r="13" fill="{BLUE}"/>'
        f'<path d="M12 12.5a4 4 0 1 1 6 3.4c-1.3.8-2 1.6-2 3.1" fill="none" stroke="{WHITE}" stroke-width="2.6" stroke-linecap="round"/>'
        f'<circle cx="16" cy="23.5" r="1.7" fill="{WHITE}"/>')

ICONS = {
    "tree": {1: NETWORK, 2: COMPUTER, 3: envelope(), 4: SEND, 5: GEAR, 6: SLIDERS, 7: STAR, 8: STAR},
    "list": {1: GLOBE + envelope(14, 17, 16, 12, DARK), 2: PERSON + envelope(14, 17, 16, 12),
             3: CLOCK, 4: DOWNLOAD, 5: RETURN, 6: GLOBE, 7: LOG, 12: PLAY, 13: STOP,
             14: GEAR + badge(GREEN, PLUS), 15: GEAR + badge(RED, MINUS), 17: SEND, 18: HOURGLASS},
    "toolbar": {1: DISK, 2: envelope() + badge(GREEN, PLUS), 3: envelope() + badge(RED, MINUS),
                4: PROPERTIES, 5: PLAY, 6: STOP, 7: LARGE, 8: SMALL, 9: LIST, 10: DETAILS, 11: HELP},
}

here = Path(__file__).resolve().parent
for group, icons in ICONS.items():
    (here / group).mkdir(exist_ok=True)
    for number, body in icons.items():
        (here / group / f"{number}.svg").write_text(
            f'<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">{body}</svg>\n')
