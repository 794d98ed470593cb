#!/usr/bin/python3
"""A user's session with the window in a real X session, timed from outside:
paste a text through the clipboard, Replace in both modes, copy the result
out, type and page through it; and `velmora-replace` doing the same job as a
whole process on the same machine in the same run.

Usage: xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 window_session.py \\
           VELMORA VELMORA_REPLACE DICT TEXT [SCREENSHOT_DIR]

DICT is a dictionary file the window and velmora-replace both read: UTF-16LE
with FF FE (the window asks for a UTF-8 one to be saved again in that form),
TEXT a UTF-8 text. The window's event loop is probed
with _NET_WM_PING every 20 ms: a step's time runs from its key or click until
the window answers again. The clipboard is served by xclip (paste) and read by
xclip (copy-out). Needs openbox, xdotool, xclip; imagemagick's `import` for
the screenshots.
"""

import os
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xatom, display, protocol

TITLE = "Velmora 1.0"


class Window:
    def __init__(self, disp, pid):
        self.disp = disp
        self.pid = pid
        self.root = disp.screen().root
        self.ping = disp.intern_atom("_NET_WM_PING")
        self.protocols = disp.intern_atom("WM_PROTOCOLS")
        self.root.change_attributes(event_mask=X.StructureNotifyMask)
        self.window = None
        self.serial = 1000

    def find(self, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            out = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(self.pid),
                                  "--name", TITLE], capture_output=True, text=True, timeout=timeout)
            ids = out.stdout.split()
            if ids:
                self.window = self.disp.create_resource_object("window", int(ids[0]))
                return
            time.sleep(0.1)
        sys.exit("no window")

    def answers_within(self, seconds):
        """Sends one ping; True when the answer comes within `seconds`."""
        self.serial += 1
        serial = self.serial
        event = protocol.event.ClientMessage(window=self.window, client_type=self.protocols,
                                             data=(32, [self.ping, serial, self.window.id, 0, 0]))
        self.window.send_event(event, event_mask=X.NoEventMask)
        self.disp.flush()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            while self.disp.pending_events():
                e = self.disp.next_event()
                if (e.type == X.ClientMessage and e.client_type == self.protocols
                        and e.data[1][0] == self.ping and e.data[1][1] == serial):
                    return True
            time.sleep(0.002)
        return False

    def wait_answering(self, start, timeout=120):
        """Seconds from `start` until the window answers a ping within 20 ms
        (a ping that waits longer is sent again)."""
        deadline = start + timeout
        while time.monotonic() < deadline:
            if self.answers_within(0.02):
                return time.monotonic() - start
        sys.exit("the window did not answer within %d s" % timeout)

    def geometry(self):
        g = self.window.get_geometry()
        pos = self.window.translate_coords(self.root, 0, 0)
        return -pos.x, -pos.y, g.width, g.height


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def click(win, x, y):
    left, top, _, _ = win.geometry()
    xdotool("mousemove", "--sync", left + x, top + y, "click", "1")


def timed(win, action):
    start = time.monotonic()
    action()
    return win.wait_answering(start)


def peak_rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0


