#include "Installation/Installation.h"

#include <gtest/gtest.h>

namespace {

struct Comparison {
    const char* reads;
    QString first;
    QString second;
    qint64 expected;
};

TEST(VersionCompareTest, TheNewerFirstVersionGivesMinusOne) {
    const QString threshold = "7.0.0";
    const Comparison table[] = {
        {"a later patch is newer", "7.0.1", threshold, -1},
        {"an earlier minor is older", "6.9.9", threshold, 1},
        {"equal versions are equal", "7.0.0", threshold, 0},
        {"a later major is newer", "10.0", threshold, -1},
        {"fewer components count as older", "7.0", threshold, 1},
        {"more components count as newer, even zeros", "7.0.0.0", threshold, -1},
        {"no version is older", QString(), threshold, 1},
        {"components compare as numbers", "7.10.0", "7.9.0", -1},
        {"text after the digits is ignored", "7.1beta.0", "7.1.0", 0},
        {"a component without digits reads 0", "7.x.1", "7.0.1", 0},
        {"blanks and a sign lead the number", " +7. -1", "7.0", 1},
        {"empty components stay in the list", "7..1", "7.0.1", 0},
        {"an empty text is one empty component", "", "0", 0},
        {"two nothings are equal", QString(), QString(), 0},
        {"numbers beyond 64 bits saturate", "99999999999999999999999.1", "9223372036854775807.0",
         -1},
        {"saturated numbers compare equal", "99999999999999999999999", "88888888888888888888888888",
         0},
        {"negative numbers saturate too", "-99999999999999999999999", "-9223372036854775807", 1},
    };
    for (const Comparison& row : table)
        EXPECT_EQ(Installation::compare(row.first, row.second), row.expected) << row.reads;
}

} // namespace
