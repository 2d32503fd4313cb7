#!/usr/bin/env python3
"""Anchor popups with the real pointer and keys under Xvfb (xdotool).

A thread of known posts comes from the local board server. The pointer rests on ">>3" in post
4 and post 3's popup opens; post 3's ">>1" inside it opens a child; Escape closes one at a time,
and a view change closes them all. The anchors are found on screenshots by the link colour (set
to one nothing else uses), the popups through the state file (TAVLO_STATE_FILE).

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb, xdotool or ImageMagick's import missing).
"""
import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import Failure, HOST, WAIT  # noqa: E402

KEY = "1700000200"
TITLE = "ポップアップ確認"
# COLORREF (0x00BBGGRR): a magenta that neither the text nor the headers use.
LINK = (0xCC, 0x00, 0xCC)


def post(number, ident, body):
    return "名無しさん<>sage<>2026/12/08(火) 10:%02d:00 ID:%s<> %s <>%s" % (
        number, ident, body, TITLE if number == 1 else "")


POSTS = [
    post(1, "aaaa1111", "最初の書き込みです"),
    post(2, "bbbb2222", "二番目の書き込み"),
    # ">>1" after some words, so that it is not at the left edge with ">>3" below it.
    post(3, "cccc3333", "三番目の本文です。 &gt;&gt;1 への返事"),
    post(4, "dddd4444", "&gt;&gt;3"),
]


