// usetrail-sampledata: the command line of the sample-data generator.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sample_data.h"

namespace {

constexpr const char* kUsage =
    "usage: usetrail-sampledata --out DIR [options]\n"
    "Writes a data directory of sample databases for the stand-in runtime.\n"
    "  --out DIR          folder to write (created when missing)\n"
    "  --databases N      number of databases (default 20)\n"
    "  --entries N        most activity entries per database, 0 to 65535 (default 500)\n"
    "  --fixed-entries    give every database exactly --entries entries\n"
    "  --folders N        number of folders the databases are spread over (default 3)\n"
    "  --seed N           seed of the pseudo-random choices (default 1)\n"
    "  --now \"YYYY-MM-DD HH:MM:SS\"  UTC time the 60 days of entries lead up to\n"
    "                     (default: the current time)\n"
    "  --broken           also write one broken file of each kind into broken/\n"
    "  --help             show this text\n";

bool ParseCount(const std::string& text, long long low, long long high, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "usetrail-sampledata: %s\n(--help lists the options)\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  sampledata::Options options;
  options.now = std::chrono::duration_cast<std::chrono::seconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool hasValue = false;
    if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (name == "--broken" || name == "--fixed-entries") {
      if (hasValue) return Fail(name + " takes no value");
      (name == "--broken" ? options.broken : options.fixedEntries) = true;
      continue;
    }
    const bool known = name == "--out" || name == "--databases" || name == "--entries" ||
                       name == "--folders" || name == "--seed" || name == "--now";
    if (!known) return Fail("unknown option " + name);
    if (!hasValue) {
      if (i + 1 >= argc) return Fail(name + " needs a value");
      value = argv[++i];
    }
    long long number = 0;
    if (name == "--out") {
      if (value.empty()) return Fail("--out needs a folder");
      options.outDir = value;
    } else if (name == "--databases") {
      if (!ParseCount(value, 0, 1000000, &number)) {
        return Fail("--databases must be a whole number from 0 to 1000000, not \"" + value + "\"");
      }
      options.databases = static_cast<int>(number);
    } else if (name == "--entries") {
      if (!ParseCount(value, 0, 65535, &number)) {
        return Fail("--entries must be a whole number from 0 to 65535, not \"" + value + "\"");
      }
      options.maxEntries = static_cast<int>(number);
    } else if (name == "--folders") {
      if (!ParseCount(value, 0, 1000, &number)) {
        return Fail("--folders must be a whole number from 0 to 1000, not \"" + value + "\"");
      }
      options.folders = static_cast<int>(number);
    } else if (name == "--seed") {
      if (!ParseCount(value, 0, 0x7fffffffffffffffLL, &number)) {
        return Fail("--seed must be a whole number of 0 or more, not \"" + value + "\"");
      }
      options.seed = static_cast<uint64_t>(number);
    } else if (name == "--now") {
      if (!sampledata::ParseDateTime(value, &options.now)) {
        return Fail("--now must be a UTC date-time \"YYYY-MM-DD HH:MM:SS\", not \"" + value + "\"");
      }
    }
  }
  if (options.outDir.empty()) return Fail("--out DIR is required");

  sampledata::Totals totals;
  std::string error;
  if (!sampledata::WriteSampleData(options, &totals, &error)) {
    std::fprintf(stderr, "usetrail-sampledata: %s\n", error.c_str());
    return 1;
  }
  std::printf("wrote %d databases with %llu activity entries to %s\n", totals.databases,
              static_cast<unsigned long long>(totals.entries), options.outDir.c_str());
  return 0;
}
