#!/usr/bin/env bash
# The Debian package as a player gets it, checked without installing anything: scripts/package.sh
# builds it from a clean Release build (FLURBER_DEB may name one already built instead); it is
# unpacked into a scratch folder, its files must lie where Debian keeps a game's, its desktop entry
# and metainfo must validate and lintian must find neither errors nor warnings. The unpacked game,
# started from a folder without data, finds its own: the menu shows the menu picture, and Escape
# quits with exit code 0. Then the options, FLURBER_DATA, and the note when no data is found.
# Arguments: <path-to-flurber> <run-dir>
set -euo pipefail

# Exactly twice the picture's size: the menu on the screen can be compared pixel by pixel.
E2E_SCREEN=1600x1200
# shellcheck source=common.bash
source "$(dirname "${BASH_SOURCE[0]}")/common.bash" "$@"
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ID=org.flurber.theflurber
unset FLURBER_DATA

for tool in dpkg-deb desktop-file-validate appstreamcli lintian identify; do
    command -v "$tool" >/dev/null || fail "missing tool: $tool"
done

if [ -n "${FLURBER_DEB:-}" ]; then
    deb=$(readlink -f "$FLURBER_DEB")
else
    note "building the package"
    bash "$ROOT/scripts/package.sh" >"$WORK/package.log" 2>&1 ||
        { tail -n 40 "$WORK/package.log" >&2; fail "scripts/package.sh failed"; }
    deb=$(tail -n 1 "$WORK/package.log")
fi
[ -f "$deb" ] || fail "no package at $deb"
note "package $deb"
version=$(dpkg-deb -f "$deb" Version)
unpacked=$WORK/unpacked
dpkg-deb -x "$deb" "$unpacked"
game=$unpacked/usr/games/flurber
data=$unpacked/usr/share/games/flurber

note "files where Debian keeps a game's"
for path in usr/games/flurber usr/share/applications/$ID.desktop \
    usr/share/metainfo/$ID.metainfo.xml usr/share/icons/hicolor/scalable/apps/flurber.svg \
    usr/share/man/man6/flurber.6.gz usr/share/doc/flurber/copyright; do
    [ -f "$unpacked/$path" ] || fail "the package lacks /$path"
done
for size in 16 32 48 64 128 256; do
    icon=$unpacked/usr/share/icons/hicolor/${size}x$size/apps/flurber.png
    [ "$(identify -format %wx%h "$icon" 2>/dev/null)" = "${size}x$size" ] ||
        fail "no ${size}x$size icon"
done
layout='^\./usr/(games/flurber$|share/(games/flurber|applications|metainfo|icons/hicolor|man/man6|doc/flurber)/)'
stray=$(cd "$unpacked" && find . -type f | { grep -v -E "$layout" || true; })
[ -z "$stray" ] || fail "files outside the layout: $stray"
# The asset pack exactly as the game loads it from its run folder.
diff <(cd "$RUN_DIR" && find Graphics Sounds Music -type f | sort) \
    <(cd "$data" && find . -type f | sed 's|^\./||' | sort) >"$WORK/data.diff" ||
    { cat "$WORK/data.diff" >&2; fail "the packaged data differs from the run folder's"; }
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libsdl2-2.0-0 libsdl2-ttf-2.0-0 libfluidsynth3 fonts-dejavu-core sf2-soundfont-gm; do
    grep -q -w -- "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

note "desktop entry, metainfo, lintian"
desktop-file-validate "$unpacked/usr/share/applications/$ID.desktop" || fail "desktop entry invalid"
# The game has no homepage: appstreamcli 1.0 warns of that (0.16 does not); that one warning alone passes.
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/$ID.metainfo.xml" >"$WORK/appstream.log" 2>&1 ||
    [ "$(grep -E '^[EW]: ' "$WORK/appstream.log" | sed 's/.*: //')" = url-homepage-missing ] ||
    { cat "$WORK/appstream.log" >&2; fail "metainfo invalid"; }
