# Checks the service unit as systemd would load it: `systemd-analyze verify` on a copy whose
# ExecStart runs the nuvctl of this build (verify wants the program to exist), with no word
# from it at all (it reports bad settings as warnings and still exits 0). Skipped where
# systemd-analyze is not installed (the test's SKIP_REGULAR_EXPRESSION matches the message).
# Run by CTest with UNIT, NUVCTL and WORK_DIR.
cmake_minimum_required(VERSION 3.25)

find_program(SYSTEMD_ANALYZE systemd-analyze)
if(NOT SYSTEMD_ANALYZE)
  message("systemd-analyze is not installed (scripts/deps.sh test installs systemd): skipped")
  return()
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
get_filename_component(name "${UNIT}" NAME)
file(READ "${UNIT}" unit)
string(FIND "${unit}" "ExecStart=/usr/bin/nuvctl " at)
if(at EQUAL -1)
  message(FATAL_ERROR "${name}: ExecStart does not run /usr/bin/nuvctl")
endif()
string(REPLACE "ExecStart=/usr/bin/nuvctl " "ExecStart=${NUVCTL} " unit "${unit}")
file(WRITE "${WORK_DIR}/${name}" "${unit}")

execute_process(
  COMMAND "${SYSTEMD_ANALYZE}" verify --man=no "${WORK_DIR}/${name}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify ${name} (${rc}):\n${out}")
endif()
message(STATUS "${name}: systemd-analyze verify finds nothing to say")
