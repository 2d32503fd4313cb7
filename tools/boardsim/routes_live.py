"""Live services: today's protocol of the real-shaped hosts of 5ch, bbspink, Machi and JBBS.

Requests for those hosts arrive through CONNECT and TLS (certificate from --live-cert and
--live-key, made by the tests for every name below); inside the tunnel every request is handled
as the same host over https, so the built-in routes serve its boards (subject.txt, dat with
Range). Plain HTTP to them is left to the classic routes and logged as "http://", so a test
can see that a client never fell back to it. Modelled:

    https://menu.5ch.io/bbsmenu.html        the menu, boards linked with "https://"
    https://HOST/BOARD/oyster/NNNN/KEY.dat  a thread that left its board (mode gone), whole
    https://AREA.machi.to/bbs/offlaw.cgi/2/BOARD/KEY/[N-]
                                            seven fields a line from post N
    https://jbbs.shitaraba.net/bbs/rawmode.cgi/...   as routes_kinds serves JBBS
    POST https://HOST/test/bbs.cgi          the posting round: a confirmation page (title only,
                                            no classic marker) that sets the ticket cookie;
                                            posts without the ticket get it again, posts with
                                            a time older than a day or a Referer that is not
                                            the thread's read.cgi address are refused

Controls:
    /_ctl/livepost?host&board&mode=M   "" normal, acorn (the anti-spam refusal)
    /_ctl/liveposts                    JSON list of the posts: host, fields, cookie, referer,
                                       agent, answer (confirm, posted, refused-*, acorn)
    /_ctl/machidel?host&board&key&post=N   offlaw.cgi/2 leaves post N out
"""

import json
import random
import socket
import ssl
import time
import urllib.parse

import __main__

DOMAINS = ("5ch.io", "5ch.net", "2ch.net", "bbspink.com", "machi.to", "machibbs.com",
           "jbbs.shitaraba.net", "jbbs.livedoor.jp")
MENU_HOST = "menu.5ch.io"
TICKET = "MonaTicket"
# Boards of the live menu: (category, [(host, board, title)]).
MENU = [
    ("ニュース", [("asahi.5ch.io", "liveplus", "ニュース速報+")]),
    ("趣味", [("mi.5ch.io", "software", "ソフトウェア"), ("egg.5ch.net", "egg", "卵")]),
]
WORLD = None
MODES = {}
POSTS = []
DELETED = {}  # (host, board, key) -> set of post numbers offlaw.cgi/2 leaves out


def live(host):
    host = host.lower()
    return any(host == d or host.endswith("." + d) for d in DOMAINS)


def add_arguments(parser):
    parser.add_argument("--live-cert", help="certificate (PEM) for the live services' names")
    parser.add_argument("--live-key", help="its private key (PEM)")


def setup(world):
    global WORLD
    WORLD = world
    MODES.clear()
    DELETED.clear()
    del POSTS[:]
    rng = random.Random(19)
    for _, boards in MENU:
        for host, name, title in boards:
            # Names of their own: the classic menu lists its boards by name too.
            world.add_board(host, name, title, rng, world.threads_per_board)


def sjis(text):
    return text.encode("cp932")


def module(name):
    for m in getattr(__main__, "ROUTES", []):
        if m.__name__ == name:
            return m
    return None


def tunnel(handler, host):
    args = handler.args
    if not args.live_cert or not args.live_key:
        handler.send(405, b"no tunnel here")
        return
    handler.record(200, 0)
    handler.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
    handler.wfile.flush()
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.live_cert, args.live_key)
    raw = handler.connection
    raw.settimeout(30)
    try:
        conn = ctx.wrap_socket(raw, server_side=True)
    except (OSError, ssl.SSLError):
        # The client refused the certificate (as it must when it does not verify).
        handler.close_connection = True
        return
    base = type(handler)

    class Tunnelled(base):
        tls_host = host

        def parse_request(self):
            if not super().parse_request():
                return False
            if self.path.startswith("http://"):
                self.path = "https://" + self.path[7:]
            elif self.path.startswith("/"):
                name = (self.headers.get("Host") or self.tls_host).split(":")[0]
                self.path = "https://%s%s" % (name, self.path)
            return True

        def setup(self):
            self.connection = self.request
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.rfile = self.connection.makefile("rb", self.rbufsize)
            self.wfile = self.connection.makefile("wb", 0)

    try:
        Tunnelled(conn, handler.client_address, handler.server)
    except (OSError, ssl.SSLError):
        pass
    try:
        conn.close()
    except OSError:
        pass
    handler.close_connection = True


def menu():
    out = ["<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
           "<TITLE>BBS MENU</TITLE></HEAD><BODY><B>live boards</B><BR>\n"]
    for category, boards in MENU:
        out.append("<BR><B>%s</B><BR>\n" % category)
        for host, name, title in boards:
            out.append("<A HREF=https://%s/%s/>%s</A><br>\n" %
                       (WORLD.menu_hosts.get(name, host), name, title))
    out.append("</BODY></HTML>\n")
    return sjis("".join(out))


def oyster(handler, host, board, prefix, key):
    th = WORLD.thread(host, board, key)
    if th is None or th.mode != "gone" or prefix != key[:4] or len(key) not in (9, 10):
        handler.send(302, b"", {"Location": "https://%s/%s/" % (host, board)})
        return
    with th.lock:
        data = bytes(th.data)
    handler.send(200, data, {"Last-Modified": __main__.http_date(th.mtime)})


