#!/usr/bin/env python3
"""Aurora, the sample screen saver, as a user meets it under Wine.

  aurora_saver_test.py --template DIR --work DIR

In a copy of the e2e template prefix (whose C:\\e2e\\bin holds aurora.scr), the screen saver is
put where the installer puts it, C:\\windows\\Aurora.scr, with a data file of our own colours
where the installer puts that: a red sky and a blue curtain, no green at all. Then:
  - "/s" fills the screen in those colours (so the data file was read), keeps animating until
    the user does something, and ends with status 0 on a key press, and again on a mouse
    movement;
  - "/c" and no arguments show the settings dialog with the data file's colours as swatches,
    and end with status 0 when its OK is pressed.
Keys and mouse movements are sent through the X server's XTEST extension, as a user's would
arrive.
"""

from __future__ import annotations

import argparse
import ctypes
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
# The Wine prefix, the display and the GUI driver, shared with scripts/demo_install.py.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "wine"))

import wine_session  # noqa: E402

SAVER_TITLE = "Aurora Screen Saver"
SETTINGS_TITLE = "Aurora Screen Saver Settings"
SKY = (0xC0, 0x00, 0x00)
CURTAIN = (0x00, 0x00, 0xFF)
DATA_FILE = (f"Aurora test colours\r\n#{SKY[0]:02X}{SKY[1]:02X}{SKY[2]:02X} sky\r\n"
             f"#{CURTAIN[0]:02X}{CURTAIN[1]:02X}{CURTAIN[2]:02X} curtain\r\n")


class XInput:
    """Key presses and pointer movements injected into the X server (XTEST)."""

    def __init__(self, display: str):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise wine_session.HarnessError(f"cannot open X display {display}")

    def key(self, name: str) -> None:
        code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(name.encode()))
        self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.x11.XFlush(self.display)

    def move(self, x: int, y: int) -> None:
        self.xtst.XTestFakeMotionEvent(self.display, -1, x, y, 0)
        self.x11.XFlush(self.display)

    def close(self) -> None:
        self.x11.XCloseDisplay(self.display)


def ended(proc: subprocess.Popen):
    """The exit status wrapped in a list (so that 0 counts as having ended), or None."""
    status = proc.poll()
    return None if status is None else [status]


def colour_shares(image: wine_session.Image) -> dict:
    """Shares of sampled pixels that show the red sky, the blue curtain (over the red sky it
    turns magenta: blue well above green), or any green."""
    counts = {"red": 0, "green": 0, "blue": 0}
    samples = 0
    for y in range(0, image.height, 4):
        for x in range(0, image.width, 4):
            r, g, b = image.pixel(x, y)
            samples += 1
            if r > g + 40 and r > b + 40:
                counts["red"] += 1
            if b > g + 40:
                counts["blue"] += 1
            if g > r + 40 and g > b + 40:
                counts["green"] += 1
    return {k: v / samples for k, v in counts.items()}


class Session:
    def __init__(self, prefix: Path, xvfb: wine_session.Xvfb, shots: Path):
        self.prefix, self.xvfb, self.shots = prefix, xvfb, shots
        self.shot = 0

    def start(self, *arguments: str) -> subprocess.Popen:
        return wine_session.start_program(self.prefix, self.xvfb, r"C:\windows\Aurora.scr",
                                          *arguments)

    def screenshot(self) -> wine_session.Image:
        self.shot += 1
        return wine_session.Image(self.xvfb.screenshot(self.shots / f"shot{self.shot:03}.png"))