def read_ppm(path):
    """(width, height, bytes) of a binary PPM (P6, maxval 255)."""
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failure("unexpected screenshot format %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]


class PopupJourney(journey.Journey):
    def __init__(self, args):
        super().__init__(args)
        # X (88) goes forward to the view left by Escape.
        self.extra_settings = "ColorLink=%d\nPopupDelay=100\nKeyViewForward=88\n" % (
            LINK[0] | LINK[1] << 8 | LINK[2] << 16)

    def open_thread(self):
        # Away from the text: a pointer resting on ">>3" as the thread appears opens its popup.
        self.xdo("mousemove", "0", "0")
        self.key("g")
        self.wait_state("the direct-input bar", bar=3)
        self.type(journey.thread_url(KEY))
        self.key("Return")
        self.wait_state("the thread", view=2, title=TITLE, tabs=1, busy=0, anchorpopups=0)

    def wait_view_left(self, what):
        return self.wait(lambda: self.state().get("view") not in (None, "2") and self.state(),
                         what)

    def grab(self, name):
        """The screen as (width, height, pixels); also kept as e2e-popup-NAME.png."""
        ppm = os.path.join(self.tmp, "screen.ppm")
        subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8",
                        "ppm:" + ppm],
                       check=True, capture_output=True, timeout=WAIT)
        png = os.path.join(self.shots, "e2e-popup-%s.png" % name)
        subprocess.run(["convert", ppm, png], capture_output=True, timeout=WAIT)
        return read_ppm(ppm)

    @staticmethod
    def link_rows(screen, box):
        """Rows of link-coloured pixels inside box (x, y, w, h): {y: [x, ...]}."""
        width, height, px = screen
        x0, y0, w, h = box
        rows = {}
        for y in range(max(0, y0), min(height, y0 + h)):
            base = y * width * 3
            for x in range(max(0, x0), min(width, x0 + w)):
                i = base + x * 3
                r, g, b = px[i], px[i + 1], px[i + 2]
                if r > 150 and b > 150 and g < 90:
                    rows.setdefault(y, []).append(x)
        return rows

    def lowest_link(self, screen, box, what):
        """The middle of the lowest run of link-coloured rows in box: where to rest on it."""
        rows = self.link_rows(screen, box)
        if not rows:
            raise Failure("no link colour on the screen for " + what)
        ys = sorted(rows)
        bottom = ys[-1]
        top = bottom
        while top - 1 in rows or top - 2 in rows:
            top -= 1 if top - 1 in rows else 2
        xs = [x for y in range(top, bottom + 1) for x in rows.get(y, [])]
        return (min(xs) + max(xs)) // 2, (top + bottom) // 2

    def popups(self, count, what):
        return self.wait_state(what, anchorpopups=count)

    def run(self):
        self.start_xvfb()
        self.start_server()
        self.ctl("create", host=HOST, board="news", key=KEY, posts=0, title=TITLE)
        for line in POSTS:
            self.ctl("unended", host=HOST, board="news", key=KEY, text=line)
            self.ctl("ended", host=HOST, board="news", key=KEY)
        self.start_tavlo()
        # The question about the missing board list, as in the first journey.
        windows = self.wait(lambda: len(self.visible_windows()) >= 2 and self.visible_windows(),
                            "question about the missing board list")
        self.window = windows[0]
        for attempt in range(20):
            if len(self.visible_windows()) < 2:
                break
            self.focus(windows[-1])
            self.xdo("key", "Return")
            try:
                self.wait(lambda: len(self.visible_windows()) < 2, "the answered question",
                          limit=3)
            except Failure:
                continue
        self.keys = int(self.state().get("keys", "0"))
        self.window = self.wait(lambda: (lambda w: w[0] if len(w) == 1 else None)(
            self.visible_windows()), "the main window alone")

        self.open_thread()
        geometry = self.xdo("getwindowgeometry", "--shell", self.window)
        g = dict(line.split("=", 1) for line in geometry.split())
        win = (int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"]))

        # ">>3" is the lowest link in the window: rest on it.
        screen = self.grab("0-thread")
        x, y = self.lowest_link(screen, win, ">>3")
        self.xdo("mousemove", str(x), str(y))
        s = self.popups(1, "post 3's popup")
        if s.get("anchorposts") != "3":
            raise Failure("the popup shows posts %r, not 3" % s.get("anchorposts"))
        rect = tuple(int(v) for v in s["anchorrect"].split(","))
        screen = self.grab("1-popup")
        # Drawn on the screen: post 3's ">>1" is link-coloured inside the popup's rectangle,
        # and the popup hides the thread text below the anchor.
        x1, y1 = self.lowest_link(screen, rect, ">>1 in the popup")

        # Into the popup and onto its ">>1": a child with post 1.
        self.xdo("mousemove", str(x1), str(y1))
        s = self.popups(2, "the child popup")
        if s.get("anchorposts") != "3;1":
            raise Failure("the popups show %r, not 3;1" % s.get("anchorposts"))
        child = tuple(int(v) for v in s["anchorrect"].split(","))
        screen = self.grab("2-child")
        width, height, _ = screen
        if child[0] < 0 or child[1] < 0 or child[0] + child[2] > width or \
                child[1] + child[3] > height:
            raise Failure("the child popup %r leaves the screen" % (child,))

        # Escape closes the last popup only, and the thread view stays.
        self.key("Escape")
        s = self.popups(1, "one popup after Escape")
        if s.get("view") != "2" or s.get("anchorposts") != "3":
            raise Failure("after Escape: %s" % s)
        self.grab("3-escape")
        self.key("Escape")
        self.popups(0, "no popup after the second Escape")
        self.key("Escape")
        self.wait_view_left("Escape without popups leaving the thread")

        # A view change closes the popups: back to the thread, open one, switch away.
        self.xdo("mousemove", "0", "0")
        self.key("x")
        self.wait_state("the thread again", view=2, busy=0, anchorpopups=0)
        screen = self.grab("4-again")
        x, y = self.lowest_link(screen, win, ">>3 again")
        self.xdo("mousemove", str(x), str(y))
        self.popups(1, "post 3's popup again")
        # O shows the bookmarks: the thread view is hidden with its popups.
        self.key("o")
        self.wait_view_left("the bookmarks")
        self.popups(0, "the popups closed with the view")
        self.grab("5-left")

        # The pointer leaving every popup closes them.
        self.open_thread()
        self.wait_state("the thread once more", view=2, busy=0)
        self.xdo("mousemove", "0", "0")
        screen = self.grab("6-once-more")
        x, y = self.lowest_link(screen, win, ">>3 once more")
        self.xdo("mousemove", str(x), str(y))
        self.popups(1, "post 3's popup once more")
        # Far right of the window, beside the popup, on no text.
        self.xdo("mousemove", str(win[0] + win[2] - 5), str(win[1] + win[3] - 5))
        self.popups(0, "the popups closed by leaving them")


def main():
    return journey.main(PopupJourney, tools=("Xvfb", "xdotool", "import", "convert"))


if __name__ == "__main__":
    sys.exit(main())
