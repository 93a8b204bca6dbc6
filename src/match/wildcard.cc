// Wildcard matching without backtracking: the part before the first '*' and
// the part after the last '*' are fixed in place, and every run between two
// '*'s is taken at its leftmost place in what is left of the text. Taking
// the leftmost place never loses a match, so the cost is at most pattern
// length times text length, and a pattern without '*' costs one pass. Long
// runs are looked for with bit masks, one pass over the text whatever the
// run, so that no pattern of a program-sized text costs more than a few
// passes.
//
// The same method runs over whole characters when the text holds characters
// of more than one byte; a text of single-byte characters, which is nearly
// every text, keeps the byte-wise path, which gives the same results.
#include "match/wildcard.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/text_characters.h"

namespace {

using Byte = unsigned char;

// Folding is fixed: a to z onto A to Z, no other byte, whatever the locale.
constexpr std::array<Byte, 256> MakeTable(bool fold) {
  std::array<Byte, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = static_cast<Byte>(fold && c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return table;
}
constexpr std::array<Byte, 256> kFolded = MakeTable(true);
constexpr std::array<Byte, 256> kExact = MakeTable(false);

// Whether `n` pattern characters (no '*' among them) match `n` text bytes;
// without kQuestions the caller knows there is no '?' among them.
template <bool kQuestions = true>
bool RunMatches(const Byte* pattern, const Byte* text, std::size_t n, const Byte* map) {
  for (std::size_t i = 0; i < n; ++i) {
    if ((!kQuestions || pattern[i] != '?') && map[pattern[i]] != map[text[i]]) return false;
  }
  return true;
}

// Runs shorter than this are compared place by place: cheaper than setting
// up masks, and at most this many comparisons per place.
constexpr std::size_t kLongRun = 8;
// Runs up to this length fit the masks (every text of the program does).
constexpr std::size_t kMaskBits = 256;
using Mask = std::array<uint64_t, kMaskBits / 64>;

// The leftmost place in [text, end) where the long run matches, or null.
// A bit per run position tracks which prefixes of the run end at the
// current text byte; a byte's mask holds the positions it may stand at.
const Byte* FindLongRun(const Byte* run, std::size_t n, const Byte* text, const Byte* end,
                        const Byte* map) {
  // Slot 0 is every byte the run does not name: it fits only at a '?'.
  std::array<Byte, 256> slotOf{};
  std::array<Mask, 256> masks;  // slots beyond those in use stay unset
  Mask any{};
  for (std::size_t i = 0; i < n; ++i) {
    if (run[i] == '?') any[i / 64] |= uint64_t{1} << (i % 64);
  }
  masks[0] = any;
  std::size_t slots = 1;  // at most n + 1 <= 256: a slot index fits a byte
  for (std::size_t i = 0; i < n; ++i) {
    if (run[i] == '?') continue;
    Byte& slot = slotOf[map[run[i]]];
    if (slot == 0) {
      slot = static_cast<Byte>(slots);
      masks[slots++] = any;
    }
    masks[slot][i / 64] |= uint64_t{1} << (i % 64);
  }

  const std::size_t words = (n + 63) / 64;
  const std::size_t lastWord = (n - 1) / 64;
  const uint64_t lastBit = uint64_t{1} << ((n - 1) % 64);
  Mask state{};
  for (const Byte* c = text; c < end; ++c) {
    const Mask& fits = masks[slotOf[map[*c]]];
    uint64_t carry = 1;  // every byte may start the run
    for (std::size_t w = 0; w < words; ++w) {
      const uint64_t out = state[w] >> 63;
      state[w] = ((state[w] << 1) | carry) & fits[w];
      carry = out;
    }
    if ((state[lastWord] & lastBit) != 0) return c + 1 - n;
  }
  return nullptr;
}

// The leftmost place in [text, end) where the run of `n` pattern characters
// (no '*' among them) matches, or null.
template <bool kQuestions = true>
const Byte* FindRun(const Byte* run, std::size_t n, const Byte* text, const Byte* end,
                    const Byte* map) {
  if (n >= kLongRun && n <= kMaskBits && static_cast<std::size_t>(end - text) > n) {
    return FindLongRun(run, n, text, end, map);
  }
  for (; static_cast<std::size_t>(end - text) >= n; ++text) {
    if (RunMatches<kQuestions>(run, text, n, map)) return text;
  }
  return nullptr;
}

// Whether any of the `n` bytes at `s` is 128 or above: only such a byte may
// begin a character of more than one byte.
bool AnyHighByte(const Byte* s, std::size_t n) {
  Byte any = 0;
  for (std::size_t i = 0; i < n; ++i) any |= s[i];
  return (any & 0x80) != 0;
}

// A pattern byte that may take, or be part of, a character of more than one
// byte: a '?' or a byte of 128 or above, marked by bit 7.
constexpr std::array<Byte, 256> MakeRisky() {
  std::array<Byte, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = c == '?' || c >= 0x80 ? 0x80 : 0;
  return table;
}
constexpr std::array<Byte, 256> kRisky = MakeRisky();

// Whether every character of the `n` bytes at `s` is one byte long.
[[gnu::cold]] bool SingleByteCharacters(const Byte* s, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (s[i] >= 0x80 && CharacterLength(reinterpret_cast<const char*>(s + i), n - i) > 1) {
      return false;
    }
  }
  return true;
}

// Whether the `n` bytes at `s` hold a character of more than one byte.
[[gnu::cold, gnu::noinline]] bool HoldsLongerCharacters(const Byte* s, std::size_t n) {
  return AnyHighByte(s, n) && !SingleByteCharacters(s, n);
}

// Bytes of the character at `s`, the part up to `end` being whole characters.
// A byte below 128 that starts a character is one on every system.
std::size_t LengthAt(const Byte* s, const Byte* end) {
  if (*s < 0x80) return 1;
  return CharacterLength(reinterpret_cast<const char*>(s), static_cast<std::size_t>(end - s));
}

bool IsStar(const Byte* p, std::size_t length) { return length == 1 && *p == '*'; }

// Whether the pattern character at `p` (not a '*') matches the text character
// at `t`. Only single-byte characters fold: a byte of a longer character is
// never taken for a letter.
bool CharacterMatches(const Byte* p, std::size_t pn, const Byte* t, std::size_t tn,
                      const Byte* map) {
  if (pn == 1 && *p == '?') return true;
  if (pn != tn) return false;
  if (pn == 1) return map[*p] == map[*t];
  return std::memcmp(p, t, pn) == 0;
}

// Where the text matched by the run [run, runEnd) (no '*') ends when the run
// is put at `t`, or null when it does not fit before `end`.
const Byte* RunEndAt(const Byte* run, const Byte* runEnd, const Byte* t, const Byte* end,
                     const Byte* map) {
  while (run < runEnd) {
    if (t == end) return nullptr;
    const std::size_t pn = LengthAt(run, runEnd);
    const std::size_t tn = LengthAt(t, end);
    if (!CharacterMatches(run, pn, t, tn, map)) return nullptr;
    run += pn;
    t += tn;
  }
  return t;
}

// A character of more than one byte as one number: its bytes and length.
uint64_t Key(const Byte* s, std::size_t n) {
  uint64_t key = n;
  for (std::size_t i = 0; i < n; ++i) key = key << 8 | s[i];
  return key;
}

// The leftmost place where a run of `n` characters (no '*') matches in
// [t, end), as where it ends; null when none does. As FindLongRun, one pass
// over the text characters with a bit per run position; the run's characters
// of more than one byte are looked up by their number in a small table.
const Byte* FindCharacterRun(const Byte* run, const Byte* runEnd, std::size_t n, const Byte* t,
                             const Byte* end, const Byte* map) {
  // Distinct long characters of the run, found through `at` by their number;
  // the table is never more than half full.
  constexpr std::size_t kTable = 2 * kMaskBits;
  std::array<uint64_t, kMaskBits> keys;
  std::array<Mask, kMaskBits> longMasks;
  std::array<uint16_t, kTable> at{};  // 1 + index into keys, or 0
  std::size_t longs = 0;
  const auto find = [&](uint64_t key) -> std::size_t {
    std::size_t h = key % kTable;
    while (at[h] != 0 && keys[at[h] - 1] != key) h = (h + 1) % kTable;
    return h;
  };

  std::array<Byte, 256> slotOf{};
  std::array<Mask, 256> masks;  // slots beyond those in use stay unset
  Mask any{};
  std::size_t i = 0;
  for (const Byte* p = run; p < runEnd; ++i) {
    const std::size_t length = LengthAt(p, runEnd);
    if (length == 1 && *p == '?') any[i / 64] |= uint64_t{1} << (i % 64);
    p += length;
  }
  masks[0] = any;
  std::size_t slots = 1;
  i = 0;
  for (const Byte* p = run; p < runEnd; ++i) {
    const std::size_t length = LengthAt(p, runEnd);
    Mask* mask = nullptr;
    if (length > 1) {
      const uint64_t key = Key(p, length);
      const std::size_t h = find(key);
      if (at[h] == 0) {
        keys[longs] = key;
        longMasks[longs] = any;
        at[h] = static_cast<uint16_t>(++longs);
      }
      mask = &longMasks[at[h] - 1];
    } else if (*p != '?') {
      Byte& slot = slotOf[map[*p]];
      if (slot == 0) {
        slot = static_cast<Byte>(slots);
        masks[slots++] = any;
      }
      mask = &masks[slot];
    }
    if (mask != nullptr) (*mask)[i / 64] |= uint64_t{1} << (i % 64);
    p += length;
  }

  const std::size_t words = (n + 63) / 64;
  const std::size_t lastWord = (n - 1) / 64;
  const uint64_t lastBit = uint64_t{1} << ((n - 1) % 64);
  Mask state{};
  for (const Byte* c = t; c < end;) {
    const std::size_t length = LengthAt(c, end);
    const Mask* fits = &masks[0];
    if (length == 1) {
      fits = &masks[slotOf[map[*c]]];
    } else if (longs != 0) {
      const std::size_t h = find(Key(c, length));
      if (at[h] != 0) fits = &longMasks[at[h] - 1];
    }
    uint64_t carry = 1;  // every character may start the run
    for (std::size_t w = 0; w < words; ++w) {
      const uint64_t out = state[w] >> 63;
      state[w] = ((state[w] << 1) | carry) & (*fits)[w];
      carry = out;
    }
    c += length;
    if ((state[lastWord] & lastBit) != 0) return c;
  }
  return nullptr;
}

// The number of characters in [s, end).
std::size_t CountCharacters(const Byte* s, const Byte* end) {
  std::size_t count = 0;
  for (; s < end; s += LengthAt(s, end)) ++count;
  return count;
}

// The method above over characters: fixed start, fixed end, and each run
// between two '*'s at its leftmost place. A run covers a fixed number of
// characters, so the leftmost place is also the one that ends first, which
// is what a pass over the text finds.
int32_t MatchCharacters(const Byte* p, const Byte* patternEnd, const Byte* t, const Byte* textEnd,
                        const Byte* map) {
  // Up to the first '*'.
  for (;;) {
    if (p == patternEnd) return t == textEnd ? 1 : 0;
    const std::size_t pn = LengthAt(p, patternEnd);
    if (IsStar(p, pn)) break;
    if (t == textEnd) return 0;
    const std::size_t tn = LengthAt(t, textEnd);
    if (!CharacterMatches(p, pn, t, tn, map)) return 0;
    p += pn;
    t += tn;
  }

  // After the last '*': the last characters of the text.
  const Byte* lastStar = p;
  for (const Byte* q = p; q < patternEnd;) {
    const std::size_t n = LengthAt(q, patternEnd);
    if (IsStar(q, n)) lastStar = q;
    q += n;
  }
  const std::size_t tailCharacters = CountCharacters(lastStar + 1, patternEnd);
  const std::size_t textCharacters = CountCharacters(t, textEnd);
  if (tailCharacters > textCharacters) return 0;
  const Byte* runsEnd = t;
  for (std::size_t i = tailCharacters; i < textCharacters; ++i) {
    runsEnd += LengthAt(runsEnd, textEnd);
  }
  if (RunEndAt(lastStar + 1, patternEnd, runsEnd, textEnd, map) != textEnd) return 0;

  // Each run between two '*'s at its leftmost place in [t, runsEnd).
  while (p < lastStar) {
    while (p < lastStar && *p == '*') ++p;
    if (p >= lastStar) break;
    const Byte* runEnd = p;
    while (runEnd < lastStar) {
      const std::size_t n = LengthAt(runEnd, lastStar);
      if (IsStar(runEnd, n)) break;
      runEnd += n;
    }
    const Byte* found = nullptr;
    const std::size_t characters = CountCharacters(p, runEnd);
    if (characters >= kLongRun && characters <= kMaskBits) {
      found = FindCharacterRun(p, runEnd, characters, t, runsEnd, map);
    } else {  // short runs, and runs longer than any text of the program
      for (const Byte* at = t; at < runsEnd && found == nullptr; at += LengthAt(at, runsEnd)) {
        found = RunEndAt(p, runEnd, at, runsEnd, map);
      }
    }
    if (found == nullptr) return 0;
    t = found;
    p = runEnd;
  }
  return 1;
}

[[gnu::cold]] int32_t MatchCharacters(const char* pattern, const char* text, const Byte* map) {
  const auto* p = reinterpret_cast<const Byte*>(pattern);
  const auto* t = reinterpret_cast<const Byte*>(text);
  return MatchCharacters(p, p + std::strlen(pattern), t, t + std::strlen(text), map);
}

// The system's, for the whole run.
const TextEncoding encoding = SystemTextEncoding();
// Where trail bytes may look like anything, every pattern with a '*' needs a
// look at the text: a plain byte after the '*' may be part of a character.
const bool kTrailBytesLookPlain = encoding == TextEncoding::kDoubleByte;

int32_t MatchWhereCharactersMayCount(const char* pattern, const char* text, const Byte* map);

// The method over bytes. Watching, it hands the match over as soon as it
// meets what may make bytes and characters differ: a text byte of 128 or
// above before the first '*', or a '?' or a byte of 128 or above in the
// rest of the pattern. Until then it has compared only bytes below 128 that
// are characters of their own, so what it found stands either way; and the
// pattern is looked at only as far as it is walked anyway.
template <bool kWatch>
int32_t MatchBytes(const char* pattern, const char* text, const Byte* map) {
  const Byte* p = reinterpret_cast<const Byte*>(pattern);
  const Byte* t = reinterpret_cast<const Byte*>(text);

  // Up to the first '*' (the whole match for a pattern without one).
  while (*p != '*') {
    if (*p == '\0') return *t == '\0' ? 1 : 0;
    if (*t == '\0') return 0;
    if (*p != '?' && map[*p] != map[*t]) return 0;
    if (kWatch && *t >= 0x80) return MatchWhereCharactersMayCount(pattern, text, map);
    ++p;
    ++t;
  }

  // After the last '*': must match the end of the text exactly. Compared
  // from the end while the last '*' is looked for, so that most misses are
  // seen at the last byte. Watching, a plain byte there that differs is a
  // miss by characters too: the text's bytes after it are plain as well, so
  // it stands for a character of its own, or is part of one that is longer.
  if (kWatch && kTrailBytesLookPlain) return MatchWhereCharactersMayCount(pattern, text, map);
  const Byte* q = p + std::strlen(reinterpret_cast<const char*>(p));
  const Byte* textEnd = t + std::strlen(reinterpret_cast<const char*>(t));
  while (*--q != '*') {
    if (kWatch && kRisky[*q] != 0) return MatchWhereCharactersMayCount(pattern, text, map);
    // A pattern byte takes at least one byte of the text.
    if (textEnd == t) return 0;
    --textEnd;
    if ((kWatch || *q != '?') && map[*q] != map[*textEnd]) return 0;
  }
  const Byte* lastStar = q;
  Byte risky = 0;

  // Each run between two '*'s at its leftmost place in [t, textEnd).
  while (p < lastStar) {
    while (*p == '*' && p < lastStar) ++p;
    if (p >= lastStar) break;
    const Byte* runEnd = p;
    for (; *runEnd != '*'; ++runEnd) {
      if (kWatch) risky |= kRisky[*runEnd];
    }
    if (kWatch && risky != 0) return MatchWhereCharactersMayCount(pattern, text, map);
    const std::size_t runLength = static_cast<std::size_t>(runEnd - p);
    const Byte* found = FindRun<!kWatch>(p, runLength, t, textEnd, map);
    if (found == nullptr) return 0;
    t = found + runLength;
    p = runEnd;
  }
  return 1;
}

// Bytes are characters in a single-byte code page, and in a text of
// single-byte characters anywhere; elsewhere the match goes by characters.
[[gnu::cold, gnu::noinline]] int32_t MatchWhereCharactersMayCount(const char* pattern,
                                                                  const char* text,
                                                                  const Byte* map) {
  const auto* t = reinterpret_cast<const Byte*>(text);
  if (encoding != TextEncoding::kSingleByte && HoldsLongerCharacters(t, std::strlen(text))) {
    return MatchCharacters(pattern, text, map);
  }
  return MatchBytes<false>(pattern, text, map);
}

}  // namespace

int32_t WildcardMatch(const char* pattern, const char* text, int32_t caseSensitive) {
  // The default exclude pattern, met once per entry: answered before the
  // matcher sets up.
  if (*pattern == '\0') return *text == '\0' ? 1 : 0;
  return MatchBytes<true>(pattern, text, caseSensitive == 0 ? kFolded.data() : kExact.data());
}
