# wavenard_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [GUI])
# One GoogleTest program, registered with ctest. Every test program gets a QApplication
# on Qt's offscreen platform unless its environment says otherwise.
function(wavenard_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} wavenard_testsupport GTest::gtest)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.multimedia*=false"
    TIMEOUT 300
    LABELS "${T_LABELS}")
endfunction()
