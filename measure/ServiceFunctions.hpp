#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nuv {

class Tool;

// "CRC8": the 1-Wire CRC-8 of a known serial number, shown as "CRC: 46".
void btn2Click(Tool& tool);
// "CRC16": the Modbus CRC-16 of known bytes, appended as "58C7 CRC16 LH:  C758".
void btn8Click(Tool& tool);
// "Test 4B": the short frame 02 01 00 01 01 on the open device, result ignored.
void btn9Click(Tool& tool);
// "Zamnien": the character of the code typed into Edit8, into Edit9.
void Button21Click(Tool& tool);

}  // namespace nuv
