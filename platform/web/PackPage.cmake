# Puts the page together in PAGE_DIR (run by the flurber_page target): the page's own files, the
# asset pack and the font as one compressed archive that unpacks into the game's file system, the
# soundfont compressed, FluidSynth's module, the licences, and files.js, the downloads with their
# sizes.

foreach(file index.html flurber-page.js flurber-page.css)
  configure_file(${SOURCE_DIR}/platform/web/page/${file} ${PAGE_DIR}/${file} COPYONLY)
endforeach()

# The archive unpacks at the root of the game's file system: the asset pack in /flurber, where
# the game runs, and the font where the game looks for it.
file(REMOVE_RECURSE ${STAGING_DIR})
foreach(folder Graphics Sounds Music)
  if(NOT IS_DIRECTORY ${ASSETS}/${folder})
    message(FATAL_ERROR "${ASSETS}/${folder} is missing: no asset pack")
  endif()
  file(COPY ${ASSETS}/${folder} DESTINATION ${STAGING_DIR}/flurber)
endforeach()
get_filename_component(fontDir ${FONT} DIRECTORY)
file(COPY ${FONT} DESTINATION ${STAGING_DIR}${fontDir})
file(GLOB_RECURSE packed RELATIVE ${STAGING_DIR} ${STAGING_DIR}/*)
list(SORT packed)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${STAGING_DIR}/assets.tar --format=gnutar ${packed}
  WORKING_DIRECTORY ${STAGING_DIR}
  RESULT_VARIABLE packResult)
if(NOT packResult EQUAL 0)
  message(FATAL_ERROR "Could not pack the assets")
endif()
# At gzip's best, without a time stamp: the same pack makes the same file.
execute_process(
  COMMAND gzip -9 -n -c ${STAGING_DIR}/assets.tar
  OUTPUT_FILE ${PAGE_DIR}/assets.tar.gz
  RESULT_VARIABLE gzipResult)
if(NOT gzipResult EQUAL 0)
  message(FATAL_ERROR "Could not compress the assets")
endif()

get_filename_component(soundFontName ${SOUNDFONT} NAME)
file(COPY ${SOUNDFONT} DESTINATION ${STAGING_DIR}/soundfont)
execute_process(
  COMMAND gzip -9 -n -c ${STAGING_DIR}/soundfont/${soundFontName}
  OUTPUT_FILE ${PAGE_DIR}/${soundFontName}.gz
  RESULT_VARIABLE gzipResult)
if(NOT gzipResult EQUAL 0)
  message(FATAL_ERROR "Could not compress ${SOUNDFONT}")
endif()

get_filename_component(fluidSynthName ${FLUIDSYNTH_JS} NAME)
configure_file(${FLUIDSYNTH_JS} ${PAGE_DIR}/${fluidSynthName} COPYONLY)

# What the page ships under other licences than the game's, each beside it.
file(MAKE_DIRECTORY ${PAGE_DIR}/licences)
get_filename_component(fluidSynthDir ${FLUIDSYNTH_JS} DIRECTORY)
# js-synthesizer's externals/ holds it beside the module.
set(fluidSynthLicence ${fluidSynthDir}/LICENSE.fluidsynth.txt)
if(NOT EXISTS ${fluidSynthLicence})
  message(FATAL_ERROR "FluidSynth's licence is missing: ${fluidSynthLicence}")
endif()
configure_file(${fluidSynthLicence} ${PAGE_DIR}/licences/FluidSynth-LGPL-2.1.txt COPYONLY)
foreach(pair "timgm6mb-soundfont|TimGM6mb-soundfont.txt" "fonts-dejavu-core|DejaVu-fonts.txt")
  string(REPLACE "|" ";" fields "${pair}")
  list(GET fields 0 package)
  list(GET fields 1 name)
  if(EXISTS /usr/share/doc/${package}/copyright)
    configure_file(/usr/share/doc/${package}/copyright ${PAGE_DIR}/licences/${name} COPYONLY)
  endif()
endforeach()
if(EXISTS ${SOURCE_DIR}/packaging/copyright)
  configure_file(${SOURCE_DIR}/packaging/copyright ${PAGE_DIR}/licences/copyright.txt COPYONLY)
endif()

file(GLOB licences RELATIVE ${PAGE_DIR}/licences ${PAGE_DIR}/licences/*.txt)
set(links "")
foreach(licence IN LISTS licences)
  string(APPEND links "<li><a href=\"${licence}\">${licence}</a></li>\n")
endforeach()
file(WRITE ${PAGE_DIR}/licences/index.html
  "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
  "<title>The Flurber: licences</title></head><body>\n<h1>What the page ships</h1>\n"
  "<p>The game's own licence, FluidSynth's (LGPL 2.1, compiled to WebAssembly by the "
  "js-synthesizer project), the TimGM6mb soundfont's (GPL 2) and the DejaVu fonts':</p>\n"
  "<ul>\n${links}</ul>\n</body></html>\n")

# The downloads in the order the page asks for them, with their sizes as served.
set(downloads flurber.js flurber.wasm ${fluidSynthName} assets.tar.gz ${soundFontName}.gz)
set(list "")
foreach(name IN LISTS downloads)
  file(SIZE ${PAGE_DIR}/${name} size)
  string(APPEND list "    {name: '${name}', size: ${size}},\n")
endforeach()
file(WRITE ${PAGE_DIR}/files.js
  "// Written by the build: what the page downloads, and how big each file is.\n"
  "var flurberFiles = {\n  downloads: [\n${list}  ],\n"
  "  fluidSynth: '${fluidSynthName}',\n  soundFont: '${soundFontName}'\n};\n")
