"""Images for the image viewer: pictures, a cookie page, a page to extract an image URL from,
HTML where an image is expected, a redirect, broken pictures and a thread that links them.

Host img.example-img.test:
  /gen/WxH-RRGGBB.png   a PNG of one colour (W, H at most 4096)
  /moved.png            302 to /gen/40x30-0000ff.png
  /html.png             an HTML page served as text/html
  /truncated.png        the first half of a PNG
  /bomb.png             a PNG whose header claims 60000x60000 pixels
  /cut.png              Content-Length promises more than is sent, then the connection closes
  /cookie/page.html     sets the cookie imgtok=c00k1e
  /cookie/pic.png       a PNG when that cookie comes with the request, else 403
  /extract/page.html    HTML naming /gen/24x24-00ff00.png in an <img> tag
  /up/...               what a test stored with POST /_ctl/image?path=/up/...&ctype=...
Thread: hobby.example-bbs.test/pics/ key 1700000000, posts linking these pictures.
"""

import struct
import time
import urllib.parse
import zlib

IMG_HOST = "img.example-img.test"
THREAD_HOST = "hobby.example-bbs.test"
THREAD_BOARD = "pics"
THREAD_KEY = "1700000000"
COOKIE = "imgtok=c00k1e"

UPLOADS = {}


def png(width, height, rgb):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))
    row = b"\x00" + bytes(rgb) * width
    raw = zlib.compress(row * height, 9)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", raw) + chunk(b"IEND", b""))


def bomb():
    # A valid header for 60000x60000 RGB and a tiny stream of zero rows: decoding it whole
    # would take ten gigabytes.
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))
    z = zlib.compressobj(9)
    row = b"\x00" * (1 + 60000 * 3)
    data = b"".join(z.compress(row) for _ in range(64)) + z.flush()
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 60000, 60000, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", data) + chunk(b"IEND", b""))


def gen(name):
    # WxH-RRGGBB.png
    try:
        size, colour = name[:-4].split("-")
        w, h = (int(v) for v in size.split("x"))
        rgb = bytes.fromhex(colour)
    except ValueError:
        return None
    if not (0 < w <= 4096 and 0 < h <= 4096 and len(rgb) == 3):
        return None
    return png(w, h, rgb)


def post(name, body):
    return "%s<>sage<>2023/11/15(水) 10:00:00.00 ID:Pics0001<> %s <>\n" % (name, body)


def setup(world):
    b = world.boards.get((THREAD_HOST, THREAD_BOARD))
    if b is None:
        b = world.add_board(THREAD_HOST, THREAD_BOARD, "画像板")
    th = world.thread(THREAD_HOST, THREAD_BOARD, THREAD_KEY, create=True)
    th.title = "画像テストスレ"
    lines = [
        "名無しさん<>sage<>2023/11/15(水) 10:00:00.00 ID:Pics0001<> 赤い画像 <br> "
        "http://%s/gen/64x48-ff0000.png <>画像テストスレ\n" % IMG_HOST,
        post("名無しさん", "青 ttp://%s/gen/40x30-0000ff.png <br> 二枚目 "
             "http://%s/gen/30x30-00ff00.png" % (IMG_HOST, IMG_HOST)),
        post("名無しさん", "移動 http://%s/moved.png" % IMG_HOST),
        post("名無しさん", "HTML http://%s/html.png" % IMG_HOST),
        post("名無しさん", "壊れ http://%s/truncated.png <br> 爆弾 http://%s/bomb.png"
             % (IMG_HOST, IMG_HOST)),
        post("名無しさん", "途中 http://%s/cut.png" % IMG_HOST),
    ]
    th.data = bytearray("".join(lines).encode("cp932"))
    th.count = len(lines)
    th.mtime = time.time()


def handle(handler, method, host, path, query):
    if path == "/_ctl/image" and method == "POST":
        q = urllib.parse.parse_qs(query)
        key = (q.get("path") or [""])[0]
        UPLOADS[key] = (handler.body, (q.get("ctype") or ["image/jpeg"])[0])
        handler.send(200, b"ok")
        return True
    if host != IMG_HOST:
        return False
    if path.startswith("/gen/"):
        data = gen(path[5:])
        if data is None:
            handler.send(404, b"no such picture")
        else:
            handler.send(200, data, ctype="image/png")
        return True
    if path == "/moved.png":
        handler.send(302, b"", headers={"Location": "http://%s/gen/40x30-0000ff.png" % IMG_HOST})
        return True
    if path == "/html.png":
        handler.send(200, "<html><body>広告です</body></html>".encode("cp932"), ctype="text/html")
        return True
    if path == "/truncated.png":
        data = png(200, 200, (255, 0, 255))
        handler.send(200, data[: len(data) // 2], ctype="image/png")
        return True
    if path == "/bomb.png":
        handler.send(200, bomb(), ctype="image/png")
        return True
    if path == "/cut.png":
        data = png(300, 300, (10, 20, 30))
        handler.record(200, len(data) // 2)
        handler.send_response(200)
        handler.send_header("Content-Type", "image/png")
        handler.send_header("Content-Length", str(len(data)))
        handler.send_header("Connection", "close")
        handler.end_headers()
        handler.wfile.write(data[: len(data) // 2])
        handler.wfile.flush()
        handler.close_connection = True
        return True
    if path == "/cookie/page.html":
        handler.send(200, b"<html>cookie</html>", headers={"Set-Cookie": COOKIE + "; path=/"},
                     ctype="text/html")
        return True
    if path == "/cookie/pic.png":
        if COOKIE in (handler.headers.get("Cookie") or ""):
            handler.send(200, png(20, 10, (255, 255, 0)), ctype="image/png")
        else:
            handler.send(403, b"no cookie", ctype="text/html")
        return True
    if path == "/extract/page.html":
        handler.send(200, ('<html><body><p>写真</p><img src="http://%s/gen/24x24-00ff00.png">'
                           '</body></html>' % IMG_HOST).encode("cp932"), ctype="text/html")
        return True
    if path in UPLOADS:
        data, ctype = UPLOADS[path]
        handler.send(200, data, ctype=ctype)
        return True
    handler.send(404, b"<html>not found</html>", ctype="text/html")
    return True
