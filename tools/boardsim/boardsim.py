#!/usr/bin/env python3
"""Local board server: serves generated sample boards of the 2ch family as an HTTP proxy.

The program under test sets its proxy to this server, so it requests real-shaped URLs such as
http://news.example-bbs.test/board/dat/1234567890.dat without any DNS lookup or outside
traffic. Everything is generated from a seed, in Shift_JIS (code page 932).

Control requests (any host, path starting with /_ctl/) change the boards while it runs; see
README. Every request is logged as one JSON line to --log.
"""

import argparse
import email.utils
import glob
import importlib.util
import gzip
import json
import os
import random
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MENU_HOST = "menu.example-bbs.test"

NAMES = ["名無しさん", "名無しさん", "名無しさん", "ソフトウェア表示係", "十能"]
WORDS = ["今日は", "いい天気", "ですね。", "表示", "ソフト", "能力", "十分", "ｱｲｳｴｵ", "①",
         "髙橋", "～", "テスト", "書き込み", "スレッド", "http://example.com/page", "ttp://example.org/"]
TITLES = ["雑談スレッド", "ソフトウェア表示の話", "十能について語る", "今日の天気 (東京)",
          "ニュース速報", "テスト用スレ", "質問スレッド Part", "画像スレ"]
# Menu categories and their boards (name, title[, link form]). Links are written plainly
# ("<A HREF=url>") unless the form is "blank" ("<A HREF=url TARGET=_blank>"). The three
# categories チャット, ツール類 and 他のサイト are the ones a client drops when it loads the menu.
CATEGORIES = [
    ("ニュース", [("news", "ニュース速報"), ("newsplus", "ニュース速報+")]),
    ("趣味", [("soft", "ソフトウェア"), ("food", "料理")]),
    ("チャット", [("chat", "チャット")]),
    ("ツール類", [("tool", "ツール")]),
    ("他のサイト", [("other", "他のサイト")]),
    ("リンク集", [("linkbbs", "リンク掲示板", "blank"), ("extra", "おまけ&amp;雑談", "blank")]),
]
# A link before the first category: part of the page, not of any category.
MENU_HEAD_LINK = ("top", "トップ")
MANY_HOST = "many.example-bbs.test"

# Feature modules (routes_*.py beside this file) answer requests before the built-in routes.
# Each defines handle(handler, method, host, path, query) -> bool (True when it answered) and
# may define setup(world) (called for every new World and on reset) and add_arguments(parser).
ROUTES = []


def load_routes():
    here = os.path.dirname(os.path.abspath(__file__))
    for path in sorted(glob.glob(os.path.join(here, "routes_*.py"))):
        name = os.path.splitext(os.path.basename(path))[0]
        found = importlib.util.spec_from_file_location(name, path)
        module = importlib.util.module_from_spec(found)
        found.loader.exec_module(module)
        ROUTES.append(module)


def routed(handler, method, host, path, query):
    for module in ROUTES:
        handle = getattr(module, "handle", None)
        if handle and handle(handler, method, host, path, query):
            return True
    return False


def board_host(name):
    return "%s.example-bbs.test" % ("news" if name.startswith("news") else "hobby")


def sjis(text):
    return text.encode("cp932")


class Thread:
    def __init__(self, key, title, rng):
        self.key = key
        self.title = title
        self.rng = rng
        self.data = bytearray()
        self.count = 0
        self.mtime = float(key)
        self.mode = ""        # "", gone, html, cut, garbage, hang, hugeline, slow
        self.delay_ms = 0     # per block when slow
        self.lock = threading.Lock()

    def post_line(self, number):
        rng = self.rng
        name = rng.choice(NAMES)
        mail = rng.choice(["", "", "sage", "age", "mailto"])
        t = time.gmtime(int(self.key) + number * 60)
        date = "%04d/%02d/%02d(%s) %02d:%02d:%02d.%02d" % (
            t.tm_year, t.tm_mon, t.tm_mday, "月火水木金土日"[t.tm_wday], t.tm_hour, t.tm_min,
            t.tm_sec, number % 100)
        ident = "".join(rng.choice("ABCDEFGHabcdefgh0123456789+/") for _ in range(8))
        parts = [rng.choice(WORDS) for _ in range(rng.randint(3, 12))]
        if number > 1 and rng.random() < 0.3:
            parts.insert(0, "&gt;&gt;%d<br>" % rng.randint(1, number - 1))
        body = " ".join(parts).replace("。 ", "。<br> ")
        title = self.title if number == 1 else ""
        return "%s<>%s<>%s ID:%s<> %s <>%s\n" % (name, mail, date, ident, body, title)

    def append(self, n):
        with self.lock:
            for _ in range(n):
                self.count += 1
                self.data += sjis(self.post_line(self.count))
            # Later than anything a client can have stored this second.
            self.mtime = max(time.time(), self.mtime) + 1.0

    def abone(self, number):
        """Replaces a post by the board's deletion mark: every later byte shifts."""
        with self.lock:
            lines = bytes(self.data).split(b"\n")
            if 1 <= number <= len(lines) - 1:
                lines[number - 1] = sjis("あぼーん<>あぼーん<>あぼーん<>あぼーん<>")
                self.data = bytearray(b"\n".join(lines))
                self.mtime = max(time.time(), self.mtime) + 1.0


