# The message box on real windows, and its template measured in the real font.
add_library(msgbox_test_strings SHARED
  ${CMAKE_CURRENT_SOURCE_DIR}/msgbox_test_strings.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/msgbox_test_strings.rc)
set_target_properties(msgbox_test_strings PROPERTIES PREFIX "")
add_executable(msgbox_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/msgbox_tests.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/msgbox_tests.rc)
target_include_directories(msgbox_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${ORVA_SKIN_ART_DIR})
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/msgbox_tests.rc PROPERTIES OBJECT_DEPENDS ${ORVA_SKIN_ART_RC})
add_dependencies(msgbox_tests orva_skin_art msgbox_test_strings)
target_link_libraries(msgbox_tests PRIVATE orva_gui_test_support GTest::gtest)
orva_add_gui_test(uikit_msgbox_tests TARGET msgbox_tests ENVIRONMENT "${ORVA_KOREAN_CODE_PAGE}")
