# Builds the Debian package from the build tree and checks it as apt and Debian's tools would:
# it depends on libftdi1 (the cables' driver library), it carries the udev rules with the rule
# for the cable's USB device node, its copyright and changelog, and lintian finds no error.
# Run by CTest with the variables that packaging/CMakeLists.txt passes.
cmake_minimum_required(VERSION 3.25)

set(errors "")
macro(fail message)
  string(APPEND errors "\n  ${message}")
endmacro()

foreach(tool DPKG_DEB LINTIAN)
  if(NOT ${tool})
    message(FATAL_ERROR "${tool} not found: `scripts/deps.sh test` installs it")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(
  COMMAND "${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs "${WORK_DIR}/*.deb")
if(NOT rc EQUAL 0 OR NOT debs)
  message(FATAL_ERROR "cpack made no package (${rc}):\n${out}")
endif()
list(GET debs 0 deb)

execute_process(COMMAND "${DPKG_DEB}" -f "${deb}" Depends OUTPUT_VARIABLE depends
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT depends MATCHES "(^|, )libftdi1-2( |,|$)")
  fail("the package does not depend on libftdi1-2: Depends: ${depends}")
endif()

execute_process(COMMAND "${DPKG_DEB}" -c "${deb}" OUTPUT_VARIABLE contents RESULT_VARIABLE rc)
foreach(file usr/lib/udev/rules.d/70-nuvtool.rules usr/share/doc/nuvtool/copyright
             usr/share/doc/nuvtool/changelog.gz usr/bin/nuvtool usr/bin/nuvctl
             usr/lib/systemd/system/nuvctl-watch@.service
             usr/share/doc/nuvtool/examples/nuvctl-watch.conf)
  string(FIND "${contents}" " ./${file}\n" at)
  if(at EQUAL -1)
    fail("the package lacks /${file}")
  endif()
endforeach()

execute_process(COMMAND "${DPKG_DEB}" -x "${deb}" "${WORK_DIR}/root" RESULT_VARIABLE rc)
file(READ "${WORK_DIR}/root/usr/lib/udev/rules.d/70-nuvtool.rules" rules)
if(NOT rules MATCHES "\nSUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"0403\", ATTR{product}==\"ORNEVA NUV\\|ORNEVA Terminal\", TAG\\+=\"uaccess\"")
  fail("the packaged udev rules do not open the cable's USB device node to the seated user")
endif()

execute_process(COMMAND "${LINTIAN}" --tag-display-limit 0 "${deb}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE lint ERROR_VARIABLE lint_errors)
string(REGEX MATCHALL "(^|\n)E: [^\n]*" lint_lines "${lint}")
if(lint_lines)
  fail("lintian reports errors:${lint_lines}")
endif()

if(errors)
  message(FATAL_ERROR "package faults in ${deb}:${errors}")
endif()
message(STATUS "package: depends on libftdi1-2, holds the udev rules, lintian finds no error\n${lint}")
