#!/usr/bin/env bash
# Builds the Debian package of The Flurber from a clean Release build in build-package/ (with
# Debian's hardening flags) and prints the path of the .deb as its last line.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
flurber_install dpkg-dev file
build=$FLURBER_ROOT/build-package
jobs=$(nproc)

rm -rf "$build"
debian_flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
# CMake reads CXXFLAGS and LDFLAGS from the environment, but not CPPFLAGS.
CXXFLAGS="$(debian_flags CPPFLAGS) $(debian_flags CXXFLAGS)" LDFLAGS=$(debian_flags LDFLAGS) \
    cmake -S "$FLURBER_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_BINDIR=games -DFLURBER_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(find "$build" -maxdepth 1 -name 'flurber_*.deb' | head -n1)
[ -n "$deb" ] || { echo "no package was made" >&2; exit 1; }
echo "$deb"
