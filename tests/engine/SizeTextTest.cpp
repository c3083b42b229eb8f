#include "SizeText.h"

#include <gtest/gtest.h>

using engine::SizeText;

namespace {

struct SizeCase
{
    qint64 bytes;
    const char* text;
};

class SizeTextTest : public ::testing::TestWithParam<SizeCase>
{
};

TEST_P(SizeTextTest, MatchesTheListColumn)
{
    EXPECT_EQ(SizeText(GetParam().bytes, QLocale::c()), QString::fromLatin1(GetParam().text)) << GetParam().bytes;
}

INSTANTIATE_TEST_SUITE_P(Sizes,
                         SizeTextTest,
                         ::testing::Values(SizeCase{0, "0 kb"},
                                           SizeCase{1536, "1.5 kb"},
                                           SizeCase{1048576, "1024 kb"},
                                           SizeCase{1048577, "1 mb"},
                                           SizeCase{5000000, "4.77 mb"},
                                           SizeCase{1152, "1.12 kb"},    // 1.125: half goes to the even 2
                                           SizeCase{1408, "1.38 kb"},    // 1.375: half goes to the even 8
                                           SizeCase{1184, "1.16 kb"},    // 1.15625 is above half
                                           SizeCase{1024000, "1000 kb"}, // no group separator
                                           SizeCase{3LL << 30, "3072 mb"},
                                           SizeCase{5LL << 40, "5242880 mb"}),
                         [](const auto& info) { return "bytes" + std::to_string(info.param.bytes); });

TEST(SizeTextLocaleTest, UsesTheUsersDecimalSeparator)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(SizeText(1536, german), QStringLiteral("1,5 kb"));
    EXPECT_EQ(SizeText(5000000, german), QStringLiteral("4,77 mb"));
    EXPECT_EQ(SizeText(1048576, german), QStringLiteral("1024 kb"));
}

} // namespace