class Board:
    def __init__(self, host, name, title, rng, threads):
        self.host = host
        self.name = name
        self.title = title
        self.threads = {}
        self.mtime = time.time()
        self.mode = ""        # subject.txt: "", cut, empty, slow, hang
        self.delay_ms = 0
        # Keys are creation times; --recent dates the sample threads in the last days.
        base = (RECENT_BASE or 1600000000) + rng.randint(0, 10000000 if not RECENT_BASE else 3600)
        for i in range(threads):
            key = str(base + i * 3600)
            th = Thread(key, "%s %d" % (rng.choice(TITLES), i + 1), random.Random(int(key)))
            th.append(rng.randint(5, 60))
            th.mtime = time.time() - 3600
            self.threads[key] = th

    def subject(self):
        rows = sorted(self.threads.values(), key=lambda t: -t.mtime)
        return b"".join(sjis("%s.dat<>%s (%d)\n" % (t.key, t.title, t.count)) for t in rows
                        if t.mode != "gone")

    def touch(self):
        self.mtime = max(time.time(), self.mtime) + 1.0

    def advance(self, rng, posts, new, drop):
        """Some threads gain posts and rise, new ones appear, the last ones fall off."""
        live = [t for t in self.threads.values() if t.mode != "gone"]
        for th in rng.sample(live, min(posts, len(live))):
            th.append(rng.randint(1, 5))
        top = max([int(k) for k in self.threads if k.isdigit()] + [1600000000])
        for i in range(new):
            key = str(top + (i + 1) * 3600)
            th = Thread(key, "%s 新%d" % (rng.choice(TITLES), i + 1), random.Random(int(key)))
            th.append(rng.randint(1, 10))
            self.threads[key] = th
        if drop:
            rows = sorted((t for t in self.threads.values() if t.mode != "gone"),
                          key=lambda t: t.mtime)
            for th in rows[:drop]:
                th.mode = "gone"
        self.touch()

    def shuffle(self, rng):
        """New order without new posts: every thread gets another place in the list."""
        now = time.time()
        for th in self.threads.values():
            th.mtime = now - rng.uniform(0, 86400)
        self.touch()


RECENT_BASE = 0


class World:
    def __init__(self, seed, threads_per_board, many_boards=0):
        self.lock = threading.Lock()
        self.seed = seed
        self.threads_per_board = threads_per_board
        self.many_boards = many_boards
        self.reset()

    def reset(self):
        rng = random.Random(self.seed)
        self.boards = {}
        self.hosts = {}
        self.menu_hosts = {}  # board name -> host the menu lists it at
        self.moved = {}       # (old host, board) -> new host; the old page redirects
        self.redirects = {}   # (host, board) -> URL its page's redirect script names
        for _, boards in CATEGORIES:
            for entry in boards:
                name, title = entry[0], entry[1]
                self.add_board(board_host(name), name, title, rng, self.threads_per_board)
                self.menu_hosts[name] = board_host(name)
        for i in range(self.many_boards):
            self.add_board(MANY_HOST, "b%03d" % (i + 1), "板%d" % (i + 1), rng,
                           self.threads_per_board)
        self.latency_ms = 0
        for module in ROUTES:
            if hasattr(module, "setup"):
                module.setup(self)

    def add_board(self, host, name, title, rng=None, threads=0):
        b = Board(host, name, title, rng or random.Random(hash((host, name)) & 0xffff), threads)
        self.boards[(host, name)] = b
        return b

    def menu(self):
        out = ["<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
               "<TITLE>BBS MENU</TITLE></HEAD><BODY><B>sample boards</B><BR>\n"
               "<A HREF=http://%s/%s/>%s</A><br>\n" % (board_host(MENU_HEAD_LINK[0]),
                                                      MENU_HEAD_LINK[0], MENU_HEAD_LINK[1])]
        for category, boards in CATEGORIES:
            out.append("<BR><B>%s</B><BR>\n" % category)
            for entry in boards:
                name, title = entry[0], entry[1]
                host = self.menu_hosts.get(name, board_host(name))
                blank = " TARGET=_blank" if len(entry) > 2 and entry[2] == "blank" else ""
                out.append("<A HREF=http://%s/%s/%s>%s</A><br>\n" % (host, name, blank, title))
        out.append("</BODY></HTML>\n")
        return sjis("".join(out))

    def move(self, host, name, to, list_in_menu):
        b = self.boards.pop((host, name), None)
        if b is None:
            return False
        b.host = to
        self.boards[(to, name)] = b
        self.moved[(host, name)] = to
        self.moved.pop((to, name), None)
        if list_in_menu:
            self.menu_hosts[name] = to
        return True

    def board_page(self, host, name):
        """The board's top page: a redirect script where it moved away, else its title."""
        target = self.redirects.get((host, name))
        if target is None and (host, name) in self.moved:
            target = "http://%s/%s/" % (self.moved[(host, name)], name)
        if target is not None:
            return sjis("<html><head>\n<script language=\"javascript\">\n"
                        "window.location.href=\"%s\";\n</script>\n</head>\n"
                        "<body>移転しました</body></html>\n" % target)
        b = self.boards.get((host, name))
        if b is None:
            return None
        return sjis("<html><body>%s</body></html>" % b.title)

    def thread(self, host, board, key, create=False):
        b = self.boards.get((host, board))
        if b is None:
            if not create:
                return None
            b = self.add_board(host, board, board)
        th = b.threads.get(key)
        if th is None and create:
            th = Thread(key, "新しいスレッド", random.Random(int(key) if key.isdigit() else 1))
            b.threads[key] = th
        return th


