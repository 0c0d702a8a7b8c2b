# One CTest entry per end-to-end test file (test_*.py) of a folder (default:
# the calling one), run by pytest under Wine, so that the files run side by
# side. Entries are named <name prefix>_<file name without test_ and without
# the prefix's first word>.
#   orva_add_e2e_tests(<name prefix> [SERVICE] [DIRECTORY <dir>] [TIMEOUT <s>] [PROCESSORS <n>])
# SERVICE: the tests start the service, which listens on a fixed port. Each
# entry then has a Wine prefix of its own and runs in a network namespace of
# its own (tools/netns-run); where no namespace can be made, the entries take
# the port one after another. PROCESSORS (default 1; 2 for SERVICE, which
# runs a wineserver and several programs) bounds how many run at once.
if(NOT DEFINED ORVA_E2E_NETNS)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/netns-run true
    RESULT_VARIABLE netns_result OUTPUT_QUIET ERROR_QUIET)
  if(netns_result EQUAL 0)
    set(ORVA_E2E_NETNS ON CACHE INTERNAL "Service tests each in a network namespace of their own")
  else()
    set(ORVA_E2E_NETNS OFF CACHE INTERNAL "Service tests each in a network namespace of their own")
    message(STATUS "No network namespaces: the service's end-to-end tests take its port in turn")
  endif()
endif()

function(orva_add_e2e_tests prefix)
  cmake_parse_arguments(E "SERVICE" "DIRECTORY;TIMEOUT;PROCESSORS" "" ${ARGN})
  if(NOT Python3_Interpreter_FOUND)
    return()
  endif()
  get_filename_component(dir "${E_DIRECTORY}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT E_TIMEOUT)
    set(E_TIMEOUT 900)
  endif()
  if(NOT E_PROCESSORS)
    if(E_SERVICE)
      set(E_PROCESSORS 2)
    else()
      set(E_PROCESSORS 1)
    endif()
  endif()
  file(GLOB files CONFIGURE_DEPENDS ${dir}/test_*.py)
  foreach(file IN LISTS files)
    get_filename_component(stem ${file} NAME_WE)
    # test_manager_window.py under manager_e2e: manager_e2e_window.
    string(REGEX REPLACE "^test_" "" stem ${stem})
    string(REGEX REPLACE "_.*" "" word ${prefix})
    if(stem STREQUAL word)
      set(name ${prefix})
    else()
      string(REGEX REPLACE "^${word}_" "" stem ${stem})
      set(name ${prefix}_${stem})
    endif()
    set(command ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider ${file})
    set(env "ORVA_BIN=${CMAKE_BINARY_DIR}/bin" "ORVA_WINE_RUN=${PROJECT_SOURCE_DIR}/tools/wine-run")
    if(E_SERVICE)
      list(APPEND env "ORVA_SERVICE_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefixes/${name}")
      if(ORVA_E2E_NETNS)
        list(PREPEND command ${PROJECT_SOURCE_DIR}/tools/netns-run)
      endif()
    endif()
    add_test(NAME ${name} COMMAND ${command} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    # The long poles: started before the short test programs even when CTest
    # has no times of an earlier run (a clean checkout).
    set_tests_properties(${name} PROPERTIES TIMEOUT ${E_TIMEOUT} PROCESSORS ${E_PROCESSORS}
      COST 1000 ENVIRONMENT "${env}")
    if(E_SERVICE AND NOT ORVA_E2E_NETNS)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK orva_service_port)
    endif()
  endforeach()
endfunction()
