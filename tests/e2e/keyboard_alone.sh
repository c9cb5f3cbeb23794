#!/usr/bin/env bash
# On a wide screen (1280 x 720: the picture letterboxed, bars left and right) the pointer counts
# only where it really is, and the keyboard alone plays: the pointer rests at the screen's centre
# from before the start, so nothing lights; clicks on the bars reach nothing; Down lights Start,
# which stays lit through Alt+Return and back; a held Return starts room 1, which plays its intro
# once and then shows the bathroom from the middle; Escape, Down three times and Return quit with
# exit code 0. All of it twice: as the game chooses to present (here the processor's picture in the
# window's own pixels) and with --renderer=accelerated (SDL's OpenGL renderer, on Mesa's llvmpipe).
# With E2E_SESSION=wayland, natively on Wayland.
# Arguments: <path-to-flurber> <run-dir>
E2E_SCREEN=1280x720
source "$(dirname "${BASH_SOURCE[0]}")/common.bash" "$@"

ITEMS=(0 100 200 300)
# The banner's band and below, down to the cleaner, clear of the arrows: in play the room picture
# only, but for a piece of garbage falling through. Below it the cleaner stands in the middle.
ROOM_BAND=(100 100 600 160)
CLEANER=(300 300 200 250)

start_display

play_through() {
    xdotool mousemove 640 360
    start_game
    # Mesa's software rasteriser draws on threads of its own. (On Wayland SDL loads an OpenGL
    # driver for every window, whether or not anything draws through it.)
    local rasteriser_threads
    rasteriser_threads=$(ps -L -o comm= -p "$GAME_PID" | grep -c '^llvmpipe' || true)
    if [ "${FLURBER_ARGS[*]}" = --renderer=accelerated ]; then
        # The renderer really draws: the game has loaded an OpenGL driver.
        grep -qE '_dri\.so|libgallium' "/proc/$GAME_PID/maps" ||
            fail "--renderer=accelerated loaded no OpenGL driver"
    elif [ ! -e /dev/dri ]; then
        # No graphics processor: the processor scales the picture into the window, on X11 and
        # on Wayland alike, and OpenGL draws nothing.
        [ "$rasteriser_threads" -eq 0 ] || fail "the default present draws through llvmpipe"
    fi
    [ "$ORIGIN_X" -gt 100 ] || fail "expected bars left and right, the picture starts at x $ORIGIN_X"

    note "the pointer at the centre lights nothing"
    shot_until_steady first 0 0 800 600 10 || fail "the menu does not settle"
    move_to 400 300
    shot_until_steady unlit 0 0 800 600 10 || fail "the menu does not settle again"
    lit_at_start=$(differing_pixels unlit first "${ITEMS[@]}")
    note "the first menu frames differ from an unlit menu by $lit_at_start pixels"
    [ "$lit_at_start" -eq 0 ] || fail "an item was lit before the pointer moved"
    move_to 100 150
    shot_until_changed lit unlit "${ITEMS[@]}" 2000 10 || fail "Start does not light under the pointer"
    move_to 400 300

    note "clicks on the bars reach nothing"
    read -r _ quit_row < <(to_screen 100 350)
    read -r _ credits_row < <(to_screen 750 575)
    xdotool mousemove $((ORIGIN_X / 2)) "$quit_row" click 1
    xdotool mousemove $((1280 - ORIGIN_X / 2)) "$credits_row" click 1
    # Start lit by a move after the clicks shows that the game has taken them: it takes events in
    # the order they came.
    move_to 100 150
    shot_until_changed bars unlit "${ITEMS[@]}" 2000 10 || fail "Start does not light after the clicks"
    kill -0 "$GAME_PID" 2>/dev/null || fail "a click on the left bar beside Quit ended the game"
    [ "$(differing_pixels lit bars 0 0 800 600)" -eq 0 ] ||
        fail "a click on a bar changed the menu (the credits page?)"
    move_to 400 300

    note "the keyboard alone: Down lights Start, a held Return starts room 1"
    # The pointer rests on the picture (off the items): under X11 the window's changes move it.
    move_to 400 250
    press_until Down 10 eval 'shot keys && [ "$(differing_pixels lit keys "${ITEMS[@]}")" -lt 50 ]' ||
        fail "Down does not light Start"
    # The picture moves under the still pointer twice: that is no move of the player's.
    xdotool key alt+Return
    wait_for 10 eval '! full_screen_window' || fail "Alt+Return did not leave full screen"
    xdotool key alt+Return
    wait_for 10 full_screen_window || fail "Alt+Return again did not come back to full screen"
    shot_until_steady toggled 0 0 800 600 10 || fail "the menu does not settle after Alt+Return"
    [ "$(differing_pixels lit toggled "${ITEMS[@]}")" -lt 50 ] ||
        fail "Alt+Return there and back ended the keyboard's highlight"
    xdotool keydown Return
    wait_for 20 eval 'shot check && countdown_shown check' || fail "no room after Return"
    cp "$WORK/check.ppm" "$WORK/intro.ppm"
    # Return is still held when play begins: it must not set the room up again (the intro would
    # start over) nor do anything else there.
    shot_until_changed play intro 0 265 800 325 2000 30 || fail "the intro does not end"
    sleep 0.5  # Return held in play for a while
    shot held
    xdotool keyup Return
    convert "$RUN_DIR/Graphics/flurberbathroom.bmp" -crop 800x600+400+0 +repage \
        -sample "$(awk -v s="$SCALE" 'BEGIN { printf "%dx%d!", int(800 * s), int(600 * s) }')" \
        -background black -gravity center -extent 1280x720 "$WORK/bathroom.ppm"
    countdown_shown held || fail "no countdown while Return is held in the room"
    away=$(E2E_FUZZ=$ROOM_FUZZ differing_pixels bathroom held "${ROOM_BAND[@]}")
    note "the room view differs from the bathroom at camera 400 by $away pixels"
    [ "$away" -lt 8000 ] || fail "the room is not the bathroom seen from the middle (set up again?)"
    [ "$(differing_pixels bathroom held "${CLEANER[@]}")" -gt 20000 ] ||
        fail "no cleaner in the room: the intro is playing again"

    note "Escape to the menu, Down three times, Return quits"
    tap_until Escape 20 eval 'shot check && ! countdown_shown check' || fail "Escape did not show the menu"
    # Each Down held until its item lights: Start, Configuration, Quit.
    for row in 100 200 300; do
        press_until Down 10 eval "shot item && [ \"\$(differing_pixels unlit item 0 $row 200 100)\" -gt 2000 ]" ||
            fail "Down does not light the item at row $row"
    done
    # Held until the game ends: a slow frame can't miss it.
    xdotool keydown Return
    wait_game_exit 20
    xdotool keyup Return
    [ "$GAME_EXIT" = "0" ] || fail "exit code after Return on Quit: $GAME_EXIT"
}

note "the default present"
ROOM_FUZZ=0
play_through

note "--renderer=accelerated"
FLURBER_ARGS=(--renderer=accelerated)
# At 1.2x the renderer's sharp scaling softens the edges between the room's pixels a little.
ROOM_FUZZ=20
play_through
note "passed"
