#include <gtest/gtest.h>

#include "jstring.h"

TEST(JString, IntegerTextAtTheLimits) {
    EXPECT_STREQ(JString().assign(0).data, "0");
    EXPECT_STREQ(JString().assign(-45).data, "-45");
    EXPECT_STREQ(JString().assign(2147483647).data, "2147483647");
    EXPECT_STREQ(JString().assign(-2147483647 - 1).data, "-2147483648");
}
