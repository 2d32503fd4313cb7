#!/usr/bin/env python3
"""Local HTTP fixture for the network tests.

Listens on 127.0.0.1 only and prints one line per endpoint on stdout:
    HTTP <port>       plain server (routes below)
    PROXY <port>      forward proxy: absolute-form requests and CONNECT tunnels to 127.0.0.1
    BLACKHOLE <port>  a listener whose queue is full: connects to it never complete
    TLS <port>        the same routes over TLS (only with --cert/--key)
    READY
It exits when its standard input closes or after --lifetime seconds.

Body bytes of length n follow byte(i) = (i * 31 + (i >> 7)) % 251, so tests can check them.
"""

import argparse
import gzip
import io
import os
import select
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse
import zlib

CONN_TIMEOUT = 20
HTTP_PORT = 0
STATE = {"last_connect": b""}
STATE_LOCK = threading.Lock()
CACHE = {}
CACHE_LOCK = threading.Lock()


def pattern(n):
    with CACHE_LOCK:
        if n in CACHE:
            return CACHE[n]
    data = bytes(((i * 31 + (i >> 7)) % 251) for i in range(n))
    with CACHE_LOCK:
        CACHE[n] = data
    return data


def gzip_bytes(data):
    buf = io.BytesIO()
    # A file name in the header makes its length depend on a terminator the client must find.
    with gzip.GzipFile(filename="body.dat", mode="wb", fileobj=buf, mtime=0) as f:
        f.write(data)
    return buf.getvalue()


