// Reads a database file a window at a time with the fast reader; a file that one declines
// goes, again a window at a time, through the JSON SAX parser, the exact reader, which
// checks the file's shape, keeps only what the caller asked for and words every problem.
// Neither reads on past the byte that shows a file is not a database.
#include "database_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "fast_database_reader.h"
#include "log_builder.h"
#include "standin_internal.h"

namespace standin {
namespace {

uint64_t fileReads = 0;
uint64_t fastDeclines = 0;

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

// Whether a file that starts with `bytes` looks like UTF-16 (or UTF-32): a
// byte-order mark, or one zero byte and one other among its first two, as
// the first character of a JSON text in UTF-16 has. Zero bytes alone are
// no text at all.
bool LooksLikeUtf16(const char* bytes, size_t size) {
  if (size < 2) return false;
  const auto head0 = static_cast<unsigned char>(bytes[0]);
  const auto head1 = static_cast<unsigned char>(bytes[1]);
  return (head0 == 0xff && head1 == 0xfe) || (head0 == 0xfe && head1 == 0xff) ||
         ((head0 == 0) != (head1 == 0));
}

// Where the parser stands in the document.
enum class Place { kStart, kRoot, kActivity, kEntry, kDone };

class DatabaseReader : public nlohmann::json_sax<Json> {
 public:
  DatabaseReader(LoadMode mode, int64_t now, DatabaseContent* out)
      : mode_(mode), out_(out), log_(now, out) {}

  // The first problem that stops the file from opening; empty when none.
  const std::string& problem() const { return problem_; }
  bool syntaxError() const { return syntaxError_; }
  // The offset of the byte a syntax error was found at.
  size_t errorOffset() const { return errorOffset_; }

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
    errorOffset_ = last;
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
    entry_.reads = entry_.writes = 0;
    entry_.user.clear();
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
      if (mode_ != LoadMode::kTitle) entry_.user = *text_;
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
    if (mode_ == LoadMode::kTitle) return;
    // An escaped terminator ends the name, as the program reads it.
    const std::string_view user(entry_.user);
    log_.Add(entryTimeValid_, entrySeconds_, entry_.reads, entry_.writes,
             user.substr(0, user.find('\0')));
  }

 public:
  void Finish() {
    if (mode_ != LoadMode::kTitle) log_.Finish();
  }

 private:
  LoadMode mode_;
  DatabaseContent* out_;
  LogBuilder log_;
  Place place_ = Place::kStart;
  int skip_ = 0;  // depth inside a value that is being skipped
  std::string key_;
  std::string problem_;
  bool syntaxError_ = false;
  size_t errorOffset_ = 0;

  // The scalar just seen.
  bool flag_ = false;
  int64_t whole_ = 0;
  double number_ = 0;
  string_t* text_ = nullptr;

  struct {
    uint16_t reads = 0;
    uint16_t writes = 0;
    std::string user;
  } entry_;
  int64_t entrySeconds_ = 0;
  bool entryTimeValid_ = false;
  size_t index_ = 0;
};

// One buffer for the bytes of every file read, kept between reads so that a
// data directory of many files allocates it once. A file is read a window at
// a time; only a file the fast reader declines is read whole, and a buffer
// grown beyond a window is given back afterwards.
constexpr size_t kKeptBuffer = kReadWindow + kReadPadding;

struct FileBuffer {
  std::unique_ptr<char[]> bytes;
  size_t capacity = 0;
};

FileBuffer& TheBuffer() {
  static FileBuffer buffer;
  return buffer;
}

// Makes room for `size` bytes and the padding, keeping the first `keep`.
void Reserve(FileBuffer* buffer, size_t size, size_t keep) {
  if (size + kReadPadding <= buffer->capacity) return;
  const size_t capacity = std::max(size + kReadPadding, buffer->capacity + buffer->capacity / 2);
  std::unique_ptr<char[]> bytes(new char[capacity]);
  if (keep > 0) std::memcpy(bytes.get(), buffer->bytes.get(), keep);
  buffer->bytes = std::move(bytes);
  buffer->capacity = capacity;
}

// A window of `capacity` bytes over a file, moved on by reading further.
class FileWindow : public ByteWindow {
 public:
  FileWindow(platform::File* file, FileBuffer* buffer, size_t capacity)
      : file_(file), buffer_(buffer), capacity_(capacity) {
    lookahead = std::max<size_t>(capacity / 4, 1);
    complete = false;
  }

  bool Start() { return Fill(0); }

  bool Advance(const char* keep) override {
    moved_ = true;
    const auto kept = static_cast<size_t>(end - keep);
    std::memmove(buffer_->bytes.get(), keep, kept);
    return Fill(kept);
  }

  // Whether the window still begins at the file's first byte.
  bool atStart() const { return !moved_; }

