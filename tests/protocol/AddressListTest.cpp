// Lists of module addresses as a person writes them.
#include <gtest/gtest.h>

#include "protocol/AddressList.hpp"

namespace nuv::test {
namespace {

TEST(AddressList, NumbersAndRangesInTheOrderWritten) {
    struct Case {
        const char* text;
        std::vector<int> addresses;
    };
    for (const Case& c : std::vector<Case>{{"2", {2}},
                                           {"1,4,7-9", {1, 4, 7, 8, 9}},
                                           {" 7 , 1 ", {7, 1}},
                                           {"245-247", {245, 246, 247}},
                                           {"5-5", {5}},
                                           {"1", {1}},
                                           {"10,3-4", {10, 3, 4}}}) {
        SCOPED_TRACE(c.text);
        std::string reason;
        const auto list = ParseAddressList(c.text, reason);
        ASSERT_TRUE(list) << reason;
        EXPECT_EQ(*list, c.addresses);
    }
}

TEST(AddressList, EveryBadListIsRefusedWithItsReason) {
    struct Case {
        const char* text;
        const char* reason;
    };
    for (const Case& c : std::vector<Case>{
             {"", "the list of addresses is empty"},
             {"  ", "the list of addresses is empty"},
             {"0", "'0' is not an address of 1..247"},
             {"248", "'248' is not an address of 1..247"},
             {"1000", "'1000' is not an address of 1..247"},
             {"-3", "the range '-3' lacks an end"},
             {"4-", "the range '4-' lacks an end"},
             {"+3", "'+3' is not an address of 1..247"},
             {"0x10", "'0x10' is not an address of 1..247"},
             {"1,,2", "an empty item in the list of addresses '1,,2'"},
             {"1,", "an empty item in the list of addresses '1,'"},
             {"4,4", "4 is listed twice"},
             {"1-5,3", "3 is listed twice"},
             {"9-3", "the range '9-3' goes downwards: write it as 3-9"},
             {"1-300", "'300' is not an address of 1..247 (in the range '1-300')"},
             {"1-2-3", "'2-3' is not an address of 1..247 (in the range '1-2-3')"},
             {"1 2", "'1 2' is not an address of 1..247"},
         }) {
        SCOPED_TRACE(c.text);
        std::string reason;
        EXPECT_FALSE(ParseAddressList(c.text, reason));
        EXPECT_EQ(reason, c.reason);
    }
}

TEST(AddressList, TheListWrittenBackJoinsRangesOfThree) {
    EXPECT_EQ(AddressListText({1, 4, 7, 8, 9}), "1,4,7-9");
    EXPECT_EQ(AddressListText({1, 2}), "1,2");
    EXPECT_EQ(AddressListText({247}), "247");
    EXPECT_EQ(AddressListText({}), "");
    EXPECT_EQ(AddressListText({3, 4, 5, 1, 2, 3}), "3-5,1-3");
}

}  // namespace
}  // namespace nuv::test
