# Runs the launcher's splash test mode in a folder holding qv_logo.png and checks that it ends
# with exit code 1 after announcing every step in order. Other lines (the log's, say that there
# is no display) may come in between.
#   cmake -DLAUNCHER=<exe> -DIMAGE=<png> -DWORK_DIR=<folder> [-DEMULATOR=<runner>] -P this file
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY_FILE "${IMAGE}" "${WORK_DIR}/qv_logo.png")

execute_process(COMMAND ${EMULATOR} "${LAUNCHER}" -TESTSPLASH
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 100)
message("${output}${errors}")

set(expected
  "[TestSplash] Initialising splash"
  "[TestSplash] Configure splash to use qv_logo.png"
  "[TestSplash] Show"
  "[TestSplash] SetProgress -1"
  "[TestSplash] Sleep")
foreach(percent RANGE 0 90 10)
  list(APPEND expected "[TestSplash] SetProgress ${percent}" "[TestSplash] Sleep")
endforeach()
list(APPEND expected "[TestSplash] SetProgress 100")

string(REPLACE "\r\n" "\n" output "${output}")
set(rest "\n${output}")
foreach(line IN LISTS expected)
  string(FIND "${rest}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "missing, or out of order: '${line}'")
  endif()
  string(LENGTH "\n${line}" skip)
  math(EXPR at "${at} + ${skip}")
  string(SUBSTRING "${rest}" ${at} -1 rest)
endforeach()
if(NOT result STREQUAL "1")
  message(FATAL_ERROR "exit code ${result}, expected 1")
endif()
