#!/usr/bin/python3
"""Starts the built program, closes its window the way a window manager's
close box does, and checks that it exits with status 0 and leaves velmora.ini
beside itself with both combo box sections.

Usage: xvfb-run -a /usr/bin/python3 close_window.py path/to/velmora

The X display is the one in DISPLAY (xvfb-run sets it); the program is run
from a copy in a temporary folder, so its settings file lands there too.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xatom, display, error, protocol

TITLE = "Velmora 1.0"
WINDOW_TIMEOUT = 20.0
EXIT_TIMEOUT = 20.0


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
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    if not os.access(program, os.X_OK):
        fail("not an executable: " + program)
    if not os.environ.get("DISPLAY"):
        fail("no DISPLAY: run this under xvfb-run -a")

    try:
        disp = display.Display()
    except Exception as e:  # noqa: BLE001 - any failure to connect ends the test
        fail("cannot open display %r: %s" % (os.environ.get("DISPLAY"), e))

    with tempfile.TemporaryDirectory(prefix="velmora-e2e-") as folder:
        copy = os.path.join(folder, "velmora")
        shutil.copy2(program, copy)
        settings = os.path.join(folder, "velmora.ini")
        log_path = os.path.join(folder, "output.log")

        env = dict(os.environ)
        env["QT_QPA_PLATFORM"] = "xcb"  # never the offscreen one a test run may have set
        with open(log_path, "wb") as log:
            proc = subprocess.Popen([copy], cwd=folder, env=env, stdout=log, stderr=subprocess.STDOUT,
                                    stdin=subprocess.DEVNULL)
        try:
            window = None
            deadline = time.monotonic() + WINDOW_TIMEOUT
            while time.monotonic() < deadline:
                if proc.poll() is not None:
                    fail("the program ended before its window appeared, status %d" % proc.returncode, log_path)
                window = find_window(disp, proc.pid)
                if window is not None:
                    break
                time.sleep(0.1)
            if window is None:
                fail("no window titled %r within %.0f s" % (TITLE, WINDOW_TIMEOUT), log_path)
            if os.path.exists(settings):
                fail("the settings file was written before the window was closed", log_path)

            # Let the program's event loop take over the freshly mapped window.
            time.sleep(0.5)
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
            disp.close()

        if not os.path.exists(settings):
            fail("no velmora.ini beside the executable after closing", log_path)
        found = sections(settings)
        for name in ("Before", "After"):
            if name not in found:
                fail("velmora.ini has no [%s] section: %r" % (name, found), log_path)
            if "EditControl" not in section_keys(settings, name):
                fail("[%s] of velmora.ini has no EditControl" % name, log_path)
        if found.index("Before") > found.index("After"):
            fail("[Before] is not written before [After]: %r" % found, log_path)
        stray = [n for n in os.listdir(folder) if n not in ("velmora", "velmora.ini", "output.log")]
        if stray:
            fail("unexpected files beside the executable: %r" % stray, log_path)

    print("OK: window %r closed, status 0, velmora.ini has [Before] and [After]" % TITLE)
    return 0


if __name__ == "__main__":
    sys.exit(main())
