#!/usr/bin/env python3
"""Writes the hostile decks the emulator must survive without slowing the
editor down: each is built to make the user agent or the screen do a lot of
work, or to grow without bound.

    make-decks.py FOLDER

The decks are made each time (two of them are 4 MB), never kept in the
repository.
"""
import os
import sys

HEAD = '<?xml version="1.0"?>\r\n<!DOCTYPE wml PUBLIC "-//WAPFORUM//DTD WML 1.1//EN" ' \
       '"http://www.wapforum.org/DTD/wml_1.1.xml">\r\n'


def deck(body):
    # Line 3 is a comment: the benchmark types into it, so the deck stays
    # what it is while the editor's text changes.
    return (HEAD + "<!-- -->\r\n<wml>\r\n" + body + "\r\n</wml>\r\n").encode("ascii")


def lines(parts, per_line=50):
    # The editor's own cost of a long line is not what is timed here: the
    # decks break their lines where WML lets them (text, between tags, inside
    # attribute values, where a line break is a space).
    return "\r\n".join("".join(parts[i:i + per_line]) for i in range(0, len(parts), per_line))


def wbmp():
    # A WBMP of type 0, 8 by 8 pixels, a checker board.
    return bytes([0, 0, 8, 8]) + bytes([0xAA, 0x55] * 4)


def decks():
    out = {}
    # A variable that doubles at every tick of the card's timer.
    out["doubling.wml"] = deck(
        '<card id="a" ontimer="#a"><onevent type="onenterforward"><refresh>'
        '<setvar name="x" value="$(x:n)$(x:n)ab"/></refresh></onevent>'
        '<timer value="1"/><p>$(x)</p></card>')
    # A card title of 1 MB.
    out["title-1mb.wml"] = deck('<card id="a" title="' + lines(["Title "] * ((1 << 20) // 6), 20) +
                                '"><p>x</p></card>')
    # Elements nested 100,000 levels deep.
    out["nested.wml"] = deck('<card id="a"><p>' + lines(["<b>"] * 100000) + "x" + lines(["</b>"] * 100000) +
                             "</p></card>")
    # A card of 2,000 pictures of one WBMP file.
    out["images.wml"] = deck('<card id="a"><p>' +
                              lines(['<img src="dot.wbmp" alt="*"/>'] * 2000, 4) + "</p></card>")
    out["dot.wbmp"] = wbmp()
    # A chain of 2,000 cards, each entered going forward sets a variable and
    # goes on to the next.
    cards = []
    for i in range(2000):
        cards.append('<card id="c%d"><onevent type="onenterforward"><go href="#c%d">'
                     '<setvar name="v%d" value="$(v%d)%d"/></go></onevent><p>%d</p></card>'
                     % (i, i + 1, i, max(i - 1, 0), i, i))
    cards.append('<card id="c2000"><p>end</p></card>')
    out["setvar-chain.wml"] = deck("\r\n".join(cards))
    # A select of 20,000 options.
    out["select.wml"] = deck('<card id="a"><p><select name="s">' +
                             lines(['<option value="%d">Option %d</option>' % (i, i)
                                    for i in range(20000)], 4) + "</select></p></card>")
    # A word of 1 MB: one line that no line break may cut.
    out["word-1mb.wml"] = deck('<card id="a"><p>' + "w" * (1 << 20) + "</p></card>")
    # Entity references in attributes, many of them.
    out["attribute-entities.wml"] = deck('<card id="a" title="' + lines(["&amp;"] * 5000, 20) +
                                         '"><p><a href="#a" title="' + lines(["&lt;&gt;"] * 2000, 10) +
                                         '">x</a></p></card>')
    # Two decks of 4 MB whose timers go to each other.
    filler = "<card id=\"f%d\"><p>" + "Text of a filler card. " * 40 + "</p></card>\r\n"
    for name, other in (("ping-4mb.wml", "pong-4mb.wml"), ("pong-4mb.wml", "ping-4mb.wml")):
        body = '<card id="a" ontimer="%s"><timer value="5"/><p>%s</p></card>\r\n' % (other, name)
        i = 0
        while len(body) < 4 * 1024 * 1024 - 4096:
            body += filler % i
            i += 1
        out[name] = deck(body)
    return out


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in decks().items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
