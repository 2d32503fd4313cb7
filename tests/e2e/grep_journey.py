#!/usr/bin/env python3
"""The grep window typed at with real X keys and clicked with the real pointer (xdotool).

A thread whose posts 5, 12, 20 and 33 share an ID comes from the local board server. From post
5, I (the ID grep) opens the grep window in its own X window. There Right/Left walk its posts
and Down/Up scroll it by a line, while the thread behind stays where it was; its ジャンプ
command takes the thread to the window's post. Clicking ">>3" in the window's post 20 takes the
thread to post 3, and BackSpace in the thread goes back to where the anchor was followed. The
anchor is found on a screenshot by the link colour, the rest through the state file.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb, xdotool or ImageMagick's import missing).
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
import popups  # noqa: E402
from journey import Failure, HOST  # noqa: E402

KEY = "1700000300"
TITLE = "抽出ウィンドウ確認"
SHARED = "same0000"
GREPPED = [5, 12, 20, 33]
POSTS = 40
LINK = popups.LINK


def post(number):
    ident = SHARED if number in GREPPED else "id%06d" % number
    # Three lines each, so that the window scrolls by lines inside a post.
    body = "書き込み %d の一行目 <br> 二行目 <br> 三行目" % number
    if number == 20:
        body = "三番へ &gt;&gt;3 の返事 <br> 二行目 <br> 三行目"
    return "名無しさん<>sage<>2026/12/08(火) 11:%02d:00 ID:%s<> %s <>%s" % (
        number % 60, ident, body, TITLE if number == 1 else "")


class GrepJourney(popups.PopupJourney):
    def __init__(self, args):
        super().__init__(args)
        # I (73) greps by ID; popups wait long, so that the pointer on an anchor clicks it
        # with no popup over it.
        self.extra_settings = "ColorLink=%d\nPopupDelay=60000\nKeyGrepId=73\n" % (
            LINK[0] | LINK[1] << 8 | LINK[2] << 16)

    def grep_key(self, key, what, **want):
        self.key(key)
        return self.wait_state(what, grep=1, **want)

    def open_grep(self, what):
        before = self.visible_windows()
        self.key_opening("i")
        dialog = self.new_window(before, what)
        s = self.wait_state(what, grep=1, grepentries=len(GREPPED))
        return dialog, s

    def geometry(self, window):
        g = dict(line.split("=", 1)
                 for line in self.xdo("getwindowgeometry", "--shell", window).split())
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def run(self):
        self.start_xvfb()
        self.start_server()
        self.ctl("create", host=HOST, board="news", key=KEY, posts=0, title=TITLE)
        for number in range(1, POSTS + 1):
            self.ctl("unended", host=HOST, board="news", key=KEY, text=post(number))
            self.ctl("ended", host=HOST, board="news", key=KEY)
        self.start_tavlo()
        self.answer_menu_question()
        self.xdo("mousemove", "0", "0")
        self.open_url(journey.thread_url(KEY), "the thread", view=2, title=TITLE, tabs=1,
                      busy=0, top=1, grep=0)

        # Right in the thread: to post 5, the first of those with the shared ID.
        for number in range(2, 6):
            self.key("Right")
            self.wait_state("post %d on top" % number, top=number)

        # I: the grep window with the four posts, its first on top.
        dialog, s = self.open_grep("the grep window")
        if s.get("greppost") != "5":
            raise Failure("the grep window starts at %r, not 5" % s.get("greppost"))
        self.shot("grep-1-open")

        # Right/Left walk the window's posts; the thread stays at post 5.
        self.grep_key("Right", "the window's second post", greppost=12, top=5)
        self.grep_key("Right", "the window's third post", greppost=20, top=5)
        self.grep_key("Left", "the window's second post again", greppost=12, top=5)
        line = int(self.state()["grepline"])
        # Down/Up scroll the window by one line, inside post 12.
        self.grep_key("Down", "a line down in the window", grepline=line + 1, greppost=12, top=5)
        self.shot("grep-2-walked")
        self.grep_key("Up", "a line up in the window", grepline=line, greppost=12, top=5)

        # ジャンプ, clicked on the window's menu bar: the window closes and the thread shows
        # post 12.
        x, y = self.state()["grepjump"].split(",")
        self.xdo("mousemove", x, y)
        self.xdo("click", "1")
        self.gone_window(dialog, "the grep window closed by ジャンプ", self.main)
        self.wait_state("the thread at the window's post", grep=0, top=12, view=2)
        self.shot("grep-3-jumped")

        # Again from post 12; Right twice to post 20, whose ">>3" is the window's only link.
        dialog, s = self.open_grep("the grep window again")
        if s.get("greppost") != "5":
            raise Failure("the grep window reopened at %r, not 5" % s.get("greppost"))
        self.grep_key("Right", "the window's second post", greppost=12, top=12)
        self.grep_key("Right", "the window's third post", greppost=20, top=12)
        box = self.geometry(dialog)
        screen = self.grab_link_rows("grep-4-anchor", box, ">>3 in the grep window")
        rows = self.link_rows(screen, box)
        if not rows:
            raise Failure("no link colour in the grep window %r" % (box,))
        top = min(rows)
        bottom = top
        while bottom + 1 in rows or bottom + 2 in rows:
            bottom += 1 if bottom + 1 in rows else 2
        xs = [x for y in range(top, bottom + 1) for x in rows.get(y, [])]
        ax, ay = (min(xs) + max(xs)) // 2, (top + bottom) // 2

        # The click names post 3 of the thread (not the window's third entry, post 20): the
        # window closes and the thread shows post 3.
        self.xdo("mousemove", str(ax), str(ay))
        self.xdo("click", "1")
        self.gone_window(dialog, "the grep window closed by the anchor", self.main)
        self.wait_state("the thread at the anchor's post", grep=0, top=3, view=2)
        self.xdo("mousemove", "0", "0")
        self.shot("grep-5-anchor-followed")

        # The anchor was followed with a way back: BackSpace returns to post 12.
        self.key("BackSpace")
        self.wait_state("the thread back where the anchor was followed", top=12, view=2)


def main():
    return journey.main(GrepJourney, tools=("Xvfb", "xdotool", "import", "convert"))


if __name__ == "__main__":
    sys.exit(main())
