#include "core/MessageTable.hpp"

#include <array>
#include <utility>

namespace nuv {
namespace {

struct Entry {
    LinkResult code;
    std::string_view text;
};

constexpr std::string_view kCheckCables = "Check cables, and press ''Find Devices'' button...";
constexpr std::string_view kListDevices = "Błąd funkcji FT_ListDevices";
constexpr std::string_view kTimeOut = "Time Out";

constexpr std::array kEntries{
    Entry{1, "Błąd otwarcia FTDI"},
    Entry{5, kCheckCables},
    Entry{6, kListDevices},
    Entry{7, kListDevices},
    Entry{8, kCheckCables},
    Entry{11, "Błąd funkcji FTDI FT_ClrRts"},
    Entry{12, "Błąd funkcji FTDI FT_Set_BaudRate"},
    Entry{13, "Błąd funkcji FTDI FT_SetDataCharacteristics"},
    Entry{14, "Błąd funkcji FTDI FT_SetFlowControl"},
    Entry{15, "Błąd funkcji FTDI FT_Read"},
    Entry{16, "Błąd funkcji FTDI FT_Get_Status RX"},
    Entry{17, "Brak danych"},
    Entry{19, "Błąd funkcji FT_Write"},
    Entry{20, kCheckCables},
    Entry{21, kTimeOut},
    Entry{28, kTimeOut},
    Entry{30, "Błąd f-cji Otworz_Port_BOX"},
    Entry{32, "Błąd f-cji Zmien_Predkosc_COM"},
};

constexpr std::size_t kFieldWidth = 63;
constexpr std::size_t kWideFieldWidth = 66;  // the entry of code 30 is three characters wider

}  // namespace

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0U) != 0x80U) ++count;  // count every byte that is not a continuation byte
    }
    return count;
}

std::string MessageTable(LinkResult code) {
    for (const Entry& entry : kEntries) {
        if (entry.code != code) continue;
        const std::size_t width = code == result::PortOpenFailed ? kWideFieldWidth : kFieldWidth;
        std::string text(entry.text);
        const std::size_t length = Utf8Length(text);
        if (length < width) text.append(width - length, ' ');
        return text;
    }
    return "ERROR";
}

std::string HexByte(unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(value >> 4U) & 0xFU], kDigits[value & 0xFU]};
}

std::string MessageText(LinkResult code) {
    std::string text = MessageTable(code);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string ErrorCodeLine(LinkResult code) {
    return "Error: " + HexByte(code >> 8U) + "." + HexByte(code & 0xFFU);
}

}  // namespace nuv
