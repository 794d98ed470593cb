#!/bin/sh
# Runs a program as a screen reader's desktop would: a D-Bus session with the
# accessibility bus, a virtual X server, and Qt's bridge on without a reader.
# Usage: with_atspi.sh PROGRAM [ARGS...]
[ -n "$WITH_ATSPI_INNER" ] || exec env WITH_ATSPI_INNER=1 dbus-run-session -- "$0" "$@"
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$(dirname "$0")/with_xvfb.py" "$@"
status=$?
kill "$launcher" 2>/dev/null
exit $status
