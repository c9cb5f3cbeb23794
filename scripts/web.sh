#!/usr/bin/env bash
# Builds The Flurber for the browser: one static page in build-web/page/ that any web host serves.
# SDL2, freetype and SDL2_ttf are built for Emscripten from Debian's own source packages, those of
# one Debian release whatever the host's ($FLURBER_WEB_SUITE, bookworm unless set), and kept in the
# cache (build-web-deps/, or $FLURBER_WEB_CACHE) for the next build; FluidSynth comes prebuilt as
# WebAssembly from the npm package js-synthesizer.
# The asset pack comes from the desktop build's run folder when $FLURBER_WEB_ASSETS names one;
# otherwise the page's build makes it with the machine's own compilers. $FLURBER_WEB_BUILD moves
# build-web/ elsewhere.
# Usage: bash scripts/web.sh [--deps-only] [--serve [PORT]]
#   --deps-only  builds the cache and stops
#   --serve      then serves build-web/page/ on 127.0.0.1 (a free port unless given) and prints
#                its address, until Ctrl+C
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

JS_SYNTHESIZER_VERSION=1.13.0
FLUIDSYNTH_JS=libfluidsynth-2.4.6.js

web_packages() {
    # dpkg-dev unpacks the source packages; npm only where the machine's node came without one.
    echo emscripten cmake ninja-build python3 dpkg-dev gzip timgm6mb-soundfont fonts-dejavu-core
    command -v npm >/dev/null || echo npm
}

# Emscripten 3.1.6 finds acorn only through Debian's node folder when another node is first on PATH.
export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs

cache=${FLURBER_WEB_CACHE:-$FLURBER_ROOT/build-web-deps}
build=${FLURBER_WEB_BUILD:-$FLURBER_ROOT/build-web}
prefix=$cache/prefix

# The page takes SDL2, freetype and SDL2_ttf from one release's sources whatever the host's, so it is
# the same page whichever Debian builds it: bookworm's (SDL2 2.26.5, SDL2_ttf 2.20.1, freetype
# 2.12.1), which build with the Emscripten of bookworm (3.1.6), trixie (3.1.69) and forky (6.0.5).
# Testing's sources move under us: forky's SDL2 is sdl2-compat over SDL 3, and the libsdl2 source
# its index named was not there to fetch.
suite=${FLURBER_WEB_SUITE:-bookworm}

# deb-src lines of our own, in an apt state of our own: the system's apt lists stay untouched.
apt_private() {
    # Its downloads go into our cache, which apt's own user may not reach: apt says so unless told.
    apt-get -o APT::Sandbox::User=root \
        -o Dir::State::Lists="$cache/apt/lists" -o Dir::Etc::SourceList=/dev/null \
        -o Dir::Etc::SourceParts="$cache/apt/parts" -o Dir::Cache="$cache/apt/cache" \
        -o DPkg::Lock::Timeout=900 "$@"
}

fetch_sources() {
    [ -f "$cache/apt/updated" ] && return 0
    mkdir -p "$cache/apt/lists/partial" "$cache/apt/parts" "$cache/apt/cache/archives/partial"
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    cat >"$cache/apt/parts/debian-src.sources" <<EOF
Types: deb-src
URIs: $(flurber_debian_archive)
Suites: $suite
Components: main
Signed-By: $keyring
EOF
    apt_private update -qq
    touch "$cache/apt/updated"
}

# Unpacks a Debian source package into $cache/src/ once and sets source_folder to its folder. Not
# to be called inside $(...): a failure must end the script.
unpack_source() {
    local package=$1
    source_folder=$(find "$cache/src" -maxdepth 1 -type d -name "$package-[0-9]*" 2>/dev/null |
        head -n 1 || true)
    [ -n "$source_folder" ] && return 0
    fetch_sources
    mkdir -p "$cache/src"
    if ! (cd "$cache/src" && apt_private source -qq "$package") >"$cache/src/$package.log" 2>&1; then
        tail -n 20 "$cache/src/$package.log" >&2
        echo "apt-get source $package from $suite failed (all of it in $cache/src/$package.log)" >&2
        exit 1
    fi
    source_folder=$(find "$cache/src" -maxdepth 1 -type d -name "$package-[0-9]*" | head -n 1)
    [ -n "$source_folder" ] || { echo "apt-get source $package unpacked no $package-* folder" >&2; exit 1; }
}

