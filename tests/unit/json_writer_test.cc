// The JSON writer: escapes, numbers and nulls, escapes at the edge of its
// room; and the rule for bytes that are not UTF-8.
#include "report/json_writer.h"

#include <climits>
#include <cstdint>
#include <string>

#include "report/runtime_text.h"
#include "test_support.h"

namespace {

// The line one object makes, as the report stream receives it.
template <typename Fields>
std::string Line(Fields fields) {
  return Capture([&] {
           static JsonLine line;
           JsonBegin(line);
           fields(line);
           JsonEnd(line);
         })
      .err;
}

TEST(JsonWriter, EscapesWhatJsonRequires) {
  struct Case {
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"CN=Jane Doe/O=Acme", "\"CN=Jane Doe/O=Acme\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\notes\\a.db", "\"C:\\\\notes\\\\a.db\""},
      {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
      {std::string("\x00\x01\x1f", 3), "\"\\u0000\\u0001\\u001f\""},
      {"\x7f /<>'", "\"\x7f /<>'\""},  // nothing else is escaped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Line([&](JsonLine& l) { JsonText(l, "k", c.text); }), "{\"k\":" + c.json + "}\n");
  }
}

TEST(JsonWriter, NumbersAndNulls) {
  EXPECT_EQ(Line([](JsonLine& l) {
              JsonNumber(l, "a", 0);
              JsonNumber(l, "b", UINT64_MAX);
              JsonSignedNumber(l, "c", -1);
              JsonSignedNumber(l, "d", INT64_MIN);
              JsonSignedNumber(l, "e", INT64_MAX);
              JsonNull(l, "f");
            }),
            "{\"a\":0,\"b\":18446744073709551615,\"c\":-1,\"d\":-9223372036854775808,"
            "\"e\":9223372036854775807,\"f\":null}\n");
  EXPECT_EQ(Line([](JsonLine&) {}), "{}\n");
}

TEST(JsonWriter, EscapesAcrossTheRoomsEdge) {
  // Escapes of six characters land on every place around the room's end.
  for (std::size_t fill = kJsonLineRoom - 24; fill < kJsonLineRoom; ++fill) {
    SCOPED_TRACE(fill);
    const std::string text = std::string(fill, 'a') + "\x01\x02\"";
    EXPECT_EQ(Line([&](JsonLine& l) { JsonText(l, "k", text); }),
              "{\"k\":\"" + std::string(fill, 'a') + "\\u0001\\u0002\\\"\"}\n");
  }
}

TEST(BytesToUtf8, ValidUtf8StaysAndOtherBytesStandForTheirCharacter) {
  struct Case {
    std::string bytes;
    std::string utf8;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
       "J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
      {"J\xFCrgen", "J\xC3\xBCrgen"},                            // a byte of a Latin-1 text
      {"\x80\xBF\xFF", "\xC2\x80\xC2\xBF\xC3\xBF"},              // lone continuation bytes, 0xFF
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                          // an overlong '/'
      {"\xE0\x9F\xBF", "\xC3\xA0\xC2\x9F\xC2\xBF"},              // an overlong three-byte form
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},              // a surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // past U+10FFFF
      {"\xF5", "\xC3\xB5"},
      {"a\xE2\x82", "a\xC3\xA2\xC2\x82"},  // cut short at the end
      {"\xF0\x9F\x98z", "\xC3\xB0\xC2\x9F\xC2\x98z"},
      {"\xC3\xC3\xBC", "\xC3\x83\xC3\xBC"},  // a lead byte, then a whole character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    // Whole, and a few bytes at a time: the same text, no character cut.
    for (const std::size_t room : {std::size_t{64}, std::size_t{12}, std::size_t{4}}) {
      std::string out;
      std::string_view rest = c.bytes;
      char buffer[64];
      while (!rest.empty()) {
        std::size_t written = 0;
        const std::size_t taken = BytesToUtf8(rest, std::span<char>(buffer, room), written);
        ASSERT_GT(taken, 0u);
        out.append(buffer, written);
        rest.remove_prefix(taken);
      }
      EXPECT_EQ(out, c.utf8) << room;
    }
  }
}

}  // namespace
