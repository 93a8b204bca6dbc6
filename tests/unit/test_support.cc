// Shared helpers of the unit tests.
#include "test_support.h"

#include "cli/lost_arguments.h"
#include "cli/output_check.h"
#include "cli/progress.h"
#include "cli/run_settings.h"
#include "report/user_table.h"
#include "scan/database_scan.h"

namespace {

// A runtime call with an argument out of place fails the test that made it.
void FailTheTest(const std::string& fault) { ADD_FAILURE() << "runtime call: " << fault; }

[[maybe_unused]] const bool kFaultsFailTests = (fake::SetFaultHandler(FailTheTest), true);

}  // namespace

Args::Args(std::initializer_list<std::string> args) : storage_(args) {
  for (auto& a : storage_) pointers_.push_back(a.data());
  pointers_.push_back(nullptr);
}

void RuntimeTest::SetUp() {
  fake::Reset();
  ResetRunSettings();
  ResetLostArguments();
  ResetOutputCheck();
  ResetProgress();
  ResetDatabaseScan();
  SetUserTableMemoryLimit(0);
  ResetUserTable();
}

std::string Sep(std::string text, char s) {
  for (char& c : text) c = c == '|' ? s : c;
  return text;
}
