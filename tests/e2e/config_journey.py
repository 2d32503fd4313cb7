#!/usr/bin/env python3
"""The configuration dialog and the title search typed with real X key events: the dialog
from the main menu, a check box and a number changed on the first page by keys, a key on the
key page, OK; the settings file holds exactly those keys and the thread list's rows change at
once; then a title search lists its hits like a board and opens one.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb or xdotool missing).
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import BOARD_URL, Failure  # noqa: E402


class ConfigJourney(journey.Journey):
    def settings(self):
        values = {}
        with open(self.ini, encoding="utf-8", errors="replace") as f:
            for line in f:
                if "=" in line:
                    k, v = line.rstrip("\r\n").split("=", 1)
                    values[k] = v
        return values

    def focus_to(self, name, limit=80):
        # Tab through the dialog until the named control has the focus.
        for _ in range(limit):
            if self.state().get("focus", "").endswith("#" + name):
                return self.state()
            self.key("Tab")
        raise Failure("focus never reached %s: %s" % (name, self.state()))

    def open_config(self):
        self.key("F10")
        self.wait_state("the action menu", popup="アクション")
        self.key("Right")
        self.wait_state("the main menu", popup="メニュー")
        before = self.visible_windows()
        self.choose_menu("設定...", opens=True)
        dialog = self.new_window(before, "the configuration dialog")
        self.wait_state("the dialog's title", title="tavlo設定", wintitle="設定")
        return dialog

    def run(self):
        self.start_xvfb()
        self.start_server()
        # The first hits of the search service name these threads.
        for i in range(3):
            self.ctl("create", host=journey.HOST, board="news", key=str(1500000000 + i),
                     posts=5, title="検索%d & 話" % i)
        self.start_tavlo()
        self.answer_menu_question()
        # A board's thread list, to see the settings take effect.
        self.key("Down", "Down", "Return")
        self.key("Down", "Return")
        s = self.wait_state("the thread list", view=1, title="ニュース速報")
        self.wait(lambda: self.state().get("rowheight"), "the list's rows")
        tall = int(self.state()["rowheight"])
        self.shot("config-1-list")
        before = self.settings()

        # OK without a change writes nothing.
        dialog = self.open_config()
        self.focus_to("ok")
        self.key("space")
        self.gone_window(dialog, "the dialog closed", self.main)
        if self.settings() != before:
            raise Failure("OK without changes wrote the settings")

        # The first page (system): a check box and a number, by keys.
        dialog = self.open_config()
        self.focus_to("ListSingleLine")
        self.key("space")
        self.focus_to("ThreadMax")
        self.key("ctrl+a")
        self.type("12")
        self.shot("config-2-system")
        # The key page, through the dialog's menu bar (Alt, then the page list): Reload gets F5.
        self.key("alt")
        self.wait_state("the dialog's menu bar", focus="QMenuBar#")
        self.key("Right", "Down")
        self.wait_state("the page menu", popup="メニュー")
        self.choose_menu("キー")
        self.wait_state("the key list", popup="", focus="QTreeWidget#keys")
        for _ in range(60):
            if self.state().get("focustext") == "リロード":
                break
            self.key("Down")
        else:
            raise Failure("no リロード row: %s" % self.state())
        # Return moves to the key field; F5 there is the new key.
        self.key("Return")
        self.wait_state("the key field", focus="QLineEdit#Key", focustext="R")
        self.key("F5")
        self.wait_state("the new key", focustext="VK_F5")
        self.shot("config-3-keys")
        self.focus_to("ok")
        self.key("space")
        self.gone_window(dialog, "the dialog closed after OK", self.main)
        after = self.settings()
        changed = {k for k in set(before) | set(after) if before.get(k) != after.get(k)}
        if changed != {"KeyReload", "ListSingleLine", "ThreadMax"}:
            raise Failure("changed keys %s (%s)" % (sorted(changed), after))
        if (after["ListSingleLine"], after["ThreadMax"], after["KeyReload"]) != ("1", "12", "116"):
            raise Failure("stored %s" % after)
        # At once: the rows of the shown list are one line high now.
        self.wait(lambda: int(self.state().get("rowheight", tall)) < tall,
                  "single-line rows (were %d)" % tall)
        self.shot("config-4-single-line")

        # Title search: the action menu's ２ちゃんねる検索 places its bar; words and Return.
        self.key("F10")
        self.wait_state("the action menu", popup="アクション")
        self.choose_menu("２ちゃんねる検索")
        self.wait_state("the title-search bar", bar=2, popup="")
        self.type("kensaku")
        self.key("Return")
        self.wait_request("the first result page",
                          lambda r: "find.5ch.net" in r["url"] and "OFFSET=0" in r["url"])
        s = self.wait_state("the results listed", view=1, items=60)
        self.shot("config-5-search")
        # The hits open like a board's threads.
        self.key("Down")
        s = self.wait(lambda: self.state().get("selected"), "a hit chosen")
        self.key("Return")
        self.wait_state("the hit's thread", view=2, busy=0, tabs=1, title=s)
        self.wait_request("the hit's log", lambda r: "/news/dat/15000000" in r["url"])
        self.shot("config-6-hit")


if __name__ == "__main__":
    sys.exit(journey.main(ConfigJourney))
