# The embedding of a product firmware image: the bytes in order in the generated C++, and files
# of the wrong size refused. Run as: cmake -DSCRIPT=EmbedFirmware.cmake -DWORK=dir -P this file.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# 17830 bytes: "ABCD" repeated, then "XY"; an identification of 8.
string(REPEAT "ABCD" 4457 image)
file(WRITE "${WORK}/image.bin" "${image}XY")
file(WRITE "${WORK}/id.bin" "01234567")
file(WRITE "${WORK}/short.bin" "${image}X")

execute_process(
  COMMAND ${CMAKE_COMMAND} -DIMAGE=${WORK}/image.bin -DIDENTIFICATION=${WORK}/id.bin
          -DOUTPUT=${WORK}/out.cpp -P ${SCRIPT}
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a right-sized image was refused: ${errors}")
endif()
file(READ "${WORK}/out.cpp" generated)
foreach(expected
    "const bool kProductImagePresent = true;"
    "const std::uint8_t kProductImage[] = {\n    0x41,0x42,0x43,0x44,0x41,"
    "0x44,0x58,0x59,\n};"
    "const std::size_t kProductImageSize = 17830;"
    "kProductIdentification[8] = {0x30,0x31,0x32,0x33,0x34,0x35,0x36,0x37,};")
  string(FIND "${generated}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the generated file lacks: ${expected}")
  endif()
endforeach()

foreach(args "-DIMAGE=${WORK}/short.bin;-DIDENTIFICATION=${WORK}/id.bin"
             "-DIMAGE=${WORK}/image.bin;-DIDENTIFICATION=${WORK}/short.bin"
             "-DIMAGE=${WORK}/image.bin")
  execute_process(
    COMMAND ${CMAKE_COMMAND} ${args} -DOUTPUT=${WORK}/bad.cpp -P ${SCRIPT}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(status EQUAL 0 OR EXISTS "${WORK}/bad.cpp")
    message(FATAL_ERROR "embedding accepted ${args}")
  endif()
endforeach()
string(FIND "${errors}" "given together" at)
if(at EQUAL -1)
  message(FATAL_ERROR "no reason given for a missing identification: ${errors}")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${WORK}/standin.cpp -P ${SCRIPT} RESULT_VARIABLE status)
file(READ "${WORK}/standin.cpp" generated)
string(FIND "${generated}" "const bool kProductImagePresent = false;" at)
if(NOT status EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "without files the stand-in is not chosen")
endif()
file(REMOVE_RECURSE "${WORK}")
