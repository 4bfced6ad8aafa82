// A RunContext for in-process tests: its home is a fresh scenario
// directory and its log lines are captured instead of printed.
#ifndef OLVIX_TESTS_TEST_CONTEXT_H_
#define OLVIX_TESTS_TEST_CONTEXT_H_

#include <cstdio>
#include <string>

#include "run/context.h"
#include "scenario.h"

namespace olvix::test {

class TestContext {
 public:
  TestContext();
  ~TestContext();
  TestContext(const TestContext&) = delete;
  TestContext& operator=(const TestContext&) = delete;

  // The log and debug lines written so far, without time stamps.
  std::string Output();

  Scenario dir;
  RunContext ctx;

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* console_ = nullptr;
};

}  // namespace olvix::test

#endif  // OLVIX_TESTS_TEST_CONTEXT_H_