def http_date(t):
    return email.utils.formatdate(t, usegmt=True)


def parse_http_date(text):
    try:
        return email.utils.parsedate_to_datetime(text).timestamp()
    except (TypeError, ValueError, IndexError):
        return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "boardsim/1"

    def log_message(self, fmt, *args):  # quiet; the JSON log is the record
        pass

    def setup(self):
        super().setup()
        # Headers and body go out in separate writes: without this, Nagle's algorithm and the
        # client's delayed ACK hold the second one back for tens of milliseconds.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def target(self):
        raw = self.path
        if raw.startswith("http://") or raw.startswith("https://"):
            u = urllib.parse.urlsplit(raw)
            return u.hostname or "", u.path or "/", u.query
        host = (self.headers.get("Host") or "").split(":")[0]
        u = urllib.parse.urlsplit(raw)
        return host, u.path or "/", u.query

    def record(self, status, nbytes):
        world = self.server.world
        keep = ["range", "if-modified-since", "accept-encoding", "user-agent", "connection",
                "proxy-authorization", "cookie", "content-type", "referer"]
        entry = {
            "t0": round(getattr(self, "t0", time.time()), 4),
            "t": round(time.time(), 4),
            "method": self.command,
            "url": self.path,
            "headers": {k: v for k, v in ((k.lower(), v) for k, v in self.headers.items()) if k in keep},
            "status": status,
            "bytes": nbytes,
        }
        with world.lock:
            if self.server.log:
                self.server.log.write(json.dumps(entry, ensure_ascii=False) + "\n")
                self.server.log.flush()

    def send(self, status, body=b"", headers=None, ctype="text/plain"):
        self.record(status, len(body))
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_POST(self):
        self.t0 = time.time()
        host, path, query = self.target()
        length = int(self.headers.get("Content-Length") or 0)
        self.body = self.rfile.read(length) if 0 < length < 1 << 24 else b""
        if routed(self, "POST", host, path, query):
            return
        self.send(404, b"not here")

    def do_CONNECT(self):
        # Tunnels exist only where a feature module plays the host (path is "host:port").
        self.t0 = time.time()
        host, _, port = self.path.rpartition(":")
        if routed(self, "CONNECT", host, "", port):
            return
        self.send(405, b"no tunnel here")

    def do_GET(self):
        self.t0 = time.time()
        world = self.server.world
        if world.latency_ms:
            time.sleep(world.latency_ms / 1000.0)
        host, path, query = self.target()
        # Modules come first so that they can add control requests of their own.
        if routed(self, self.command, host, path, query):
            return
        if path.startswith("/_ctl/"):
            return self.control(path[6:], urllib.parse.parse_qs(query))
        if host == MENU_HOST and path == "/bbsmenu.html":
            return self.send(200, world.menu(), ctype="text/html; charset=Shift_JIS")
        parts = [p for p in path.split("/") if p]
        if len(parts) == 2 and parts[1] == "subject.txt":
            b = world.boards.get((host, parts[0]))
            if b is None:
                if (host, parts[0]) in world.moved:
                    # A board that moved away leaves an empty list behind.
                    return self.send(200, b"")
                return self.send(404, b"no board")
            return self.subject(b)
        if len(parts) == 3 and parts[1] == "dat" and parts[2].endswith(".dat"):
            return self.dat(host, parts[0], parts[2][:-4])
        if len(parts) == 1:
            page = world.board_page(host, parts[0])
            if page is not None:
                return self.send(200, page, ctype="text/html")
        return self.send(404, b"<html>not found</html>", ctype="text/html")

    def subject(self, b):
        body = b.subject()
        mtime = b.mtime if b.threads else time.time()
        if b.mode == "empty":
            body = b""
        if b.mode == "hang":
            self.record(0, 0)
            return self.hang(60)
        if b.mode in ("cut", "slow"):
            ims = parse_http_date(self.headers.get("If-Modified-Since") or "")
            if ims is not None and int(mtime) <= int(ims):
                return self.conditional(body, mtime)
            return self.stream(200, body, {"Last-Modified": http_date(mtime)}, b)
        return self.conditional(body, mtime, gzip_ok=True)

    def hang(self, seconds):
        """Says nothing until the client gives up (bounded)."""
        end = time.time() + seconds
        while time.time() < end:
            time.sleep(0.05)
            try:
                self.connection.setblocking(False)
                if self.connection.recv(1, socket.MSG_PEEK) == b"":
                    break
            except BlockingIOError:
                pass
            except OSError:
                break

    def conditional(self, body, mtime, gzip_ok=False):
        ims = parse_http_date(self.headers.get("If-Modified-Since") or "")
        if ims is not None and int(mtime) <= int(ims):
            self.record(304, 0)
            self.send_response(304)
            self.send_header("Last-Modified", http_date(mtime))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        headers = {"Last-Modified": http_date(mtime)}
        if gzip_ok and body and "gzip" in (self.headers.get("Accept-Encoding") or ""):
            headers["Content-Encoding"] = "gzip"
            body = gzip.compress(body, 6)
        return self.send(200, body, headers)

    def dat(self, host, board, key):
        th = self.server.world.thread(host, board, key)
        if th is None or th.mode == "gone":
            self.record(302, 0)
            self.send_response(302)
            self.send_header("Location", "http://%s/%s/kako/%s.html" % (host, board, key))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if th.mode == "hang":
            self.record(0, 0)
            return self.hang(60)
        if th.mode == "html":
            return self.send(200, sjis("<html><body>エラー: サーバが混雑しています</body></html>\n"),
                             ctype="text/html")
        with th.lock:
            data = bytes(th.data)
            mtime = th.mtime
        ims = parse_http_date(self.headers.get("If-Modified-Since") or "")
        if ims is not None and int(mtime) <= int(ims):
            self.record(304, 0)
            self.send_response(304)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        status = 200
        headers = {"Last-Modified": http_date(mtime), "Accept-Ranges": "bytes"}
        rng = self.headers.get("Range") or ""
        if rng.startswith("bytes=") and rng[6:].rstrip("-").isdigit():
            start = int(rng[6:].rstrip("-"))
            if start >= len(data):
                self.record(416, 0)
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % len(data))
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, len(data) - 1, len(data))
            data = data[start:]
            status = 206
        if th.mode == "garbage":
            data = bytes(random.Random(len(data)).getrandbits(8) for _ in range(min(len(data), 4096)))
        if th.mode == "hugeline":
            data = data + b"x" * (10 << 20)
        if status == 200 and "gzip" in (self.headers.get("Accept-Encoding") or "") and not th.mode:
            headers["Content-Encoding"] = "gzip"
            data = gzip.compress(data, 6)
        if th.mode in ("cut", "slow", "hugeline"):
            return self.stream(status, data, headers, th)
        return self.send(status, data, headers)

    def stream(self, status, data, headers, th):
        """Sends data in pieces; "cut" stops in the middle of the last line and closes.
        th is a thread or a board (anything with mode and delay_ms)."""
        if th.mode == "cut":
            cut = data.rfind(b"\n", 0, len(data) - 1)
            body = data[: cut + 1 + max(1, (len(data) - cut - 1) // 2)]
        else:
            body = data
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        for k, v in headers.items():
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        # Logged before the body goes out, so the entry is there when the client is done.
        self.record(status, len(body))
        sent = 0
        piece = 256 if th.mode == "slow" else 65536
        try:
            while sent < len(body):
                self.wfile.write(body[sent:sent + piece])
                self.wfile.flush()
                sent += piece
                if th.mode == "slow" and th.delay_ms:
                    time.sleep(th.delay_ms / 1000.0)
        except OSError:
            pass
        self.close_connection = True

    def control(self, op, q):
        world = self.server.world
        get = lambda k, d="": (q.get(k) or [d])[0]
        host, board, key = get("host"), get("board"), get("key")
        if op == "reset":
            with world.lock:
                world.reset()
            return self.send(200, b"ok")
        if op == "latency":
            world.latency_ms = int(get("ms", "0"))
            return self.send(200, b"ok")
        if op in ("board", "advance", "shuffle", "subject", "move", "menu", "redirect"):
            return self.board_control(op, get)
        if op == "create":
            th = world.thread(host, board, key, create=True)
            if get("title"):
                th.title = get("title")
            th.append(int(get("posts", "10")))
            world.boards[(host, board)].mtime = time.time() + 1
            return self.send(200, b"ok")
        th = world.thread(host, board, key)
        if th is None:
            return self.send(404, b"no such thread")
        if op == "append":
            th.append(int(get("n", "1")))
            world.boards[(host, board)].mtime = max(time.time(), world.boards[(host, board)].mtime) + 1
        elif op == "abone":
            th.abone(int(get("post", "1")))
        elif op == "mode":
            th.mode = get("mode")
            th.delay_ms = int(get("delay", "0"))
        elif op == "info":
            body = json.dumps({"count": th.count, "size": len(th.data), "mtime": th.mtime}).encode()
            return self.send(200, body, ctype="application/json")
        elif op == "dat":
            return self.send(200, bytes(th.data))
        else:
            return self.send(404, b"unknown control")
        return self.send(200, b"ok")

    def board_control(self, op, get):
        world = self.server.world
        with world.lock:
            status, body = self.board_change(world, op, get)
        return self.send(status, body)

    @staticmethod
    def board_change(world, op, get):
        host, board = get("host"), get("board")
        if op == "board":
            if (host, board) not in world.boards:
                rng = random.Random(get("seed") or "%s/%s" % (host, board))
                world.add_board(host, board, get("title", board), rng, int(get("threads", "12")))
            return 200, b"ok"
        if op == "move":
            if world.move(host, board, get("to"), get("menu", "1") != "0"):
                return 200, b"ok"
            return 404, b"no such board"
        if op == "menu":
            world.menu_hosts[board] = host
            return 200, b"ok"
        if op == "redirect":
            if get("to"):
                world.redirects[(host, board)] = get("to")
            else:
                world.redirects.pop((host, board), None)
            return 200, b"ok"
        b = world.boards.get((host, board))
        if b is None:
            return 404, b"no such board"
        if op == "advance":
            rng = random.Random(get("seed", "1"))
            b.advance(rng, int(get("posts", "3")), int(get("new", "1")), int(get("drop", "0")))
        elif op == "shuffle":
            b.shuffle(random.Random(get("seed", "1")))
        elif op == "subject":
            b.mode = get("mode")
            b.delay_ms = int(get("delay", "0"))
        return 200, b"ok"


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--recent", action="store_true",
                    help="date the sample threads in the last days (the demo)")
    ap.add_argument("--threads", type=int, default=12, help="threads per board")
    ap.add_argument("--boards", type=int, default=0,
                    help="extra boards b001, b002, ... on %s" % MANY_HOST)
    ap.add_argument("--log", help="request log, one JSON line per request")
    ap.add_argument("--lifetime", type=float, default=3600, help="seconds before exiting")
    ap.add_argument("--port-file", help="also write the port here")
    ap.add_argument("--parent", type=int, default=0,
                    help="exit soon after the process with this id has ended")
    load_routes()
    for module in ROUTES:
        if hasattr(module, "add_arguments"):
            module.add_arguments(ap)
    args = ap.parse_args()
    Handler.args = args

    # A listen backlog of 5 (the default) drops connects beyond it, and the client then waits
    # a second for the SYN to be sent again.
    ThreadingHTTPServer.request_queue_size = 128
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    if args.recent:
        global RECENT_BASE
        RECENT_BASE = int(time.time()) - 3 * 86400
    server.world = World(args.seed, args.threads, args.boards)
    server.log = open(args.log, "a", encoding="utf-8") if args.log else None
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    print("PORT %d" % port, flush=True)
    timer = threading.Timer(args.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    if args.parent > 0:
        # A harness that crashed or forgot to stop us must not leave us running (we would
        # also hold its output pipes open).
        def watch():
            while os.getppid() == args.parent:
                time.sleep(0.5)
            server.shutdown()
        threading.Thread(target=watch, daemon=True).start()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
