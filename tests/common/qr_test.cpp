// QR code validation and card number extraction.
#include "common/qr.h"

#include <gtest/gtest.h>

TEST(QRCodes, ValidationAndCardNumberFollowTheRules) {
    const std::string card17 = "12345678901234567";
    struct Case {
        std::string text;
        bool valid;
        std::string cardNum;
    } cases[] = {
        {std::string(75, 'A'), true, ""},
        {std::string(76, 'A'), false, ""},
        {card17 + "/ABC-def_1", true, card17},
        {card17.substr(1) + "/XYZ", false, ""},  // 16 digits
        {card17 + "8/XYZ", false, ""},           // 18 digits
        {"AB12/XYZ", true, ""},
        {"/XYZ", false, ""},  // an empty prefix counts as digits
        {"abc/def", true, ""},
        {"ABC DEF", false, ""},
        {"ABC+DEF", false, ""},
        {"ABCDEF-123_X", true, ""},
        {"", false, ""},
        {card17, true, ""},                                   // no "/": no card number
        {card17 + "/" + std::string(57, 'Z'), true, card17},  // 75 characters
        {card17 + "/" + std::string(58, 'Z'), false, ""},
        {card17 + "/Код", false, card17},  // extraction does not check the rest
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.valid, isValidQRString(c.text)) << c.text;
        EXPECT_EQ(c.cardNum, extractQRCardNum(c.text)) << c.text;
    }
}
