#include "badsizes.h"
#include "catalogue/stylerules.h"

#include <gtest/gtest.h>

namespace {

struct RuleCase
{
    const char* style;
    const char* sizeBefore;
    const char* sizeAfter;
    QRgb ink;
};

class StyleRules : public testing::TestWithParam<RuleCase>
{
};

TEST_P(StyleRules, CapTheSizeAndSetTheInk)
{
    const RuleCase& c = GetParam();
    const StyleRule rule = styleRuleFor(QString::fromUtf8(c.style));
    EXPECT_EQ(cappedSizeText(QString::fromUtf8(c.sizeBefore), rule),
              QString::fromUtf8(c.sizeAfter));
    EXPECT_EQ(rule.ink, c.ink);
}

constexpr QRgb Black = 0xFF000000;
constexpr QRgb White = 0xFFFFFFFF;

INSTANTIATE_TEST_SUITE_P(
    Table, StyleRules,
    testing::Values(
        RuleCase{"英文签", "100", "72", Black}, RuleCase{"花式英文签", "190", "72", Black},
        RuleCase{"英文签-流畅", "72", "72", Black}, RuleCase{"毛体", "100", "72", Black},
        RuleCase{"篆印体-阳文", "100", "72", Black}, // begins with a seal's name: no seal
        RuleCase{"篆印体", "100", "48", SealFrameColor},
        RuleCase{"篆印体-阴文", "100", "48", White},
        RuleCase{"篆印体", "48.5", "48", SealFrameColor},
        RuleCase{"篆印体", "36", "36", SealFrameColor},
        RuleCase{"篆印体", "47.9", "47.9", SealFrameColor},
        RuleCase{"篆印体", "big", "big", SealFrameColor},
        RuleCase{"篆印体", "  60pt", "48", SealFrameColor}, RuleCase{"公文签", "100", "72", Black},
        RuleCase{"公文签", "72.0", "72.0", Black},
        RuleCase{"篆印体 ", "100", "72", Black})); // exact comparison

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith)
{
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("72")), 72);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("  48.5abc")), 48.5);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("-5")), -5);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("1e3")), 1000);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("1e")), 1);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("abc")), 0);
    EXPECT_DOUBLE_EQ(leadingNumber(QString()), 0);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("1e999")), 0);
    // What a Chinese input method types in full-width mode.
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("７２")), 72);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("　１００磅")), 100);
}

TEST(FontSizeFromText, AcceptsNumbersFrom1To2160)
{
    EXPECT_EQ(fontSizeFromText(QStringLiteral("72")), 72);
    EXPECT_EQ(fontSizeFromText(QStringLiteral(" 48.5 ")), 48.5);
    EXPECT_EQ(fontSizeFromText(QStringLiteral("1")), 1);
    EXPECT_EQ(fontSizeFromText(QStringLiteral("2160")), 2160);
    EXPECT_EQ(fontSizeFromText(QStringLiteral("３６．５")), 36.5);
    for (const char* bad : UnusableSizes)
        EXPECT_FALSE(fontSizeFromText(QString::fromUtf8(bad))) << bad;
}

} // namespace
