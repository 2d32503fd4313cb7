"""The title-search service: http://find.5ch.net/index.php?TYPE=TITLE&STR=..&COUNT=..&OFFSET=N.

Result pages are EUC-JP, 25 hits a page, each hit on one line; the first part of a page says
"N スレ中 1～M スレ目" with the total. The hits are generated: hit i (0-based) is the thread
key 1500000000+i on news.example-bbs.test/news, titled "検索<b>i</b> &amp; 話", with i+1 posts.

Control:
    /_ctl/search?hits=N[&mode=M][&delay=ms]
        N hits in all (default 60). Modes: "" normal; nototal (the pages leave the total out);
        split (every hit is sent in two writes, delay ms apart, cut inside the hit); utf8 (the
        page is UTF-8, not EUC-JP); hang (no answer, at most 60 s).
"""

import time
import urllib.parse

HOST = "find.5ch.net"
PER_PAGE = 25

STATE = {"hits": 60, "mode": "", "delay": 50}


def setup(world):
    STATE.update(hits=60, mode="", delay=50)


def hit_line(i):
    board = "http://news.example-bbs.test/news/"
    return ('<dt><a href="http://news.example-bbs.test/test/read.cgi/news/%d/1-100">'
            "検索<b>%d</b> &amp; 話</a> (%d) <dd>ニュース - 2026/12/08 "
            "<a href=%s>ニュース速報板</a>＠5ch掲示板\n" % (1500000000 + i, i, i + 1, board))


def page(offset, with_total):
    total = STATE["hits"]
    last = min(total, offset + PER_PAGE)
    head = "<html><head><title>検索</title></head><body>\n"
    if with_total:
        # As the service prints it: counted from 1 on every page.
        head += "<b>%dスレ中 1～%dスレ目</b>\n" % (total, last)
    lines = [hit_line(i) for i in range(offset, last)]
    return head, lines, "</body></html>\n"


def encode(text):
    if STATE["mode"] == "utf8":
        return text.encode("utf-8")
    # EUC-JP's wave dash is what Windows' code page calls the full-width tilde.
    return text.replace("～", "〜").encode("euc_jp")


def handle(handler, method, host, path, query):
    q = urllib.parse.parse_qs(query)
    get = lambda k, d="": (q.get(k) or [d])[0]
    if path == "/_ctl/search":
        STATE["hits"] = int(get("hits", "60"))
        STATE["mode"] = get("mode")
        STATE["delay"] = int(get("delay", "50"))
        handler.send(200, b"ok")
        return True
    if host != HOST or path != "/index.php":
        return False
    if STATE["mode"] == "hang":
        handler.record(0, 0)
        handler.hang(60)
        return True
    offset = int(get("OFFSET", "0") or 0)
    head, lines, tail = page(offset, STATE["mode"] != "nototal")
    ctype = "text/html; charset=%s" % ("UTF-8" if STATE["mode"] == "utf8" else "EUC-JP")
    if STATE["mode"] != "split":
        handler.send(200, encode(head + "".join(lines) + tail), ctype=ctype)
        return True
    # Every hit goes out in two writes, cut in the middle of its title.
    pieces = [encode(head)]
    for line in lines:
        cut = line.index("</a>")
        pieces += [encode(line[:cut - 2]), encode(line[cut - 2:])]
    pieces.append(encode(tail))
    body = b"".join(pieces)
    handler.record(200, len(body))
    handler.send_response(200)
    handler.send_header("Content-Type", ctype)
    handler.send_header("Content-Length", str(len(body)))
    handler.end_headers()
    try:
        for p in pieces:
            handler.wfile.write(p)
            handler.wfile.flush()
            time.sleep(STATE["delay"] / 1000.0)
    except OSError:
        pass
    return True
