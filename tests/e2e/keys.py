#!/usr/bin/env python3
"""Every command of the key table, pressed with a real X key in the single-view layout and in
the desktop layout, from the same start (same store, same settings but the layout). What each
press left behind (shown view, bar, menu, window, tabs, sort, choice, history, thread position,
wrap and filter state, clipboard, bookmarks, online switch) must be the same in both.

Commands that have no default key get one of their own as SubKey. Exit status: 0 passed,
1 failed, 77 skipped (Xvfb or xdotool missing).
"""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import BOARD_URL, Failure, HOST, KEY_A, KEY_B, thread_url  # noqa: E402

# (command, xdotool key, virtual-key code given as SubKey or None for the default key, start)
# in key-table order; start "thread": a thread opened by its URL (the thread view shown),
# "list": then its board opened with CurrentSubject (the thread list shown).
TABLE = [
    ("Cancel", "c", 67, "thread"),
    ("Online", "t", None, "thread"),
    ("Reload", "r", None, "thread"),
    ("Delete", "d", None, "thread"),
    ("Search", "s", None, "thread"),
    ("Top", "p", None, "thread"),
    ("Bottom", "n", None, "thread"),
    ("CloseTab", "q", None, "thread"),
    ("Next", "Right", None, "thread"),
    ("Prev", "Left", None, "thread"),
    ("NextLink", "Tab", None, "thread"),
    ("PrevLink", "h", 72, "thread"),
    ("Menu", "space", None, "thread"),
    ("NextTab", "f", None, "thread"),
    ("PrevTab", "b", None, "thread"),
    ("Back", "BackSpace", None, "thread"),
    ("OpenBookmark", "o", None, "thread"),
    ("AddBookmark", "a", None, "thread"),
    ("Sort", "Tab", None, "list"),
    ("Edit", "e", None, "thread"),
    ("EditReply", "w", None, "thread"),
    ("EditReplyAll", "i", 73, "thread"),
    ("Find2ch", "j", 74, "thread"),
    ("NextLine", "Down", None, "thread"),
    ("PrevLine", "Up", None, "thread"),
    ("PageUp", "k", 75, "thread"),
    ("PageDown", "l", 76, "thread"),
    ("CurrentSubject", "m", 77, "thread"),
    ("ToggleAbone", "u", 85, "thread"),
    ("ToggleWrap", "x", 88, "thread"),
    ("Reopen", "y", 89, "thread"),
    ("ChangeView", "z", 90, "thread"),
    ("GrepId", "1", 49, "thread"),
    ("GrepName", "2", 50, "thread"),
    ("GrepRefer", "3", 51, "thread"),
    ("CopyInformation", "4", 52, "thread"),
    ("CopyMessage", "5", 53, "thread"),
    ("ViewBack", "Escape", None, "thread"),
    ("ViewForward", "6", 54, "thread"),
    ("Jump", "g", None, "thread"),
    ("CheckMenu", "7", 55, "thread"),
    ("ExecBrowser", "8", 56, "thread"),
]

# A page is the view's height, smaller in a pane: that the thread moved is what is compared.
PAGE_SIZED = {"PageUp", "PageDown"}

# What differs between the layouts by design (a place on the screen among them), or with the clock.
LAYOUT_ONLY = {"keys", "syncs", "layout", "panes", "pane", "focus", "focustext", "visible", "status", "busy",
               "grepjump"}


