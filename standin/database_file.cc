// Streams a database file through the JSON SAX parser, checking its shape and keeping
// only what the caller asked for, so that a long activity log never becomes a DOM.
#include "database_file.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>

#include "standin_internal.h"

namespace standin {
namespace {

uint64_t fileReads = 0;

using Json = nlohmann::json;

// `text` with control characters as blanks and bytes above 127 as "\xE9", so
// that a status text quoting a file never carries the file's raw bytes.
std::string EscapedText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      out += ' ';
    } else if (byte > 0x7f) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xf];
    } else {
      out += c;
    }
  }
  return out;
}

// Whether the file at `physical` looks like UTF-16 (or UTF-32): a
// byte-order mark, or a zero byte among its first two, which no JSON text
// in UTF-8 has.
bool LooksLikeUtf16(const std::filesystem::path& physical) {
  std::ifstream file(physical, std::ios::binary);
  unsigned char head[2] = {0xff, 0xff};
  file.read(reinterpret_cast<char*>(head), 2);
  if (file.gcount() < 2) return false;
  return (head[0] == 0xff && head[1] == 0xfe) || (head[0] == 0xfe && head[1] == 0xff) ||
         head[0] == 0 || head[1] == 0;
}

void AddCapped(uint32_t* total, uint64_t amount) {
  const uint64_t sum = *total + amount;
  *total = sum > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(sum);
}

// Where the parser stands in the document.
enum class Place { kStart, kRoot, kActivity, kEntry, kDone };

class DatabaseReader : public nlohmann::json_sax<Json> {
 public:
  DatabaseReader(LoadMode mode, int64_t now, DatabaseContent* out)
      : mode_(mode), now_(now), out_(out) {}

  // The first problem that stops the file from opening; empty when none.
  const std::string& problem() const { return problem_; }
  bool syntaxError() const { return syntaxError_; }

  bool null() override { return Scalar(Kind::kNull); }
  bool boolean(bool value) override {
    flag_ = value;
    return Scalar(Kind::kBoolean);
  }
  bool number_integer(number_integer_t value) override {
    number_ = static_cast<double>(value);
    whole_ = value;
    return Scalar(Kind::kInteger);
  }
  bool number_unsigned(number_unsigned_t value) override {
    number_ = static_cast<double>(value);
    whole_ = value > 70000 ? 70000 : static_cast<int64_t>(value);
    return Scalar(Kind::kInteger);
  }
  bool number_float(number_float_t value, const string_t&) override {
    number_ = value;
    return Scalar(Kind::kFloat);
  }
  bool string(string_t& value) override {
    text_ = &value;
    return Scalar(Kind::kString);
  }
  bool binary(binary_t&) override { return Scalar(Kind::kOther); }

  bool start_object(std::size_t) override {
    if (skip_ > 0) return ++skip_, true;
    switch (place_) {
      case Place::kStart:
        place_ = Place::kRoot;
        return true;
      case Place::kActivity:
        BeginEntry();
        place_ = Place::kEntry;
        return true;
      default:
        return Nested(Kind::kObject);
    }
  }
  bool end_object() override {
    if (skip_ > 0) return --skip_, true;
    if (place_ == Place::kEntry) {
      EndEntry();
      place_ = Place::kActivity;
    } else {
      place_ = Place::kDone;
    }
    return true;
  }
  bool start_array(std::size_t) override {
    if (skip_ > 0) return ++skip_, true;
    if (place_ == Place::kRoot && key_ == "activity") {
      place_ = Place::kActivity;
      return true;
    }
    return Nested(Kind::kArray);
  }
  bool end_array() override {
    if (skip_ > 0) return --skip_, true;
    place_ = Place::kRoot;  // only the activity array is walked
    return true;
  }
  bool key(string_t& value) override {
    if (skip_ == 0) key_ = value;
    return true;
  }
  bool parse_error(std::size_t position, const std::string& lastToken,
                   const nlohmann::detail::exception& error) override {
    syntaxError_ = true;
    // The parser counts the offending character as read; the text gives the
    // 0-based offset of that character (the file size at an early end).
    const size_t last = position > 0 ? position - 1 : 0;
    if (std::string_view(error.what()).find("ill-formed UTF-8") != std::string_view::npos &&
        !lastToken.empty()) {
      // The parser stops at the byte that breaks the sequence; the text
      // names the byte the broken sequence began with, and what led to it.
      size_t end = lastToken.size() - 1;
      size_t start = end;
      if (static_cast<unsigned char>(lastToken[end]) < 0x80 && end > 0) --start;
      while (start > 0 && (static_cast<unsigned char>(lastToken[start]) & 0xc0) == 0x80 &&
             end - start < 3) {
        --start;
      }
      if (static_cast<unsigned char>(lastToken[start]) < 0xc0) start = end;
      end = start + 1;
      const size_t from = end > 20 ? end - 20 : 0;
      problem_ = "not UTF-8: byte " + std::to_string(last - (lastToken.size() - end)) +
                 " is not part of a UTF-8 character, near '" +
                 EscapedText(lastToken.substr(from, end - from)) + "'";
      return false;
    }
    // The parser writes control characters as "<U+000A>"; cut the token there.
    const std::string near =
        EscapedText(lastToken.substr(0, std::min(lastToken.find("<U+"), size_t{20})));
    problem_ = "not JSON: syntax error at byte " + std::to_string(last) +
               (near.empty() ? " (end of input)" : " near '" + near + "'");
    return false;
  }

