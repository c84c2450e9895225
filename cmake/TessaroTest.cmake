# SPDX-License-Identifier: GPL-3.0-or-later
# tessaro_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <label>])
# One GoogleTest executable; its cases are registered with CTest one by one, named
# <name>.<Suite>.<Case> so `ctest -R <name>` selects them, and run
# on Qt's offscreen platform so widget tests need no display. A property value here must
# hold no ';' (it would be split into further property names), so only one label fits.
function(tessaro_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                        Qt6::Test Threads::Threads)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  set(properties ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120)
  if(T_LABELS)
    list(APPEND properties LABELS ${T_LABELS})
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    NO_PRETTY_VALUES
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()