def fastest_cli(cli, dictionary, text, gloss, out_path):
    best = None
    for _ in range(3):
        args = ["/usr/bin/time", "-f", "%M", cli, "-q", "-d", dictionary] + (["--gloss"] if gloss else []) + [text]
        start = time.monotonic()
        with open(out_path, "wb") as out:
            done = subprocess.run(args, stdout=out, stderr=subprocess.PIPE, check=True)
        seconds = time.monotonic() - start
        rss = int(done.stderr.split()[-1]) / 1024
        if best is None or seconds < best[0]:
            best = (seconds, rss)
    return best


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    program, cli, dictionary, text = (os.path.abspath(a) for a in sys.argv[1:5])
    shots = sys.argv[5] if len(sys.argv) > 5 else None
    work = tempfile.mkdtemp(prefix="velmora-session-")
    expected = os.path.join(work, "expected.txt")

    print("velmora-replace, fastest of 3, whole process:")
    for gloss in (False, True):
        seconds, rss = fastest_cli(cli, dictionary, text, gloss, expected + (".gloss" if gloss else ""))
        print("  %-8s %6.3f s  %6.1f MB" % ("gloss" if gloss else "replace", seconds, rss))

    disp = display.Display()
    wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    app = subprocess.Popen([program, dictionary], cwd=work, env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    try:
        win = Window(disp, app.pid)
        win.find()
        win.wait_answering(time.monotonic())
        time.sleep(1)
        win.wait_answering(time.monotonic())
        _, _, width, height = win.geometry()
        print("window %d x %d; after the dictionary: %.0f MB resident" % (width, height, peak_rss_mb(app.pid)))
        text_area = (width - 60, height - 60)
        # The Replace button's middle: template (341, 72) of 366 x 301 units,
        # the window's size when it opens.
        replace_button = (width * 341 // 366, height * 72 // 301)

        def shot(name):
            if shots:
                subprocess.run(["import", "-window", "root", os.path.join(shots, name + ".png")], check=False)

        clip = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", text], stdout=subprocess.DEVNULL)
        clip.wait()
        click(win, *text_area)
        win.wait_answering(time.monotonic())
        results = []
        results.append(("paste (Ctrl+V)", timed(win, lambda: xdotool("key", "ctrl+v"))))
        shot("1-pasted")

        # The time runs from Yes (Return on the question).
        click(win, *replace_button)
        time.sleep(0.7)
        results.append(("Replace, from Yes", timed(win, lambda: xdotool("key", "Return"))))
        shot("2-replaced")

        click(win, *text_area)
        win.wait_answering(time.monotonic())
        start = time.monotonic()
        xdotool("key", "ctrl+a", "ctrl+c")
        results.append(("copy-out (Ctrl+A Ctrl+C)", win.wait_answering(start)))
        copied = os.path.join(work, "copied.txt")
        with open(copied, "wb") as out:
            subprocess.run(["xclip", "-o", "-selection", "clipboard"], stdout=out, check=True)
        results.append(("  clipboard read whole", time.monotonic() - start))
        with open(copied, "rb") as a, open(expected, "rb") as b:
            same = a.read() == b.read()
        print("copied text %s velmora-replace's output" % ("equals" if same else "DIFFERS FROM"))
        first_peak = peak_rss_mb(app.pid)

        xdotool("key", "ctrl+End")
        win.wait_answering(time.monotonic())
        keys = [timed(win, lambda k=k: xdotool("key", k)) for k in ["a", "b", "c", "Return", "Prior", "Prior",
                                                                    "Up", "Up", "Next", "Down", "BackSpace"]]
        xdotool("key", "ctrl+Home")
        win.wait_answering(time.monotonic())
        keys += [timed(win, lambda k=k: xdotool("key", k)) for k in ["Next", "Next", "Down", "x", "BackSpace"]]
        results.append(("slowest of %d keys" % len(keys), max(keys)))
        shot("3-typed")

        # Gloss: the second radio button by its access key, then the text
        # pasted again and replaced.
        xdotool("key", "alt+b")
        subprocess.run(["xclip", "-selection", "clipboard", "-i", text], stdout=subprocess.DEVNULL, check=True)
        click(win, *text_area)
        xdotool("key", "ctrl+a")
        results.append(("paste over the result", timed(win, lambda: xdotool("key", "ctrl+v"))))
        click(win, *replace_button)
        time.sleep(0.7)
        results.append(("gloss Replace, from Yes", timed(win, lambda: xdotool("key", "Return"))))
        shot("4-glossed")
        click(win, *text_area)
        start = time.monotonic()
        xdotool("key", "ctrl+a", "ctrl+c")
        results.append(("gloss copy-out", win.wait_answering(start)))
        with open(copied, "wb") as out:
            subprocess.run(["xclip", "-o", "-selection", "clipboard"], stdout=out, check=True)
        results.append(("  clipboard read whole", time.monotonic() - start))
        with open(copied, "rb") as a, open(expected + ".gloss", "rb") as b:
            same = a.read() == b.read()
        print("copied gloss %s velmora-replace's output" % ("equals" if same else "DIFFERS FROM"))

        print("window:")
        for name, seconds in results:
            print("  %-28s %6.3f s" % (name, seconds))
        print("  peak resident memory, paste + Replace + copy-out  %6.1f MB" % first_peak)
        print("  peak resident memory, whole session               %6.1f MB" % peak_rss_mb(app.pid))
    finally:
        app.kill()
        app.wait()
        wm.terminate()
        wm.wait()


if __name__ == "__main__":
    main()