def offlaw2(handler, host, board, key, span):
    th = WORLD.thread(host, board, key)
    if th is None:
        return handler.send(200, b"", ctype="text/plain; charset=Shift_JIS")
    start = int(span[:-1]) if span.endswith("-") and span[:-1].isdigit() else 1
    with th.lock:
        lines = bytes(th.data).split(b"\n")
    gone = DELETED.get((host, board, key), set())
    out = []
    for i, line in enumerate(lines, 1):
        if not line or i < start or i in gone:
            continue
        f = line.split(b"<>")
        if len(f) < 5:
            continue
        out.append(b"<>".join([str(i).encode(), f[0], f[1], f[2], f[3].strip(),
                               f[4] if i == 1 else b"", b"host%d.example" % i]))
    handler.send(200, b"".join(x + b"\n" for x in out), ctype="text/plain; charset=Shift_JIS")


def post_page(title, body):
    return sjis("<html><head><title>%s</title></head><body>%s</body></html>\n" % (title, body))


def bbs_cgi(handler, host):
    posting = module("routes_post")
    fields = posting.parse_form(getattr(handler, "body", b"") or b"")
    text = {}
    raw = {}
    for name, value in fields:
        raw[name], text[name] = posting.decode(value, "cp932")
    cookie = "; ".join(handler.headers.get_all("Cookie") or [])
    board = text.get("bbs", "")
    key = text.get("key", "")
    record = {"host": host, "fields": [[n, v] for n, v in fields], "text": text,
              "cookie": cookie, "referer": handler.headers.get("Referer") or "",
              "agent": handler.headers.get("User-Agent") or ""}
    POSTS.append(record)
    now = int(time.time())
    cookies = dict(p.strip().partition("=")[::2] for p in cookie.split(";") if "=" in p)
    if TICKET not in cookies or cookies[TICKET] != "tk-" + board:
        record["answer"] = "confirm"
        html = ("<html><head><title>■ 書き込み確認 ■</title></head><body>"
                "書き込み確認します。<form method=POST action=\"../test/bbs.cgi\">"
                "<input type=hidden name=\"feature\" value=\"confirmed:%d\">"
                "<input type=hidden name=\"oekaki_thread1\" value=\"\">"
                "<input type=hidden name=time value=%d>"
                "<input type=submit value=\"上記全てを承諾して書き込む\" name=\"submit\">"
                "</form></body></html>\n" % (now, now))
        data = sjis(html)
        handler.record(200, len(data))
        handler.send_response(200)
        handler.send_header("Content-Type", "text/html; charset=Shift_JIS")
        parent = host.split(".", 1)[1] if host.count(".") >= 2 else host
        handler.send_header("Set-Cookie", "%s=tk-%s; Max-Age=86400; Domain=.%s; Path=/; Secure"
                            % (TICKET, board, parent))
        handler.send_header("Content-Length", str(len(data)))
        handler.end_headers()
        handler.wfile.write(data)
        return
    if not text.get("time", "").isdigit() or int(text["time"]) < now - 86400:
        record["answer"] = "refused-time"
        return handler.send(200, post_page("ＥＲＲＯＲ！", "<b>ERROR: 時刻が古すぎます。</b>"),
                            ctype="text/html")
    expected = "https://%s/test/read.cgi/%s/%s/" % (host, board, key)
    if key and record["referer"] != expected:
        record["answer"] = "refused-referer"
        return handler.send(200, post_page("ＥＲＲＯＲ！", "<b>ERROR: リファラが違います。</b>"),
                            ctype="text/html")
    if MODES.get((host, board)) == "acorn":
        record["answer"] = "acorn"
        return handler.send(200, post_page(
            "ＥＲＲＯＲ！", "<div>ERROR: どんぐりレベルが足りません。(acorn)</div><hr>"),
            ctype="text/html")
    subject = text.get("subject") if not key else None
    record["key"] = posting.write_post(host, board, key, raw.get("FROM", b""),
                                       raw.get("mail", b""), raw.get("MESSAGE", b""), subject)
    record["answer"] = "posted"
    handler.send(200, post_page("書きこみました", "書きこみが終わりました。"), ctype="text/html")


def handle(handler, method, host, path, query):
    q = urllib.parse.parse_qs(query, keep_blank_values=True)
    get = lambda k, d="": (q.get(k) or [d])[0]
    if path == "/_ctl/livepost":
        MODES[(get("host"), get("board"))] = get("mode")
        handler.send(200, b"ok")
        return True
    if path == "/_ctl/liveposts":
        handler.send(200, json.dumps(POSTS, ensure_ascii=False).encode("utf-8"),
                     ctype="application/json")
        return True
    if path == "/_ctl/machidel":
        DELETED.setdefault((get("host"), get("board"), get("key")), set()).add(int(get("post", "0")))
        handler.send(200, b"ok")
        return True
    if not live(host) or path.startswith("/_ctl/"):
        return False
    if method == "CONNECT":
        tunnel(handler, host)
        return True
    if not getattr(handler, "tls_host", None):
        # Plain HTTP keeps the classic routes (the older tests post to these names that way);
        # the log shows whether a client used it.
        return False
    parts = [p for p in path.split("/") if p]
    if host == MENU_HOST and path == "/bbsmenu.html":
        handler.send(200, menu(), ctype="text/html; charset=Shift_JIS")
        return True
    if method == "POST" and path == "/test/bbs.cgi":
        bbs_cgi(handler, host)
        return True
    if len(parts) == 4 and parts[1] == "oyster" and parts[3].endswith(".dat"):
        oyster(handler, host, parts[0], parts[2], parts[3][:-4])
        return True
    if len(parts) in (5, 6) and parts[:3] == ["bbs", "offlaw.cgi", "2"]:
        offlaw2(handler, host, parts[3], parts[4], parts[5] if len(parts) == 6 else "")
        return True
    if host.startswith("jbbs."):
        kinds = module("routes_kinds")
        return bool(kinds and kinds.handle(handler, method, kinds.JBBS_HOST, path, query))
    return False
