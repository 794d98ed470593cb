#!/usr/bin/env bash
# Packs the build as a Debian package in a temporary folder, checks the
# dependencies that dpkg-shlibdeps can't find (a Japanese font, Qt's
# translations) and that lintian reports no errors; its other findings are
# printed.
# Usage: check_package.sh BUILD_DIR/CPackConfig.cmake
set -euo pipefail
config=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack --config "$config" -G DEB -B "$out" >/dev/null
debs=("$out"/velmora_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single package in $out"; exit 1; }
deb=${debs[0]}

depends=$(dpkg-deb -f "$deb" Depends)
for wanted in 'fonts-noto-cjk | fonts-ipafont-gothic | fonts-japanese-gothic' qt6-translations-l10n libqt6widgets6; do
    case ", $depends," in
    *", $wanted"[\ ,]*) ;;
    *) echo "FAIL: Depends has no $wanted: $depends"; exit 1 ;;
    esac
done

# As root lintian still checks the package; it says so once.
if ! lintian --fail-on error --tag-display-limit 0 "$deb"; then
    echo "FAIL: lintian reports errors"
    exit 1
fi
echo "OK: $(basename "$deb") depends on $depends; no lintian errors"
