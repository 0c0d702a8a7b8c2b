# The replication set and repository dialogs. Their rules are portable; the
# dialogs themselves need the kit. A program that opens them lists
# ORVA_SETS_DIALOG_RC among its sources (or includes the two .rc files from
# its own script) and supplies the banner bitmaps 192 and 193.
add_library(orva_manager_dialogs_sets_rules STATIC
  ${CMAKE_CURRENT_LIST_DIR}/replication_set_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repository_rules.cpp)
target_include_directories(orva_manager_dialogs_sets_rules PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orva_manager_dialogs_sets_rules PUBLIC orva_contracts)

set(ORVA_SETS_DIALOG_RC
  ${CMAKE_CURRENT_LIST_DIR}/replication_set_dlg.rc
  ${CMAKE_CURRENT_LIST_DIR}/repository_dlg.rc)

if(NOT ORVA_NATIVE)
  add_library(orva_manager_dialogs_sets STATIC
    ${CMAKE_CURRENT_LIST_DIR}/sets_dialog_common.cpp
    ${CMAKE_CURRENT_LIST_DIR}/replication_set_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/repository_dlg.cpp)
  target_include_directories(orva_manager_dialogs_sets PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(orva_manager_dialogs_sets PUBLIC orva_manager_dialogs_sets_rules orva_manager_core
    orva_uikit orva_platform shell32 ole32)
endif()

add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/sets_tests ${CMAKE_CURRENT_BINARY_DIR}/dialogs/sets_tests)
