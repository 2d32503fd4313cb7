#!/usr/bin/env python3
"""Posting typed with real X key events: a reply with ">>N", typed text and a Japanese
template, the board's cookie confirmation, the post in the reloaded thread; a cancelled editor
keeps its draft; a new thread from the thread list.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb or xdotool missing).
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import BOARD_URL, HOST, KEY_A, Failure, thread_url  # noqa: E402

TEMPLATE = "テンプレの日本語\\nです"  # "\n" in a template is a line break
BODY = ">>1\nreal keys reply\nテンプレの日本語\nです"
DRAFT = "draft kept by cancel"
EDITOR_IDS = ("1007", "1008", "1014", "1051", "1052", "1070")


class PostJourney(journey.Journey):
    def posts(self):
        return json.loads(self.ctl_body("posts"))

    def dat(self):
        path = self.store(HOST, "news", KEY_A + ".dat")
        try:
            with open(path, "rb") as f:
                return f.read().decode("cp932", errors="replace")
        except OSError:
            return ""

    def open_editor(self, key, what):
        before = self.visible_windows()
        self.key_opening(key)
        window = self.new_window(before, what)
        # The editor's own controls have the focus (their names are their control ids).
        self.wait(lambda: self.state().get("focus", "").split("#")[-1] in EDITOR_IDS, what)
        return window

    def focus_to(self, name, limit=8):
        # Tab through the dialog's controls until the named one has the focus.
        for _ in range(limit):
            if self.state().get("focus", "").endswith("#" + name):
                return self.state()
            self.key("Tab")
        raise Failure("focus never reached %s: %s" % (name, self.state()))

    def run(self):
        self.start_xvfb()
        self.start_server()
        self.ctl("create", host=HOST, board="news", key=KEY_A, posts=10, title="e2e post")
        # A template of this user's, in the store before the start (Shift_JIS, CR LF).
        os.makedirs(os.path.join(self.tmp, "logs"))
        with open(os.path.join(self.tmp, "logs", "template.txt"), "wb") as f:
            f.write((TEMPLATE + "\r\n").encode("cp932"))
        self.start_tavlo()
        self.answer_menu_question()

        self.open_url(thread_url(KEY_A), "the thread", view=2, title="e2e post", tabs=1, busy=0)

        # W: the editor for the top post, ">>1" already in the body.
        editor = self.open_editor("w", "the post editor")
        s = self.focus_to("1014")
        if not s.get("focustext", "").startswith(">>1"):
            raise Failure("the body does not start with >>1: %r" % s.get("focustext"))
        self.key("ctrl+End")
        self.type("real keys reply")
        self.key("Return")
        # Shift+Tab to the template list; Down picks the first template (the user's own),
        # which lands in the body with its line break and gives the body the focus back.
        self.key("shift+Tab")
        self.wait_state("the template list", focus="QComboBox#1052")
        self.key("Down")
        s = self.wait_state("the template in the body", focus="QPlainTextEdit#1014")
        if s.get("focustext") != BODY.replace("\n", "\\n"):
            raise Failure("body %r" % s.get("focustext"))
        self.shot("post-1-editor")

        # Ctrl+Return sends; the board asks for the cookie once, the second POST carries it.
        self.key("ctrl+Return")
        self.gone_window(editor, "the editor closed after the post", self.main)
        posts = self.wait(lambda: (lambda p: p if len(p) >= 2 else None)(self.posts()),
                          "two POSTs (the confirmation round)")
        first, second = posts[0], posts[1]
        names = [n for n, _ in first["fields"]]
        if names != ["submit", "FROM", "mail", "MESSAGE", "bbs", "time", "key"]:
            raise Failure("first POST's fields: %s" % names)
        if second["text"].get("MESSAGE") != BODY.replace("\n", "\r\n"):
            raise Failure("posted body %r" % second["text"].get("MESSAGE"))
        if "PON=" not in second["cookie"]:
            raise Failure("the second POST has no cookie: %r" % second["cookie"])
        second_names = [n for n, _ in second["fields"]]
        # The form again, then the page's hidden fields (time among them) and its button.
        if (second_names[:5] != ["FROM", "mail", "MESSAGE", "bbs", "key"] or
                second_names[5:] != ["yuki", "feature", "time", "submit"]):
            raise Failure("the hidden fields did not come after the form: %s" % second_names)
        if int(second["text"]["time"]) != int(first["page_time"]) - 15:
            raise Failure("time %s, page time %s" % (second["text"]["time"],
                                                      first["page_time"]))
        # The thread is fetched again by itself: the post is in the log and shown.
        self.wait(lambda: "real keys reply" in self.dat(), "the post in the stored log")
        self.wait_state("the reload done", view=2, busy=0)
        self.key("n")  # to the bottom: the new post
        self.shot("post-2-after")

        # A cancelled editor keeps its draft for the same thread.
        editor = self.open_editor("w", "the editor again")
        self.focus_to("1014")
        self.key("ctrl+End")
        self.type(DRAFT)
        self.key("Escape")
        self.gone_window(editor, "the cancelled editor closed", self.main)
        editor = self.open_editor("w", "the editor after the cancel")
        s = self.focus_to("1014")
        if DRAFT not in s.get("focustext", ""):
            raise Failure("the draft was lost: %r" % s.get("focustext"))
        self.shot("post-3-draft")
        self.key("Escape")
        self.gone_window(editor, "the editor closed again", self.main)
        if len(self.posts()) != 2:
            raise Failure("a cancelled editor posted")

        # A new thread from the thread list: the thread's board first, then the action
        # menu's 書き込み > スレ立て.
        self.key("F10")
        self.wait_state("the action menu", popup="アクション")
        self.choose_menu("スレッド操作", "表示スレッドの板を開く")
        self.wait_state("the thread list", view=1, popup="")
        self.wait_request("subject.txt", lambda r: r["url"] == BOARD_URL + "subject.txt")
        rows = int(self.wait(lambda: self.state().get("items") not in (None, "0") and
                             self.state()["items"], "the thread list's rows"))
        self.key("F10")
        self.wait_state("the action menu", popup="アクション")
        before = self.visible_windows()
        self.choose_menu("書き込み", "スレ立て", opens=True)
        dialog = self.new_window(before, "the new-thread editor")
        self.wait(lambda: self.state().get("focus", "").split("#")[-1] in EDITOR_IDS,
                  "the new-thread editor's focus")
        s = self.focus_to("1070")
        self.type("e2e new thread")
        self.focus_to("1014")
        self.type("first post by keys")
        self.shot("post-4-new-thread")
        lists = len([r for r in self.requests() if r["url"] == BOARD_URL + "subject.txt"])
        self.key("ctrl+Return")
        self.gone_window(dialog, "the new-thread editor closed", self.main)
        self.wait(lambda: any(p["text"].get("subject") == "e2e new thread" and
                              "PON=" in p["cookie"] for p in self.posts()),
                  "the new thread's confirmed POST")
        # The list is fetched again and holds the new thread.
        self.wait(lambda: len([r for r in self.requests()
                               if r["url"] == BOARD_URL + "subject.txt"]) > lists,
                  "the list fetched again")
        self.wait_state("the list with the new thread", view=1, items=rows + 1)
        self.shot("post-5-list")


if __name__ == "__main__":
    sys.exit(journey.main(PostJourney))
