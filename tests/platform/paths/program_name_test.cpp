#include "platform/paths/program_name.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramName, IsTheExecutablesNameWithoutExtension) { EXPECT_EQ(platform::ProgramName(), "platform_tests"); }

}  // namespace
