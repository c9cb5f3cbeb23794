#!/usr/bin/env bash
# The real game starts in a virtual display, shows a picture, and ends with exit code 0 when its
# window is closed. Arguments: <path-to-flurber> <run-dir>
source "$(dirname "${BASH_SOURCE[0]}")/common.bash" "$@"

start_display
start_game
shot started
colours=$(convert "$WORK/started.ppm" -format %k info:)
note "the screen shows $colours colours"
[ "$colours" -gt 1 ] || fail "the screen is blank"

note "closing the window"
wmctrl -i -c "$WINDOW"
wait_game_exit 20
[ "$GAME_EXIT" = "0" ] || fail "exit code after closing the window: $GAME_EXIT"
note "passed"
