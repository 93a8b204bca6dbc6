// A hand-written JSON reader for database files. Strings are scanned 16 bytes at a time
// (SSE2, part of every x86-64 target), the log's entries are read straight into the kept
// block, and every rule of the exact reader that a well-formed file meets is applied as it
// does: UTF-8 checked in strings, escapes decoded, a later field winning over an earlier
// one, a second log appended to the first. Whatever else it meets, it declines.
#include "fast_database_reader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "log_builder.h"
#include "standin_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace standin {
namespace {

static_assert(kReadPadding >= 64, "FindSpecial loads 64 bytes from the last byte of a text on");

// Nesting deeper than this inside skipped values is left to the exact reader.
constexpr int kMaxDepth = 512;
// An integer part longer than this might not be finite as a double; the
// exact reader refuses such numbers, so it decides.
constexpr ptrdiff_t kMaxNumberDigits = 300;

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
bool InRange(const char* at, unsigned low, unsigned high) {
  const unsigned byte = static_cast<unsigned char>(*at);
  return byte >= low && byte <= high;
}

// The first byte from `at` on that ends a plain run of a string: a quote, a
// backslash, a control character or a byte above 127. The zero bytes after
// the text stop the scan at the latest. 64 bytes a round, so that a string of
// a log (a key, a date-time, a user name) is mostly found in one round, and
// the branch that ends the loop is not mispredicted once per string.
[[gnu::always_inline]] inline const char* FindSpecial(const char* at) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i blank = _mm_set1_epi8(0x20);
  // Signed, so bytes above 127 count as below the blank too.
  const auto hits = [&](const char* from) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                     _mm_cmplt_epi8(bytes, blank));
    return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit)));
  };
  for (;;) {
    const uint64_t mask =
        hits(at) | hits(at + 16) << 16 | hits(at + 32) << 32 | hits(at + 48) << 48;
    if (mask != 0) return at + __builtin_ctzll(mask);
    at += 64;
  }
#else
  for (;; ++at) {
    const auto byte = static_cast<unsigned char>(*at);
    if (byte == '"' || byte == '\\' || byte < 0x20 || byte > 0x7f) return at;
  }
#endif
}

// Whether the `length` bytes at `at` (up to 32) are those of `bytes`, which
// holds 32. Both may be read whole: `at` has the padding behind it.
[[gnu::always_inline]] inline bool SameBytes(const char* at, const char* bytes, size_t length) {
#if defined(__SSE2__)
  const auto equal = [&](int from) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + from));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
  };
  const uint32_t same = equal(0) | (length > 16 ? equal(16) << 16 : 0xffff0000u);
  const uint32_t wanted = length >= 32 ? 0xffffffffu : (uint32_t{1} << length) - 1;
  return (same & wanted) == wanted;
#else
  return std::memcmp(at, bytes, length) == 0;
#endif
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of four hex digits at `at`; -1 when they are not.
int Hex4(const char* at) {
  int value = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = HexDigit(at[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

void AppendUtf8(std::string* out, int code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xc0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3f)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xe0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3f)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3f)));
  } else {
    out->push_back(static_cast<char>(0xf0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3f)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3f)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3f)));
  }
}

enum class EntryField { kNone, kOther, kTime, kReads, kWrites, kUser };

EntryField EntryFieldOf(std::string_view key) {
  switch (key.size()) {
    case 4:
      if (std::memcmp(key.data(), "time", 4) == 0) return EntryField::kTime;
      if (std::memcmp(key.data(), "user", 4) == 0) return EntryField::kUser;
      break;
    case 5:
      if (std::memcmp(key.data(), "reads", 5) == 0) return EntryField::kReads;
      break;
    case 6:
      if (std::memcmp(key.data(), "writes", 6) == 0) return EntryField::kWrites;
      break;
    default:
      break;
  }
  return EntryField::kOther;
}

class FastReader {
 public:
  FastReader(ByteWindow* window, LoadMode mode, int64_t now, DatabaseContent* out)
      : window_(window),
        begin_(window->begin),
        at_(window->begin),
        end_(window->end),
        mode_(mode),
        out_(out),
        log_(now, out) {}

