# SPDX-License-Identifier: GPL-3.0-or-later
# tessaro_add_test(<name> SOURCES <files...> LIBS <targets...> LABELS <label>
#                  [CASE_LABELS <label>=<gtest filter>...])
# One GoogleTest executable; its cases are registered with CTest one by one, named
# <name>.<Suite>.<Case> so `ctest -R <name>` selects them, and run on Qt's offscreen
# platform so widget tests need no display. Every case carries one label: LABELS, or the
# label of the CASE_LABELS entry whose filter (Suite.Case patterns joined by ':') takes it,
# so a few slow cases of a fast program leave `ctest -L unit` without the rest. The
# filters must not overlap: a case they share would be registered twice.
# A property value here must hold no ';' (it would be split into further property names),
# so only one label fits.
function(tessaro_add_test name)
  cmake_parse_arguments(T "" "LABELS" "SOURCES;LIBS;CASE_LABELS" ${ARGN})
  if(NOT T_LABELS)
    message(FATAL_ERROR "tessaro_add_test(${name}): every test needs a LABELS entry")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                        Qt6::Test Threads::Threads)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)

  set(labelled_elsewhere)
  foreach(entry IN LISTS T_CASE_LABELS)
    if(NOT entry MATCHES "^([a-z0-9_]+)=(.+)$")
      message(FATAL_ERROR "tessaro_add_test(${name}): CASE_LABELS wants <label>=<filter>, not '${entry}'")
    endif()
    _tessaro_discover_cases(${name} ${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
    list(APPEND labelled_elsewhere ${CMAKE_MATCH_2})
  endforeach()
  set(filter "*")
  if(labelled_elsewhere)
    list(JOIN labelled_elsewhere ":" excluded)
    set(filter "-${excluded}")
  endif()
  _tessaro_discover_cases(${name} ${T_LABELS} ${filter})
endfunction()

function(_tessaro_discover_cases name label filter)
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    TEST_FILTER "${filter}"
    NO_PRETTY_VALUES
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120 LABELS ${label})
endfunction()