 private:
  // Reads after the first `kept` bytes of the buffer until the window holds
  // `lookahead` bytes or more past them, or the file ends: at a read that gives
  // nothing, or one that stops short at the size the file had when opened.
  bool Fill(size_t kept) {
    const size_t size = std::max(capacity_, kept + lookahead);
    Reserve(buffer_, size, kept);
    size_t got = kept;
    while (got < size && !complete) {
      size_t count = 0;
      if (!file_->Read(buffer_->bytes.get() + got, size - got, &count)) return false;
      const bool shortRead = count < size - got;
      got += count;
      offset_ += count;
      complete = count == 0 || (shortRead && offset_ == file_->OpenedStamp().size);
    }
    std::memset(buffer_->bytes.get() + got, 0, kReadPadding);
    begin = buffer_->bytes.get();
    end = begin + got;
    return true;
  }

  platform::File* file_;
  FileBuffer* buffer_;
  size_t capacity_;
  bool moved_ = false;
  uint64_t offset_ = 0;  // bytes read from the file so far
};

// Empties `out` for a read in `mode`.
void Reset(LoadMode mode, DatabaseContent* out) {
  *out = DatabaseContent{};
  if (mode == LoadMode::kFull) out->entries = SpareLog();
  if (mode == LoadMode::kRecord) out->recording = std::make_unique<LogRecording>();
}

// The bytes of a file for the exact reader, one at a time: from memory, or from
// a window moved on over the file. It ends at the file's end or at its first
// NUL byte, which no JSON text holds: nothing after that byte is read.
class ByteSource {
 public:
  ByteSource(const char* bytes, size_t size) : begin_(bytes), at_(bytes), end_(bytes + size) {
    NoteHead();
  }
  explicit ByteSource(FileWindow* window)
      : window_(window), begin_(window->begin), at_(window->begin), end_(window->end) {
    NoteHead();
  }

  bool AtEnd() {
    while (at_ == end_) {
      if (!Refill()) return true;
    }
    if (*at_ != '\0') return false;
    if (!nul_) nul_ = consumed_ + static_cast<uint64_t>(at_ - begin_);
    return true;
  }
  const char& Current() const { return *at_; }
  void Next() { ++at_; }

  // The offset of the NUL byte the bytes ended at, if they did.
  const std::optional<uint64_t>& nul() const { return nul_; }
  bool readFailed() const { return readFailed_; }
  const char* head() const { return head_; }
  size_t headSize() const { return headSize_; }

 private:
  void NoteHead() {
    headSize_ = std::min<size_t>(static_cast<size_t>(end_ - begin_), sizeof head_);
    if (headSize_ > 0) std::memcpy(head_, begin_, headSize_);
  }

  bool Refill() {
    if (window_ == nullptr || window_->complete || readFailed_) return false;
    consumed_ += static_cast<uint64_t>(end_ - begin_);
    if (!window_->Advance(end_)) {
      readFailed_ = true;
      return false;
    }
    begin_ = at_ = window_->begin;
    end_ = window_->end;
    return true;
  }

  FileWindow* window_ = nullptr;
  const char* begin_;
  const char* at_;
  const char* end_;
  uint64_t consumed_ = 0;  // bytes before begin_
  std::optional<uint64_t> nul_;
  bool readFailed_ = false;
  char head_[2] = {};
  size_t headSize_ = 0;
};

// A ByteSource as the parser reads input: compared only with the end (no source).
class SourceIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  SourceIterator() = default;
  explicit SourceIterator(ByteSource* source) : source_(source) {}
  reference operator*() const { return source_->Current(); }
  SourceIterator& operator++() {
    source_->Next();
    return *this;
  }
  bool operator==(const SourceIterator& other) const { return Ended() == other.Ended(); }
  bool operator!=(const SourceIterator& other) const { return !(*this == other); }

 private:
  bool Ended() const { return source_ == nullptr || source_->AtEnd(); }
  ByteSource* source_ = nullptr;
};

// The exact reader alone; false with `problem` set when the file does not open.
bool ReadExactly(ByteSource* source, const std::string& name, LoadMode mode, int64_t now,
                 DatabaseContent* out, ReadProblem* problem) {
  bool parsed = false;
  std::string text;
  bool syntax = false;
  try {
    Reset(mode, out);
    DatabaseReader reader(mode, now, out);
    parsed = Json::sax_parse(SourceIterator(source), SourceIterator(), &reader);
    if (parsed && reader.problem().empty() && !source->nul() && !source->readFailed()) {
      reader.Finish();
      // The log is only walked for its shape when just the title is wanted.
      if (mode == LoadMode::kTitle) out->entryError.clear();
      return true;
    }
    syntax = reader.syntaxError();
    text = reader.problem().empty() ? std::string("cannot be read") : reader.problem();
    // A NUL byte is the problem unless the parser met one before it.
    if (source->nul() && (parsed || (syntax && reader.errorOffset() >= *source->nul()))) {
      syntax = true;
      text = "not JSON: a NUL byte at offset " + std::to_string(*source->nul());
    }
    if (syntax && LooksLikeUtf16(source->head(), source->headSize())) {
      text = "not UTF-8: the file looks like UTF-16; save it as UTF-8";
    }
  } catch (const std::bad_alloc&) {
    *out = DatabaseContent{};
    *problem = MemoryShortRead();
    return false;
  } catch (const std::length_error&) {
    *out = DatabaseContent{};
    *problem = MemoryShortRead();
    return false;
  } catch (const std::exception&) {
    // The SAX parser reports through parse_error: nothing else is expected.
    source = nullptr;
  }
  *out = DatabaseContent{};
  if (source == nullptr || source->readFailed()) {
    *problem = CannotRead(name);
    return false;
  }
  try {
    *problem = {syntax ? kNotJson : kBadField, "Database " + name + ": " + text};
  } catch (const std::exception&) {
    *problem = MemoryShortRead();
  }
  return false;
}