  bool Read() {
    SkipSpace();
    if (*at_ != '{') return false;  // a byte order mark too: the exact reader decides
    ++at_;
    SkipSpace();
    if (*at_ == '}') {
      ++at_;
    } else {
      for (;;) {
        std::string_view key;
        if (!MoveOn() || !ReadKey(&key) || !RootField(key)) return false;
        SkipSpace();
        if (*at_ == '}') break;
        if (*at_ != ',') return false;
        ++at_;
        SkipSpace();
      }
      ++at_;
    }
    SkipSpace();
    while (at_ == end_ && !window_->complete) {
      if (!window_->Advance(at_)) return false;
      Moved();
      SkipSpace();
    }
    if (at_ != end_) return false;
    if (mode_ != LoadMode::kTitle) log_.Finish();
    return true;
  }

 private:
  // Moves the window on when less than its lookahead is left. Only done where
  // nothing read before points into the window any more: between the log's
  // entries and the top level's fields.
  bool MoveOn() {
    if (window_->complete || static_cast<size_t>(end_ - at_) >= window_->lookahead) return true;
    if (!window_->Advance(at_)) return false;
    Moved();
    return true;
  }

  void Moved() {
    begin_ = at_ = window_->begin;
    end_ = window_->end;
  }

  void SkipSpace() {
    while (IsSpace(*at_)) ++at_;
  }

  bool Literal(const char* word, size_t length) {
    if (std::memcmp(at_, word, length) != 0) return false;
    at_ += length;
    return true;
  }

  // A string at the quote at at_; its text is a view of the bytes, or of
  // scratch_ when it had escapes (valid until the next string is read).
  [[gnu::always_inline]] bool ReadString(std::string_view* text) {
    const char* start = ++at_;
    for (;;) {
      at_ = FindSpecial(at_);
      const auto byte = static_cast<unsigned char>(*at_);
      if (byte == '"') {
        *text = std::string_view(start, static_cast<size_t>(at_ - start));
        ++at_;
        return true;
      }
      if (byte == '\\') return ReadEscaped(start, text);
      if (byte < 0x20 || !SkipUtf8()) return false;  // the end of the bytes too
    }
  }

  // The rest of a string that has escapes, decoded into scratch_.
  bool ReadEscaped(const char* start, std::string_view* text) {
    scratch_.assign(start, static_cast<size_t>(at_ - start));
    for (;;) {
      const char* run = at_;
      at_ = FindSpecial(at_);
      scratch_.append(run, static_cast<size_t>(at_ - run));
      const auto byte = static_cast<unsigned char>(*at_);
      if (byte == '"') {
        ++at_;
        *text = scratch_;
        return true;
      }
      if (byte == '\\') {
        if (!DecodeEscape()) return false;
      } else {
        const char* from = at_;
        if (byte < 0x20 || !SkipUtf8()) return false;
        scratch_.append(from, static_cast<size_t>(at_ - from));
      }
    }
  }

  bool DecodeEscape() {
    const char kind = at_[1];
    char decoded = 0;
    switch (kind) {
      case '"':
      case '\\':
      case '/':
        decoded = kind;
        break;
      case 'b':
        decoded = '\b';
        break;
      case 'f':
        decoded = '\f';
        break;
      case 'n':
        decoded = '\n';
        break;
      case 'r':
        decoded = '\r';
        break;
      case 't':
        decoded = '\t';
        break;
      default:
        break;
    }
    if (decoded != 0) {
      scratch_.push_back(decoded);
      at_ += 2;
      return true;
    }
    if (kind != 'u') return false;
    int code = Hex4(at_ + 2);
    if (code < 0) return false;
    at_ += 6;
    if (code >= 0xd800 && code <= 0xdbff) {
      // A high surrogate must be followed by an escaped low one.
      if (at_[0] != '\\' || at_[1] != 'u') return false;
      const int low = Hex4(at_ + 2);
      if (low < 0xdc00 || low > 0xdfff) return false;
      at_ += 6;
      code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
    } else if (code >= 0xdc00 && code <= 0xdfff) {
      return false;
    }
    AppendUtf8(&scratch_, code);
    return true;
  }

