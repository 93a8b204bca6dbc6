// Fuzzes the stand-in's database files: the input is written as a database,
// opened, its log read and converted, and checked against a plain JSON parse.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "known_folders.h"
#include "runtime/notes_runtime.h"
#include "standin_internal.h"

namespace {

using fuzz::CText;

using Json = nlohmann::json;

std::string gFile;  // the one database of the data directory

// The reference reading: a whole-document parse, and whether any object
// repeats a key (the streaming loader and a document may then differ).
struct Reference {
  bool parsed = false;
  bool duplicateKeys = false;
  Json document;
};

Reference Parse(const uint8_t* data, std::size_t size) {
  Reference ref;
  // The parser takes a NUL byte for the end of its input; a NUL byte is never
  // part of JSON, so a file that holds one is none.
  if (size > 0 && std::memchr(data, 0, size) != nullptr) return ref;
  std::vector<std::set<std::string>> keys;
  Json::parser_callback_t callback = [&](int, Json::parse_event_t event, Json& value) {
    if (event == Json::parse_event_t::object_start) keys.emplace_back();
    if (event == Json::parse_event_t::object_end && !keys.empty()) keys.pop_back();
    if (event == Json::parse_event_t::key && !keys.empty() &&
        !keys.back().insert(value.get<std::string>()).second) {
      ref.duplicateKeys = true;
    }
    return true;
  };
  ref.document = Json::parse(data, data + size, callback, /*allow_exceptions=*/false);
  ref.parsed = !ref.document.is_discarded();
  return ref;
}

bool WholeCount(const Json& v) {
  if (v.is_number_unsigned()) return v.get<uint64_t>() <= 65535;
  if (v.is_number_integer()) return v.get<int64_t>() >= 0 && v.get<int64_t>() <= 65535;
  if (v.is_number_float()) {
    const double d = v.get<double>();
    return d >= 0 && d <= 65535 && static_cast<double>(static_cast<int64_t>(d)) == d;
  }
  return false;
}

uint16_t CountOf(const Json& entry, const char* field) {
  const auto it = entry.find(field);
  return it == entry.end() ? 0 : static_cast<uint16_t>(it->get<double>());
}

// Fields of the right types, as the file format asks, at the top level.
bool RootWellTyped(const Json& doc) {
  if (!doc.is_object()) return false;
  if (doc.contains("title") && !doc["title"].is_string()) return false;
  if (doc.contains("recordActivity") && !doc["recordActivity"].is_boolean()) return false;
  if (doc.contains("activity") && !doc["activity"].is_array()) return false;
  return true;
}

bool EntriesWellTyped(const Json& doc) {
  if (!doc.contains("activity")) return true;
  for (const Json& entry : doc["activity"]) {
    if (!entry.is_object()) return false;
    for (const char* field : {"reads", "writes"}) {
      if (entry.contains(field) && !WholeCount(entry[field])) return false;
    }
    if (entry.contains("user") && !entry["user"].is_string()) return false;
  }
  return true;
}

// A time text certainly valid (years 1000 to 8999, a real day) or certainly
// not (wrong shape); 0 in between, where the loader's range rules decide.
int TimeVerdict(const Json& entry, std::string* normal) {
  const auto it = entry.find("time");
  if (it == entry.end() || !it->is_string()) return -1;
  std::string text = it->get<std::string>();
  if (text.size() == 20 && text[19] == 'Z') text.pop_back();
  if (text.size() != 19) return -1;
  static const char kShape[] = "dddd-dd-dd?dd:dd:dd";
  for (std::size_t i = 0; i < 19; ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd'   ? !digit
        : kShape[i] == '?' ? text[i] != ' ' && text[i] != 'T'
                           : text[i] != kShape[i]) {
      return -1;
    }
  }
  text[10] = ' ';
  *normal = text;
  const int year = std::atoi(text.substr(0, 4).c_str());
  const int month = std::atoi(text.substr(5, 2).c_str());
  const int day = std::atoi(text.substr(8, 2).c_str());
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return -1;
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return -1;
  if (std::atoi(text.substr(11, 2).c_str()) > 23 || std::atoi(text.substr(14, 2).c_str()) > 59 ||
      std::atoi(text.substr(17, 2).c_str()) > 59) {
    return -1;
  }
  return year >= 1000 && year <= 8999 ? 1 : 0;
}

// UTC seconds of a "YYYY-MM-DD HH:MM:SS" text (the data directory runs in UTC).
int64_t SecondsOfText(const std::string& text) {
  int64_t y = std::atoi(text.substr(0, 4).c_str());
  const int64_t m = std::atoi(text.substr(5, 2).c_str());
  const int64_t d = std::atoi(text.substr(8, 2).c_str());
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return days * 86400 + std::atoi(text.substr(11, 2).c_str()) * 3600 +
         std::atoi(text.substr(14, 2).c_str()) * 60 + std::atoi(text.substr(17, 2).c_str());
}

