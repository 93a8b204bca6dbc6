// The writer keeps a line in a fixed buffer and writes it with one call, as
// the entry lines of the text form are written.
#include "report/json_writer.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "cli/report_printf.h"
#include "report/report_fields.h"
#include "report/runtime_text.h"

namespace {

// The most one step adds: a key or a number with its punctuation, or one
// escaped character.
constexpr std::size_t kStep = 64;

// Makes room for `size` more bytes, writing what the line holds so far
// when it is full.
void Reserve(JsonLine& line, std::size_t size) {
  if (line.length + size <= line.text.size()) return;
  ReportWrite(line.text.data(), line.length);
  line.length = 0;
  line.cut = true;
}

void Put(JsonLine& line, char c) { line.text[line.length++] = c; }

void PutKey(JsonLine& line, std::string_view key) {
  const std::size_t size = key.size();
  Reserve(line, size + 4);
  if (line.hasField) Put(line, ',');
  line.hasField = true;
  Put(line, '"');
  std::memcpy(line.text.data() + line.length, key.data(), size);
  line.length += size;
  Put(line, '"');
  Put(line, ':');
}

constexpr char kHex[] = "0123456789abcdef";

// One character of UTF-8 text as a JSON string holds it.
void PutEscaped(JsonLine& line, char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && c != '"' && c != '\\') {
    Put(line, c);
    return;
  }
  Put(line, '\\');
  switch (c) {
    case '"':
    case '\\':
      Put(line, c);
      return;
    case '\b':
      Put(line, 'b');
      return;
    case '\f':
      Put(line, 'f');
      return;
    case '\n':
      Put(line, 'n');
      return;
    case '\r':
      Put(line, 'r');
      return;
    case '\t':
      Put(line, 't');
      return;
    default:
      Put(line, 'u');
      Put(line, '0');
      Put(line, '0');
      Put(line, kHex[u >> 4]);
      Put(line, kHex[u & 0xF]);
      return;
  }
}

// Bytes written as they stand inside a JSON string: printable ASCII but the
// quote and the backslash, and, once a text is UTF-8, every byte of 0x80 up.
enum : unsigned char { kEscaped, kAscii, kHigh };
constexpr std::array<unsigned char, 256> kKinds = [] {
  std::array<unsigned char, 256> kinds{};
  for (int c = 0x20; c < 0x80; ++c) kinds[c] = c == '"' || c == '\\' ? kEscaped : kAscii;
  for (int c = 0x80; c < 0x100; ++c) kinds[c] = kHigh;
  return kinds;
}();

// How many bytes at the start of `p` need no escape (and, unless `utf8`,
// are ASCII), judged eight at a time: most texts are such bytes alone.
std::size_t PlainWords(const unsigned char* p, std::size_t size, bool utf8) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighs = 0x8080808080808080;
  auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  std::size_t n = 0;
  for (; n + 8 <= size; n += 8) {
    uint64_t w;
    std::memcpy(&w, p + n, 8);
    const uint64_t control = (w - kOnes * 0x20) & ~w & kHighs;  // a byte below 0x20
    const uint64_t special = hasZero(w ^ (kOnes * '"')) | hasZero(w ^ (kOnes * '\\'));
    if ((control | special | (utf8 ? 0 : w & kHighs)) != 0) break;
  }
  return n;
}

// Writes `text`, escaped, up to its first byte that is not ASCII (all of it
// when it is UTF-8 already); returns how many bytes it took. Runs that need
// no escape are copied whole, as far as the room goes.
std::size_t PutEscapedText(JsonLine& line, std::string_view text, bool utf8) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  auto plain = [&](std::size_t i) {
    const unsigned char kind = kKinds[bytes[i]];
    return kind == kAscii || (utf8 && kind == kHigh);
  };
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    for (;;) {
      end += PlainWords(bytes + end, text.size() - end, utf8);
      if (end == text.size() || !plain(end)) break;
      ++end;
    }
    while (at < end) {
      Reserve(line, 1);
      const std::size_t n = std::min(end - at, line.text.size() - line.length);
      std::memcpy(line.text.data() + line.length, text.data() + at, n);
      line.length += n;
      at += n;
    }
    if (at == text.size() || bytes[at] >= 0x80) break;
    Reserve(line, 6);
    PutEscaped(line, text[at++]);
  }
  return at;
}

void PutString(JsonLine& line, std::string_view text) {
  Reserve(line, 1);
  Put(line, '"');
  // Plain ASCII is the same in UTF-8 and in every code page the runtime
  // may use, and a byte below 0x80 is never the second byte of a
  // double-byte character once those are taken in pairs: it is written as
  // it stands up to the first byte that is not ASCII, and from there the
  // rest goes through the conversion.
  text.remove_prefix(PutEscapedText(line, text, false));
  std::array<char, 1024> utf8;
  while (!text.empty()) {
    std::size_t written = 0;
    const std::size_t taken = RuntimeTextToUtf8(text, utf8, written);
    PutEscapedText(line, std::string_view(utf8.data(), written), true);
    text.remove_prefix(taken);
  }
  Reserve(line, 1);
  Put(line, '"');
}

}  // namespace

void JsonBegin(JsonLine& line) {
  line.length = 0;
  line.hasField = false;
  line.cut = false;
  Put(line, '{');
}

void JsonText(JsonLine& line, std::string_view key, std::string_view text) {
  PutKey(line, key);
  PutString(line, text);
}

void JsonNumber(JsonLine& line, std::string_view key, uint64_t value) {
  PutKey(line, key);
  Reserve(line, kStep);
  line.length += PutDecimal(value, line.text.data() + line.length);
}

void JsonSignedNumber(JsonLine& line, std::string_view key, int64_t value) {
  PutKey(line, key);
  Reserve(line, kStep);
  line.length += PutSignedDecimal(value, line.text.data() + line.length);
}

void JsonNull(JsonLine& line, std::string_view key) {
  PutKey(line, key);
  Reserve(line, 4);
  std::memcpy(line.text.data() + line.length, "null", 4);
  line.length += 4;
}

bool JsonEnd(JsonLine& line, std::size_t keep) {
  Reserve(line, 2);
  Put(line, '}');
  Put(line, '\n');
  ReportWrite(line.text.data(), line.length);
  const bool kept = !line.cut && keep > 0 && keep <= line.length;
  line.length = kept ? keep : 0;
  line.hasField = kept && keep > 1;
  line.cut = false;
  return kept;
}
