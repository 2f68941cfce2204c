// Where a window goes to sit centred on the whole primary screen.
#include "output/placement.h"

#include <gtest/gtest.h>

namespace {

struct Placement
{
    const char* name;
    double screenWidthTwips, screenHeightTwips, twipsPerPixel;
    QSize frame;
    QPoint expected;
};

class CentredPosition : public testing::TestWithParam<Placement>
{
};

TEST_P(CentredPosition, CentresTheFrameTruncatingTowardZero)
{
    const Placement& p = GetParam();
    EXPECT_EQ(centredPosition(p.screenWidthTwips, p.screenHeightTwips, p.twipsPerPixel,
                              p.twipsPerPixel, p.frame),
              p.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CentredPosition,
    testing::Values(Placement{"Dialog1024x768", 1024 * 15, 768 * 15, 15, {450, 330}, {287, 219}},
                    Placement{"OddSizesTruncate", 1920 * 15, 1080 * 15, 15, {451, 331}, {734, 374}},
                    Placement{
                        "LargerThanTheScreen", 300 * 15, 200 * 15, 15, {451, 333}, {-75, -66}},
                    Placement{"NoTwipsPerPixel", 1000, 1000, 0, {10, 10}, {-5, -5}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
