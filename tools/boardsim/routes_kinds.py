"""Board kinds beyond the live 2ch logs: past-log archives, the read viewer with its login
program (over TLS, reached by CONNECT), Machi read.cgi pages and Livedoor JBBS rawmode answers.

Hosts (all fictional): Machi boards on any host ending in MACHI_DOMAIN, JBBS boards on
JBBS_HOST, the viewer login on LOGIN_HOST. Archives and the viewer serve the threads of the
built-in boards. See README ("Board kinds").
"""

import email.utils
import gzip
import json
import random
import ssl
import threading
import time
import urllib.parse

MACHI_DOMAIN = "machi-example.test"
JBBS_HOST = "jbbs.example-bbs.test"
LOGIN_HOST = "login.viewer-example.test"
NO_THREAD = "-ERR そんな板orスレッドないです。"
BAD_SESSION = "-ERR 認証に失敗しました。"

STATE = None
WORLD = None


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.archives = {}      # (host, board, key) -> {"data", "forms", "mode"}
        self.users = {}         # viewer id -> password
        self.sessions = set()   # session values the viewer accepts
        self.refuse = 0         # the next N viewer answers refuse any session
        self.logins = 0
        self.offlaw = 0
        self.machi = {}         # (host, board, key) -> ForeignThread
        self.jbbs = {}          # (category, number, key) -> ForeignThread


class ForeignThread:
    """Posts of a Machi or JBBS thread, numbered; deleted numbers are skipped when served."""

    def __init__(self, key, title):
        self.key = key
        self.title = title
        self.posts = []         # (number, name, mail, date, ident, body)
        self.deleted = set()
        self.mode = ""
        self.error = ""
        self.broken = 0         # Machi: this post's header comes without its body
        self.mtime = time.time()

    def add(self, n):
        rng = random.Random(int(self.key) + len(self.posts))
        for _ in range(n):
            number = len(self.posts) + 1
            t = time.gmtime(int(self.key) + number * 60)
            date = "%04d/%02d/%02d(%s) %02d:%02d:%02d" % (
                t.tm_year, t.tm_mon, t.tm_mday, "月火水木金土日"[t.tm_wday], t.tm_hour,
                t.tm_min, t.tm_sec)
            name = rng.choice(["名無しさん", "まちこさん", "ソフト表示"])
            mail = rng.choice(["", "", "sage"])
            ident = "".join(rng.choice("ABCDabcd0123+/") for _ in range(8))
            body = " ".join(rng.choice(["今日は", "いい天気", "表示", "能力", "高橋", "テスト"])
                            for _ in range(rng.randint(2, 8)))
            self.posts.append((number, name, mail, date, ident, body))
        self.mtime = time.time()

    def live(self, start):
        return [p for p in self.posts if p[0] >= start and p[0] not in self.deleted]


def setup(world):
    global STATE, WORLD
    STATE = State()
    WORLD = world


def add_arguments(parser):
    parser.add_argument("--tls-cert", help="certificate (PEM) of the viewer login host")
    parser.add_argument("--tls-key", help="its private key (PEM)")


def http_date(t):
    return email.utils.formatdate(t, usegmt=True)


def parse_http_date(text):
    try:
        return email.utils.parsedate_to_datetime(text).timestamp()
    except (TypeError, ValueError, IndexError):
        return None


def handle(handler, method, host, path, query):
    if method == "CONNECT":
        if host == LOGIN_HOST:
            tunnel(handler)
            return True
        return False
    q = urllib.parse.parse_qs(query, keep_blank_values=True)
    get = lambda k, d="": (q.get(k) or [d])[0]
    if path.startswith("/_ctl/"):
        op = path[6:]
        ops = {"kako": control_kako, "viewer": control_viewer, "viewer_info": control_info,
               "machi": control_machi, "jbbs": control_jbbs}
        if op in ops:
            status, body = ops[op](get)
            handler.send(status, body, ctype="application/json" if body[:1] == b"{" else
                         "text/plain")
            return True
        return False
    parts = [p for p in path.split("/") if p]
    if host.endswith("." + MACHI_DOMAIN):
        if path == "/bbs/read.cgi":
            machi_page(handler, host, get)
            return True
        if len(parts) == 2 and parts[1] == "subject.txt":
            machi_subject(handler, host, parts[0])
            return True
        return False
    if host == JBBS_HOST:
        if len(parts) == 6 and parts[:2] == ["bbs", "rawmode.cgi"]:
            jbbs_raw(handler, parts[2], parts[3], parts[4], parts[5])
            return True
        if len(parts) == 3 and parts[2] == "subject.txt":
            jbbs_subject(handler, parts[0], parts[1])
            return True
        return False
    if len(parts) == 4 and parts[:2] == ["test", "offlaw.cgi"]:
        offlaw(handler, host, parts[2], parts[3], get)
        return True
    if len(parts) in (4, 5) and parts[1] == "kako":
        archive(handler, host, parts)
        return True
    return False


