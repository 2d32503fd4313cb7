"""Posting: the boards' posting programs.

POST /test/bbs.cgi (and the /cgi-bin/... and /12ch/... variants of the other rows) answers the
cookie confirmation page until the cookies it set come back, then writes the post into the
thread's log (or makes a new thread). POST /bbs/write.cgi (Machi, JBBS) posts and answers 302.
Every post is recorded with its form fields in the order they arrived.

Control requests:
    /_ctl/postmode?host&board&mode=M   how the board answers posts: "" (confirmation once),
                                       confirm (always the confirmation page), direct (no
                                       confirmation), error-bold, error-red, error-plain,
                                       utf8 (error page in UTF-8), hang, cut, huge (10 MB page),
                                       status500
    /_ctl/posts                        JSON list of the posts received so far
"""

import json
import random
import time
import urllib.parse

WORLD = None
MODES = {}   # (host, board) -> mode
POSTS = []   # one dict per POST
COOKIE = "PON=a1b2c3"
PATHS = {
    "/test/bbs.cgi": "2ch",
    "/cgi-bin/test/bbs.cgi": "2ch",
    "/cgi-bin/12ch/test/bbs.cgi": "football",
    "/12ch/test/bbs.cgi": "football",
    "/bbs/write.cgi": "write",
}
LIVE_HOSTS = ("live1.example-live.test", "live2.example-live.test")
EUC_HOSTS = ("jbbs.shitaraba.net", "jbbs.livedoor.jp")


def setup(world):
    global WORLD
    WORLD = world
    MODES.clear()
    del POSTS[:]


def sjis(text):
    return text.encode("cp932")


def parse_form(body):
    """[(name, raw value)] in the order sent; raw values stay URL-encoded."""
    out = []
    for part in body.decode("latin-1").split("&"):
        if not part:
            continue
        name, _, value = part.partition("=")
        out.append((name, value))
    return out


def decode(raw, encoding):
    data = urllib.parse.unquote_to_bytes(raw.replace("+", " "))
    return data, data.decode(encoding, "replace")


def escape_body(data):
    data = data.replace(b"&", b"&amp;").replace(b"<", b"&lt;").replace(b">", b"&gt;")
    data = data.replace(b"\"", b"&quot;")
    return data.replace(b"\r\n", b"\n").replace(b"\n", b" <br> ")


def write_post(host, board, key, name, mail, body, subject=None):
    """Appends one post (bytes in the board's encoding) to the thread; makes a new thread when
    subject is given. Returns the key."""
    if subject is not None:
        b = WORLD.boards.get((host, board)) or WORLD.add_board(host, board, board)
        key = str(max([int(k) for k in b.threads if k.isdigit()] + [int(time.time())]) + 1)
    th = WORLD.thread(host, board, key, create=True)
    if subject is not None:
        th.title = subject
    t = time.gmtime()
    date = "%04d/%02d/%02d(%s) %02d:%02d:%02d.00 ID:Post%04d" % (
        t.tm_year, t.tm_mon, t.tm_mday, "月火水木金土日"[t.tm_wday], t.tm_hour, t.tm_min,
        t.tm_sec, len(POSTS))
    line = b"<>".join([name or sjis("名無しさん"), mail, sjis(date), b" " + escape_body(body) + b" ",
                       sjis(subject) if subject is not None else b""]) + b"\n"
    with th.lock:
        th.count += 1
        th.data += line
        th.mtime = max(time.time(), th.mtime) + 1.0
    b = WORLD.boards.get((host, board))
    if b is not None:
        b.touch()
    return key


def page(title, body, marks=""):
    return sjis("<html>%s<head><title>%s</title></head><body>%s</body></html>\n" % (marks, title, body))


def confirmation(handler, record):
    now = int(time.time())
    record["page_time"] = now
    html = ("<html><!-- 2ch_X:cookie --><head><title>■ 書き込み確認 ■</title></head><body>"
            "書き込み確認します。<form method=POST action=\"../test/bbs.cgi\">"
            "<input type=hidden name=\"yuki\" value=\"akari\">"
            "<input type=hidden name=\"feature\" value=\"a&amp;b\">"
            "<input type=hidden name=time value=%d>"
            "<input type=submit value=\"上記全てを承諾して書き込む\" name=\"submit\">"
            "</form></body></html>\n" % now)
    record["status"] = 200
    data = sjis(html)
    handler.record(200, len(data))
    handler.send_response(200)
    handler.send_header("Content-Type", "text/html")
    # Two cookies to give back, and one without attributes that gives nothing.
    handler.send_header("Set-Cookie", COOKIE + "; expires=Fri, 01-Jan-2038 00:00:00 GMT; path=/")
    handler.send_header("Set-Cookie", "yuki=akari; path=/")
    handler.send_header("Set-Cookie", "bare")
    handler.send_header("Content-Length", str(len(data)))
    handler.end_headers()
    handler.wfile.write(data)


