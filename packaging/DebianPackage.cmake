# The Debian package, made by `cpack -G DEB` from a Release build configured with the prefix /usr
# and the program in games/ (scripts/package.sh does both): /usr/games/flurber, its data in
# /usr/share/games/flurber, the desktop files in /usr/share.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME flurber)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Flurber team")
set(CPACK_PACKAGE_CONTACT "The Flurber team <team@flurber.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "arcade game about sweeping a house clean")
set(CPACK_PACKAGE_DESCRIPTION
    "The Flurber is a small full-screen arcade game. Walk the cleaner, a round
furry creature with a push broom, along a room twice as wide as the screen and
clear every piece of garbage with strokes before the countdown runs out, while
more garbage drops from above.
.
Five rooms, each with its own picture, music and tempo. Plays with the
keyboard or a game controller, full screen or in a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binary (dpkg-shlibdeps); the countdown's font and a General MIDI
# soundfont are read at run time by path, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-dejavu-core | fonts-liberation | fonts-freefont-ttf, timgm6mb-soundfont | sf2-soundfont-gm")

include(CPack)
