#include "tarnwick_base/test_support/param_name.hpp"

#include <gtest/gtest.h>

namespace tarnwick_base::test_support {
namespace {

TEST(ParamName, KeepsLettersAndDigitsAndNamesOtherBytes) {
    EXPECT_EQ(param_name("--test-threads=0"), "test_threads_0");
    EXPECT_EQ(param_name("--test-threads=-1 -2"), "test_threads_minus1_minus2");
    EXPECT_EQ(param_name("-q\xc3\xa9"), "q_xC3_xA9");
    EXPECT_EQ(param_name("0x10000001 Portal"), "0x10000001_Portal");
    EXPECT_EQ(param_name("--"), "none");
}

}  // namespace
}  // namespace tarnwick_base::test_support