// The summary as the file format defines it, from the entries handed out.
class Summed {
 public:
  void Add(const std::string& text, uint16_t reads, uint16_t writes) {
    const int64_t seconds = SecondsOfText(text);
    if (earliest_.empty() || seconds < SecondsOfText(earliest_)) earliest_ = text;
    reads_ += reads;
    writes_ += writes;
    const int64_t age = SecondsOfText(kNow) - seconds;
    for (int w = 0; w < 3; ++w) {
      if (age >= 0 && age < kWindowDays[w] * 86400) {
        ++windowUses_[w];
        windowReads_[w] += reads;
        windowWrites_[w] += writes;
      }
    }
  }

  void Check(const ActivitySummary& s) const {
    fuzz::Require(s.reads == reads_ && s.writes == writes_, "the summary adds up the counts");
    fuzz::Require(s.dayUses == windowUses_[0] && s.dayReads == windowReads_[0] &&
                      s.dayWrites == windowWrites_[0],
                  "the last day: the entries of the 86,400 seconds up to now");
    fuzz::Require(s.weekUses == windowUses_[1] && s.weekReads == windowReads_[1] &&
                      s.weekWrites == windowWrites_[1],
                  "the last week: the entries of the 7 days up to now");
    fuzz::Require(s.monthUses == windowUses_[2] && s.monthReads == windowReads_[2] &&
                      s.monthWrites == windowWrites_[2],
                  "the last month: the entries of the 30 days up to now");
    char text[81];
    uint16_t length = 0;
    fuzz::Require(TimeToText(nullptr, nullptr, &s.periodStart, text, 80, &length) == 0,
                  "the period start converts");
    fuzz::Require(std::string(text, length) == (earliest_.empty() ? kNow : earliest_),
                  "the period starts at the earliest valid time, or now");
  }

 private:
  static constexpr const char* kNow = "2026-12-07 12:00:00";
  static constexpr int64_t kWindowDays[3] = {1, 7, 30};
  std::string earliest_;
  uint32_t reads_ = 0, writes_ = 0;
  uint32_t windowUses_[3] = {}, windowReads_[3] = {}, windowWrites_[3] = {};
};

std::string gSearchTitle;
int gSearchEntries = 0;

// Takes the $TITLE item of the one database the search yields.
Status TakeTitle(void*, const MatchRecord*, const void* summary) {
  const auto* bytes = static_cast<const uint8_t*>(summary);
  const std::size_t header = StoredStructSize(kSummaryHeaderStruct);
  const std::size_t count = bytes[2] | (bytes[3] << 8);
  std::size_t at = header + 4 * count;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t nameLength = bytes[header + 4 * i] | (bytes[header + 4 * i + 1] << 8);
    const std::size_t valueLength = bytes[header + 4 * i + 2] | (bytes[header + 4 * i + 3] << 8);
    const std::string name(reinterpret_cast<const char*>(bytes + at), nameLength);
    if (name == "$TITLE") {
      gSearchTitle.assign(reinterpret_cast<const char*>(bytes + at + nameLength + 2),
                          valueLength - 2);
    }
    at += nameLength + valueLength;
  }
  ++gSearchEntries;
  return 0;
}

