# A GUI test on an X display and a Wine desktop of its own (tools/gui-test-run),
# so that GUI test programs run side by side.
#   orva_add_gui_test(<name> TARGET <program> [TIMEOUT <s>] [ENVIRONMENT <list>])
#   orva_add_gui_test(<name> COMMAND <command...> [TIMEOUT <s>] [ENVIRONMENT <list>])
function(orva_add_gui_test name)
  cmake_parse_arguments(T "" "TARGET;TIMEOUT" "COMMAND;ENVIRONMENT" ${ARGN})
  if(T_TARGET)
    set(command ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_TARGET}>)
  else()
    set(command ${T_COMMAND})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/gui-test-run ${name} ${command}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()

# What GUI test programs share: finding, driving and photographing windows
# (gui_test_support.h) and answering message boxes (box_answerer.h). A test
# program links orva_gui_test_support; one that loads the skin links
# orva_skin_tables too and includes skin_art.rc from its resource script.
if(NOT ORVA_NATIVE)
  add_library(orva_gui_test_support STATIC
    ${PROJECT_SOURCE_DIR}/uikit/tests/gui_test_support.cpp
    ${PROJECT_SOURCE_DIR}/uikit/tests/box_answerer.cpp)
  target_include_directories(orva_gui_test_support PUBLIC ${PROJECT_SOURCE_DIR}/uikit/tests)
  target_link_libraries(orva_gui_test_support PUBLIC orva_uikit)
endif()
