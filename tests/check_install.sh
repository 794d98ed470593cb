#!/usr/bin/env bash
# Installs the build into an empty DESTDIR and checks that exactly the files
# named were installed under the prefix, nothing elsewhere, and that the
# programs in bin/ can be run. Where the window and its menu entry are among
# them: the installed window, run in place by this user (root on the test
# machines), keeps its settings in ~/.config and writes nothing beside
# itself; the menu entry has its keys and claims no text files (gio).
# Usage: check_install.sh CMAKE BUILD_DIR FILE...   (FILE relative to the prefix)
set -euo pipefail
cmake=$1 build=$2
shift 2
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/destdir
prefix=/opt/velmora
fail() {
    echo "FAIL: $*"
    exit 1
}

DESTDIR="$root" "$cmake" --install "$build" --prefix "$prefix" >/dev/null

expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
actual=$(cd "$root" && find . ! -type d | sed "s|^\./${prefix#/}/||" | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "installed files differ (< expected, > installed):"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi
for f in "$@"; do
    case $f in
    bin/*) [ -x "$root$prefix/$f" ] || fail "not executable: $f" ;;
    esac
done
echo "OK: $# files installed under DESTDIR$prefix"

if [ -x "$root$prefix/bin/velmora" ]; then
    "$here/e2e/with_xvfb.py" /usr/bin/python3 "$here/e2e/close_window.py" "$root$prefix/bin/velmora"
fi

applications=$root$prefix/share/applications
if [ -f "$applications/velmora.desktop" ]; then
    for line in 'Type=Application' 'Exec=velmora %F' 'Icon=velmora' 'Terminal=false' 'Categories=Utility;TextTools;'; do
        grep -qxF "$line" "$applications/velmora.desktop" || fail "velmora.desktop has no line $line"
    done
    ! grep -q '^MimeType' "$applications/velmora.desktop" || fail "velmora.desktop claims file types"
    # What a desktop asks after installation: the program for text files,
    # with only this prefix's menu entries known (GIO skips an entry whose
    # program is not on the PATH).
    update-desktop-database "$applications"
    mime=$(env PATH="$root$prefix/bin:$PATH" XDG_DATA_DIRS="$root$prefix/share" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
        XDG_CONFIG_DIRS="$work/config" gio mime text/plain 2>&1)
    case $mime in
    *velmora*) fail "gio mime text/plain names Velmora: $mime" ;;
    esac
    echo "OK: velmora.desktop has its keys; gio mime text/plain: ${mime//$'\n'/ }"
fi
