#!/usr/bin/env python3
"""The desktop layout with real X key events and clicks.

Switches the layout on from the view menu, opens a board from the tree and a thread from the
list, moves the focus between the panes with the focus key and a click, reloads, goes back,
and checks that the layout and the splitter sizes survive a restart. Screenshots of both
layouts at 1280x900 and 1920x1080 go to --shots.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb or xdotool missing).
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import BOARD_URL, Failure, HOST, KEY_A, KEY_B, thread_url  # noqa: E402


def place(width, height):
    # No window manager: the window takes the whole screen from its stored place.
    return "WindowLeft=0\nWindowTop=0\nWindowWidth=%d\nWindowHeight=%d\n" % (width, height)


class Desktop(journey.Journey):
    SCREEN = "1280x900"

    def click(self, x, y):
        self.focus(self.window)
        self.xdo("mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def toggle_layout(self, want):
        # F10, the main menu, its view menu, and the last entry of it.
        self.key("F10")
        self.wait_state("the action menu", popup="アクション")
        self.key("Right")
        self.wait_state("the main menu", popup="メニュー")
        self.key("Right")
        self.wait_state("the view menu", popup="ビュー")
        self.key("Up", "Return", closes=True)
        self.wait_state("the layout switched", layout=want, popup="", menubar="")

    def settings(self):
        with open(os.path.join(self.tmp, "tavlo.ini"), encoding="utf-8") as f:
            return dict(line.strip().split("=", 1) for line in f if "=" in line)

    def restart(self, screen, extra_keys, urls=()):
        self.tavlo.terminate()
        self.tavlo.wait(timeout=30)
        self.procs.remove(self.tavlo)
        ini = os.path.join(self.tmp, "tavlo.ini")
        with open(ini, encoding="utf-8") as f:
            text = "".join(l for l in f if not l.startswith("Window"))
        with open(ini, "w", encoding="utf-8") as f:
            f.write(text + extra_keys)
        os.remove(self.state_file)
        if screen != self.SCREEN:
            self.SCREEN = screen
            self.start_xvfb()
        self.start_tavlo(fresh=False, urls=urls)
        self.keys = 0
        self.window = self.wait(lambda: (lambda w: w[0] if len(w) == 1 else None)(
            self.visible_windows()), "the main window")

    def run(self):
        self.start_xvfb()
        self.start_server()
        self.ctl("create", host=HOST, board="news", key=KEY_A, posts=30, title="e2e first")
        self.ctl("create", host=HOST, board="news", key=KEY_B, posts=10, title="e2e second")
        self.start_tavlo(extra=place(1280, 900))
        self.answer_menu_question()
        if self.settings().get("DesktopLayout") not in (None, "0"):
            raise Failure("the layout is on before it was switched on")

        # On, at once: the tree keeps the focus, the three panes show.
        self.toggle_layout(1)
        s = self.wait_state("the desktop layout", layout=1, view=0, pane=0, visible="0,1,2")
        if self.settings().get("DesktopLayout") != "1":
            raise Failure("the layout switch was not written: %s" % self.settings())

        # A board from the tree: its list in the list pane, with the focus.
        self.key("Down", "Down", "Return")
        self.key("Down", "Return")
        self.wait_state("the board's list", view=1, pane=1, title="ニュース速報",
                        visible="0,1,2")
        self.wait_request("subject.txt", lambda r: r["url"] == BOARD_URL + "subject.txt")
        self.shot("desktop-1280-list")

        # A thread from the list: the thread pane, the list still beside it.
        self.key("Down")
        chosen = self.state().get("selected")
        self.key("Return")
        s = self.wait_state("the thread in its pane", view=2, pane=2, tabs=1, busy=0,
                            visible="0,1,2", title=chosen)
        self.wait(lambda: "HTTP 200" in self.state().get("status", ""),
                  "the status line of the first fetch")
        self.shot("desktop-1280-thread")

        # The focus key moves round the panes; Shift goes back; the keys follow the focus.
        self.key("F6")
        self.wait_state("the focus in the tree", view=0, pane=0)
        self.key("F6")
        self.wait_state("the focus in the list", view=1, pane=1)
        self.key("shift+F6")
        self.wait_state("the focus back in the tree", view=0, pane=0)
        # A click into the thread pane gives it the focus and makes it the view keys go to.
        self.click(900, 700)
        self.wait_state("the thread pane clicked", view=2, pane=2)

        # Reload the thread from the thread pane: a ranged request, the status line shows it.
        dat = self.store(HOST, "news", self.state_thread_key() + ".dat")
        size = os.path.getsize(dat)
        self.ctl("append", host=HOST, board="news", key=self.state_thread_key(), n=3)
        self.key("r")
        self.wait_request("a ranged reload", lambda r: r["url"].endswith(
            "/%s.dat" % self.state_thread_key()) and r["headers"].get("range") == "bytes=%d-"
            % (size - 1))
        self.wait(lambda: os.path.getsize(dat) > size, "the grown log")
        s = self.wait(lambda: (lambda st: st if "HTTP 206" in st.get("status", "") and
                               "新着 3" in st.get("status", "") else None)(self.state()),
                      "the status line of the reload")

        # Back goes to the pane the focus came from, then the one before; Forward returns.
        self.key("Escape")
        self.wait_state("back in the tree", view=0, pane=0, visible="0,1,2")
        self.key("Escape")
        self.wait_state("back in the list", view=1, pane=1)
        # R in the list pane reloads the list, as in the single view.
        before = len([r for r in self.requests() if r["url"] == BOARD_URL + "subject.txt"])
        self.key("r")
        self.wait(lambda: len([r for r in self.requests()
                               if r["url"] == BOARD_URL + "subject.txt"]) > before,
                  "the list reloaded")
        self.wait_state("the list reload done", view=1, pane=1)

        # Off again, at once: the list alone, as it is the shown view.
        self.toggle_layout(0)
        self.wait_state("the single view again", layout=0, view=1, visible="1")
        self.shot("single-1280-list")
        self.key("Return")
        self.wait_state("the thread alone", view=2, visible="2", busy=0)
        self.shot("single-1280-thread")
        self.toggle_layout(1)
        self.wait_state("on once more", layout=1, view=2, pane=2, visible="0,1,2")

        # A restart keeps the layout and the splitter sizes.
        panes = self.state().get("panes")
        lists = len([r for r in self.requests() if r["url"] == BOARD_URL + "subject.txt"])
        self.restart("1920x1080", place(1920, 1080), urls=[thread_url(KEY_A)])
        s = self.wait_state("the layout after a restart", layout=1, view=2, visible="0,1,2",
                            busy=0, title="e2e first")
        if s.get("panes") != panes:
            raise Failure("splitter sizes %s after the restart, %s before" % (s.get("panes"),
                                                                             panes))
        # The thread came alone: its board's list fills the list pane (online: reloaded, as
        # opening the board does), the thread stays the shown view with its title.
        self.wait(lambda: self.state().get("selected"), "the thread's board in the list pane")
        self.wait(lambda: len([r for r in self.requests()
                               if r["url"] == BOARD_URL + "subject.txt"]) > lists,
                  "the list reloaded after the restart")
        self.wait_state("the thread still shown", view=2, title="e2e first")
        self.key("Escape")  # back to the tree
        self.wait_state("the tree after the restart", view=0, pane=0)
        self.key("F6", "F6")
        self.wait_state("the thread pane again", view=2, pane=2)
        self.shot("desktop-1920-thread")
        self.toggle_layout(0)
        self.wait_state("single at 1920", layout=0, view=2, visible="2")
        self.shot("single-1920-thread")

    def state_thread_key(self):
        title = self.state().get("title", "")
        return KEY_A if title == "e2e first" else KEY_B


if __name__ == "__main__":
    sys.exit(journey.main(Desktop))
