#pragma once
// The fixture of the tests that check codecs against peer tools: a scratch
// folder per test, and running a tool so that a failure fails the test with
// the command and what the tool printed on standard error.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace testsupport {

class PeerToolTest : public ::testing::Test {
 protected:
  TempDir Dir;
  std::string File(const std::string& Name) const { return Dir.file(Name); }
  static bool Have(const char* Tool) { return HaveTool(Tool); }

  // Runs Cmd; asserts that it succeeded (use HasFatalFailure() after it).
  void Run(const std::string& Cmd) {
    std::string out;
    const int rc = RunCommand(Cmd + " 2>" + File("stderr.txt"), &out);
    const auto err = ReadFileBytes(File("stderr.txt"));
    ASSERT_EQ(rc, 0) << Cmd << "\n" << std::string(err.begin(), err.end());
  }
};

}  // namespace testsupport