bool ReadBytesExactly(const char* bytes, size_t size, const std::string& name, LoadMode mode,
                      int64_t now, DatabaseContent* out, ReadProblem* problem) {
  ByteSource source(bytes, size);
  return ReadExactly(&source, name, mode, now, out, problem);
}

bool ReadBytes(const char* bytes, size_t size, const std::string& name, LoadMode mode, int64_t now,
               DatabaseContent* out, ReadProblem* problem) {
  Reset(mode, out);
  if (ReadDatabaseFast(bytes, size, mode, now, out)) return true;
  return ReadBytesExactly(bytes, size, name, mode, now, out, problem);
}

Status StatusOf(bool read, const ReadProblem& problem, const std::string& name) {
  return read ? 0 : ProblemStatus(problem, name);
}

}  // namespace

uint64_t DatabaseFileReads() { return fileReads; }
uint64_t FastReaderDeclines() { return fastDeclines; }

ReadProblem CannotRead(const std::string& name) {
  return {kCannotRead, "Database " + name + " cannot be read"};
}

ReadProblem MemoryShortRead() noexcept { return {kMemoryShort, {}}; }

Status ProblemStatus(const ReadProblem& problem, const std::string& name) noexcept {
  if (problem.family == kMemoryShort) return MemoryShort(name);
  try {
    return Fail(static_cast<Code>(problem.family), problem.text);
  } catch (const std::exception&) {
    return MemoryShort(name);
  }
}

bool ReadDatabaseFile(platform::File* file, const std::string& name, LoadMode mode, int64_t now,
                      DatabaseContent* out, ReadProblem* problem, size_t window) {
  ++fileReads;
  FileBuffer& buffer = TheBuffer();
  bool read = false;
  try {
    Reset(mode, out);
    std::optional<FileWindow> bytes(std::in_place, file, &buffer, window);
    if (!file->IsOpen() || !bytes->Start()) {
      *problem = CannotRead(name);
    } else if (ReadDatabaseFast(&*bytes, mode, now, out)) {
      read = true;
    } else {
      // Declined: the exact reader reads the file from its start, a window
      // at a time, and words what is wrong.
      ++fastDeclines;
      bool ready = bytes->atStart();
      if (!ready) {
        bytes.reset();
        ready = file->Rewind() && bytes.emplace(file, &buffer, window).Start();
      }
      if (ready) {
        ByteSource source(&*bytes);
        read = ReadExactly(&source, name, mode, now, out, problem);
      } else {
        *problem = CannotRead(name);
      }
    }
  } catch (const std::bad_alloc&) {
    read = false;
    *problem = MemoryShortRead();
  } catch (const std::length_error&) {
    read = false;
    *problem = MemoryShortRead();
  }
  if (!read) *out = DatabaseContent{};
  if (buffer.capacity > kKeptBuffer) buffer = FileBuffer{};
  return read;
}

Status LoadDatabaseFile(platform::File* file, const std::string& name, LoadMode mode, int64_t now,
                        DatabaseContent* out, size_t window) {
  ReadProblem problem;
  return StatusOf(ReadDatabaseFile(file, name, mode, now, out, &problem, window), problem, name);
}

Status LoadDatabaseFile(const std::filesystem::path& physical, const std::string& name,
                        LoadMode mode, int64_t now, DatabaseContent* out, size_t window) {
  platform::Folder folder;
  platform::File file;
  if (platform::Folder::OpenRoot(physical.parent_path(), &folder) == platform::Opened::kYes) {
    folder.OpenFile(physical.filename().string(), &file);
  }
  return LoadDatabaseFile(&file, name, mode, now, out, window);
}

Status LoadDatabaseBytes(const char* bytes, size_t size, const std::string& name, LoadMode mode,
                         int64_t now, DatabaseContent* out) {
  ReadProblem problem;
  return StatusOf(ReadBytes(bytes, size, name, mode, now, out, &problem), problem, name);
}

Status LoadDatabaseBytesExactly(const char* bytes, size_t size, const std::string& name,
                                LoadMode mode, int64_t now, DatabaseContent* out) {
  ReadProblem problem;
  return StatusOf(ReadBytesExactly(bytes, size, name, mode, now, out, &problem), problem, name);
}

}  // namespace standin