# Past-log archives -------------------------------------------------------------------------

def kako_dirs(key):
    return [key[:3]] if len(key) == 9 else [key[:4], key[:5]]


def control_kako(get):
    """/_ctl/kako?host&board&key[&posts=N][&forms=gz,dat][&mode=cut|html|corrupt]
    The thread leaves its board (302) and its log goes to the archive in the given forms."""
    host, board, key = get("host"), get("board"), get("key")
    with WORLD.lock:
        th = WORLD.thread(host, board, key, create=True)
    if th.count == 0 or get("posts"):
        th.append(int(get("posts", "10")))
    th.mode = "gone"
    with STATE.lock:
        STATE.archives[(host, board, key)] = {
            "data": bytes(th.data), "forms": set(get("forms", "gz,dat").split(",")),
            "mode": get("mode")}
    return 200, b"ok"


def archive(handler, host, parts):
    board, name = parts[0], parts[-1]
    form = "gz" if name.endswith(".dat.gz") else "dat" if name.endswith(".dat") else ""
    key = name.split(".")[0]
    with STATE.lock:
        entry = STATE.archives.get((host, board, key))
    if entry is None or form not in entry["forms"] or parts[2:-1] != kako_dirs(key):
        handler.record(302, 0)
        handler.send_response(302)
        handler.send_header("Location", "http://%s/%s/kako/" % (host, board))
        handler.send_header("Content-Length", "0")
        handler.end_headers()
        return
    data, mode = entry["data"], entry["mode"]
    if mode == "html":
        return handler.send(200, "<html><body>アクセス規制中です</body></html>\n".encode("cp932"),
                            ctype="text/html")
    headers = {"Last-Modified": http_date(time.time() - 86400)}
    if form == "gz":
        # The archive file is gzip; servers announce it as the transfer's encoding.
        headers["Content-Encoding"] = "gzip"
        data = gzip.compress(data, 6)
        if mode == "corrupt":
            data = b"\x1f\x8c" + data[2:]  # not a gzip stream any more
    if mode == "cut":
        return send_cut(handler, data, headers)
    handler.send(200, data, headers)