 private:
  enum class Kind { kNull, kBoolean, kInteger, kFloat, kString, kObject, kArray, kOther };

  // A value that is not an object or array, at the current place.
  bool Scalar(Kind kind) {
    if (skip_ > 0) return true;
    switch (place_) {
      case Place::kStart:
        return TopLevelNotObject();
      case Place::kRoot:
        return RootField(kind);
      case Place::kActivity:
        NoteEntryError(" is not an object");
        ++index_;
        return true;
      case Place::kEntry:
        EntryField(kind);
        return true;
      case Place::kDone:
        return true;
    }
    return true;
  }

  // An object or array where no walk is wanted: check it, then skip it whole.
  bool Nested(Kind kind) {
    if (place_ == Place::kStart) return TopLevelNotObject();
    if (place_ == Place::kRoot && !RootField(kind)) return false;
    if (place_ == Place::kActivity) {
      NoteEntryError(" is not an object");
      ++index_;
    }
    if (place_ == Place::kEntry) EntryField(kind);
    skip_ = 1;
    return true;
  }

  bool TopLevelNotObject() {
    problem_ = "the top level is not an object";
    return false;
  }

  bool WrongType(const char* field, const char* wanted) {
    problem_ = std::string("field \"") + field + "\" must be " + wanted;
    return false;
  }

  bool RootField(Kind kind) {
    if (key_ == "title") {
      if (kind != Kind::kString) return WrongType("title", "a string");
      out_->title = *text_;
    } else if (key_ == "recordActivity") {
      if (kind != Kind::kBoolean) return WrongType("recordActivity", "true or false");
      out_->recordActivity = flag_;
    } else if (key_ == "activity") {
      return WrongType("activity", "an array");  // an array never reaches here
    }
    return true;  // unknown fields are ignored
  }

  void BeginEntry() {
    entry_ = LogEntry{InvalidTime(), 0, 0, {}};
    entrySeconds_ = 0;
    entryTimeValid_ = false;
  }

  void EntryField(Kind kind) {
    if (key_ == "time") {
      // A time that is missing or not a date-time leaves the entry's time
      // invalid; the entry itself is still part of the log.
      entryTimeValid_ = kind == Kind::kString && ParseUtcText(*text_, false, &entrySeconds_);
    } else if (key_ == "reads" || key_ == "writes") {
      // 12.0 is as whole as 12; the range is checked before any conversion.
      const bool inRange = kind == Kind::kInteger ? whole_ >= 0 && whole_ <= 65535
                           : kind == Kind::kFloat
                               ? number_ >= 0 && number_ <= 65535 && std::floor(number_) == number_
                               : false;
      if (!inRange) {
        NoteEntryError(": field \"" + key_ + "\" must be a whole number from 0 to 65535");
        return;
      }
      const int64_t value = kind == Kind::kInteger ? whole_ : static_cast<int64_t>(number_);
      (key_ == "reads" ? entry_.reads : entry_.writes) = static_cast<uint16_t>(value);
    } else if (key_ == "user") {
      if (kind != Kind::kString) {
        NoteEntryError(": field \"user\" must be a string");
        return;
      }
      if (mode_ == LoadMode::kFull) entry_.user = *text_;
    }
  }