def error_page(handler, mode, record):
    record["status"] = 200
    if mode == "error-bold":
        body = page("ＥＲＲＯＲ！", "<b>ERROR: 本文が長すぎます！</b><br>戻ってください", "<!-- 2ch_X:error -->")
    elif mode == "error-red":
        body = page("Error", "<font color=red>ERROR: 連続投稿ですか？</font>")
    elif mode == "utf8":
        body = ("<html><!-- 2ch_X:error --><head><title>ＥＲＲＯＲ！</title></head>"
                "<body><b>ERROR: 混雑しています</b></body></html>\n").encode("utf-8")
    else:
        body = page("ＥＲＲＯＲ！", "ERROR: 何かがおかしいです")
    handler.send(200, body, ctype="text/html")


def answer_bad(handler, mode, record):
    """Broken answers; True when one was given."""
    if mode == "hang":
        record["status"] = 0
        handler.hang(60)
        return True
    if mode == "cut":
        record["status"] = 200
        handler.record(200, 40)
        handler.send_response(200)
        handler.send_header("Content-Type", "text/html")
        handler.send_header("Content-Length", "4000")
        handler.send_header("Connection", "close")
        handler.end_headers()
        handler.wfile.write(sjis("<html><head><title>書きこみ")[:30])
        handler.wfile.flush()
        handler.close_connection = True
        return True
    if mode == "huge":
        record["status"] = 200
        try:
            handler.send(200, b"<html>" + b"x" * (10 << 20) + b"</html>", ctype="text/html")
        except OSError:
            # The client gave up reading, as it should.
            handler.close_connection = True
        return True
    if mode == "status500":
        record["status"] = 500
        handler.send(500, b"<html>busy</html>", ctype="text/html")
        return True
    return False


def handle(handler, method, host, path, query):
    if path == "/_ctl/postmode":
        q = urllib.parse.parse_qs(query)
        get = lambda k: (q.get(k) or [""])[0]
        MODES[(get("host"), get("board"))] = get("mode")
        handler.send(200, b"ok")
        return True
    if path == "/_ctl/posts":
        handler.send(200, json.dumps(POSTS, ensure_ascii=False).encode("utf-8"),
                     ctype="application/json")
        return True
    kind = PATHS.get(path)
    if method != "POST" or kind is None:
        return False

    body = getattr(handler, "body", b"") or b""
    fields = parse_form(body)
    encoding = "euc-jp" if host in EUC_HOSTS else "cp932"
    raw = {}
    text = {}
    for name, value in fields:
        raw[name], text[name] = decode(value, encoding)
    record = {
        "host": host, "path": path, "url": handler.path,
        "fields": [[n, v] for n, v in fields],
        "text": text,
        "cookie": handler.headers.get("Cookie") or "",
        "referer": handler.headers.get("Referer") or "",
        "agent": handler.headers.get("User-Agent") or "",
        "headers": [[k, v] for k, v in handler.headers.items()],
    }
    POSTS.append(record)

    if kind == "write":
        board = text.get("BBS", "")
        if "DIR" in text:
            board = text["DIR"] + "/" + board
        mode = MODES.get((host, board), "")
        if answer_bad(handler, mode, record):
            return True
        if mode.startswith("error"):
            error_page(handler, mode, record)
            return True
        name, mail, message = raw.get("NAME", b""), raw.get("MAIL", b""), raw.get("MESSAGE", b"")
        if encoding != "cp932":
            name, mail, message = (x.decode(encoding, "replace").encode("cp932", "replace")
                                   for x in (name, mail, message))
        subject = text.get("SUBJECT") if "KEY" not in text else None
        record["key"] = write_post(host, board, text.get("KEY", ""), name, mail, message, subject)
        record["status"] = 302
        handler.send(302, b"", {"Location": "http://%s/%s/" % (host, board)})
        return True

    board = text.get("bbs", "")
    mode = MODES.get((host, board), "")
    if answer_bad(handler, mode, record):
        return True
    if mode.startswith("error") or mode == "utf8":
        error_page(handler, mode, record)
        return True
    redirect = kind == "football" or host in LIVE_HOSTS
    confirmed = COOKIE in record["cookie"]
    if not redirect and (mode == "confirm" or (mode != "direct" and not confirmed)):
        confirmation(handler, record)
        return True
    subject = text.get("subject") if "key" not in text else None
    record["key"] = write_post(host, board, text.get("key", ""), raw.get("FROM", b""),
                               raw.get("mail", b""), raw.get("MESSAGE", b""), subject)
    if redirect:
        record["status"] = 302
        handler.send(302, b"", {"Location": "http://%s/%s/" % (host, board)})
        return True
    record["status"] = 200
    handler.send(200, page("書きこみました。", "書きこみが終わりました。", "<!-- 2ch_X:true -->"),
                 ctype="text/html")
    return True
