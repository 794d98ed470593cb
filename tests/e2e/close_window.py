#!/usr/bin/python3
"""Starts the program under a window manager (openbox), checks that the
window keeps its minimum outer size of 649 x 479 from the start and after a
move, closes it the way a window manager's close box does, and checks that it
exits with status 0, writes ~/.config/velmora/velmora.ini with both combo box
sections and adds nothing to the program's folder. Then starts it again
several times, each time just after a freshly started window manager (as at a
login), and checks that the window opens at the size it opened at under a
settled one.

Usage: with_xvfb.py /usr/bin/python3 close_window.py [--copy] path/to/velmora

The X display is the one in DISPLAY (with_xvfb.py sets it); HOME is a temporary
folder. With --copy the program runs from a copy in a temporary folder (as a
build copied elsewhere would), otherwise where it stands (as an installed
program, which must not write beside itself even when run by root).
"""

import faulthandler
import os
import shutil
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xatom, Xutil, display, error, protocol

TITLE = "Velmora 1.0"
WINDOW_TIMEOUT = 20.0
EXIT_TIMEOUT = 20.0
SETTLE_TIMEOUT = 5.0
MINIMUM_OUTER = (649, 479)
# Seconds between a window manager's start and the program's, for the first
# shows; openbox is still setting up for about the first second.
FIRST_SHOW_DELAYS = (0.0, 0.2, 0.3, 0.4, 0.5, 0.5, 0.6, 0.7, 0.8, 1.0)
FIRST_SHOW_SETTLE = 1.5
WM_SETTLE = 2.0
# Past this, where the run stands goes to stderr and it ends: a test runner's
# own time limit ends it without a word.
RUN_LIMIT = 270
STARTED = time.monotonic()


def progress(message):
    print("%6.1f s  %s" % (time.monotonic() - STARTED, message), file=sys.stderr, flush=True)


def fail(message, log_path=None):
    print("FAIL: " + message, file=sys.stderr)
    if log_path and os.path.exists(log_path):
        with open(log_path, "rb") as log:
            output = log.read().decode("utf-8", "replace")
        if output:
            print("--- program output ---\n" + output, file=sys.stderr)
    sys.exit(1)


def window_title(disp, window, net_wm_name, utf8_string):
    try:
        prop = window.get_full_property(net_wm_name, utf8_string)
        if prop is not None and prop.value:
            value = prop.value
            return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
        name = window.get_wm_name()
        if isinstance(name, bytes):
            return name.decode("latin-1")
        return name
    except error.XError:
        return None  # the window went away while we looked


def window_pid(window, net_wm_pid):
    try:
        prop = window.get_full_property(net_wm_pid, Xatom.CARDINAL)
        return int(prop.value[0]) if prop is not None and len(prop.value) else None
    except error.XError:
        return None


def find_window(disp, pid):
    """The viewable top-level window titled TITLE that belongs to `pid`."""
    net_wm_name = disp.intern_atom("_NET_WM_NAME")
    net_wm_pid = disp.intern_atom("_NET_WM_PID")
    utf8_string = disp.intern_atom("UTF8_STRING")
    pending = [disp.screen().root]
    while pending:
        parent = pending.pop()
        try:
            children = parent.query_tree().children
        except error.XError:
            continue
        for window in children:
            pending.append(window)  # a window manager may have reparented it
            if window_title(disp, window, net_wm_name, utf8_string) != TITLE:
                continue
            owner = window_pid(window, net_wm_pid)
            if owner is not None and owner != pid:
                continue
            try:
                if window.get_attributes().map_state != X.IsViewable:
                    continue
            except error.XError:
                continue
            return window
    return None


def send_delete_window(disp, window):
    wm_protocols = disp.intern_atom("WM_PROTOCOLS")
    wm_delete_window = disp.intern_atom("WM_DELETE_WINDOW")
    protocols = window.get_wm_protocols() or []
    if wm_delete_window not in protocols:
        return False
    event = protocol.event.ClientMessage(
        window=window,
        client_type=wm_protocols,
        data=(32, [wm_delete_window, X.CurrentTime, 0, 0, 0]),
    )
    # No event mask: the event goes to the client that created the window.
    window.send_event(event, event_mask=X.NoEventMask)
    disp.flush()
    return True


