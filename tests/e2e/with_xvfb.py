#!/usr/bin/python3
"""Runs a command on a virtual X server of its own and stops the server after.

Usage: with_xvfb.py COMMAND [ARGS...]

The server picks a free display number itself and writes it once it takes
connections (-displayfd). So runs started together never reach for the same
display, and nothing waits for a ready signal that may come before the wait
starts, as with xvfb-run -a, which then waits for ever.
"""

import os
import signal
import subprocess
import sys


def main():
    command = sys.argv[1:]
    if not command:
        print(__doc__, file=sys.stderr)
        return 2
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    os.close(write_end)
    try:
        # Empty if the server ended first: its end of the pipe closed with it.
        with os.fdopen(read_end) as ready:
            number = ready.readline().strip()
        if not number:
            print("with_xvfb.py: Xvfb ended before taking connections, status %s" % server.wait(),
                  file=sys.stderr)
            return 1
        env = dict(os.environ, DISPLAY=":" + number)
        env.pop("XAUTHORITY", None)  # the server asks for no cookie
        status = subprocess.call(command, env=env)
        return status if status >= 0 else 128 - status
    finally:
        server.send_signal(signal.SIGTERM)
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