void WriteDatabase(const uint8_t* data, std::size_t size) {
  const int fd = open(gFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  fuzz::Require(fd >= 0, "the database file can be written");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    fuzz::Require(n > 0, "the database file can be written");
    done += static_cast<std::size_t>(n);
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/usetrail-loader-fuzz-XXXXXX";
  fuzz::Require(mkdtemp(folder) != nullptr, "a data directory can be made");
  gFile = std::string(folder) + "/fuzz.db";
  setenv("USETRAIL_DATA", folder, 1);
  setenv("USETRAIL_NOW", "2026-12-07 12:00:00", 1);  // Summed's kNow
  // UTC, so that a date-time text reads back exactly as the file wrote it.
  setenv("TZ", "UTC0", 1);
  fuzz::Require(RuntimeInit(0, nullptr) == 0, "the stand-in starts");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  WriteDatabase(data, size);
  const Reference ref = Parse(data, size);

  DbHandle handle = 0;
  const Status openStatus = DbOpen("fuzz.db", &handle);
  fuzz::Require((openStatus == 0) == (handle != 0), "a handle exactly when the open succeeds");
  if (openStatus != 0) {
    char text[256];
    std::memset(text, 'x', sizeof text);
    const uint16_t length = LoadStatusString(0, ErrorCode(openStatus), text, 255);
    fuzz::Require(length > 0 && length <= 255 && text[length] == '\0',
                  "a failed open has a terminated text of at most 255 characters");
    fuzz::Require(std::strstr(text, "fuzz.db") != nullptr, "a failed open names the file");
  }
  fuzz::Require(!ref.parsed ? openStatus != 0 : true, "what is not JSON does not open");
  fuzz::Require(!(ref.parsed && !ref.document.is_object()) || openStatus != 0,
                "a top level that is not an object does not open");
  const bool exact = ref.parsed && !ref.duplicateKeys;
  if (exact) {
    fuzz::Require((openStatus == 0) == RootWellTyped(ref.document),
                  "a JSON object opens exactly when its fields have the right types");
  }

  // The directory search reads the title on its own, the light way.
  standin::ForgetFolders();
  gSearchTitle = "?";
  gSearchEntries = 0;
  DbHandle folder = 0;
  fuzz::Require(DbOpen("", &folder) == 0, "the data directory opens");
  fuzz::Require(DbSearch(folder, 0, nullptr, kSearchFlagsSummary, kClassMaskDatabases, nullptr,
                         TakeTitle, nullptr, nullptr) == 0,
                "the data directory can be searched");
  fuzz::Require(DbClose(folder) == 0, "the data directory closes");
  fuzz::Require(gSearchEntries == 1, "the search yields the one database");
  const std::string title = openStatus == 0 && ref.parsed && ref.document.contains("title") &&
                                    ref.document["title"].is_string()
                                ? ref.document["title"].get<std::string>()
                                : "";
  if (exact || openStatus != 0) {
    fuzz::Require(gSearchTitle == title, "the search gives the title, or empty when it fails");
  }

  if (openStatus == 0) {
    ActivitySummary summary{};
    MemHandle entries = 0;
    uint16_t count = 0;
    const Status activity = DbGetUserActivity(handle, 0, &summary, &entries, &count);
    const bool records = !exact || !ref.document.contains("recordActivity") ||
                         ref.document["recordActivity"].get<bool>();
    if (exact && !records) {
      fuzz::Require(ErrorCode(activity) == 578, "a database that does not record: 578");
    }
    if (exact && records) {
      fuzz::Require((activity == 0) == EntriesWellTyped(ref.document),
                    "the log reads exactly when its entries are well typed");
    }
    if (activity != 0 && ErrorCode(activity) != 578) {
      char text[256] = {};
      LoadStatusString(0, ErrorCode(activity), text, 255);
      fuzz::Require(std::strstr(text, "activity entry ") != nullptr,
                    "a log that cannot be read names the entry");
    }
    if (activity == 0) {
      // An empty log comes back as no block (handle 0), never to be locked.
      const auto* block =
          entries == 0 ? nullptr : static_cast<const unsigned char*>(MemLock(entries));
      fuzz::Require(entries == 0 ? count == 0 : block != nullptr,
                    "the entries block locks; only an empty log has none");
      const Json empty = Json::array();
      const Json& log =
          exact && ref.document.contains("activity") ? ref.document["activity"] : empty;
      if (exact) fuzz::Require(count == log.size(), "one entry for each of the file");
      uint32_t validTimes = 0;
      Summed sums;
      for (uint32_t i = 0; i < count; ++i) {
        ActivityEntry entry;
        std::memcpy(&entry, block + i * sizeof entry, sizeof entry);
        const std::string name(reinterpret_cast<const char*>(block) + entry.nameOffset);
        char text[81];
        uint16_t length = 0;
        const Status converted = TimeToText(nullptr, nullptr, &entry.time, text, 80, &length);
        fuzz::Require(converted != 0 || (length > 0 && length <= 80),
                      "a converted time has a length within the buffer");
        TimeDate date{};
        TimeDateOnly(&entry.time, 0, &date);
        if (converted == 0) {
          ++validTimes;
          sums.Add(std::string(text, length), entry.reads, entry.writes);
          fuzz::Require(TimeDayNumber(&date) != 0, "a valid time has a day number");
        }
        if (!exact) continue;
        const Json& want = log[i];
        fuzz::Require(
            entry.reads == CountOf(want, "reads") && entry.writes == CountOf(want, "writes"),
            "reads and writes as the file has them");
        fuzz::Require(name == CText(want.value("user", std::string())),
                      "the user as the file has it");
        std::string normal;
        const int verdict = TimeVerdict(want, &normal);
        if (verdict != 0) {
          fuzz::Require((converted == 0) == (verdict > 0), "a time converts exactly when valid");
        }
        if (verdict > 0) {
          fuzz::Require(std::string_view(text, length) == normal, "a time reads back as written");
        }
      }
      if (exact) fuzz::Require(summary.uses == validTimes, "the summary counts the valid times");
      sums.Check(summary);
      if (entries != 0) {
        fuzz::Require(MemUnlock(entries) == 0, "the block unlocks");
        fuzz::Require(MemFree(entries) == 0, "the block is freed");
      }
    }
    fuzz::Require(DbClose(handle) == 0, "the database closes");
  }
  fuzz::Require(standin::OpenHandles() == 0, "no handle stays open");
  fuzz::Require(standin::LiveBlocks() == 0, "no block stays allocated");
  return 0;
}
