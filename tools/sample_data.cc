// Sample data for the stand-in runtime: databases with realistic titles, users and
// activity logs, laid out in a few folders, the same for the same seed.
#include "sample_data.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace sampledata {
namespace {

// A small generator of our own so the output is the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9e3779b97f4a7c15ULL + 1) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int Below(int bound) {
    return bound <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(bound));
  }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Next() % N];
  }

 private:
  uint64_t state_;
};

constexpr const char* kFirstNames[] = {"Jane",  "John",   "Maria", "Ahmed", "Li",    "Olga",
                                       "Peter", "Sophie", "Ravi",  "Anna",  "Tomas", "Grace"};
constexpr const char* kLastNames[] = {"Doe",   "Smith",  "Garcia", "Khan",  "Wei",
                                      "Novak", "Miller", "Dubois", "Patel", "Berg"};
constexpr const char* kUnits[] = {"Sales", "Finance", "IT", "HR", "Support", "Legal"};
constexpr const char* kServers[] = {"CN=Mail01/O=Acme", "CN=App02/O=Acme", "CN=Hub/O=Acme"};
constexpr const char* kTitles[] = {"Sales Pipeline",   "Help Desk",       "Team Calendar",
                                   "Document Library", "Project Tracker", "Customer Contacts",
                                   "Travel Requests",  "Expense Reports", "Product Catalog",
                                   "Meeting Minutes",  "Quality Reports", "Purchase Orders"};
constexpr const char* kFolderNames[] = {"mail", "apps", "archive", "projects", "hr", "finance"};

constexpr int64_t kWindow = 60 * 86400;

std::string DateTimeText(int64_t seconds) {
  int64_t days = seconds / 86400 - (seconds % 86400 < 0);
  const int64_t rest = seconds - days * 86400;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int64_t year = yoe + era * 400 + (month <= 2);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(year), month,
                day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60));
  return text;
}

void AppendEscaped(std::string* out, const std::string& text) {
  out->push_back('"');
  for (const char c : text) {
    if (c == '"' || c == '\\') out->push_back('\\');
    out->push_back(c);
  }
  out->push_back('"');
}

bool WriteFile(const fs::path& path, const std::string& content, std::string* error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  file.close();
  if (!file) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

std::string Slug(const std::string& title) {
  std::string slug;
  for (const char c : title) {
    if (c >= 'A' && c <= 'Z')
      slug.push_back(static_cast<char>(c - 'A' + 'a'));
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      slug.push_back(c);
    else if (!slug.empty() && slug.back() != '_')
      slug.push_back('_');
  }
  return slug;
}

struct Database {
  std::string folder;  // empty: the top of the data directory
  std::string file;
  std::string title;
  bool recordActivity = true;
};

std::string DatabaseJson(const Database& db, int entries, Random* random,
                         const std::vector<std::string>& users, int64_t now) {
  std::vector<int64_t> times(static_cast<size_t>(entries));
  for (int64_t& time : times) time = now - static_cast<int64_t>(random->Next() % kWindow);
  std::sort(times.begin(), times.end());  // the log runs oldest first
  std::string out = "{\n  \"title\": ";
  AppendEscaped(&out, db.title);
  out += ",\n  \"recordActivity\": ";
  out += db.recordActivity ? "true" : "false";
  out += ",\n  \"activity\": [";
  char numbers[64];
  for (size_t i = 0; i < times.size(); ++i) {
    const bool write = random->Below(4) == 0;
    std::snprintf(numbers, sizeof numbers,
                  "\", \"reads\": %d, \"writes\": %d, \"user\": ", 1 + random->Below(40),
                  write ? 1 + random->Below(10) : 0);
    out += i == 0 ? "\n    {\"time\": \"" : ",\n    {\"time\": \"";
    out += DateTimeText(times[i]);
    out += numbers;
    AppendEscaped(&out, users[static_cast<size_t>(random->Below(static_cast<int>(users.size())))]);
    out += "}";
  }
  out += times.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

// One file for each kind of bad input the stand-in must report.
bool WriteBrokenFiles(const fs::path& folder, int64_t now, std::string* error, Totals* totals) {
  const std::string time = DateTimeText(now - 3600);
  const std::pair<const char*, std::string> files[] = {
      {"not_json.db", "{\"title\": \"Broken: not JSON\", \"activity\": [\n"},
      {"empty.db", ""},
      {"top_level_array.db", "[{\"title\": \"Broken: top level\"}]\n"},
      {"title_not_string.db", "{\"title\": 42}\n"},
      {"record_activity_not_boolean.db",
       "{\"title\": \"Broken: flag\", \"recordActivity\": \"yes\"}\n"},
      {"activity_not_array.db", "{\"title\": \"Broken: activity\", \"activity\": {}}\n"},
      {"entry_not_object.db", "{\"title\": \"Broken: entry\", \"activity\": [{\"time\": \"" + time +
                                  "\", \"reads\": 1, \"user\": \"CN=Jane Doe/O=Acme\"}, 7]}\n"},
      {"reads_out_of_range.db",
       "{\"title\": \"Broken: reads\", \"activity\": [{\"time\": \"" + time +
           "\", \"reads\": 70000, \"writes\": 0, \"user\": \"CN=Jane Doe/O=Acme\"}]}\n"},
      {"writes_negative.db",
       "{\"title\": \"Broken: writes\", \"activity\": [{\"time\": \"" + time +
           "\", \"reads\": 1, \"writes\": -1, \"user\": \"CN=Jane Doe/O=Acme\"}]}\n"},
      {"bad_times.db",
       "{\"title\": \"Broken: times\", \"activity\": [\n"
       "  {\"time\": \"" +
           time +
           "\", \"reads\": 2, \"writes\": 0, \"user\": \"CN=Jane Doe/O=Acme\"},\n"
           "  {\"time\": \"2026-02-30 25:61:00\", \"reads\": 1, \"writes\": 0, \"user\": \"CN=Li "
           "Wei/O=Acme\"},\n"
           "  {\"reads\": 1, \"writes\": 1, \"user\": \"CN=Olga Novak/O=Acme\"}]}\n"},
  };
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (const auto& [name, content] : files) {
    if (!WriteFile(folder / name, content, error)) return false;
    ++totals->databases;
  }
  return true;
}

}  // namespace

bool ParseDateTime(const std::string& text, int64_t* seconds) {
  int year, month, day, hour, minute, second;
  char tail;
  if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month,
                                       &day, &hour, &minute, &second, &tail) != 6) {
    return false;
  }
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1971 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return false;
  const int y = year - (month <= 2);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t days = int64_t{era} * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  *seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

