# Installs the Debian packages named in the arguments that are not installed yet.
velmora_install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

VELMORA_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libboost-regex-dev libboost-dev
    libgtest-dev libbenchmark-dev fonts-noto-cjk qt6-translations-l10n libcli11-dev libxxhash-dev
    libsimdjson-dev pybind11-dev python3-dev)
VELMORA_TEST_PACKAGES=(xvfb xauth dbus-daemon at-spi2-core python3 python3-xlib openbox desktop-file-utils appstream parallel libglib2.0-bin
    lintian dpkg-dev file openssh-server openssh-client rsync python3-pytest python3-dask python3-distributed
    python3-pip python3-venv python3-setuptools python3-wheel)
# Debian packages made with `cpack -G DEB`: dpkg-shlibdeps finds the dependencies.
VELMORA_PACKAGE_PACKAGES=(dpkg-dev file)
# Real dictionaries and texts for bench/real_data.sh (benchmarks only).
VELMORA_BENCH_DATA_PACKAGES=(mecab-ipadic manpages-ja manpages-ja-dev wamerican linux-doc-6.1)
# The peers of bench/compare_peers.sh: the aho-corasick 0.7 crate and the memchr that
# aho-corasick 1.1.3 takes, as Rust sources (benchmarks only).
VELMORA_PEER_PACKAGES=(librust-aho-corasick-dev librust-memchr-dev time)
# A user's session with the window under X for bench/window_session.py.
VELMORA_SESSION_PACKAGES=(xvfb xauth openbox python3-xlib xdotool xclip imagemagick)
