# Shared by play.sh and test.sh: installs the Debian packages the build needs, when missing.
set -euo pipefail

FLURBER_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

flurber_packages() {
    # The base toolchain and libraries, then what the asset pack and tests list.
    echo build-essential cmake ninja-build pkg-config libsdl2-dev libsdl2-ttf-dev libfluidsynth-dev \
        timgm6mb-soundfont fonts-dejavu-core libgtest-dev libbenchmark-dev
    grep -v '^[[:space:]]*\(#\|$\)' "$FLURBER_ROOT/scripts/debian-packages.txt" 2>/dev/null || true
}

flurber_install() {
    local wanted missing=()
    wanted=$(flurber_packages "$@" | tr ' ' '\n' | sort -u)
    for package in $wanted $*; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The Debian archive this machine's apt is set up to use: the first URIs of debian.sources (deb822),
# else the first deb line of sources.list. Behind a mirror or a proxy that is the one to take.
flurber_debian_archive() {
    local sources=${FLURBER_APT_SOURCES:-/etc/apt} uri=
    if [ -f "$sources/sources.list.d/debian.sources" ]; then
        uri=$(awk 'tolower($1) == "uris:" { print $2; exit }' "$sources/sources.list.d/debian.sources")
    fi
    if [ -z "$uri" ] && [ -f "$sources/sources.list" ]; then
        # deb [option=value ...] URI suite components
        uri=$(sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' \
            "$sources/sources.list" | head -n1)
    fi
    [ -n "$uri" ] || { echo "no Debian archive in $sources/sources.list.d/debian.sources or $sources/sources.list" >&2; return 1; }
    echo "${uri%/}"
}