def check_full_screen(session: Session, x: XInput, end_with: str) -> list:
    """Starts "/s", waits for the window painted in the data file's colours and animating,
    then ends it by a key press or by moving the mouse."""
    proc = session.start("/s")
    try:
        wine_session.wait_for(lambda: session.xvfb.shows_window(SAVER_TITLE),
                         "the full-screen window")
        previous = [None]
        seen = {}

        def painted_and_moving():
            image = session.screenshot()
            shares = colour_shares(image)
            seen.update(shares)
            moving = previous[0] is not None and previous[0] != image.data
            previous[0] = image.data
            return moving and shares["red"] > 0.2 and shares["blue"] > 0.02

        try:
            wine_session.wait_for(painted_and_moving,
                             "the aurora in the data file's colours, animating")
        except wine_session.HarnessError as error:
            return [f"/s: {error} (last shares of the screen: {seen})"]
        problems = []
        if seen["green"] > 0.005:
            problems.append(f"/s: green covers {seen['green']:.1%} of the screen, though the data "
                            "file holds no green (its colours were not used)")
        if proc.poll() is not None:
            return problems + [f"/s ended by itself with status {proc.returncode}"]

        if end_with == "key":
            x.key("space")
        else:
            # The first movement may be taken as where the mouse already was.
            for point in ((200, 200), (600, 500), (300, 650)):
                x.move(*point)
                try:
                    wine_session.wait_for(lambda: ended(proc), "", timeout=5)
                    break
                except wine_session.HarnessError:
                    continue
        try:
            status = wine_session.wait_for(lambda: ended(proc),
                                      f"the end of /s on a {end_with}")[0]
        except wine_session.HarnessError as error:
            return problems + [str(error)]
        if status != 0:
            problems.append(f"/s ended on a {end_with} with status {status}, not 0")
        return problems
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def check_settings(session: Session, x: XInput, *arguments: str) -> list:
    """Starts the settings dialog, finds the data file's colours painted as swatches, presses
    its OK."""
    what = " ".join(arguments) or "no arguments"
    proc = session.start(*arguments)
    try:
        wine_session.wait_for(lambda: session.xvfb.shows_window(SETTINGS_TITLE),
                 f"the settings dialog ({what})")

        def swatches_painted():
            image = session.screenshot()
            found = {SKY: 0, CURTAIN: 0}
            for y in range(0, image.height, 2):
                for xx in range(0, image.width, 2):
                    pixel = image.pixel(xx, y)
                    if pixel in found:
                        found[pixel] += 1
            return all(count > 50 for count in found.values())

        try:
            wine_session.wait_for(swatches_painted, f"the data file's colours as swatches ({what})")
        except wine_session.HarnessError as error:
            return [str(error)]
        # The dialog is centred and OK is its default button: Return over the dialog.
        x.move(512, 384)
        x.key("Return")
        try:
            status = wine_session.wait_for(lambda: ended(proc),
                                      f"the end of the settings ({what}) on OK")[0]
        except wine_session.HarnessError as error:
            return [str(error)]
        return [] if status == 0 else [f"settings ({what}) ended with status {status}, not 0"]
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--template", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = Path(args.work).resolve() / "aurora_saver"
    if work.exists():
        shutil.rmtree(work)
    prefix = work / "prefix"
    wine_session.copy_prefix(Path(args.template), prefix)
    shots = work / "shots"
    shots.mkdir(parents=True)

    windows = wine_session.win_to_unix(prefix, "C:\\windows")
    shutil.copy2(wine_session.win_to_unix(prefix, r"C:\e2e\bin\aurora.scr"), windows / "Aurora.scr")
    data = wine_session.win_to_unix(prefix, r"C:\ProgramData") / "Tarrowby" / "Lumenvault" \
        / "Aurora"
    data.mkdir(parents=True)
    (data / "Aurora.dat").write_bytes(DATA_FILE.encode("ascii"))

    problems = []
    xvfb = wine_session.Xvfb()
    x = None
    try:
        x = XInput(xvfb.display)
        session = Session(prefix, xvfb, shots)
        problems += check_full_screen(session, x, "key")
        problems += check_full_screen(session, x, "mouse movement")
        problems += check_settings(session, x, "/c")
        problems += check_settings(session, x)
    finally:
        if x is not None:
            x.close()
        wine_session.stop_wineserver(prefix, wait=False)
        xvfb.stop()
    for problem in problems:
        print(f"FAIL: {problem}")
    if problems:
        print(f"screenshots in {shots}")
        return 1
    print("aurora_saver: /s painted in the data file's colours and ended on a key and on a mouse "
          "movement; /c and no arguments showed the swatches and ended on OK")
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    wine_session.exit_with(main, "FAIL")
