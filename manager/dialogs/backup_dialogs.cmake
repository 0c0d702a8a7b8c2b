# The start-backup, one-click and add-existing-image dialogs of the manager.
enable_language(RC)
# A program that uses them includes start_backup_dlg.rc, one_click_dlg.rc
# and add_image_dlg.rc in its resource script.
set(ORVA_BACKUP_DIALOGS_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(orva_manager_dialogs_backup STATIC
  ${ORVA_BACKUP_DIALOGS_DIR}/backup_job_logic.cpp
  ${ORVA_BACKUP_DIALOGS_DIR}/backup_dialog_util.cpp
  ${ORVA_BACKUP_DIALOGS_DIR}/one_click_dlg.cpp
  ${ORVA_BACKUP_DIALOGS_DIR}/start_backup_dlg.cpp
  ${ORVA_BACKUP_DIALOGS_DIR}/add_image_dlg.cpp)
target_include_directories(orva_manager_dialogs_backup PUBLIC ${ORVA_BACKUP_DIALOGS_DIR})
target_link_libraries(orva_manager_dialogs_backup PUBLIC
  orva_uikit orva_manager_win orva_image_header_reader shell32 ole32)

# Tests: the record and text rules, and the dialogs on real windows.
add_executable(backup_dialogs_logic_tests ${ORVA_BACKUP_DIALOGS_DIR}/tests/backup_job_logic_test.cpp)
target_link_libraries(backup_dialogs_logic_tests PRIVATE orva_manager_dialogs_backup GTest::gtest_main)
add_test(NAME backup_dialogs_logic_tests COMMAND backup_dialogs_logic_tests)

set(ORVA_BACKUP_DIALOGS_ART ${CMAKE_BINARY_DIR}/uikit/art)
add_executable(backup_dialogs_gui_tests
  ${ORVA_BACKUP_DIALOGS_DIR}/tests/backup_dialogs_gui_tests.cpp
  ${CMAKE_SOURCE_DIR}/uikit/tests/gui_test_support.cpp
  ${CMAKE_SOURCE_DIR}/uikit/skin_tables.cpp
  ${ORVA_BACKUP_DIALOGS_DIR}/tests/backup_dialogs_gui_tests.rc)
target_include_directories(backup_dialogs_gui_tests PRIVATE
  ${CMAKE_SOURCE_DIR}/uikit/tests ${ORVA_BACKUP_DIALOGS_ART})
set_source_files_properties(${ORVA_BACKUP_DIALOGS_DIR}/tests/backup_dialogs_gui_tests.rc PROPERTIES
  OBJECT_DEPENDS "${ORVA_BACKUP_DIALOGS_ART}/skin_art.rc;${ORVA_BACKUP_DIALOGS_DIR}/start_backup_dlg.rc;${ORVA_BACKUP_DIALOGS_DIR}/one_click_dlg.rc;${ORVA_BACKUP_DIALOGS_DIR}/add_image_dlg.rc")
add_dependencies(backup_dialogs_gui_tests orva_skin_art OrvaImage)
target_link_libraries(backup_dialogs_gui_tests PRIVATE orva_manager_dialogs_backup GTest::gtest)
orva_add_gui_test(backup_dialogs_gui_tests TARGET backup_dialogs_gui_tests
  ENVIRONMENT "ORVA_BIN=$<TARGET_FILE_DIR:OrvaImage>")
