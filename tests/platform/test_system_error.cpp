#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/SystemError.h"

namespace vorn {
namespace {

TEST(SystemError, TextOfErrno) {
    EXPECT_EQ(SystemErrorText(ENOENT), std::strerror(ENOENT));
    const std::string text = SystemErrorText(ECONNREFUSED);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_FALSE(SystemErrorText(987654).empty());
}

}  // namespace
}  // namespace vorn