  void NoteEntryError(const std::string& what) {
    if (out_->entryError.empty()) {
      // Numbered by place in the file, which differs from the place in the
      // entries block once a log holds more entries than the block.
      out_->entryError =
          "activity entry " + std::to_string(index_) + " in the file (counting from 0)" + what;
    }
  }

  void EndEntry() {
    ++index_;
    if (mode_ != LoadMode::kFull) return;
    ActivitySummary& sum = out_->summary;
    if (entryTimeValid_) {
      entry_.time = MakeTime(entrySeconds_);
      if (!anyValid_ || entrySeconds_ < earliest_) earliest_ = entrySeconds_;
      anyValid_ = true;
      AddCapped(&sum.uses, 1);
      AddCapped(&sum.reads, entry_.reads);
      AddCapped(&sum.writes, entry_.writes);
      // The last N days of 86,400 seconds up to and including now.
      const int64_t age = now_ - entrySeconds_;
      const struct {
        int64_t days;
        uint32_t *uses, *reads, *writes;
      } windows[] = {{1, &sum.dayUses, &sum.dayReads, &sum.dayWrites},
                     {7, &sum.weekUses, &sum.weekReads, &sum.weekWrites},
                     {30, &sum.monthUses, &sum.monthReads, &sum.monthWrites}};
      for (const auto& window : windows) {
        if (age >= 0 && age < window.days * 86400) {
          AddCapped(window.uses, 1);
          AddCapped(window.reads, entry_.reads);
          AddCapped(window.writes, entry_.writes);
        }
      }
    }
    // Keep the newest kMaxEntries in a ring; Finish puts them in file order.
    if (out_->entries.size() < kMaxEntries) {
      out_->entries.push_back(std::move(entry_));
    } else {
      out_->entries[kept_ % kMaxEntries] = std::move(entry_);
    }
    ++kept_;
  }

 public:
  void Finish() {
    if (mode_ != LoadMode::kFull) return;
    if (kept_ > kMaxEntries) {
      auto& entries = out_->entries;
      std::rotate(entries.begin(), entries.begin() + static_cast<long>(kept_ % kMaxEntries),
                  entries.end());
    }
    const int64_t start = anyValid_ ? earliest_ : now_;
    out_->summary.periodStart = MakeTime(start);
    out_->summary.periodEnd = MakeTime(now_);
  }

 private:
  LoadMode mode_;
  int64_t now_;
  DatabaseContent* out_;
  Place place_ = Place::kStart;
  int skip_ = 0;  // depth inside a value that is being skipped
  std::string key_;
  std::string problem_;
  bool syntaxError_ = false;

  // The scalar just seen.
  bool flag_ = false;
  int64_t whole_ = 0;
  double number_ = 0;
  string_t* text_ = nullptr;

  LogEntry entry_;
  int64_t entrySeconds_ = 0;
  bool entryTimeValid_ = false;
  size_t index_ = 0;
  size_t kept_ = 0;
  bool anyValid_ = false;
  int64_t earliest_ = 0;
};

}  // namespace

uint64_t DatabaseFileReads() { return fileReads; }

Status LoadDatabaseFile(const std::filesystem::path& physical, const std::string& name,
                        LoadMode mode, int64_t now, DatabaseContent* out) {
  *out = DatabaseContent{};
  std::ifstream file(physical, std::ios::binary);
  ++fileReads;
  if (!file) return Fail(kCannotRead, "Database " + name + " cannot be read");
  DatabaseReader reader(mode, now, out);
  bool parsed = false;
  try {
    parsed = Json::sax_parse(file, &reader);
  } catch (const std::exception&) {
    // The SAX parser reports through parse_error; this catches only a
    // failure of the stream or of memory.
    *out = DatabaseContent{};
    return Fail(kCannotRead, "Database " + name + " cannot be read");
  }
  if (!parsed || !reader.problem().empty()) {
    std::string problem =
        reader.problem().empty() ? std::string("cannot be read") : reader.problem();
    if (reader.syntaxError() && LooksLikeUtf16(physical)) {
      problem = "not UTF-8: the file looks like UTF-16; save it as UTF-8";
    }
    *out = DatabaseContent{};
    return Fail(reader.syntaxError() ? kNotJson : kBadField, "Database " + name + ": " + problem);
  }
  reader.Finish();
  return 0;
}

}  // namespace standin
