// libftdi1's EEPROM read against the emulated chip: the ids and strings it decodes are the
// chip's, and the check word holds.
#include <ftdi.h>
#include <gtest/gtest.h>

#include "tests/usb/UsbFixture.hpp"

namespace nuv::test {
namespace {

using EepromTest = EmulatedCableTest;

TEST_F(EepromTest, LibFtdiReadsAndDecodesTheChipsEeprom) {
    ftdi_context* ftdi = ftdi_new();
    ASSERT_NE(ftdi, nullptr);
    ASSERT_EQ(ftdi_usb_open(ftdi, 0x0403, 0x6001), 0) << ftdi_get_error_string(ftdi);
    EXPECT_EQ(ftdi->type, TYPE_R);
    ASSERT_EQ(ftdi_read_eeprom(ftdi), 0) << ftdi_get_error_string(ftdi);
    EXPECT_EQ(ftdi_eeprom_decode(ftdi, 0), 0) << ftdi_get_error_string(ftdi);
    int value = 0;
    ASSERT_EQ(ftdi_get_eeprom_value(ftdi, VENDOR_ID, &value), 0);
    EXPECT_EQ(value, 0x0403);
    ASSERT_EQ(ftdi_get_eeprom_value(ftdi, PRODUCT_ID, &value), 0);
    EXPECT_EQ(value, 0x6001);
    char manufacturer[64] = {};
    char product[64] = {};
    char serial[64] = {};
    ASSERT_EQ(ftdi_eeprom_get_strings(ftdi, manufacturer, sizeof manufacturer, product,
                                      sizeof product, serial, sizeof serial),
              0);
    EXPECT_STREQ(manufacturer, "FTDI");
    EXPECT_STREQ(product, "ORNEVA NUV");
    EXPECT_STREQ(serial, "NUV13001");
    ftdi_usb_close(ftdi);
    ftdi_free(ftdi);
    // Reading the EEPROM moved no line.
    EXPECT_EQ(ModemControl(), std::vector<std::uint16_t>{});
}

}  // namespace
}  // namespace nuv::test