grep -q "<release version=\"$version\"" "$unpacked/usr/share/metainfo/$ID.metainfo.xml" ||
    fail "the metainfo has no release $version"
# lintian's run of appstreamcli over the package (Debian 13) fails on that same missing homepage;
# the metainfo itself was checked just above.
lintian --fail-on error,warning "$deb" >"$WORK/lintian.log" 2>&1 ||
    [ "$(grep -E '^[EW]: ' "$WORK/lintian.log" | cut -d' ' -f3)" = appstream-metadata-validation-failed ] ||
    { cat "$WORK/lintian.log" >&2; fail "lintian"; }

note "options"
[ "$("$game" --version)" = "The Flurber $version" ] || fail "--version: $("$game" --version)"
"$game" --help >"$WORK/help.out" 2>"$WORK/help.err" || fail "--help ended with $?"
grep -q -- '--window' "$WORK/help.out" && [ ! -s "$WORK/help.err" ] || fail "--help shows no usage"
status=0
"$game" --no-such-option >"$WORK/refused.out" 2>"$WORK/refused.err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended with $status, not 2"
[ ! -s "$WORK/refused.out" ] && head -n 1 "$WORK/refused.err" | grep -q -- '--no-such-option' &&
    grep -q '^Usage:' "$WORK/refused.err" || fail "an unknown option is not told with the usage"

# The menu picture where the menu draws nothing over it: right of the items, above the Credits
# button.
BARE_MENU=(200 0 600 550)

menu_picture_shown() {
    shot_until_steady menu 0 0 800 600 10 || fail "$1: the menu does not settle"
    [ "$SCALE" = "2.000000" ] || fail "the picture is scaled by $SCALE, not 2"
    convert -size "${E2E_SCREEN}" xc:black \( "$data/Graphics/MenuBG.bmp" -scale 200% \) \
        -geometry "+$ORIGIN_X+$ORIGIN_Y" -composite "$WORK/menu-picture.ppm"
    local unlike
    unlike=$(differing_pixels menu-picture menu "${BARE_MENU[@]}")
    note "$1: $unlike of 1320000 screen pixels unlike the menu picture"
    [ "$unlike" -lt 13200 ] || fail "$1: the menu picture is not shown"
}

# Escape held for a while, again until the game ends: without its data there is no picture to tell
# when the menu first reads the keys.
quit_with_escape() {
    local deadline=$((SECONDS + 20))
    while [ "$SECONDS" -lt "$deadline" ]; do
        xdotool keydown Escape
        sleep 0.3
        xdotool keyup Escape
        wait_game_exit 2
        [ "$GAME_EXIT" = running ] || break
    done
    [ "$GAME_EXIT" = "0" ] || fail "$1: Escape on the menu did not quit with 0 (exit: $GAME_EXIT)"
}

mkdir "$WORK/empty" "$WORK/alone"
cp "$game" "$WORK/alone/flurber"
RUN_DIR=$WORK/empty
start_display

note "the unpacked game started from a folder without data"
FLURBER=$game
start_game
menu_picture_shown "unpacked"
quit_with_escape "unpacked"
if grep -q 'no game data' "$WORK/flurber.log"; then fail "the unpacked game did not find its data"; fi

note "FLURBER_DATA names the data of a program that has none beside it"
FLURBER=$WORK/alone/flurber
export FLURBER_DATA=$data
start_game
menu_picture_shown "FLURBER_DATA"
quit_with_escape "FLURBER_DATA"
unset FLURBER_DATA

note "no data anywhere: one note, and the game runs in the current directory"
start_game
quit_with_escape "no data"
notes=$(grep -c 'no game data' "$WORK/flurber.log" || true)
[ "$notes" -eq 1 ] || fail "$notes notes about the missing data, not 1"
grep 'no game data' "$WORK/flurber.log" | grep -q -F "running in $WORK/empty" ||
    fail "the note does not name the current directory: $(cat "$WORK/flurber.log")"
note "passed"
