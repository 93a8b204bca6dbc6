// Shared helpers of the unit tests: output capture and a fixture that gives
// each test a fresh fake runtime and fresh process-wide state.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_runtime.h"

// What a piece of code wrote to the standard output and error descriptors.
struct Output {
  std::string out;
  std::string err;
};

// Runs `body` with both standard descriptors captured.
template <typename Body>
Output Capture(Body body) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  body();
  std::fflush(nullptr);
  Output o;
  o.err = testing::internal::GetCapturedStderr();
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

// An argument vector that outlives the call it is passed to.
class Args {
 public:
  Args(std::initializer_list<std::string> args);
  int argc() const { return static_cast<int>(storage_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> storage_;
  std::vector<char*> pointers_;
};

// `text` with every '|' made the separator `s`.
std::string Sep(std::string text, char s);

// The line that opens each database's section of the report.
inline const std::string kRule = "\n===========================\n";

// Fresh fake runtime, run settings and scan state for every test.
class RuntimeTest : public testing::Test {
 protected:
  void SetUp() override;
  fake::Runtime& rt() { return fake::Fake(); }
};