def start_window_manager(disp, wait=True):
    """Starts openbox and, with `wait`, waits until it manages the screen."""
    progress("starting openbox")
    wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait:
        return wm
    check = disp.intern_atom("_NET_SUPPORTING_WM_CHECK")
    deadline = time.monotonic() + WINDOW_TIMEOUT
    while time.monotonic() < deadline:
        if wm.poll() is not None:
            fail("openbox ended at start, status %d" % wm.returncode)
        prop = disp.screen().root.get_full_property(check, Xatom.WINDOW)
        if prop is not None and len(prop.value):
            return wm
        time.sleep(0.1)
    wm.kill()
    fail("openbox did not take the screen within %.0f s" % WINDOW_TIMEOUT)


def stop_window_manager(wm):
    """Ends openbox. One still starting may not act on SIGTERM, so it gets
    a few seconds before it is killed."""
    wm.terminate()
    try:
        wm.wait(timeout=5)
    except subprocess.TimeoutExpired:
        progress("openbox ignored SIGTERM; killing it")
        wm.kill()
        wm.wait()


def frame_extents(disp, window):
    """(left, right, top, bottom) of the window manager's frame, or None."""
    prop = window.get_full_property(disp.intern_atom("_NET_FRAME_EXTENTS"), Xatom.CARDINAL)
    return tuple(int(v) for v in prop.value) if prop is not None and len(prop.value) == 4 else None


def outer_minimum(disp, window):
    """The minimum outer size the window asks for: its minimum client size
    (WM_NORMAL_HINTS) plus the frame, or None while either is unknown."""
    extents = frame_extents(disp, window)
    hints = window.get_wm_normal_hints()
    if extents is None or hints is None or not hints.flags & Xutil.PMinSize:
        return None
    left, right, top, bottom = extents
    return (hints.min_width + left + right, hints.min_height + top + bottom)


def settled_minimum(disp, window, log_path):
    deadline = time.monotonic() + SETTLE_TIMEOUT
    minimum = None
    while time.monotonic() < deadline:
        minimum = outer_minimum(disp, window)
        if minimum == MINIMUM_OUTER:
            return minimum
        time.sleep(0.1)
    fail("the minimum outer size is %r, not %r" % (minimum, MINIMUM_OUTER), log_path)


def outer_size_after_shrinking(disp, window):
    """Asks for a 100 x 100 client area and returns the outer size granted."""
    window.configure(width=100, height=100)
    disp.sync()
    time.sleep(0.5)
    geometry = window.get_geometry()
    left, right, top, bottom = frame_extents(disp, window)
    return (geometry.width + left + right, geometry.height + top + bottom)


def check_minimum_size(disp, window, log_path):
    """The minimum holds as soon as the window is up, and after a move."""
    settled_minimum(disp, window, log_path)
    size = outer_size_after_shrinking(disp, window)
    if size != MINIMUM_OUTER:
        fail("shrunk to %r before any move, expected %r" % (size, MINIMUM_OUTER), log_path)
    window.configure(x=120, y=90)
    disp.sync()
    time.sleep(0.5)
    if outer_minimum(disp, window) != MINIMUM_OUTER:
        fail("the minimum outer size changed with a move: %r" % (outer_minimum(disp, window),), log_path)
    size = outer_size_after_shrinking(disp, window)
    if size != MINIMUM_OUTER:
        fail("shrunk to %r after a move, expected %r" % (size, MINIMUM_OUTER), log_path)


def sections(path):
    names = []
    with open(path, "rb") as f:
        for raw in f.read().split(b"\n"):
            line = raw.strip()
            if line.startswith(b"[") and b"]" in line:
                names.append(line[1:line.index(b"]")].decode("utf-8", "replace"))
    return names


def section_keys(path, section):
    keys = []
    current = None
    with open(path, "rb") as f:
        for raw in f.read().split(b"\n"):
            line = raw.strip().decode("utf-8", "replace")
            if line.startswith("["):
                current = line[1:line.find("]")]
            elif current == section and "=" in line:
                keys.append(line.split("=", 1)[0].strip())
    return keys


def main():
    args = sys.argv[1:]
    copy = args[:1] == ["--copy"]
    if copy:
        args = args[1:]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    faulthandler.dump_traceback_later(RUN_LIMIT, exit=True)
    program = os.path.abspath(args[0])
    if not os.access(program, os.X_OK):
        fail("not an executable: " + program)
    if not os.environ.get("DISPLAY"):
        fail("no DISPLAY: run this under with_xvfb.py")

    try:
        disp = display.Display()
    except Exception as e:  # noqa: BLE001 - any failure to connect ends the test
        fail("cannot open display %r: %s" % (os.environ.get("DISPLAY"), e))

    wm = start_window_manager(disp)
    time.sleep(WM_SETTLE)  # a settled desktop, for the size every start is held to
    try:
        size = run(disp, program, copy)
    finally:
        stop_window_manager(wm)
    try:
        check_first_shows(disp, program, size)
    finally:
        disp.close()

    print("OK: window %r kept its minimum %r, closed, status 0, ~/.config/velmora/velmora.ini has [Before] "
          "and [After], nothing new beside %s (user id %d); opened at %r in every start after a fresh "
          "window manager" % (TITLE, MINIMUM_OUTER, program, os.geteuid(), size))
    return 0


