#!/usr/bin/env python3
"""A live service's board over HTTPS, typed with real X key events: the https menu through
the board server's live mode (TLS inside CONNECT, a CA this script makes and the program
trusts through its ca-bundle.crt, verification on), a board, a thread read, and a reply that
passes the confirmation round with its ticket cookie, kept in the jar file.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb, xdotool or openssl missing).
"""
import json
import os
import stat
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import Failure  # noqa: E402

HOST = "mi.5ch.io"
BOARD = "software"
KEY = "1700002100"
BOARD_URL = "https://%s/%s/" % (HOST, BOARD)
THREAD_URL = "https://%s/test/read.cgi/%s/%s/" % (HOST, BOARD, KEY)
REPLY = "live keys reply"
EDITOR_IDS = ("1007", "1008", "1014", "1051", "1052", "1070")


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, capture_output=True,
                   timeout=journey.WAIT)


class LiveJourney(journey.Journey):
    def make_certs(self):
        d = os.path.join(self.tmp, "certs")
        os.makedirs(d)
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
        with open(os.path.join(d, "ext.cnf"), "w") as f:
            f.write("basicConstraints=CA:FALSE\nsubjectAltName=DNS:*.5ch.io,DNS:*.5ch.net,"
                    "DNS:*.bbspink.com,DNS:*.machi.to,DNS:jbbs.shitaraba.net\n")
        p = lambda name: os.path.join(d, name)
        openssl("req", "-x509", *ec, "-keyout", p("ca.key"), "-out", p("ca.crt"),
                "-subj", "/CN=e2e live ca", "-days", "2")
        openssl("req", "-new", *ec, "-keyout", p("live.key"), "-out", p("live.csr"),
                "-subj", "/CN=" + HOST)
        openssl("x509", "-req", "-in", p("live.csr"), "-CA", p("ca.crt"), "-CAkey", p("ca.key"),
                "-set_serial", "7", "-days", "2", "-extfile", p("ext.cnf"), "-out",
                p("live.crt"))
        self.server_args = ["--live-cert", p("live.crt"), "--live-key", p("live.key")]
        # The program trusts the bundle of its working directory besides the system's.
        self.cwd = os.path.join(self.tmp, "cwd")
        os.makedirs(self.cwd)
        with open(p("ca.crt"), "rb") as src, \
                open(os.path.join(self.cwd, "ca-bundle.crt"), "wb") as dst:
            dst.write(src.read())

    def live_posts(self):
        return json.loads(self.ctl_body("liveposts"))

    def dat(self):
        try:
            with open(self.store(HOST, BOARD, KEY + ".dat"), "rb") as f:
                return f.read().decode("cp932", errors="replace")
        except OSError:
            return ""

    def plain_requests(self):
        # Requests to the live host that went out without TLS (controls aside).
        return [r for r in self.requests() if r["url"].startswith("http://" + HOST + "/")
                or r["url"].startswith("http://menu.5ch.io/")]

    def run(self):
        self.make_certs()
        self.menu_url = "https://menu.5ch.io/bbsmenu.html"
        self.start_xvfb()
        self.start_server()
        self.ctl("create", host=HOST, board=BOARD, key=KEY, posts=10, title="live e2e")
        self.start_tavlo()
        self.answer_menu_question()
        menu = self.wait_request("the https menu", lambda r: r["url"].endswith("/bbsmenu.html"))
        if menu["url"] != self.menu_url or menu.get("status") != 200:
            raise Failure("menu request %s" % menu)
        with open(self.store("board.txt"), "rb") as f:
            # The board is listed in its store form: one directory for http and https.
            if ("http://%s/%s/" % (HOST, BOARD)).encode() not in f.read():
                raise Failure("board.txt does not list the board")

        # The board by its https address: the list comes over TLS.
        self.open_url(BOARD_URL, "the board's thread list", view=1)
        self.wait_request("subject.txt over https",
                          lambda r: r["url"] == BOARD_URL + "subject.txt" and
                          r.get("status") == 200)
        self.wait(lambda: self.state().get("items") not in (None, "0"), "the list's rows")
        self.shot("live-1-board")

        # The thread: read over TLS into the store's directory of the board.
        self.open_url(THREAD_URL, "the thread", view=2, title="live e2e", busy=0)
        self.wait_request("the log over https", lambda r: r["url"] == "https://%s/%s/dat/%s.dat"
                          % (HOST, BOARD, KEY) and r.get("status") == 200)
        self.wait(lambda: self.dat().count("\n") == 10, "the thread's log in the store")
        self.shot("live-2-thread")

        # W, a reply, Ctrl+Return: the confirmation round passes by itself.
        before = self.visible_windows()
        self.key_opening("w")
        editor = self.new_window(before, "the post editor")
        self.wait(lambda: self.state().get("focus", "").split("#")[-1] in EDITOR_IDS,
                  "the editor's focus")
        for _ in range(8):
            if self.state().get("focus", "").endswith("#1014"):
                break
            self.key("Tab")
        self.key("ctrl+End")
        self.type(REPLY)
        sent = int(time.time())
        self.key("ctrl+Return")
        self.gone_window(editor, "the editor closed after the post", self.main)
        posts = self.wait(lambda: (lambda p: p if any(x.get("answer") == "posted" for x in p)
                                   else None)(self.live_posts()), "the confirmed post")
        answers = [p.get("answer") for p in posts]
        if answers != ["confirm", "posted"]:
            raise Failure("answers %s" % answers)
        first, second = posts
        if "MonaTicket=tk-" + BOARD not in second["cookie"]:
            raise Failure("the second POST has no ticket: %r" % second["cookie"])
        for p in posts:
            if p["referer"] != THREAD_URL:
                raise Failure("Referer %r" % p["referer"])
            if not p["agent"].startswith("Monazilla/1.00"):
                raise Failure("User-Agent %r" % p["agent"])
            t = int(p["text"].get("time", "0"))
            # now - 30 s when the form was made (the keys took a while before).
            if not sent - 600 <= t <= int(time.time()) - 29:
                raise Failure("time %d sent about %d" % (t, sent))
        names = [n for n, _ in second["fields"]]
        for field in ("feature", "oekaki_thread1", "MESSAGE", "bbs", "key"):
            if field not in names:
                raise Failure("the resubmitted form lacks %s: %s" % (field, names))
        if REPLY not in second["text"].get("MESSAGE", ""):
            raise Failure("posted body %r" % second["text"].get("MESSAGE"))

        # The thread is fetched again with the reply; the ticket is in the jar file, 0600.
        self.wait(lambda: REPLY in self.dat(), "the reply in the stored log")
        self.wait_state("the reload done", view=2, busy=0)
        self.key("n")
        self.shot("live-3-after")
        jar = self.store("cookies.txt")
        self.wait(lambda: os.path.exists(jar) and "MonaTicket" in open(jar).read(),
                  "the ticket in the jar file")
        if stat.S_IMODE(os.stat(jar).st_mode) != 0o600:
            raise Failure("the jar file's mode is %o" % stat.S_IMODE(os.stat(jar).st_mode))
        if self.plain_requests():
            raise Failure("plain HTTP to the live host: %s" % self.plain_requests())


if __name__ == "__main__":
    sys.exit(journey.main(LiveJourney, tools=("Xvfb", "xdotool", "openssl")))
