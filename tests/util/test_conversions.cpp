#include <gtest/gtest.h>

#include <climits>

#include "util/conversions.h"

using Pieces = std::vector<std::string>;

TEST(Conversions, StrToIntReadsLeadingDecimalsLikeStrtol) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt(" \t-17xyz"), -17);
    EXPECT_EQ(StrToInt("+5"), 5);
    EXPECT_EQ(StrToInt("007"), 7);
    EXPECT_EQ(StrToInt("0x1F"), 0);
    EXPECT_EQ(StrToInt("abc"), 0);
    EXPECT_EQ(StrToInt(""), 0);
    EXPECT_EQ(StrToInt("- 3"), 0);
}

TEST(Conversions, StrToIntClampsToIntRange) {
    EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
    EXPECT_EQ(StrToInt("2147483648"), INT_MAX);
    EXPECT_EQ(StrToInt("-2147483649"), INT_MIN);
    EXPECT_EQ(StrToInt("123456789012345678901234567890"), INT_MAX);
    EXPECT_EQ(StrToInt("-123456789012345678901234567890"), INT_MIN);
}

TEST(Conversions, CharacterVariantGivesDigitValueOrZero) {
    EXPECT_EQ(StrToInt('0'), 0);
    EXPECT_EQ(StrToInt('9'), 9);
    EXPECT_EQ(StrToInt('a'), 0);
    EXPECT_EQ(StrToInt(' '), 0);
    EXPECT_EQ(StrToInt(static_cast<char>(0xB9)), 0);  // superscript one in Latin-1
}

TEST(Conversions, StrToBoolAcceptsOneTrueYesOnInAnyCase) {
    for (const char* yes : {"1", "true", "TRUE", "Yes", "oN", " on "}) {
        EXPECT_TRUE(StrToBool(yes)) << yes;
    }
    for (const char* no : {"0", "false", "off", "", "2", "truex", "y", "01"}) {
        EXPECT_FALSE(StrToBool(no)) << no;
    }
    EXPECT_TRUE(StrToBool(BoolToStr(true)));
    EXPECT_FALSE(StrToBool(BoolToStr(false)));
    EXPECT_EQ(BoolToStr(false), "false");
}

TEST(Conversions, StrToDoubleReadsLeadingNumberOrZero) {
    EXPECT_DOUBLE_EQ(StrToDouble("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(StrToDouble(" -1e3 V"), -1000.0);
    EXPECT_DOUBLE_EQ(StrToDouble("volt"), 0.0);
}

TEST(Conversions, SplitStringKeepsEmptyPieces) {
    EXPECT_EQ(SplitString("192.168.0.1", "."), (Pieces{"192", "168", "0", "1"}));
    EXPECT_EQ(SplitString("1..2.", "."), (Pieces{"1", "", "2", ""}));
    EXPECT_EQ(SplitString("a,b;c", ",;"), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(SplitString("abc", ""), (Pieces{"abc"}));
    EXPECT_EQ(SplitString("", "."), (Pieces{""}));
}

TEST(Conversions, TrimBlanksRemovesOnlyOuterWhitespace) {
    EXPECT_EQ(TrimBlanks(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimBlanks(" \t "), "");
}
