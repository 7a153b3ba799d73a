# The check of the layers on a small tree with three wrong includes: it fails, and names each
# file, its include and the rule it breaks; and nothing else.
#   cmake -D CHECK=<CheckLayers.cmake> -D RULES=<ARCHITECTURE.md> -D TREE=<wrong/> -P ...
execute_process(
  COMMAND ${CMAKE_COMMAND} -D ROOT=${TREE} -D RULES=${RULES} -P ${CHECK}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
string(REGEX REPLACE "[ \n]+" " " output "${output}")
if(status EQUAL 0)
  message(FATAL_ERROR "the check passed a tree with wrong includes:\n${output}")
endif()
foreach(expected
    "protocol/Frame.hpp includes \"model/Tool.hpp\": the row protocol/ of the rule table in ARCHITECTURE.md may include only core/ link/."
    "config/Save.cpp includes \"sensors/Search.hpp\": the row config/ of the rule table in ARCHITECTURE.md may include only core/ link/ protocol/ model/."
    "measure/Cyclic.hpp includes \"model/Tool.hpp\": the row a family's state header (*State.hpp and the headers of its folder it includes) of the rule table"
    "3 include(s) break the layers of ARCHITECTURE.md")
  string(FIND "${output}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not say: ${expected}\nIt said: ${output}")
  endif()
endforeach()
message(STATUS "the wrong includes were named: ${output}")
