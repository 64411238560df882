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
endfunction()