class Keys(journey.Journey):
    SCREEN = "1280x900"

    def settings_text(self, desktop):
        keys = "".join("SubKey%s=%d\n" % (name, vk) for name, _, vk, _ in TABLE if vk)
        return ("Browser=true\nDesktopLayout=%d\nWindowLeft=0\nWindowTop=0\nWindowWidth=1280\n"
                "WindowHeight=900\n%s" % (1 if desktop else 0, keys))

    def stop_tavlo(self):
        if getattr(self, "tavlo", None) is not None and self.tavlo in self.procs:
            self.tavlo.terminate()
            self.tavlo.wait(timeout=30)
            self.procs.remove(self.tavlo)

    def launch(self, desktop, start):
        self.stop_tavlo()
        # The same store every time: what one press changed must not reach the next.
        shutil.rmtree(self.root, ignore_errors=True)
        shutil.copytree(self.snapshot, self.root)
        if os.path.exists(self.state_file):
            os.remove(self.state_file)
        self.start_tavlo(extra=self.settings_text(desktop), urls=[thread_url(KEY_A)])
        self.keys = 0
        self.main_window_alone()
        # The start is whole once the thread's fetch ended and the shown view has the focus.
        self.key("shift")
        self.wait_state("the thread", view=2, tabs=1, busy=0, title="e2e first", pane=2)
        if start == "list":
            # CurrentSubject: the thread's board in the list.
            self.key("m")
            self.wait_state("the list", view=1, busy=0, title="ニュース速報", pane=1)

    def settled(self):
        # The press's effects end (a fetch, a list sorted, a window opened): the state stays.
        last, since = None, time.monotonic()
        deadline = time.monotonic() + journey.WAIT
        while time.monotonic() < deadline:
            s = self.state()
            if s != last:
                last, since = s, time.monotonic()
            elif s.get("busy") == "0" and time.monotonic() - since > 1.0:
                return s
            time.sleep(0.1)
        raise Failure("the state did not settle: %s" % last)

    def press(self, desktop, key, start):
        self.launch(desktop, start)
        self.focus(self.window)
        self.xdo("key", key)
        # A window the key opened (the post editor) may swallow its release: a Shift to the
        # window that has the focus now shows that the press was handled.
        self.resync(focus=False)
        state = {k: v for k, v in self.settled().items() if k not in LAYOUT_ONLY}
        # Beside a thread opened alone the desktop's list pane shows the thread's board, which
        # the single view keeps hidden and empty: the list's choice counts where it is shown.
        if state.get("view") != "1":
            state.pop("selected", None)
        return state

    def run(self):
        self.start_xvfb()
        self.start_server()
        self.ctl("create", host=HOST, board="news", key=KEY_A, posts=120, title="e2e first")
        self.ctl("create", host=HOST, board="news", key=KEY_B, posts=10, title="e2e second")
        # The store once: the board menu (asked for and fetched), the board's list, the thread.
        self.root = os.path.join(self.tmp, "logs")
        self.start_tavlo(extra=self.settings_text(False))
        self.answer_menu_question()
        self.stop_tavlo()
        self.snapshot = os.path.join(self.tmp, "snapshot")
        shutil.copytree(self.root, self.snapshot)
        self.launch(False, "list")
        self.stop_tavlo()
        shutil.rmtree(self.snapshot)
        shutil.copytree(self.root, self.snapshot)

        failures = []
        only = set(filter(None, os.environ.get("TAVLO_KEYS_ONLY", "").split(",")))
        for name, key, _, start in TABLE:
            if only and name not in only:
                continue
            # A real difference shows every time; a press whose effect was still on its way
            # when the state was read is tried once more.
            for attempt in range(2):
                single = self.press(False, key, start)
                desktop = self.press(True, key, start)
                if name in PAGE_SIZED:
                    for s in (single, desktop):
                        s["top"] = "start" if s.get("top") == "1" else "moved"
                diff = {k: (single.get(k), desktop.get(k)) for k in set(single) | set(desktop)
                        if single.get(k) != desktop.get(k)}
                if not diff:
                    break
                print("%s: %s" % (name, diff), flush=True)
            changed = {k: v for k, v in single.items() if k in ("view", "bar", "popup", "window",
                                                                "modal", "tabs", "top", "sort",
                                                                "selected", "back", "clip",
                                                                "abone", "wrap", "online",
                                                                "bookmarks", "title")}
            print("%-16s %-10s %s %s" % (name, key, "same" if not diff else "DIFFERS",
                                          changed), flush=True)
            if diff:
                failures.append("%s: %s" % (name, diff))
        if len(TABLE) != 42 or len({row[0] for row in TABLE}) != 42:
            raise Failure("the table has %d commands" % len(TABLE))
        if failures:
            raise Failure("; ".join(failures))


if __name__ == "__main__":
    sys.exit(journey.main(Keys))
