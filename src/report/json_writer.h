// JSON Lines for the tables: one object per line, keys in column order,
// numbers as JSON numbers, texts as JSON strings of UTF-8 escaped as JSON
// requires. The runtime's texts go through RuntimeTextToUtf8, so every
// line is valid UTF-8 whatever bytes a log holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr std::size_t kJsonLineRoom = 4096;

// One object being put together. A line longer than the room is written in
// pieces as it grows; the stream gets it whole all the same.
struct JsonLine {
  std::array<char, kJsonLineRoom> text;
  std::size_t length;
  bool hasField;  // the next field follows a comma
  bool cut;       // a piece of this line has been written already
};

// Starts an object: "{".
void JsonBegin(JsonLine& line);

// Adds a field; `key` is plain ASCII. A text is the runtime's, as it stands.
void JsonText(JsonLine& line, std::string_view key, std::string_view text);
void JsonNumber(JsonLine& line, std::string_view key, uint64_t value);
void JsonSignedNumber(JsonLine& line, std::string_view key, int64_t value);
void JsonNull(JsonLine& line, std::string_view key);

// Ends the object and writes the line to the report stream. When the line
// went out in one piece, its first `keep` bytes (fields added before) stay
// as the start of the next object, so a table can put a database's fields
// together once for all its lines; returns whether they stayed.
bool JsonEnd(JsonLine& line, std::size_t keep = 0);