bool WriteSampleData(const Options& options, Totals* totals, std::string* error) {
  *totals = Totals{};
  Random random(options.seed);
  const fs::path root(options.outDir);
  std::error_code ec;
  fs::create_directories(root, ec);
  if (!fs::is_directory(root, ec)) {
    *error = "cannot create the folder " + options.outDir;
    return false;
  }

  std::vector<std::string> folders;
  for (int i = 0; i < options.folders; ++i) {
    const size_t names = std::size(kFolderNames);
    std::string name = kFolderNames[static_cast<size_t>(i) % names];
    if (static_cast<size_t>(i) >= names) name += std::to_string(i / names + 1);
    folders.push_back(name);
    fs::create_directories(root / name, ec);
  }

  // Users: people in units, plus a few servers, which also show up in logs.
  std::vector<std::string> users;
  for (const char* first : kFirstNames) {
    for (const char* last : kLastNames) {
      if (random.Below(3) != 0) continue;
      users.push_back(std::string("CN=") + first + " " + last + "/OU=" + random.Pick(kUnits) +
                      "/O=Acme");
    }
  }
  for (const char* server : kServers) users.push_back(server);

  for (int i = 0; i < options.databases; ++i) {
    Database db;
    db.folder = folders.empty() || random.Below(4) == 0
                    ? ""
                    : folders[static_cast<size_t>(random.Below(static_cast<int>(folders.size())))];
    if (random.Below(3) == 0) {
      const char* first = random.Pick(kFirstNames);
      const char* last = random.Pick(kLastNames);
      db.title = std::string("Mail - ") + first + " " + last;
      db.file = std::string(1, static_cast<char>(first[0] - 'A' + 'a')) + Slug(last) +
                std::to_string(i) + ".db";
    } else {
      db.title = random.Pick(kTitles);
      db.file = Slug(db.title) + "_" + std::to_string(i) + ".db";
    }
    if (i == 0) {  // one database that keeps no log
      db.title = "Archive (no activity log)";
      db.file = "archive_nolog.db";
      db.recordActivity = false;
    }
    const int entries = !db.recordActivity     ? 0
                        : options.fixedEntries ? options.maxEntries
                                               : random.Below(options.maxEntries + 1);
    const std::string json = DatabaseJson(db, entries, &random, users, options.now);
    const fs::path folder = db.folder.empty() ? root : root / db.folder;
    if (!WriteFile(folder / db.file, json, error)) return false;
    ++totals->databases;
    totals->entries += static_cast<uint64_t>(entries);
  }
  return !options.broken || WriteBrokenFiles(root / "broken", options.now, error, totals);
}

}  // namespace sampledata
