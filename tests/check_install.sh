#!/usr/bin/env bash
# Installs the build into an empty DESTDIR and checks that exactly the files
# named were installed under the prefix, nothing elsewhere, and that the
# programs in bin/ can be run.
# Usage: check_install.sh CMAKE BUILD_DIR FILE...   (FILE relative to the prefix)
set -euo pipefail
cmake=$1 build=$2
shift 2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=/opt/velmora

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
    bin/*) [ -x "$root$prefix/$f" ] || { echo "not executable: $f"; exit 1; } ;;
    esac
done
echo "OK: $# files installed under DESTDIR$prefix"
