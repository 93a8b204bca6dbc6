// Start-up and shutdown: reads the configuration from the environment and holds it for the
// other operations.
#include <filesystem>
#include <string>
#include <system_error>

#include "known_folders.h"
#include "log_builder.h"
#include "platform.h"
#include "standin_internal.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

struct RuntimeState {
  bool started = false;
  Config config;
};

RuntimeState& State() {
  static RuntimeState state;
  return state;
}

// Checks that `value` names a readable directory; on failure returns a status
// whose text names `variable` and what is wrong.
Status CheckDirectory(const char* variable, const std::string& value, fs::path* absolute) {
  const std::string name(variable);
  if (value.empty()) {
    return Fail(kBadEnvironment, name + " is empty: point it at the folder that holds the " +
                                     (name == "USETRAIL_DATA" ? "databases" : "server folders"));
  }
  std::error_code error;
  const fs::path path = fs::absolute(platform::PathOf(value), error).lexically_normal();
  if (error) return Fail(kBadEnvironment, name + " cannot be resolved: " + value);
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) return Fail(kBadEnvironment, name + " names nothing: " + value);
  if (!fs::is_directory(status)) {
    return Fail(kBadEnvironment, name + " is not a directory: " + value);
  }
  fs::directory_iterator probe(path, error);
  if (error) return Fail(kBadEnvironment, name + " is not readable: " + value);
  // Drop a trailing separator so joined paths never show a doubled one.
  *absolute = path.has_filename() ? path : path.parent_path();
  return 0;
}

// Whether `text` is a date-time of the right form whose only fault is that
// it lies outside the span of valid values. Only the years 0, 1 and 9999
// hold such days; the same text in a year of the same leap rule tells
// whether the rest is right.
bool OnlyOutOfRange(const std::string& text) {
  if (text.size() < 4) return false;
  const std::string_view year(text.data(), 4);
  const char* sameRule = year == "0000"                     ? "2000"
                         : year == "0001" || year == "9999" ? "2001"
                                                            : nullptr;
  if (sameRule == nullptr) return false;
  int64_t seconds = 0;
  return ParseUtcText(sameRule + text.substr(4), /*strict=*/true, &seconds);
}

// The span of valid values (kMinSeconds to kMaxSeconds) as a person writes it.
constexpr const char* kRangeText = "0001-01-02 00:00:00 to 9999-12-30 23:59:59";

Status ReadConfig(Config* config) {
  const std::optional<std::string> data = platform::GetEnvironment("USETRAIL_DATA");
  if (!data) {
    return Fail(kBadEnvironment,
                "USETRAIL_DATA is not set: point it at the folder that holds the databases");
  }
  if (Status status = CheckDirectory("USETRAIL_DATA", *data, &config->dataDir)) return status;

  // An unusable servers folder is not a start failure: servers then cannot
  // be reached, and opening a path on one says so.
  const std::optional<std::string> servers = platform::GetEnvironment("USETRAIL_SERVERS");
  config->serversEmpty = servers && servers->empty();
  if (servers && !servers->empty()) {
    std::error_code error;
    config->serversDir = fs::absolute(platform::PathOf(*servers), error).lexically_normal();
    if (error) config->serversDir = platform::PathOf(*servers);
  }

  const std::optional<std::string> now = platform::GetEnvironment("USETRAIL_NOW");
  if (now) {
    int64_t seconds = 0;
    if (!ParseUtcText(*now, /*strict=*/true, &seconds)) {
      if (OnlyOutOfRange(*now)) {
        return Fail(kBadEnvironment, "USETRAIL_NOW is out of range: \"" + *now +
                                         "\" lies outside " + kRangeText + " (UTC)");
      }
      return Fail(kBadEnvironment,
                  "USETRAIL_NOW is not a date-time of the form "
                  "YYYY-MM-DD HH:MM:SS (UTC): \"" +
                      *now + "\"");
    }
    config->fixedNow = seconds;
  }
  return 0;
}

}  // namespace

bool Started() { return State().started; }
const Config& CurrentConfig() { return State().config; }

}  // namespace standin

extern "C" {

Status RuntimeInit(int /*argc*/, char** /*argv*/) try {
  standin::RuntimeState& state = standin::State();
  // A second start replaces the first, as a fresh process would.
  RuntimeTerm();
  standin::ReloadLocalTime();
  standin::Config config;
  if (Status status = standin::ReadConfig(&config)) return status;
  state.config = std::move(config);
  state.started = true;
  return 0;
} catch (const std::exception&) {
  return standin::Fail(standin::kOutOfMemory);
}

Status RuntimeTakeArgs(int argc, char** argv, int* argcOut, char*** argvOut) {
  if (argcOut == nullptr || argvOut == nullptr) return standin::Fail(standin::kBadArgument);
  if (!standin::Started()) return standin::Fail(standin::kNotStarted);
  *argcOut = argc;
  *argvOut = argv;
  return 0;
}

Status RuntimeEnterMain(EntryRoutine entry, int /*argc*/, char** /*argv*/, uint32_t reserved1,
                        void* reserved2) {
  if (entry == nullptr) return standin::Fail(standin::kBadArgument);
  if (const Status fault = standin::CheckFixed(
          "RuntimeEnterMain",
          {{"reserved1", reserved1, 0}, standin::NullArgument("reserved2", reserved2)})) {
    return fault;
  }
  if (!standin::Started()) return standin::Fail(standin::kNotStarted);
  return 0;
}

void RuntimeReleaseArgs(int /*argc*/, char** /*argv*/) {}

void RuntimeTerm(void) {
  standin::CloseAllDatabases();
  standin::FreeAllBlocks();
  standin::ForgetFolders();
  standin::SpareLog();  // taken and dropped
  standin::State() = standin::RuntimeState{};
}

}  // extern "C"
