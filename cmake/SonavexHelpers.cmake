# SPDX-License-Identifier: GPL-3.0-or-later
# Shared compile settings and the test helper.

add_library(sonavex_options INTERFACE)
target_compile_options(sonavex_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wold-style-cast -Wzero-as-null-pointer-constant
  $<$<BOOL:${SONAVEX_WERROR}>:-Werror>)
target_compile_definitions(sonavex_options INTERFACE
  QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH QT_USE_QSTRINGBUILDER)

# One static library per subsystem, built from the sources its folder's CMakeLists.txt
# lists (listed, not globbed: a new header is then never missed by the moc step).
# Includes are written from src/ ("platform/Errors.h"). Resources live in resources/<subsystem>/.
# PUBLIC_LIBS: what the room's headers expose; LIBS: what only its sources use. Which rooms a
# room may use at all is checked by scripts/check-rooms.
function(sonavex_add_subsystem name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;LIBS" ${ARGN})
  add_library(sonavex_${name} STATIC ${ARG_SOURCES})
  target_include_directories(sonavex_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(sonavex_${name} PUBLIC sonavex_options ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_LIBS})
  # Absolute paths: qt_add_resources resolves relative ones against src/, and
  # BASE turns them into the aliases ":/<subsystem>/...".
  file(GLOB_RECURSE _res CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/resources/${name}/*")
  if(_res)
    qt_add_resources(sonavex_${name} "sonavex_${name}_res"
      PREFIX "/"
      BASE "${PROJECT_SOURCE_DIR}/resources"
      FILES ${_res})
  endif()
endfunction()

# The program's own libraries that it loads while it runs (platform/ProgramModule.h): built
# into <build>/lib/sonavex as they are installed, so that the program finds them from either.
set(SONAVEX_MODULES_DIR "${CMAKE_INSTALL_LIBDIR}/sonavex")
set(SONAVEX_MODULES_FULL_DIR "${CMAKE_INSTALL_FULL_LIBDIR}/sonavex")
function(sonavex_program_module target)
  set_target_properties(${target} PROPERTIES
    PREFIX "lib"
    LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/${SONAVEX_MODULES_DIR}"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # (No --no-undefined: under clang's sanitizers the runtime comes from the program.)
  target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
  install(TARGETS ${target} LIBRARY DESTINATION "${SONAVEX_MODULES_DIR}")
endfunction()

# sonavex_add_test(name SOURCES ... [LIBS ...] [LABELS ...] [GUI])
function(sonavex_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE sonavex_options sonavex_fakes Qt6::Test ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE
    SONAVEX_BINARY="$<TARGET_FILE:sonavex>"
    SONAVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SONAVEX_TEST=1")
endfunction()

# sonavex_rendered_pictures(<subsystem> <file.svg>:<width>x<height>[:<name>] ...)
# Draws SVGs of resources/<subsystem>/ into plain pixels at build time and adds them to the
# room's resources, uncompressed, as ":/<subsystem>/<name>.pixels" (the SVG's own name with the
# size when no name is given: "tb-play-32.pixels"), read by Pictures::drawn. What the window
# shows at its start is read from these: loading the SVG renderer and its icon engine, or
# decoding PNGs (which first looks through every picture format plugin), costs the start.
function(sonavex_rendered_pictures name)
  set(_out_dir "${CMAKE_BINARY_DIR}/rendered")
  set(_pictures)
  foreach(_entry IN LISTS ARGN)
    string(REPLACE ":" ";" _parts "${_entry}")
    list(GET _parts 0 _svg)
    list(GET _parts 1 _size)
    string(REPLACE "x" ";" _wh "${_size}")
    list(GET _wh 0 _w)
    list(GET _wh 1 _h)
    get_filename_component(_stem "${_svg}" NAME_WE)
    list(LENGTH _parts _count)
    if(_count GREATER 2)
      list(GET _parts 2 _picture_name)
    else()
      set(_picture_name "${_stem}-${_w}")
    endif()
    set(_in "${PROJECT_SOURCE_DIR}/resources/${name}/${_svg}")
    set(_picture "${_out_dir}/${name}/${_picture_name}.pixels")
    add_custom_command(OUTPUT "${_picture}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${_out_dir}/${name}"
      COMMAND sonavex_render_svg "${_in}" "${_picture}" ${_w} ${_h}
      DEPENDS "${_in}" sonavex_render_svg
      COMMENT "Drawing ${name}/${_picture_name}.pixels"
      VERBATIM)
    list(APPEND _pictures "${_picture}")
  endforeach()
  qt_add_resources(sonavex_${name} "sonavex_${name}_rendered"
    PREFIX "/"
    BASE "${_out_dir}"
    OPTIONS --no-compress
    FILES ${_pictures})
endfunction()
