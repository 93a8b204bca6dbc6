// Where the characters of the runtime's text begin and end. On POSIX the
// text is UTF-8: a valid sequence is one character, and a byte that starts
// none is a character of its own. On Windows it is in the system's ANSI code
// page: where that has double-byte characters, a lead byte and the byte after
// it are one character when that byte may be a trail byte (0x40 and above).
// One implementation per platform, beside the rules shared by both.
#pragma once

#include <cstddef>
#include <string_view>

// Bytes of the character that starts `text` (1 to 4, at most `size`); 0 only
// when `size` is 0. Never reads past `size` bytes, nor past a zero byte.
std::size_t CharacterLength(const char* text, std::size_t size);

// How the runtime's text makes characters of its bytes: one byte each (a
// single-byte code page); UTF-8, where a byte below 128 is never part of a
// longer character; or a double-byte code page, whose trail bytes may be
// ones below 128.
enum class TextEncoding { kSingleByte, kUtf8, kDoubleByte };
TextEncoding SystemTextEncoding();

// How many bytes of `text` to keep so that it fits `room` bytes: all of it
// when it fits, else up to the last character that fits whole.
std::size_t WholeCharactersIn(std::string_view text, std::size_t room);

// Whether the character that starts `text` was cut short by the end of its
// `size` bytes: what is there is the start of a character that needs more.
bool CharacterCutShort(const char* text, std::size_t size);

// How many bytes of `text` are whole characters: all of it, or up to a last
// character that was cut short (a text another cut to its room).
std::size_t FinishedCharactersIn(std::string_view text);

// Whether the `size` bytes at `s` are the start of a UTF-8 sequence that
// needs more of them.
bool Utf8CutShort(const unsigned char* s, std::size_t size);

// The same two cuts for text known to be UTF-8, whatever the system's: how
// many bytes of `text` are whole characters up to `room`, and how many are
// not the start of a last sequence cut short. A byte that starts no valid
// sequence is a character of its own.
std::size_t WholeUtf8In(std::string_view text, std::size_t room);
std::size_t FinishedUtf8In(std::string_view text);

// Length of the valid UTF-8 sequence at the start of `s` (1 to 4), or 0 when
// none starts there: no overlong forms, no surrogates, nothing past U+10FFFF.
// Reads no further than the first byte that does not fit the sequence.
std::size_t Utf8SequenceLength(const unsigned char* s, std::size_t size);