  // One well-formed UTF-8 sequence at at_ (a byte above 127): no overlong
  // forms, no surrogates, nothing above U+10FFFF.
  bool SkipUtf8() {
    const char* at = at_;
    const auto lead = static_cast<unsigned char>(at[0]);
    size_t length = 0;
    bool ok = false;
    if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
      ok = InRange(at + 1, 0x80, 0xbf);
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      const unsigned low = lead == 0xe0 ? 0xa0 : 0x80;
      const unsigned high = lead == 0xed ? 0x9f : 0xbf;
      ok = InRange(at + 1, low, high) && InRange(at + 2, 0x80, 0xbf);
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      const unsigned low = lead == 0xf0 ? 0x90 : 0x80;
      const unsigned high = lead == 0xf4 ? 0x8f : 0xbf;
      ok = InRange(at + 1, low, high) && InRange(at + 2, 0x80, 0xbf) && InRange(at + 3, 0x80, 0xbf);
    }
    if (!ok) return false;
    at_ += length;
    return true;
  }

  // A key and its colon; at_ then stands at the value.
  bool ReadKey(std::string_view* key) {
    if (*at_ != '"' || !ReadString(key)) return false;
    SkipSpace();
    if (*at_ != ':') return false;
    ++at_;
    SkipSpace();
    return true;
  }

  bool SkipNumber() {
    const char* at = at_;
    if (*at == '-') ++at;
    const char* digits = at;
    if (*at == '0') {
      ++at;
    } else if (*at >= '1' && *at <= '9') {
      while (IsDigit(*at)) ++at;
      if (at - digits > kMaxNumberDigits) return false;
    } else {
      return false;
    }
    if (*at == '.') {
      ++at;
      if (!IsDigit(*at)) return false;
      while (IsDigit(*at)) ++at;
    }
    if (*at == 'e' || *at == 'E') return false;
    at_ = at;
    return true;
  }

  // Any JSON value at at_, checked and passed over.
  bool SkipValue() {
    char open[kMaxDepth];  // '{' or '[' for each level entered
    int depth = 0;
    for (;;) {
      switch (*at_) {
        case '{':
        case '[': {
          const char kind = *at_;
          ++at_;
          SkipSpace();
          if (*at_ == (kind == '{' ? '}' : ']')) {
            ++at_;
            break;
          }
          if (depth == kMaxDepth) return false;
          open[depth++] = kind;
          std::string_view key;
          if (kind == '{' && !ReadKey(&key)) return false;
          continue;  // at the first member's value
        }
        case '"': {
          std::string_view text;
          if (!ReadString(&text)) return false;
          break;
        }
        case 't':
          if (!Literal("true", 4)) return false;
          break;
        case 'f':
          if (!Literal("false", 5)) return false;
          break;
        case 'n':
          if (!Literal("null", 4)) return false;
          break;
        default:
          if (!SkipNumber()) return false;
          break;
      }
      // After a value: close what ends here, or go on to the next member.
      for (;;) {
        if (depth == 0) return true;
        SkipSpace();
        const char kind = open[depth - 1];
        if (*at_ == (kind == '{' ? '}' : ']')) {
          ++at_;
          --depth;
          continue;
        }
        if (*at_ != ',') return false;
        ++at_;
        SkipSpace();
        std::string_view key;
        if (kind == '{' && !ReadKey(&key)) return false;
        break;
      }
    }
  }

  bool RootField(std::string_view key) {
    if (key == "title") {
      std::string_view title;
      if (*at_ != '"' || !ReadString(&title)) return false;
      out_->title.assign(title);
      return true;
    }
    if (key == "recordActivity") {
      if (*at_ == 't' && Literal("true", 4)) {
        out_->recordActivity = true;
      } else if (*at_ == 'f' && Literal("false", 5)) {
        out_->recordActivity = false;
      } else {
        return false;
      }
      return true;
    }
    if (key == "activity") {
      if (*at_ != '[') return false;
      // Walked entry by entry in either mode: that is quicker than passing
      // over it as any JSON value. In kTitle mode nothing is kept.
      return ReadLog();
    }
    return SkipValue();  // unknown fields are passed over
  }

  // The activity array; a second one in the file goes on after the first.
  bool ReadLog() {
    ++at_;
    SkipSpace();
    if (*at_ == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      if (!MoveOn() || *at_ != '{' || !ReadEntry()) return false;
      SkipSpace();
      if (*at_ == ']') {
        ++at_;
        return true;
      }
      if (*at_ != ',') return false;
      ++at_;
      SkipSpace();
    }
  }

  // A count written as 0 to 65535 in plain digits.
  [[gnu::always_inline]] bool ReadCount(uint16_t* count) {
    const char* at = at_;
    uint32_t value = 0;
    if (*at == '0') {
      ++at;
    } else {
      for (int digits = 0; digits < 5 && IsDigit(*at); ++digits) value = value * 10 + (*at++ - '0');
      if (at == at_) return false;
    }
    if (IsDigit(*at) || *at == '.' || *at == 'e' || *at == 'E' || value > 65535) return false;
    *count = static_cast<uint16_t>(value);
    at_ = at;
    return true;
  }

  // An entry's key and its colon. The keys of the file format, written plainly,
  // are recognised in place; any other key is read as a string.
  EntryField ReadEntryKey() {
    if (*at_ != '"') return EntryField::kNone;
    static constexpr struct {
      const char text[8];
      size_t length;
      EntryField field;
    } kKeys[] = {{"time\"", 5, EntryField::kTime},
                 {"reads\"", 6, EntryField::kReads},
                 {"writes\"", 7, EntryField::kWrites},
                 {"user\"", 5, EntryField::kUser}};
    EntryField field = EntryField::kNone;
    for (const auto& key : kKeys) {
      if (at_[1] == key.text[0] && std::memcmp(at_ + 1, key.text, key.length) == 0) {
        at_ += 1 + key.length;
        field = key.field;
        break;
      }
    }
    if (field == EntryField::kNone) {
      std::string_view key;
      if (!ReadString(&key)) return EntryField::kNone;
      field = EntryFieldOf(key);
    }
    SkipSpace();
    if (*at_ != ':') return EntryField::kNone;
    ++at_;
    SkipSpace();
    return field;
  }

  // The string value of an entry's time, at its quote, and whether it is a
  // valid date-time. A text the date-time reader takes holds only digits,
  // '-', ':', ' ', 'T' and 'Z', so it is the whole string when a quote follows.
  [[gnu::always_inline]] bool ReadTime(bool* valid, int64_t* seconds) {
    std::string_view text;
    if (mode_ == LoadMode::kTitle) return ReadString(&text);  // no time is kept
    for (const size_t length : {size_t{19}, size_t{20}}) {
      if (at_[1 + length] == '"' && times_.Parse(std::string_view(at_ + 1, length), seconds)) {
        at_ += length + 2;
        *valid = true;
        return true;
      }
    }
    if (!ReadString(&text)) return false;
    *valid = times_.Parse(text, seconds);
    return true;
  }

  // One entry's values.
  struct Entry {
    bool timeValid = false;
    int64_t seconds = 0;
    uint16_t reads = 0;
    uint16_t writes = 0;
    std::string_view user;
  };

  // A value of the entry at at_, by its field.
  [[gnu::always_inline]] bool ReadEntryValue(EntryField field, Entry* entry) {
    switch (field) {
      case EntryField::kTime:
        // Any value that is not a valid date-time text leaves the time invalid.
        if (*at_ == '"') return ReadTime(&entry->timeValid, &entry->seconds);
        entry->timeValid = false;
        return SkipValue();
      case EntryField::kReads:
        return ReadCount(&entry->reads);
      case EntryField::kWrites:
        return ReadCount(&entry->writes);
      case EntryField::kUser:
        if (*at_ != '"' || !ReadString(&entry->user)) return false;
        if (entry->user.data() < begin_ || entry->user.data() >= end_) {
          // Decoded into scratch_, which the next string reuses; an escaped
          // terminator ends the name, as the program reads it.
          user_ = entry->user.substr(0, entry->user.find('\0'));
          entry->user = user_;
        }
        return true;
      case EntryField::kOther:
      case EntryField::kNone:
        break;
    }
    return SkipValue();
  }

  // The entry at at_ read as the last one was written: the same four fields in
  // the same order, with the same bytes between their values. Only the values
  // are read, each as ReadEntry reads it. False, with at_ back at the entry,
  // when the entry is written any other way.
  bool ReadEntryOfShape(Entry* entry) {
    const char* start = at_;
    for (int i = 0; i < 4; ++i) {
      if (!SameBytes(at_, shape_.between[i], shape_.length[i])) break;
      at_ += shape_.length[i];
      const char* value = at_;
      if (!ReadEntryValue(shape_.fields[i], entry) || at_ == value) break;
      if (i == 3) {
        if (!SameBytes(at_, shape_.between[4], shape_.length[4])) break;
        at_ += shape_.length[4];
        return true;
      }
    }
    at_ = start;
    return false;
  }

  // Keeps the shape of an entry just read whole by ReadEntry: its four fields
  // in order and the bytes before, between and after their values.
  void LearnShape(const char* start, const EntryField (&fields)[4],
                  const char* const (&values)[4][2]) {
    shape_.known = false;
    bool seen[6] = {};  // by EntryField
    for (int i = 0; i < 4; ++i) {
      const auto field = static_cast<size_t>(fields[i]);
      if (field < static_cast<size_t>(EntryField::kTime) || seen[field]) return;
      seen[field] = true;
    }
    const char* from = start;
    for (int i = 0; i <= 4; ++i) {
      const char* to = i < 4 ? values[i][0] : at_;
      const auto length = static_cast<size_t>(to - from);
      if (length > sizeof shape_.between[i]) return;
      std::memcpy(shape_.between[i], from, length);
      shape_.length[i] = length;
      if (i < 4) {
        shape_.fields[i] = fields[i];
        from = values[i][1];
      }
    }
    shape_.known = true;
  }

  bool ReadEntry() {
    Entry entry;
    if (shape_.known && ReadEntryOfShape(&entry)) {
      if (mode_ != LoadMode::kTitle) {
        log_.Add(entry.timeValid, entry.seconds, entry.reads, entry.writes, entry.user);
      }
      return true;
    }
    entry = Entry{};  // nothing of a shape that did not fit
    const char* start = at_;
    EntryField fields[4] = {};
    const char* values[4][2] = {};
    int count = 0;
    ++at_;
    SkipSpace();
    if (*at_ != '}') {
      for (;;) {
        const EntryField field = ReadEntryKey();
        if (field == EntryField::kNone) return false;
        const char* value = at_;
        if (!ReadEntryValue(field, &entry)) return false;
        if (count < 4) {
          fields[count] = field;
          values[count][0] = value;
          values[count][1] = at_;
        }
        ++count;
        SkipSpace();
        if (*at_ == '}') break;
        if (*at_ != ',') return false;
        ++at_;
        SkipSpace();
      }
    }
    ++at_;
    if (count == 4) {
      LearnShape(start, fields, values);
    } else {
      shape_.known = false;
    }
    if (mode_ != LoadMode::kTitle) {
      log_.Add(entry.timeValid, entry.seconds, entry.reads, entry.writes, entry.user);
    }
    return true;
  }

  ByteWindow* window_;
  const char* begin_;
  const char* at_;
  const char* end_;
  LoadMode mode_;
  DatabaseContent* out_;
  LogBuilder log_;
  UtcTextReader times_;
  std::string scratch_;
  std::string user_;
  // How the log's entries are written, learnt from the last one read whole.
  struct {
    bool known = false;
    EntryField fields[4];
    char between[5][32];  // the bytes before the first value, between, after the last
    size_t length[5];
  } shape_;
};

}  // namespace

bool ReadDatabaseFast(ByteWindow* window, LoadMode mode, int64_t now, DatabaseContent* out) {
  if (mode == LoadMode::kFull) {
    // Room for a log of usual names at once: an entry takes 40 bytes of the
    // file or more. Pages of the room that the log does not fill are never
    // touched, so they cost no memory.
    const size_t entries =
        std::min(static_cast<size_t>(window->end - window->begin) / 40 + 1, kMaxEntries);
    out->entries.records.reserve(entries);
    out->entries.names.reserve(entries * 48);
  }
  FastReader reader(window, mode, now, out);
  return reader.Read();
}

bool ReadDatabaseFast(const char* bytes, size_t size, LoadMode mode, int64_t now,
                      DatabaseContent* out) {
  ByteWindow whole;
  whole.begin = bytes;
  whole.end = bytes + size;
  return ReadDatabaseFast(&whole, mode, now, out);
}

}  // namespace standin