def client_size(window):
    geometry = window.get_geometry()
    return (geometry.width, geometry.height)


def check_first_shows(disp, program, expected):
    """The window opens, at `expected`, however soon after the window manager
    it starts: a window manager that is starting may drop a request to map a
    window, and while it builds its frames, the frame a program measures may
    be smaller than the window itself."""
    for delay in FIRST_SHOW_DELAYS:
        wm = start_window_manager(disp, wait=False)
        try:
            time.sleep(delay)
            with tempfile.TemporaryDirectory(prefix="velmora-e2e-") as folder:
                log_path = os.path.join(folder, "output.log")
                proc = start_program(program, folder, log_path)
                try:
                    window = wait_for_window(disp, proc, log_path)
                    time.sleep(FIRST_SHOW_SETTLE)
                    size = client_size(window)
                    if size != expected:
                        fail("started %.1f s after the window manager, the window opened at %r, not %r"
                             % (delay, size, expected), log_path)
                finally:
                    proc.kill()
                    proc.wait()
        finally:
            stop_window_manager(wm)


def start_program(program, folder, log_path):
    """The program with its home in `folder`, on the X display."""
    home = os.path.join(folder, "home")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ)
    env["QT_QPA_PLATFORM"] = "xcb"  # never the offscreen one a test run may have set
    env["HOME"] = home
    env.pop("XDG_CONFIG_HOME", None)
    with open(log_path, "wb") as log:
        progress("starting the program")
        return subprocess.Popen([program], cwd=folder, env=env, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL)


def wait_for_window(disp, proc, log_path):
    deadline = time.monotonic() + WINDOW_TIMEOUT
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            fail("the program ended before its window appeared, status %d" % proc.returncode, log_path)
        window = find_window(disp, proc.pid)
        if window is not None:
            progress("window of process %d is up" % proc.pid)
            return window
        time.sleep(0.1)
    fail("no window titled %r within %.0f s" % (TITLE, WINDOW_TIMEOUT), log_path)


def run(disp, program, copy):
    with tempfile.TemporaryDirectory(prefix="velmora-e2e-") as folder:
        if copy:
            os.mkdir(os.path.join(folder, "bin"))
            program = shutil.copy2(program, os.path.join(folder, "bin", "velmora"))
        program_folder = os.path.dirname(program)
        beside = sorted(os.listdir(program_folder))
        settings = os.path.join(folder, "home", ".config", "velmora", "velmora.ini")
        log_path = os.path.join(folder, "output.log")
        proc = start_program(program, folder, log_path)
        try:
            window = wait_for_window(disp, proc, log_path)
            if os.path.exists(settings):
                fail("the settings file was written before the window was closed", log_path)

            size = client_size(window)
            check_minimum_size(disp, window, log_path)
            if not send_delete_window(disp, window):
                fail("the window does not take WM_DELETE_WINDOW", log_path)

            try:
                status = proc.wait(timeout=EXIT_TIMEOUT)
            except subprocess.TimeoutExpired:
                fail("the program did not exit within %.0f s of the close request" % EXIT_TIMEOUT, log_path)
            if status != 0:
                fail("the program exited with status %d" % status, log_path)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()

        if not os.path.exists(settings):
            fail("no ~/.config/velmora/velmora.ini after closing", log_path)
        found = sections(settings)
        for name in ("Before", "After"):
            if name not in found:
                fail("velmora.ini has no [%s] section: %r" % (name, found), log_path)
            if "EditControl" not in section_keys(settings, name):
                fail("[%s] of velmora.ini has no EditControl" % name, log_path)
        if found.index("Before") > found.index("After"):
            fail("[Before] is not written before [After]: %r" % found, log_path)
        if sorted(os.listdir(program_folder)) != beside:
            fail("the program's folder changed: %r, was %r" % (sorted(os.listdir(program_folder)), beside),
                 log_path)
    return size


if __name__ == "__main__":
    sys.exit(main())
