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
