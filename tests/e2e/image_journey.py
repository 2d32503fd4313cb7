#!/usr/bin/env python3
"""Images and the cache typed with real X key events: a link in a thread opens the picture in
the image view (pixels counted in the screenshot), Return toggles fit, Escape goes back; the
cache view lists the thread and the picture, and the delete key removes the picture.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb or xdotool missing).
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import journey  # noqa: E402
from journey import Failure  # noqa: E402

THREAD = "http://hobby.example-bbs.test/test/read.cgi/pics/1700000000/"
TITLE = "画像テストスレ"
RED = 64 * 48  # the first post's picture: 64x48, all red


class ImageJourney(journey.Journey):
    def red_pixels(self, name):
        # Pixels of pure red in the screenshot just taken.
        path = os.path.join(self.shots, "e2e-%s.png" % name)
        r = subprocess.run(["convert", path, "-alpha", "off", "-fill", "black", "+opaque",
                            "#ff0000", "-fill", "white", "-opaque", "#ff0000", "-format",
                            "%[fx:round(mean*w*h)]", "info:"],
                           capture_output=True, text=True, timeout=journey.WAIT)
        if r.returncode != 0:
            raise Failure("convert: " + r.stderr)
        return int(r.stdout.strip())

    def pictures(self):
        d = self.store(".img")
        found = []
        for base, _, files in os.walk(d):
            found += [os.path.join(base, f) for f in files]
        return found

    def run(self):
        if not shutil.which("convert"):
            raise Failure("ImageMagick's convert is missing (scripts/deps installs it)")
        self.start_xvfb()
        self.start_server()
        self.start_tavlo("UseImageView=1\nViewAfterDownload=1\n")
        self.answer_menu_question()
        self.open_url(THREAD, "the thread with pictures", view=2, title=TITLE, tabs=1, busy=0)
        self.shot("image-1-thread")

        # Tab selects the first link (the red picture), Return opens it: downloaded into the
        # cache, then shown fitted.
        self.key("Tab")
        self.key("Return")
        self.wait_state("the picture shown", view=5, downloading=0, imagewidth=64, fit=1)
        if not self.pictures():
            raise Failure("nothing in the image cache")
        self.shot("image-2-fit")
        fitted = self.red_pixels("image-2-fit")
        if fitted < RED * 8:
            raise Failure("the fitted picture covers %d red pixels" % fitted)

        # Return: its own size, 64x48 red pixels; Return again: fitted as before.
        self.key("Return")
        self.wait_state("the picture at its size", view=5, fit=0)
        self.shot("image-3-actual")
        actual = self.red_pixels("image-3-actual")
        if not RED <= actual < RED + 200:
            raise Failure("the picture at its own size covers %d red pixels" % actual)
        self.key("Return")
        self.wait_state("fitted again", view=5, fit=1)
        self.shot("image-4-fit-again")
        if self.red_pixels("image-4-fit-again") != fitted:
            raise Failure("fitted again differs")

        # Escape: back to the thread.
        self.key("Escape")
        self.wait_state("back in the thread", view=2, title=TITLE)

        # The cache view (メニュー > ビュー > キャッシュ): its thread tab lists the thread.
        self.key("F10")
        self.wait_state("the action menu", popup="アクション")
        self.key("Right")
        self.wait_state("the main menu", popup="メニュー")
        self.choose_menu("ビュー", "キャッシュ")
        s = self.wait_state("the cache view", view=4, viewtab=0, popup="")
        s = self.wait(lambda: (lambda st: st if st.get("items", "0") != "0" else None)(
            self.state()), "the thread cache's rows")
        if s["items"] != "1":
            raise Failure("the thread cache lists %s rows" % s["items"])
        self.key("Down")
        s = self.wait_state("the thread chosen", view=4, current=TITLE)
        self.shot("image-5-cache-threads")

        # F: the picture tab, one picture; D asks, Return answers yes, the row and file go.
        self.key("f")
        s = self.wait_state("the picture tab", view=4, viewtab=1, items=1)
        self.key("Down")
        self.wait_state("the picture chosen", view=4, viewtab=1, chosen=1)
        self.shot("image-6-cache-images")
        before = self.visible_windows()
        self.key_opening("d")
        box = self.new_window(before, "the delete question")
        self.shot("image-7-question")
        self.key("Return")
        self.gone_window(box, "the question answered", self.main)
        self.wait_state("the picture's row gone", view=4, viewtab=1, items=0)
        self.wait(lambda: not self.pictures(), "the picture's file deleted")
        self.shot("image-8-deleted")


if __name__ == "__main__":
    sys.exit(journey.main(ImageJourney))