def gzip_stored(data, pieces=3, damage=False):
    """A gzip member of stored deflate blocks. damage marks the middle block final, so the
    deflate data ends early and the next block's bytes stand where the trailer belongs."""
    size = max(1, (len(data) + pieces - 1) // pieces)
    parts = [data[i:i + size] for i in range(0, len(data), size)] or [b""]
    out = [b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff"]
    for i, part in enumerate(parts):
        final = i == len(parts) - 1 or (damage and i == len(parts) // 2)
        out.append(bytes([1 if final else 0]) + struct.pack("<HH", len(part), len(part) ^ 0xFFFF) + part)
    out.append(struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF))
    return b"".join(out)


def bomb(mb):
    key = ("bomb", mb)
    with CACHE_LOCK:
        if key in CACHE:
            return CACHE[key]
    comp = zlib.compressobj(9, zlib.DEFLATED, 31)
    zero = bytes(1 << 20)
    parts = [comp.compress(zero) for _ in range(mb)]
    parts.append(comp.flush())
    data = b"".join(parts)
    with CACHE_LOCK:
        CACHE[key] = data
    return data


def read_request(conn, pending=b""):
    data = pending
    while b"\r\n\r\n" not in data:
        if len(data) > 256 * 1024:
            return None, b""
        try:
            chunk = conn.recv(65536)
        except (OSError, socket.timeout):
            return None, b""
        if not chunk:
            return None, b""
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    lines = head.split(b"\r\n")
    parts = lines[0].split(b" ")
    if len(parts) < 3:
        return None, b""
    headers = {}
    for line in lines[1:]:
        if b":" in line:
            k, v = line.split(b":", 1)
            headers.setdefault(k.strip().lower().decode("latin-1"), v.strip().decode("latin-1"))
    length = int(headers.get("content-length", "0") or 0)
    while len(rest) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        rest += chunk
    body, rest = rest[:length], rest[length:]
    req = {
        "method": parts[0].decode("latin-1"),
        "target": parts[1].decode("latin-1"),
        "headers": headers,
        "body": body,
        "raw": head + b"\r\n\r\n" + body,
    }
    return req, rest


def send_all(conn, data):
    conn.sendall(data)


def send_split(conn, data, slow=64):
    try:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    except OSError:
        pass
    for i in range(len(data)):
        conn.sendall(data[i:i + 1])
        if i < slow:
            time.sleep(0.002)


def chunked(data, size, ext=False):
    out = []
    for i in range(0, len(data), size):
        piece = data[i:i + size]
        line = b"%x" % len(piece)
        if ext:
            line += b";name=value;x=\"q\""
        out.append(line + b"\r\n" + piece + b"\r\n")
    out.append(b"0\r\n\r\n")
    return b"".join(out)


def response(status, headers, body=b"", length=True):
    head = "HTTP/1.1 %s\r\n" % status
    for k, v in headers:
        head += "%s: %s\r\n" % (k, v)
    if length:
        head += "Content-Length: %d\r\n" % len(body)
    return head.encode("latin-1") + b"\r\n" + body


def hold(conn, seconds):
    """Keeps the connection open without answering until the client closes or time runs out."""
    end = time.time() + seconds
    while time.time() < end:
        r, _, _ = select.select([conn], [], [], 0.2)
        if r:
            try:
                if not conn.recv(65536):
                    return
            except OSError:
                return


def handle(conn, req):
    """Answers one request. Returns True when the connection may serve another one."""
    url = urllib.parse.urlsplit(req["target"])
    path = url.path
    q = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
    n = int(q.get("n", "1000"))
    keep = req["headers"].get("connection", "").lower() == "keep-alive"

    if path == "/len":
        send_all(conn, response("200 OK", [("Content-Type", "application/octet-stream")], pattern(n)))
        return keep
    if path == "/close":
        send_all(conn, response("200 OK", [], pattern(n), length=False))
        return False
    if path == "/chunked":
        size = int(q.get("size", "100"))
        body = chunked(pattern(n), size, q.get("ext") == "1")
        data = response("200 OK", [("Transfer-Encoding", "chunked")], length=False) + body
        if q.get("split") == "1":
            send_split(conn, data, slow=0)
        else:
            send_all(conn, data)
        return keep
    if path in ("/gzip", "/deflate"):
        raw = pattern(n)
        enc = gzip_bytes(raw) if path == "/gzip" else zlib.compress(raw)
        name = "gzip" if path == "/gzip" else "deflate"
        if q.get("chunked") == "1":
            data = response("200 OK", [("Content-Encoding", name), ("Transfer-Encoding", "chunked")],
                            length=False) + chunked(enc, int(q.get("size", "37")))
        else:
            data = response("200 OK", [("Content-Encoding", name)], enc)
        if q.get("split") == "1":
            head_len = data.index(b"\r\n\r\n") + 4
            send_all(conn, data[:head_len])
            send_split(conn, data[head_len:])
        else:
            send_all(conn, data)
        return keep
    if path == "/both":
        send_all(conn, response("200 OK", [("Transfer-Encoding", "chunked")], pattern(n)))
        return False
    if path == "/proxyclose":
        head = response("200 OK", [("Content-Length", q.get("len", "10")),
                                   ("Proxy-Connection", "close")], length=False)
        send_all(conn, head + pattern(n))
        return False
    if path == "/short":
        head = response("200 OK", [("Content-Length", str(n))], length=False)
        send_all(conn, head + pattern(n)[:n - 10])
        return False
    if path == "/status":
        code = q.get("code", "200")
        if code == "206":
            body = pattern(n)[5:]
            send_all(conn, response("206 Partial Content",
                                    [("Content-Range", "bytes 5-%d/%d" % (n - 1, n))], body))
        elif code == "304":
            # No body follows; the connection stays open as with keep-alive.
            send_all(conn, b"HTTP/1.1 304 Not Modified\r\nDate: x\r\n\r\n")
            hold(conn, 5)
        elif code == "416":
            send_all(conn, response("416 Requested Range Not Satisfiable",
                                    [("Content-Range", "bytes */%d" % n)], b"range"))
        elif code == "302":
            send_all(conn, response("302 Found", [("Location", "http://127.0.0.1/moved/")],
                                    b"moved"))
        return False
    if path == "/cookies":
        head = (b"HTTP/1.1 200 OK\r\n"
                b"Set-Cookie: a=1; path=/\r\n"
                b"set-cookie: b=2\r\n"
                b"SET-COOKIE: c=3; expires=Thu, 01 Jan 2099 00:00:00 GMT\r\n"
                b"X-Odd-CASE: odd: value\r\n"
                b"cOnTeNt-LeNgTh: 4\r\n\r\nbody")
        send_all(conn, head)
        return False
    if path == "/splithdr":
        at = int(q.get("at", "2"))
        data = response("200 OK", [], pattern(n))
        cut = data.index(b"\r\n\r\n") + 4 - at
        try:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        except OSError:
            pass
        send_all(conn, data[:cut])
        time.sleep(0.2)
        send_all(conn, data[cut:])
        return False
    if path == "/stall":
        hold(conn, CONN_TIMEOUT)
        return False
    if path == "/stallbody":
        sent = int(q.get("sent", "100"))
        send_all(conn, response("200 OK", [("Content-Length", str(n))], length=False) +
                 pattern(n)[:sent])
        hold(conn, CONN_TIMEOUT)
        return False
    if path == "/slow":
        delay = int(q.get("delay", "300")) / 1000.0
        pieces = int(q.get("pieces", "3"))
        body = pattern(n)
        send_all(conn, response("200 OK", [("Content-Length", str(n))], length=False))
        step = max(1, n // pieces)
        for i in range(0, n, step):
            time.sleep(delay)
            send_all(conn, body[i:i + step])
        return False
    if path == "/hugeheader":
        mb = int(q.get("mb", "3"))
        head = b"HTTP/1.1 200 OK\r\n"
        line = b"X-Big: " + b"x" * 8000 + b"\r\n"
        total = 0
        try:
            send_all(conn, head)
            while total < mb * 1024 * 1024:
                send_all(conn, line)
                total += len(line)
            send_all(conn, b"Content-Length: 2\r\n\r\nok")
        except OSError:
            pass
        return False
    if path == "/longchunk":
        send_all(conn, response("200 OK", [("Transfer-Encoding", "chunked")], length=False) +
                 b"4;" + b"x" * 300 + b"\r\nabcd\r\n0\r\n\r\n")
        return False
    if path == "/chunkbad":
        kind = q.get("kind", "cr")
        tail = b"X\n" if kind == "cr" else b"\rX"
        send_all(conn, response("200 OK", [("Transfer-Encoding", "chunked")], length=False) +
                 b"4\r\nabcd" + tail + b"0\r\n\r\n")
        return False
    if path == "/chunkeof":
        send_all(conn, response("200 OK", [("Transfer-Encoding", "chunked")], length=False) +
                 b"4\r\nabcd\r\n")
        return False
    if path == "/chunkgarbage":
        send_all(conn, response("200 OK", [("Transfer-Encoding", "chunked")], length=False) +
                 b"zz\r\nabcd\r\n0\r\n\r\n")
        return False
    if path == "/badlen":
        value = q.get("v", "-5")
        send_all(conn, ("HTTP/1.1 200 OK\r\nContent-Length: %s\r\n\r\n" % value).encode() +
                 pattern(n))
        return False
    if path == "/truncgzip":
        enc = gzip_bytes(pattern(n))
        drop = int(q.get("drop", "0"))
        cut = enc[:len(enc) - drop] if drop else enc[:len(enc) // 2]
        if q.get("mode") == "close":
            send_all(conn, response("200 OK", [("Content-Encoding", "gzip")], cut, length=False))
        else:
            send_all(conn, response("200 OK", [("Content-Encoding", "gzip")], cut))
        return False
    if path == "/gzipstored":
        # Stored blocks of at most 65535 bytes each.
        body = gzip_stored(pattern(n), damage=q.get("damage") == "1")
        send_all(conn, response("200 OK", [("Content-Encoding", "gzip")], body))
        return False
    if path == "/gzipsplit":
        # The last `at` bytes follow in a later write, after a pause, so they reach a later read.
        enc = gzip_bytes(pattern(n))
        at = int(q.get("at", "4"))
        data = response("200 OK", [("Content-Encoding", "gzip")], enc)
        try:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        except OSError:
            pass
        send_all(conn, data[:len(data) - at])
        time.sleep(0.1)
        send_all(conn, data[len(data) - at:])
        return False
    if path == "/notgzip":
        send_all(conn, response("200 OK", [("Content-Encoding", "gzip")], b"plain text, no gzip"))
        return False
    if path == "/corruptdeflate":
        enc = bytearray(zlib.compress(pattern(n)))
        for i in range(10, len(enc) - 4, 7):
            enc[i] ^= 0x5A
        send_all(conn, response("200 OK", [("Content-Encoding", "deflate")], bytes(enc)))
        return False
    if path == "/bomb":
        send_all(conn, response("200 OK", [("Content-Encoding", "gzip")], bomb(int(q.get("mb", "64")))))
        return False
    if path == "/interim":
        send_all(conn, b"HTTP/1.1 100 Continue\r\n\r\n" + response("200 OK", [], pattern(n)))
        return False
    if path == "/echo":
        send_all(conn, response("200 OK", [], req["raw"]))
        return keep
    if path == "/lastconnect":
        with STATE_LOCK:
            body = STATE["last_connect"]
        send_all(conn, response("200 OK", [], body))
        return False
    send_all(conn, response("404 Not Found", [], b"not found"))
    return False


def serve_conn(conn, tls_ctx=None):
    try:
        conn.settimeout(CONN_TIMEOUT)
        if tls_ctx is not None:
            conn = tls_ctx.wrap_socket(conn, server_side=True)
        pending = b""
        while True:
            req, pending = read_request(conn, pending)
            if req is None or not handle(conn, req):
                break
    except (OSError, ValueError, ssl.SSLError):
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def relay(a, b):
    socks = [a, b]
    end = time.time() + CONN_TIMEOUT
    while time.time() < end:
        r, _, _ = select.select(socks, [], [], 0.5)
        for s in r:
            try:
                data = s.recv(65536)
            except OSError:
                return
            if not data:
                return
            (b if s is a else a).sendall(data)


def allowed(host):
    return host in ("127.0.0.1", "localhost")


def serve_proxy(conn):
    target = None
    try:
        conn.settimeout(CONN_TIMEOUT)
        req, pending = read_request(conn)
        if req is None:
            return
        if req["method"] == "CONNECT":
            with STATE_LOCK:
                STATE["last_connect"] = req["raw"]
            host, _, port = req["target"].rpartition(":")
            if not allowed(host):
                conn.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
                return
            target = socket.create_connection(("127.0.0.1", int(port)), timeout=CONN_TIMEOUT)
            conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            if pending:
                target.sendall(pending)
            relay(conn, target)
            return
        url = urllib.parse.urlsplit(req["target"])
        host = url.hostname or ""
        if url.scheme != "http" or not allowed(host):
            conn.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            return
        # Port-less URLs go to the fixture's own server.
        port = url.port or HTTP_PORT
        target = socket.create_connection(("127.0.0.1", port), timeout=CONN_TIMEOUT)
        target.sendall(req["raw"] + pending)
        relay(conn, target)
    except (OSError, ValueError):
        pass
    finally:
        for s in (conn, target):
            if s is not None:
                try:
                    s.close()
                except OSError:
                    pass


def listener(backlog=64):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(backlog)
    return s


def main():
    global HTTP_PORT
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--lifetime", type=float, default=300)
    args = ap.parse_args()

    http = listener()
    proxy = listener()
    HTTP_PORT = http.getsockname()[1]
    # A queue of one that is already taken: later connection attempts get no answer.
    hole = listener(0)
    fillers = []
    for _ in range(3):
        f = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        f.setblocking(False)
        try:
            f.connect(hole.getsockname())
        except BlockingIOError:
            pass
        fillers.append(f)
    servers = {http: None, proxy: "proxy"}
    tls = None
    tls_ctx = None
    if args.cert:
        tls_ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls_ctx.load_cert_chain(args.cert, args.key)
        tls = listener()
        servers[tls] = "tls"

    out = sys.stdout
    out.write("HTTP %d\n" % HTTP_PORT)
    out.write("PROXY %d\n" % proxy.getsockname()[1])
    out.write("BLACKHOLE %d\n" % hole.getsockname()[1])
    if tls:
        out.write("TLS %d\n" % tls.getsockname()[1])
    out.write("READY\n")
    out.flush()

    deadline = time.time() + args.lifetime
    watch = list(servers) + [sys.stdin]
    while time.time() < deadline:
        r, _, _ = select.select(watch, [], [], 0.5)
        for s in r:
            if s is sys.stdin:
                if not os.read(sys.stdin.fileno(), 4096):
                    return
                continue
            try:
                conn, _ = s.accept()
            except OSError:
                continue
            kind = servers[s]
            if kind == "proxy":
                t = threading.Thread(target=serve_proxy, args=(conn,), daemon=True)
            else:
                t = threading.Thread(target=serve_conn,
                                     args=(conn, tls_ctx if kind == "tls" else None), daemon=True)
            t.start()


if __name__ == "__main__":
    main()
