// Fuzzes ParseArguments with argument vectors split from the input at NUL bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/run_settings.h"
#include "common/fixed_text.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kMaxArguments = 64;

bool IsSwitch(const std::string& arg) { return !arg.empty() && (arg[0] == '-' || arg[0] == '/'); }

// The settings field a positional argument must end up in: cut, never longer.
bool HoldsCut(const Text& field, const std::string& arg) {
  const std::string_view held = TextOf(field);
  return held.size() <= 255 && std::string_view(arg).substr(0, held.size()) == held &&
         (held.size() == arg.size() || held.size() == 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"usetrail"};
  if (size > 0) {
    std::string current;
    for (std::size_t i = 0; i < size && args.size() <= kMaxArguments; ++i) {
      if (data[i] == 0) {
        args.push_back(current);
        current.clear();
      } else {
        current.push_back(static_cast<char>(data[i]));
      }
    }
    if (args.size() <= kMaxArguments) args.push_back(current);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // What the command line decides, by its rules alone.
  int expected = 0;
  std::vector<const std::string*> positional;
  bool usage = args.size() < 2;
  for (std::size_t i = 1; i < args.size() && !usage; ++i) {
    if (!IsSwitch(args[i])) {
      positional.push_back(&args[i]);
    } else if (args[i].size() > 1 && args[i][1] == '?') {
      usage = true;
    }
  }
  if (!usage && !positional.empty()) expected = 1;

  ResetRunSettings();
  int32_t result;
  {
    fuzz::StreamSwap quiet(fuzz::NullStream());
    result = ParseArguments(static_cast<int32_t>(args.size()), argv.data());
  }

  const RunSettings& s = gRunSettings;
  fuzz::Require(result == 0 || result == 1, "ParseArguments returns 0 or 1");
  fuzz::Require(fuzz::Terminated(s.serverName), "serverName terminated");
  fuzz::Require(fuzz::Terminated(s.dbPattern), "dbPattern terminated");
  fuzz::Require(fuzz::Terminated(s.includePattern), "includePattern terminated");
  fuzz::Require(fuzz::Terminated(s.excludePattern), "excludePattern terminated");
  fuzz::Require(s.separator == '\t' || s.separator == ',', "separator is tab or comma");
  fuzz::Require(s.showSummary == 0 || s.showSummary == 1, "showSummary is 0 or 1");
  fuzz::Require(result == expected, "result follows usage request and positional count");
  fuzz::Require(TextOf(s.includePattern).size() > 0, "include pattern never empty");
  if (result == 1) {
    if (positional.size() == 1) {
      fuzz::Require(TextOf(s.serverName).empty(), "one positional: no server");
      fuzz::Require(HoldsCut(s.dbPattern, *positional[0]), "one positional: the pattern");
    } else {
      fuzz::Require(HoldsCut(s.serverName, *positional[0]), "first positional: the server");
      fuzz::Require(HoldsCut(s.dbPattern, *positional[1]), "second positional: the pattern");
    }
  }
  return 0;
}