def send_cut(handler, data, headers):
    """Announces the whole length, sends about half and closes."""
    handler.send_response(200)
    for k, v in headers.items():
        handler.send_header(k, v)
    handler.send_header("Content-Length", str(len(data)))
    handler.send_header("Connection", "close")
    handler.end_headers()
    body = data[: max(1, len(data) // 2)]
    handler.record(200, len(body))
    try:
        handler.wfile.write(body)
        handler.wfile.flush()
    except OSError:
        pass
    handler.close_connection = True


# The read viewer --------------------------------------------------------------------------

def control_viewer(get):
    """/_ctl/viewer[?user=ID&pass=PW][&refuse=N][&expire=1]"""
    with STATE.lock:
        if get("user"):
            STATE.users[get("user")] = get("pass")
        if get("refuse"):
            STATE.refuse = int(get("refuse"))
        if get("expire"):
            STATE.sessions.clear()
    return 200, b"ok"


def control_info(get):
    with STATE.lock:
        body = {"logins": STATE.logins, "offlaw": STATE.offlaw, "sessions": len(STATE.sessions)}
    return 200, json.dumps(body).encode()


def offlaw(handler, host, board, key, get):
    with STATE.lock:
        STATE.offlaw += 1
        refused = STATE.refuse > 0 or get("sid") not in STATE.sessions
        if STATE.refuse > 0:
            STATE.refuse -= 1
    if get("raw") != "0.0" or refused:
        return handler.send(200, (BAD_SESSION + "\n").encode("cp932"))
    th = WORLD.thread(host, board, key)
    if th is None or th.count == 0:
        return handler.send(200, (NO_THREAD + "\n").encode("cp932"))
    with th.lock:
        data, mtime = bytes(th.data), th.mtime
    ims = parse_http_date(handler.headers.get("If-Modified-Since") or "")
    if ims is not None and int(mtime) <= int(ims):
        handler.record(304, 0)
        handler.send_response(304)
        handler.send_header("Content-Length", "0")
        handler.end_headers()
        return
    head = ("+OK %d/1024K\n" % len(data)).encode()
    handler.send(200, head + data, {"Last-Modified": http_date(mtime)})


def tunnel(handler):
    """CONNECT to the login host: TLS with the test's certificate, one request, then close."""
    args = handler.args
    if not args.tls_cert or not args.tls_key:
        return handler.send(502, b"no certificate for the login host")
    handler.send_response(200, "Connection established")
    handler.end_headers()
    handler.wfile.flush()
    handler.close_connection = True
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.tls_cert, args.tls_key)
    try:
        conn = ctx.wrap_socket(handler.connection, server_side=True)
        conn.settimeout(10)
        f = conn.makefile("rb")
        line = f.readline(65536).decode("latin-1")
        headers = {}
        while True:
            h = f.readline(65536).decode("latin-1").rstrip("\r\n")
            if not h:
                break
            k, _, v = h.partition(":")
            headers[k.strip().lower()] = v.strip()
        n = int(headers.get("content-length") or 0)
        body = f.read(n) if 0 < n < 65536 else b""
        answer = login_answer(line, body)
        out = ("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
               "Connection: close\r\n\r\n" % len(answer)).encode() + answer
        conn.sendall(out)
        log_login(handler, line, headers, body)
        try:
            conn.unwrap()
        except (OSError, ssl.SSLError):
            pass
    except (OSError, ssl.SSLError, ValueError):
        pass


def login_answer(line, body):
    form = urllib.parse.parse_qs(body.decode("latin-1"), keep_blank_values=True)
    user, password = (form.get("ID") or [""])[0], (form.get("PW") or [""])[0]
    parts = line.split()
    with STATE.lock:
        STATE.logins += 1
        if len(parts) < 2 or not parts[1].endswith("/futen.cgi") or \
                user not in STATE.users or STATE.users[user] != password:
            return b"SESSION-ID=ERROR:p2 login failed\n"
        session = "Monazilla/2.00:%s%d" % (user, STATE.logins)
        STATE.sessions.add(session)
        return ("SESSION-ID=%s\n" % session).encode()


def log_login(handler, line, headers, body):
    server = handler.server
    keep = ["user-agent", "x-2ch-ua", "content-type"]
    entry = {"t0": round(handler.t0, 4), "t": round(time.time(), 4), "method": "TLS",
             "url": "https://%s%s" % (LOGIN_HOST, (line.split() + ["", ""])[1]),
             "headers": {k: v for k, v in headers.items() if k in keep},
             "form": body.decode("latin-1"), "status": 200, "bytes": 0}
    with server.world.lock:
        if server.log:
            server.log.write(json.dumps(entry, ensure_ascii=False) + "\n")
            server.log.flush()


# Machi ------------------------------------------------------------------------------------

def control_machi(get):
    """/_ctl/machi?host&board&key[&posts=N][&title=T][&delete=N][&mode=M][&broken=N]
    modes: "" normal, split (a post's two lines come in two reads), hugeline (10 MB on one
    line), slow."""
    k = (get("host"), get("board"), get("key"))
    with STATE.lock:
        th = STATE.machi.get(k)
        if th is None:
            th = STATE.machi[k] = ForeignThread(k[2], get("title", "まちスレッド"))
        if get("title"):
            th.title = get("title")
        if get("posts"):
            th.add(int(get("posts")))
        if get("delete"):
            th.deleted.add(int(get("delete")))
        th.mode = get("mode", th.mode)
        if get("broken"):
            th.broken = int(get("broken"))
    return 200, b"ok"


def machi_post(th, p):
    number, name, mail, date, ident, body = p
    if mail:
        who = '<a href="mailto:%s"><b> %s </b></a>' % (mail, name)
    else:
        who = '<font color="#008800"><b> %s </b></font>' % name
    head = "<dt>%d 名前：%s 投稿日： %s ID:%s<br>" % (number, who, date, ident)
    if th.broken == number:
        return head + "\n"
    if number % 3 == 0:
        # The poster's host on its own bracket, closed on the next line.
        return head + "[ p%d.example-isp.test\n ]<br><dd> %s <br><br>\n" % (number, body)
    return head + "<dd> %s <br><br>\n" % body


def machi_page(handler, host, get):
    k = (host, get("BBS"), get("KEY"))
    with STATE.lock:
        th = STATE.machi.get(k)
    if th is None:
        return handler.send(200, "<html><body>そんな板orスレッドないです。</body></html>\n"
                            .encode("cp932"), ctype="text/html")
    start = max(1, int(get("START", "1") or 1))
    posts = th.live(start)
    if get("NOFIRST") == "TRUE":
        posts = [p for p in posts if p[0] != 1]
    page = ("<html><head>\n<title>%s</title>\n</head><body>\n<dl>\n" % th.title
            + "".join(machi_post(th, p) for p in posts) + "</dl>\n</body></html>\n")
    data = page.encode("cp932")
    if th.mode == "hugeline":
        data = b"<dt>" + b"x" * (10 << 20)
    if th.mode in ("split", "slow", "hugeline"):
        return send_pieces(handler, data, th.mode, b"\n ]")
    handler.send(200, data, ctype="text/html")


def send_pieces(handler, data, mode, split_at):
    """split: everything before the first split_at, a pause, then the rest; slow: 4 KB pieces."""
    handler.send_response(200)
    handler.send_header("Content-Type", "text/html")
    handler.send_header("Content-Length", str(len(data)))
    handler.send_header("Connection", "close")
    handler.end_headers()
    handler.record(200, len(data))
    if mode == "split" and data.find(split_at) > 0:
        cut = data.find(split_at) + 1
        pieces = [data[:cut], data[cut:]]
    else:
        pieces = [data[i:i + 4096] for i in range(0, len(data), 4096)]
    try:
        for i, p in enumerate(pieces):
            handler.wfile.write(p)
            handler.wfile.flush()
            if i + 1 < len(pieces) and mode == "split":
                time.sleep(0.3)
    except OSError:
        pass
    handler.close_connection = True


def machi_subject(handler, host, board):
    with STATE.lock:
        rows = [(k[2], t) for k, t in STATE.machi.items() if k[0] == host and k[1] == board]
    rows.sort(key=lambda r: -r[1].mtime)
    body = "".join("%s.cgi,%s(%d)\n" % (key, t.title, len(t.posts)) for key, t in rows)
    handler.send(200, body.encode("cp932"))


# Livedoor JBBS ----------------------------------------------------------------------------

def control_jbbs(get):
    """/_ctl/jbbs?category&number&key[&posts=N][&title=T][&delete=N][&mode=M][&error=TEXT]
    modes: "" normal, error (answer header "ERROR: TEXT", no body), six (one line of six
    fields), badeuc (a body that is not EUC-JP)."""
    k = (get("category"), get("number"), get("key"))
    with STATE.lock:
        th = STATE.jbbs.get(k)
        if th is None:
            th = STATE.jbbs[k] = ForeignThread(k[2], get("title", "したらばスレッド"))
        if get("title"):
            th.title = get("title")
        if get("posts"):
            th.add(int(get("posts")))
        if get("delete"):
            th.deleted.add(int(get("delete")))
        th.mode = get("mode", th.mode)
        th.error = get("error", th.error)
    return 200, b"ok"


def jbbs_raw(handler, category, number, key, span):
    with STATE.lock:
        th = STATE.jbbs.get((category, number, key))
    if th is None:
        return handler.send(200, b"", {"ERROR": "THREAD NOT FOUND"})
    if th.mode == "error":
        return handler.send(200, b"", {"ERROR": th.error})
    start = int(span.split("-")[0] or 1)
    out = []
    for i, (n, name, mail, date, ident, body) in enumerate(th.live(start)):
        title = th.title if n == 1 else ""
        fields = [str(n), name, mail, date, body, title, ident]
        if th.mode == "six" and i == 1:
            fields = fields[:6]
        out.append("<>".join(fields) + "\n")
    data = "".join(out).encode("euc_jp")
    if th.mode == "badeuc":
        data += b"%d<>\xff\xfe<><>date<>\x8e<><>id\n" % (len(th.posts) + 1)
    handler.send(200, data, ctype="text/plain; charset=EUC-JP")


def jbbs_subject(handler, category, number):
    with STATE.lock:
        rows = [(k[2], t) for k, t in STATE.jbbs.items() if k[0] == category and k[1] == number]
    rows.sort(key=lambda r: -r[1].mtime)
    body = "".join("%s.cgi,%s(%d)\n" % (key, t.title, len(t.posts)) for key, t in rows)
    handler.send(200, body.encode("euc_jp"), ctype="text/plain; charset=EUC-JP")
