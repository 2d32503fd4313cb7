"""Logs whose last line has no line end yet: /_ctl/unended?host=&board=&key=&text=... appends
text without LF (a post still being written out by the server); /_ctl/ended completes it
without a newer time (the same second)."""

import time
import urllib.parse


def handle(handler, method, host, path, query):
    if path not in ("/_ctl/unended", "/_ctl/ended"):
        return False
    q = urllib.parse.parse_qs(query)
    get = lambda k, d="": (q.get(k) or [d])[0]
    th = handler.server.world.thread(get("host"), get("board"), get("key"))
    if th is None:
        handler.send(404, b"no such thread")
        return True
    with th.lock:
        if path == "/_ctl/unended":
            th.data += get("text", "x<>x<>x<>x<>").encode("cp932")
            th.mtime = max(time.time(), th.mtime) + 1.0
        else:
            # Completed within the same second: the time does not move.
            th.data += b"\n"
            th.count += 1
    handler.send(200, b"ok")
    return True
