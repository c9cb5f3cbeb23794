#!/usr/bin/env bash
# A player's way through the real game: the menu lights Start under the cursor; Start plays room 1,
# whose view after the intro carries the countdown; the cleaner walks right while Right is held;
# Escape goes to the menu and Escape comes back; Quit ends with exit code 0.
# The probes compare screenshots with each other (the art may change); only the countdown's white
# box is looked for by colour. Arguments: <path-to-flurber> <run-dir>
source "$(dirname "${BASH_SOURCE[0]}")/common.bash" "$@"

# The item column, and the band where the cleaner walks (below the intro's banner).
ITEMS=(0 100 200 300)
CLEANER_BAND=(0 265 800 325)

menu_shown() {
    shot check
    [ "$(differing_pixels menu check "${ITEMS[@]}")" -lt 200 ] && ! countdown_shown check
}

game_shown() {
    shot check
    countdown_shown check && [ "$(differing_pixels menu check "${ITEMS[@]}")" -gt 2000 ]
}

start_display
start_game

note "menu: Start lit only under the cursor"
move_to 500 450
shot_until_steady menu 0 0 800 600 10 || fail "the menu does not settle"
move_to 100 150
shot_until_changed menu-hover-start menu 0 100 200 100 200 10 ||
    fail "the Start item does not light under the cursor"
others=$(differing_pixels menu menu-hover-start 0 200 200 200)
note "Start item lit; the other items change by $others pixels"
[ "$others" -eq 0 ] || fail "other items change when Start is under the cursor"
if countdown_shown menu; then fail "the menu shows the countdown"; fi

note "Start: room 1 with its intro, then play"
xdotool click 1
wait_for 20 game_shown || fail "no countdown at (395, 20) after Start"
cp "$WORK/check.ppm" "$WORK/intro.ppm"
# The intro draws no cleaner: play has begun when the cleaner's band changes.
shot_until_changed room intro "${CLEANER_BAND[@]}" 2000 30 || fail "the intro does not end"
countdown_shown room || fail "no countdown box at (395, 20) in the room view"

note "the cleaner walks right while Right is held"
# Standing, only a falling piece of garbage (8000 screen pixels at most) changes the band; the
# cleaner's walk with the camera following changes most of it.
shot still
xdotool keydown Right
walked=0
shot_until_changed walking still "${CLEANER_BAND[@]}" 40000 10 && walked=1
xdotool keyup Right
[ "$walked" -eq 1 ] || fail "the cleaner did not walk while Right was held"

note "Escape to the menu"
move_to 500 450
tap_until Escape 20 menu_shown || fail "Escape did not show the menu"
cp "$WORK/check.ppm" "$WORK/menu-again.ppm"

note "Escape back to the game"
tap_until Escape 20 game_shown || fail "Escape did not resume the game"
cp "$WORK/check.ppm" "$WORK/resumed.ppm"

note "Escape to the menu and Quit"
tap_until Escape 20 menu_shown || fail "no menu before Quit"
click_at 100 350
wait_game_exit 20
[ "$GAME_EXIT" = "0" ] || fail "exit code after Quit: $GAME_EXIT"
note "passed"
