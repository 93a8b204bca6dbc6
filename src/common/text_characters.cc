// The rules of characters that both platforms share.
#include "common/text_characters.h"

namespace {

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::size_t Utf8SequenceLength(const unsigned char* s, std::size_t size) {
  if (size == 0) return 0;
  const unsigned char c = s[0];
  if (c < 0x80) return 1;
  if (c < 0xC2 || c > 0xF4) return 0;
  if (size < 2 || !Continuation(s[1])) return 0;
  if (c < 0xE0) return 2;
  // The second byte's range rules out overlong forms, surrogates and values
  // past U+10FFFF.
  const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
  if (s[1] < low || s[1] > high) return 0;
  if (size < 3 || !Continuation(s[2])) return 0;
  if (c < 0xF0) return 3;
  if (size < 4 || !Continuation(s[3])) return 0;
  return 4;
}

bool Utf8CutShort(const unsigned char* s, std::size_t size) {
  if (size == 0) return false;
  const unsigned char c = s[0];
  if (c < 0xC2 || c > 0xF4) return false;
  const std::size_t wanted = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (size >= wanted) return false;
  const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
  if (size >= 2 && (s[1] < low || s[1] > high)) return false;
  return size < 3 || Continuation(s[2]);
}

std::size_t FinishedCharactersIn(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (CharacterCutShort(text.data() + at, text.size() - at)) return at;
    at += CharacterLength(text.data() + at, text.size() - at);
  }
  return text.size();
}

std::size_t WholeCharactersIn(std::string_view text, std::size_t room) {
  if (text.size() <= room) return text.size();
  // Characters are known only from the start of the text (a trail byte of a
  // double-byte code page may look like any other byte).
  std::size_t kept = 0;
  while (kept < room) {
    const std::size_t length = CharacterLength(text.data() + kept, text.size() - kept);
    if (kept + length > room) break;
    kept += length;
  }
  return kept;
}

std::size_t WholeUtf8In(std::string_view text, std::size_t room) {
  if (text.size() <= room) return text.size();
  // A sequence is known from its first byte, so only the last three bytes
  // before the cut may begin one that crosses it.
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t back = 1; back <= 3 && back <= room; ++back) {
    if (Utf8SequenceLength(bytes + room - back, text.size() - (room - back)) > back) {
      return room - back;
    }
  }
  return room;
}

std::size_t FinishedUtf8In(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    if (Utf8CutShort(bytes + text.size() - back, back)) return text.size() - back;
  }
  return text.size();
}