# emcmake cmake + build + install of one source folder into the prefix, once.
build_dep() {
    local name=$1 source=$2
    shift 2
    [ -f "$cache/built-$name" ] && return 0
    echo "== $name for Emscripten ($(basename "$source"))"
    rm -rf "$cache/obj/$name"
    mkdir -p "$cache/obj"
    # CMake 4 refuses the old minimum versions that these sources ask for, unless told.
    emcmake cmake -S "$source" -B "$cache/obj/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_POLICY_VERSION_MINIMUM=3.5 \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_FIND_ROOT_PATH="$prefix" "$@" >"$cache/obj/$name.log" 2>&1 ||
        { tail -n 30 "$cache/obj/$name.log" >&2; exit 1; }
    cmake --build "$cache/obj/$name" -j 2 >>"$cache/obj/$name.log" 2>&1 &&
        cmake --install "$cache/obj/$name" >>"$cache/obj/$name.log" 2>&1 ||
        { tail -n 30 "$cache/obj/$name.log" >&2; exit 1; }
    touch "$cache/built-$name"
}

build_deps() {
    unpack_source libsdl2
    build_dep sdl2 "$source_folder" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
        -DSDL_THREADS=OFF -DSDL_PTHREADS=OFF
    unpack_source freetype
    build_dep freetype "$source_folder" -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON \
        -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
    # FreeType's licence asks for its notice beside the program; SDL's install their own.
    install -D -m 644 "$source_folder/docs/FTL.TXT" "$prefix/share/licenses/freetype/FTL.TXT"
    unpack_source libsdl2-ttf
    build_dep sdl2_ttf "$source_folder" -DBUILD_SHARED_LIBS=OFF -DSDL2TTF_VENDORED=OFF \
        -DSDL2TTF_HARFBUZZ=OFF -DSDL2TTF_SAMPLES=OFF -DSDL2_DIR="$prefix/lib/cmake/SDL2" \
        -Dfreetype_DIR="$prefix/lib/cmake/freetype"
    if [ ! -f "$prefix/fluidsynth/$FLUIDSYNTH_JS" ]; then
        echo "== FluidSynth as WebAssembly (js-synthesizer $JS_SYNTHESIZER_VERSION from npm)"
        rm -rf "$cache/npm"
        mkdir -p "$cache/npm" "$prefix/fluidsynth"
        if ! (cd "$cache/npm" && npm pack --silent "js-synthesizer@$JS_SYNTHESIZER_VERSION" \
            >"$cache/npm/pack.log" 2>&1 && tar xzf "js-synthesizer-$JS_SYNTHESIZER_VERSION.tgz"); then
            tail -n 20 "$cache/npm/pack.log" >&2
            echo "npm pack js-synthesizer@$JS_SYNTHESIZER_VERSION failed" >&2
            exit 1
        fi
        cp "$cache/npm/package/externals/$FLUIDSYNTH_JS" "$cache/npm/package/LICENSE" \
            "$prefix/fluidsynth/"
        find "$cache/npm/package/externals" -iname '*licen[cs]e*' -exec cp {} "$prefix/fluidsynth/" \;
    fi
}

deps_only=0
serve=0
port=0
while [ $# -gt 0 ]; do
    case $1 in
        --deps-only) deps_only=1 ;;
        --serve)
            serve=1
            if [[ ${2:-} =~ ^[0-9]+$ ]]; then port=$2; shift; fi
            ;;
        *) echo "usage: $0 [--deps-only] [--serve [PORT]]" >&2; exit 2 ;;
    esac
    shift
done

# shellcheck disable=SC2046
flurber_install $(web_packages)
# Another release's sources or another Emscripten (whose LLVM need not read the old objects) start
# the cache anew; js-synthesizer's download stays.
cache_key="$suite, $(emcc --version | sed -n 1p)"
if [ -d "$cache" ] && [ "$(cat "$cache/key" 2>/dev/null)" != "$cache_key" ]; then
    rm -rf "$cache/apt" "$cache/src" "$cache/obj" "$cache"/built-* "$cache/prefix/include" \
        "$cache/prefix/lib" "$cache/prefix/share"
fi
mkdir -p "$cache"
echo "$cache_key" >"$cache/key"
build_deps
[ "$deps_only" -eq 1 ] && exit 0

echo "== the page ($build/page)"
options=()
[ -n "${FLURBER_WEB_ASSETS:-}" ] && options+=(-DFLURBER_WEB_ASSETS="$(readlink -f "$FLURBER_WEB_ASSETS")")
emcmake cmake -S "$FLURBER_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DFLURBER_WEB_DEPS="$prefix" -DFLURBER_FLUIDSYNTH_JS="$prefix/fluidsynth/$FLUIDSYNTH_JS" \
    "${options[@]}" >/dev/null
cmake --build "$build" -j 2
[ -f "$build/page/index.html" ] || { echo "no page in $build/page" >&2; exit 1; }
echo "The page is in $build/page: put that folder on any static web host."

if [ "$serve" -eq 1 ]; then
    echo "Serving it; open the address below in a browser (Ctrl+C ends):"
    exec python3 "$FLURBER_ROOT/scripts/web_server.py" "$build/page" --port "$port"
fi
