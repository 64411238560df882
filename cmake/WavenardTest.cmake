# Tests talk only to servers they start on 127.0.0.1; a proxy named by the shell that runs ctest
# would stand in between (curl and Python's urllib read every one of these spellings).
set(WAVENARD_TEST_PROXY_VARIABLES
    http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY)

# wavenard_isolate_tests(<tests...>)
# Runs the tests without the shell's proxy variables. Every test of the tree goes through here,
# by one of the two functions below; tests/CMakeLists.txt checks that none is left out.
function(wavenard_isolate_tests)
  set(Unset ${WAVENARD_TEST_PROXY_VARIABLES})
  list(TRANSFORM Unset APPEND "=unset:")
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT_MODIFICATION ${Unset})
  set_property(GLOBAL APPEND PROPERTY WAVENARD_ISOLATED_TESTS ${ARGN})
endfunction()

# wavenard_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [GUI])
# One GoogleTest program, registered with ctest. It runs in a QCoreApplication, or with GUI in a
# QApplication on Qt's offscreen platform unless its environment says otherwise. A program that
# defines its own main keeps it.
function(wavenard_add_test)
  cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_GUI)
    set(Main wavenard_gui_test_main)
  else()
    set(Main wavenard_test_main)
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${Main} wavenard_testsupport GTest::gtest)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.multimedia*=false"
    TIMEOUT 300
    LABELS "${T_LABELS}")
  wavenard_isolate_tests(${T_NAME})
endfunction()

# wavenard_add_command_test(NAME <name> COMMAND <command...> [ENVIRONMENT <var=value...>]
#                           [TIMEOUT <seconds>] [LABELS <labels...>])
# A test that runs a script or a program of the tree rather than a GoogleTest program: the
# end-to-end tests under Xvfb, the package's checks.
function(wavenard_add_command_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT;LABELS" ${ARGN})
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  wavenard_isolate_tests(${T_NAME})
endfunction()

# A test that cannot be registered because a program it drives is missing: a warning in a
# developer's build, a configure error with WAVENARD_REQUIRE_TEST_TOOLS (CI), which must never pass
# while testing less.
option(WAVENARD_REQUIRE_TEST_TOOLS "Fail the configuration when a tool some test needs is missing" OFF)
function(wavenard_test_tool_missing Message)
  if(WAVENARD_REQUIRE_TEST_TOOLS)
    message(FATAL_ERROR "${Message} (WAVENARD_REQUIRE_TEST_TOOLS is on)")
  else()
    message(WARNING "${Message}")
  endif()
endfunction()
