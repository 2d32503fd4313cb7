#!/usr/bin/env python3
"""A new user's first session, typed with real X key events.

Starts Xvfb on a free display, the local board server and the built tavlo with a fresh
settings file (proxy pointed at the server, online, no board.txt), then types with xdotool.
Every step waits for a state: the server's request log, files in the store, or the state file
the program writes with TAVLO_STATE_FILE set. Time only bounds the waits (generously).

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb or xdotool missing).
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

WAIT = 60  # seconds, an upper limit for every wait; steps normally take milliseconds

HOST = "news.example-bbs.test"
BOARD_URL = "http://%s/news/" % HOST
KEY_A = "1700000000"
KEY_B = "1700000100"


def thread_url(key):
    return "http://%s/test/read.cgi/news/%s/" % (HOST, key)


class Failure(Exception):
    pass


class Journey:
    SCREEN = "1024x768"
    FOCUS_TABS = 80  # how many Tabs focus_to tries

    def __init__(self, args):
        self.args = args
        self.tmp = tempfile.mkdtemp(prefix="tavlo-e2e-")
        self.procs = []
        self.display = None
        self.port = None
        self.window = None
        self.tavlo = None
        self.shots = args.shots or self.tmp
        self.keys = 0
        self.extra_settings = ""  # more "Key=Value\n" lines for the settings file
        self.menu_url = "http://menu.example-bbs.test/bbsmenu.html"
        self.server_args = []  # more options for the board server
        self.cwd = None  # the program's working directory (where it finds ca-bundle.crt)

    # ---- processes -----------------------------------------------------------------------

    def start_xvfb(self):
        read_fd, write_fd = os.pipe()
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.SCREEN + "x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.procs.append(proc)
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or proc.poll() is not None:
                raise Failure("Xvfb did not start")
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise Failure("Xvfb closed its display pipe")
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()

    def start_server(self):
        port_file = os.path.join(self.tmp, "port")
        self.log = os.path.join(self.tmp, "requests.log")
        proc = subprocess.Popen(
            [sys.executable, os.path.join(self.args.source, "tools/boardsim/boardsim.py"),
             "--recent", "--port", "0", "--port-file", port_file, "--log", self.log,
             "--lifetime", "900", "--parent", str(os.getpid())] + self.server_args,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        self.wait(lambda: os.path.exists(port_file) and open(port_file).read().strip(),
                  "the board server's port")
        self.port = int(open(port_file).read().strip())

    def ctl_body(self, op, **query):
        url = "http://%s/_ctl/%s?%s" % (HOST, op, urllib.parse.urlencode(query))
        proxy = urllib.request.ProxyHandler({"http": "http://127.0.0.1:%d" % self.port})
        return urllib.request.build_opener(proxy).open(url, timeout=30).read().decode()

    def ctl(self, op, **query):
        body = self.ctl_body(op, **query)
        if body != "ok":
            raise Failure("control request %s: %s" % (op, body))

    def start_tavlo(self, extra="", urls=(), fresh=True):
        self.root = os.path.join(self.tmp, "logs")
        self.ini = ini = os.path.join(self.tmp, "tavlo.ini")
        if fresh:
            with open(ini, "w", encoding="utf-8") as f:
                f.write("[tavlo]\nRootDirectory=%s\n"
                        "BoardUrl=%s\n"
                        "ProxyUse=1\nProxyHost=127.0.0.1\nProxyPort=%d\nOnline=1\n%s"
                        % (self.root, self.menu_url, self.port, self.extra_settings + extra))
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, 0o700, exist_ok=True)
        self.state_file = os.path.join(self.tmp, "state")
        env = dict(os.environ, DISPLAY=self.display, XDG_RUNTIME_DIR=runtime,
                   QT_QPA_PLATFORM="xcb", TAVLO_STATE_FILE=self.state_file,
                   XDG_CONFIG_HOME=os.path.join(self.tmp, "config"))
        env.pop("WAYLAND_DISPLAY", None)
        self.env = env
        out = open(os.path.join(self.tmp, "tavlo.out"), "w")
        self.tavlo = subprocess.Popen([self.args.tavlo, "--ini", ini] + list(urls), env=env,
                                      stdout=out, stderr=subprocess.STDOUT, cwd=self.cwd)
        self.procs.append(self.tavlo)

    def stop(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()

    # ---- X -------------------------------------------------------------------------------

    def xdo(self, *args):
        r = subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True,
                           text=True, timeout=WAIT)
        if r.returncode != 0:
            raise Failure("xdotool %s: %s" % (" ".join(args), r.stderr.strip()))
        return r.stdout

    def visible_windows(self):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.tavlo.pid)],
                           env=self.env, capture_output=True, text=True, timeout=WAIT)
        return [w for w in r.stdout.split()]

    def focus(self, window):
        # No window manager: the window gets the input focus directly.
        self.xdo("windowfocus", "--sync", window)

    def key(self, *keys, closes=False):
        # closes: the last key closes a menu or a window, which may take its release with it
        # on a busy machine, so the count is made current again instead of counted on.
        self.focus(self.window)
        self.xdo("key", "--delay", "30", *keys)
        if closes:
            self.resync()
        else:
            self.handled(len(keys))

    def resync(self, focus=True):
        # A Shift whose release was seen comes after every earlier key: the count is current.
        # focus=False: the Shift goes to whatever window has the focus now.
        for attempt in range(5):
            syncs = int(self.state().get("syncs", "0"))
            if focus:
                self.focus(self.window)
            self.xdo("key", "shift")
            try:
                self.wait(lambda: int(self.state().get("syncs", "0")) > syncs, "the Shift seen",
                          limit=WAIT / 5)
                break
            except Failure:
                continue
        else:
            raise Failure("no Shift seen after five tries: %s" % self.state())
        self.keys = int(self.state().get("keys", "0"))

    def key_opening(self, key):
        # A key that opens a window (then wait for it with new_window): its release may go
        # to the new window or nowhere, so it is not counted.
        self.focus(self.window)
        self.xdo("key", key)

    def type(self, text):
        self.focus(self.window)
        self.xdo("type", "--delay", "20", text)
        self.handled(len(text))

    def handled(self, count):
        # The program counts the key releases it saw; the state after them is then written.
        self.keys += count
        self.wait(lambda: int(self.state().get("keys", "0")) >= self.keys,
                  "%d keys handled" % self.keys)

    def new_window(self, before, what):
        # A window that was not there before (a dialog); it becomes the one typed at.
        window = self.wait(lambda: next((w for w in self.visible_windows() if w not in before),
                                        None), what)
        self.window = window
        # The key that opened it may have lost its release to the new window: count afresh.
        self.resync()
        return window

    def gone_window(self, window, what, main):
        self.wait(lambda: window not in self.visible_windows(), what)
        self.window = main

    def choose_menu(self, *path, opens=False):
        # From an open menu: Down until the item is active, then Right into a submenu or
        # Return on the last item. Disabled items are skipped by the menu itself, so the
        # number of steps is read from the state, never counted in advance.
        for i, item in enumerate(path):
            for step in range(40):
                if self.state().get("menuitem") == item:
                    break
                self.key("Down")
            else:
                raise Failure("no menu item %s: %s" % (item, self.state()))
            if i + 1 < len(path):
                self.key("Right")
            elif opens:
                self.key_opening("Return")
            else:
                self.key("Return", closes=True)

    def shot(self, name):
        path = os.path.join(self.shots, "e2e-%s.png" % name)
        if shutil.which("import"):
            subprocess.run(["import", "-display", self.display, "-window", "root", path],
                           capture_output=True, timeout=WAIT)

    # ---- states --------------------------------------------------------------------------

    def wait(self, done, what, limit=WAIT):
        deadline = time.monotonic() + limit
        while True:
            value = done()
            if value:
                return value
            if self.tavlo_died():
                raise Failure("tavlo exited while waiting for " + what)
            if time.monotonic() > deadline:
                raise Failure("no %s (state %s)" % (what, self.state() if self.tavlo else {}))
            time.sleep(0.05)

    def tavlo_died(self):
        return getattr(self, "tavlo", None) is not None and self.tavlo.poll() is not None

    def state(self):
        try:
            with open(self.state_file, encoding="utf-8") as f:
                return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        except OSError:
            return {}

    def wait_state(self, what, **want):
        def check():
            s = self.state()
            return s if all(s.get(k) == str(v) for k, v in want.items()) else None
        try:
            return self.wait(check, what)
        except Failure:
            raise Failure("%s: wanted %s, state %s" % (what, want, self.state()))

    def requests(self):
        try:
            with open(self.log, encoding="utf-8") as f:
                return [json.loads(line) for line in f if line.strip()]
        except OSError:
            return []

    def wait_request(self, what, match):
        return self.wait(lambda: next((r for r in self.requests() if match(r)), None), what)

    def store(self, *parts):
        return os.path.join(self.root, *parts)

    # ---- the journey ---------------------------------------------------------------------

    def answer_question(self, what, shot=None):
        # A message box over the main window; Return takes "Yes".
        windows = self.wait(lambda: len(self.visible_windows()) >= 2 and self.visible_windows(),
                            what)
        self.window = windows[0]
        if shot:
            self.shot(shot)
        # A key sent before the toolkit took the box as its active window is dropped; while
        # the box stands a Return can only answer it, so it is sent again until it goes.
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
        self.main_window_alone()
        self.resync()

    def main_window_alone(self):
        self.window = self.wait(lambda: (lambda w: w[0] if len(w) == 1 else None)(
            self.visible_windows()), "the main window alone")
        return self.window

    def answer_menu_question(self):
        # No board.txt: the program asks whether to fetch the menu.
        self.answer_question("question about the missing board list", shot="1-question")
        self.wait_request("menu request", lambda r: r["url"].endswith("/bbsmenu.html"))
        self.wait(lambda: os.path.exists(self.store("board.txt")), "board.txt in the store")
        self.main = self.main_window_alone()

    def focus_to(self, name, limit=None):
        # Tab through the dialog's controls until the named one has the focus.
        for _ in range(limit or self.FOCUS_TABS):
            if self.state().get("focus", "").endswith("#" + name):
                return self.state()
            self.key("Tab")
        raise Failure("focus never reached %s: %s" % (name, self.state()))

    def open_url(self, url, what, **want):
        # The direct-input bar: G, the address, Return.
        self.key("g")
        self.wait_state("the direct-input bar", bar=3)
        self.type(url)
        self.key("Return")
        return self.wait_state(what, **want)

    def run(self):
        self.start_xvfb()
        self.start_server()
        self.ctl("create", host=HOST, board="news", key=KEY_A, posts=10, title="e2e first")
        self.ctl("create", host=HOST, board="news", key=KEY_B, posts=10, title="e2e second")
        self.start_tavlo()

        self.answer_menu_question()

        # The tree: "tavlo", "その他", then the category ニュース; Return opens it, then its
        # first board.
        self.key("Down", "Down", "Return")
        self.key("Down", "Return")
        self.wait_state("the thread list", view=1, title="ニュース速報")
        self.wait_request("subject.txt", lambda r: r["url"] == BOARD_URL + "subject.txt")

        # Tab sorting keeps the chosen thread chosen, and Return opens that one.
        self.key("Down", "Down")
        chosen = self.state().get("selected")
        if not chosen:
            raise Failure("no thread chosen: %s" % self.state())
        self.key("Tab")
        s = self.wait_state("the next sort key", sort=1)
        if s.get("selected") != chosen:
            raise Failure("sorting moved the choice from %r to %r" % (chosen, s.get("selected")))
        self.shot("2-sorted")
        self.key("Return")
        self.wait_state("the chosen thread opened", view=2, title=chosen, tabs=1, busy=0)

        # Direct input of a thread URL and Return.
        self.key("g")
        self.wait_state("the direct-input bar", bar=3)
        self.type(thread_url(KEY_A))
        self.key("Return")
        self.wait_state("the first thread by URL", view=2, title="e2e first", tabs=2, busy=0)
        dat_a = self.store(HOST, "news", KEY_A + ".dat")
        self.wait(lambda: os.path.exists(dat_a), "the first thread's log")
        # The bar reopens with its last entry selected: typing replaces it.
        self.key("g")
        self.wait_state("the direct-input bar again", bar=3)
        self.type(thread_url(KEY_B))
        self.key("Return")
        self.wait_state("the second thread by URL", view=2, title="e2e second", tabs=3, busy=0)
        dat_b = self.store(HOST, "news", KEY_B + ".dat")
        self.wait(lambda: os.path.exists(dat_b) and os.path.getsize(dat_b) > 0,
                  "the second thread's log")
        self.shot("3-thread")

        # R reloads from one byte before the end of the stored log.
        size = os.path.getsize(dat_b)
        self.ctl("append", host=HOST, board="news", key=KEY_B, n=3)
        self.key("r")
        want = "bytes=%d-" % (size - 1)
        self.wait_request("a ranged reload", lambda r: r["url"].endswith("/%s.dat" % KEY_B)
                          and r["headers"].get("range") == want)
        self.wait(lambda: os.path.getsize(dat_b) > size, "the grown log")
        self.wait_state("the reload done", busy=0)

        # Escape goes back to the thread list.
        self.key("Escape")
        self.wait_state("back in the thread list", view=1, title="ニュース速報")

        # The search bar and Return: hits first, the first hit chosen, nothing opened.
        self.key("s")
        self.wait_state("the search bar", bar=1)
        self.type("Part")
        self.key("Return")
        s = self.wait_state("the search result", sort=6, view=1, tabs=3)
        if "Part" not in s.get("selected", ""):
            raise Failure("the search chose %r" % s.get("selected"))

        # F10 opens the menu bar; Right reaches the main menu; Escape leaves it.
        self.key("F10")
        self.wait_state("the action menu", menubar="アクション", popup="アクション")
        self.key("Right")
        self.wait_state("the main menu", menubar="メニュー", popup="メニュー")
        self.shot("4-menu")
        self.key("Escape")
        self.wait_state("the menu closed", popup="")
        self.key("Escape")
        self.wait_state("the menu bar left", menubar="", popup="")

        # Return opens the chosen hit; Q closes its tab.
        self.key("Return")
        # Q leaves a tab alone while its thread is being fetched.
        self.wait_state("a fourth tab", view=2, tabs=4, busy=0)
        self.key("q")
        self.wait_state("a tab closed", tabs=3)
        self.shot("5-end")


def main(journey_class=None, tools=("Xvfb", "xdotool")):
    parser = argparse.ArgumentParser()
    parser.add_argument("--tavlo", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--shots", help="directory for screenshots (default: the temp dir)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary directory")
    args = parser.parse_args()
    for tool in tools:
        if not shutil.which(tool):
            print("skipped: %s is not installed (scripts/deps installs it)" % tool)
            return 77
    journey = (journey_class or Journey)(args)
    try:
        journey.run()
        print("passed")
        return 0
    except Failure as e:
        journey.shot("failure")
        print("FAILED: %s" % e)
        out = os.path.join(journey.tmp, "tavlo.out")
        if os.path.exists(out):
            print(open(out, errors="replace").read()[-4000:])
        return 1
    finally:
        journey.stop()
        if args.keep:
            print("kept " + journey.tmp)
        else:
            shutil.rmtree(journey.tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
