#include <gtest/gtest.h>

#include "test_support.h"

using namespace testing_support;

namespace {

TEST(StartupSmoke, BothProgramsStartAndEndOnEndOfInput) {
  for (const auto& bin : {rawinq_bin(), rawinq_na_bin()}) {
    const RunResult r = run_program(bin, {}, "");
    EXPECT_EQ(r.status, 0) << bin;
    EXPECT_EQ(r.out.rfind("\033[2J", 0), 0u) << bin;
  }
}

}  // namespace
