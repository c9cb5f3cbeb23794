# The game as one static page (platform/web): built with Emscripten against SDL2, freetype and
# SDL2_ttf built for it (FLURBER_WEB_DEPS), with FluidSynth as a WebAssembly module of its own
# (FLURBER_FLUIDSYNTH_JS). Everything the page needs goes into page/ of the build folder.

set(FLURBER_WEB_DEPS "" CACHE PATH "Prefix holding SDL2, freetype and SDL2_ttf built for Emscripten")
set(FLURBER_FLUIDSYNTH_JS "" CACHE FILEPATH "FluidSynth compiled to WebAssembly (libfluidsynth-*.js)")
set(FLURBER_WEB_ASSETS "" CACHE PATH
    "A built asset pack (Graphics/, Sounds/, Music/); empty: built here with the host's compilers")
set(FLURBER_WEB_SOUNDFONT /usr/share/sounds/sf2/TimGM6mb.sf2 CACHE FILEPATH
    "The General MIDI soundfont served with the page")
set(FLURBER_WEB_FONT /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf CACHE FILEPATH
    "The countdown's font")

foreach(required FLURBER_WEB_DEPS FLURBER_FLUIDSYNTH_JS)
  if(NOT ${required})
    message(FATAL_ERROR "The browser's build needs -D${required}=...")
  endif()
endforeach()
foreach(library SDL2 SDL2_ttf freetype)
  if(NOT EXISTS ${FLURBER_WEB_DEPS}/lib/lib${library}.a)
    message(FATAL_ERROR "${FLURBER_WEB_DEPS}/lib/lib${library}.a is missing")
  endif()
endforeach()

set(FLURBER_PAGE_DIR ${CMAKE_BINARY_DIR}/page)
file(MAKE_DIRECTORY ${FLURBER_PAGE_DIR})

# The game above platform/ as on the desktop; of the SDL backend what the browser shares with it
# (input, controllers, the changed rows, the picture's geometry); the browser's own platform.
file(GLOB FLURBER_WEB_SOURCES CONFIGURE_DEPENDS
  app/*.cpp media/*.cpp game/*.cpp menu/*.cpp platform/*.cpp platform/display/*.cpp
  platform/input/*.cpp platform/sound/*.cpp platform/web/*.cpp)
list(REMOVE_ITEM FLURBER_WEB_SOURCES ${CMAKE_SOURCE_DIR}/app/main.cpp)
foreach(shared SdlInput SdlControllers ChangedRows ScreenGeometry)
  list(APPEND FLURBER_WEB_SOURCES ${CMAKE_SOURCE_DIR}/platform/sdl/${shared}.cpp)
endforeach()

# No debugging sections in what players download.
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O2 -DNDEBUG")
set(CMAKE_EXE_LINKER_FLAGS_RELWITHDEBINFO "")
# SDL's audio needs these of Emscripten's library; in a file, where no shell sees their dollars.
file(WRITE ${CMAKE_BINARY_DIR}/library-functions.json "[\"$autoResumeAudioContext\", \"$dynCall\"]\n")

add_executable(flurber ${FLURBER_WEB_SOURCES})
# SDL2's headers before Emscripten's own SDL 1 ones; FluidSynth's calls from platform/web.
target_include_directories(flurber BEFORE PRIVATE
  ${CMAKE_SOURCE_DIR}/platform/web/include ${FLURBER_WEB_DEPS}/include/SDL2
  ${FLURBER_WEB_DEPS}/include/freetype2 ${CMAKE_SOURCE_DIR})
target_link_libraries(flurber PRIVATE
  ${FLURBER_WEB_DEPS}/lib/libSDL2_ttf.a ${FLURBER_WEB_DEPS}/lib/libfreetype.a
  ${FLURBER_WEB_DEPS}/lib/libSDL2.a)
target_compile_definitions(flurber PRIVATE FLURBER_VERSION="${PROJECT_VERSION}"
  FLURBER_DATA_FROM_BINARY=".")
set_target_properties(flurber PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${FLURBER_PAGE_DIR})
target_compile_options(flurber PRIVATE -O2)
# ASYNCIFY: every wait of the program gives the main thread back to the browser. MODULARIZE: the
# FluidSynth module claims the global Module. The page fetches the WebAssembly itself (with its
# progress) and starts main once the player has clicked.
target_link_options(flurber PRIVATE
  -O2
  -sASYNCIFY
  -sASYNCIFY_STACK_SIZE=65536
  -sMODULARIZE=1
  -sEXPORT_NAME=createFlurber
  -sENVIRONMENT=web
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=67108864
  -sINVOKE_RUN=0
  -sEXIT_RUNTIME=0
  -sFORCE_FILESYSTEM=1
  # What the page hands the module (flurber-page.js, MakeGame); Emscripten 6 takes the WebAssembly
  # the page has downloaded only when wasmBinary is named here, and would fetch it once more.
  # noExitRuntime keeps the runtime up once main first waits: without it Emscripten 3.1.69 takes
  # that first wait for the program's end and never wakes it.
  "-sINCOMING_MODULE_JS_API=[\"canvas\",\"wasmBinary\",\"print\",\"printErr\",\"onAbort\",\"preRun\",\"noExitRuntime\"]"
  "-sEXPORTED_FUNCTIONS=[\"_main\",\"_flurber_game_mode\"]"
  "-sEXPORTED_RUNTIME_METHODS=[\"callMain\",\"FS\"]"
  -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_BINARY_DIR}/library-functions.json
  --pre-js ${CMAKE_SOURCE_DIR}/platform/web/flurber-pre.js)
set_property(TARGET flurber APPEND PROPERTY LINK_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/web/flurber-pre.js)

# The asset pack: built with the host's compilers when none is given.
if(NOT FLURBER_WEB_ASSETS)
  include(ExternalProject)
  ExternalProject_Add(flurber_host_assets
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/host
    CMAKE_ARGS -DFLURBER_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target flurber_assets
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
  set(FLURBER_PAGE_ASSETS ${CMAKE_BINARY_DIR}/host/run)
else()
  set(FLURBER_PAGE_ASSETS ${FLURBER_WEB_ASSETS})
endif()

# The page: its files, the asset pack and the soundfont compressed, FluidSynth's module, the
# licences, and the list of downloads with their sizes for the progress bar.
get_filename_component(FLURBER_FLUIDSYNTH_DIR ${FLURBER_FLUIDSYNTH_JS} DIRECTORY)
add_custom_target(flurber_page ALL
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
    -DPAGE_DIR=${FLURBER_PAGE_DIR}
    -DSTAGING_DIR=${CMAKE_BINARY_DIR}/pack
    -DASSETS=${FLURBER_PAGE_ASSETS}
    -DSOUNDFONT=${FLURBER_WEB_SOUNDFONT}
    -DFONT=${FLURBER_WEB_FONT}
    -DFLUIDSYNTH_JS=${FLURBER_FLUIDSYNTH_JS}
    -P ${CMAKE_SOURCE_DIR}/platform/web/PackPage.cmake
  COMMENT "Packing the page into ${FLURBER_PAGE_DIR}"
  VERBATIM)
add_dependencies(flurber_page flurber)
if(TARGET flurber_host_assets)
  add_dependencies(flurber_page flurber_host_assets)
endif()
