#!/usr/bin/env bash
# Packs the build as its three Debian packages in a temporary folder and
# checks their dependencies: the window's brings the other two at its own
# version, a Japanese font, Qt's translations and Qt, and recommends a colour
# emoji font; the command and the Python module need neither Qt nor fonts, and
# the module needs the Python it was built for. Then that lintian reports
# neither errors nor warnings; its other findings are printed.
# Usage: check_package.sh BUILD_DIR/CPackConfig.cmake
set -euo pipefail
config=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$config" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack"; }
debs=()
for name in velmora velmora-replace python3-velmora; do
    deb=("$out/${name}_"*.deb)
    [ ${#deb[@]} = 1 ] && [ -f "${deb[0]}" ] || fail "no single package $name in $out"
    debs+=("${deb[0]}")
done
field() { dpkg-deb -f "$out/$1_"*.deb "$2"; }
# Whether the comma-separated list $1 has the entry $2 (an entry, or its start).
has() { case ", $1," in *", $2"[\ ,]*) true ;; *) false ;; esac; }

version=$(field velmora Version)
depends=$(field velmora Depends)
for wanted in "velmora-replace (= $version)" "python3-velmora (= $version)" \
    'fonts-noto-cjk | fonts-ipafont-gothic | fonts-japanese-gothic' qt6-translations-l10n libqt6widgets6; do
    has "$depends" "$wanted" || fail "velmora Depends has no $wanted: $depends"
done
[ "$(field velmora Recommends)" = fonts-noto-color-emoji ] || fail "velmora does not recommend fonts-noto-color-emoji"
for name in velmora-replace python3-velmora; do
    headless=$(field $name Depends)
    case ,$headless in
    *[\ ,]libqt* | *[\ ,]qt6* | *[\ ,]fonts-*) fail "$name Depends on Qt or fonts: $headless" ;;
    esac
done
headless=$(field python3-velmora Depends)
has "$headless" "python3 (<<" || fail "python3-velmora Depends on no Python version: $headless"

# As root lintian still checks the packages; it says so once.
lintian --fail-on error,warning --tag-display-limit 0 "${debs[@]}" || fail "lintian reports errors or warnings"
for deb in "${debs[@]}"; do
    echo "OK: $(basename "$deb") depends on $(dpkg-deb -f "$deb" Depends)"
done
echo "OK: no lintian errors or warnings"
