// The runtime's text in JSON on POSIX: bytes, valid UTF-8 kept, any other
// byte as the character of its number; every line parses as JSON and gives
// back the text it was made from.
#include "report/runtime_text.h"

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "report/json_writer.h"
#include "test_support.h"

namespace {

std::string Line(std::string_view text) {
  return Capture([&] {
           static JsonLine line;
           JsonBegin(line);
           JsonText(line, "user", text);
           JsonEnd(line);
         })
      .err;
}

TEST(RuntimeTextJson, AnyBytesMakeValidJsonOfTheirText) {
  std::mt19937 random(19);
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 40 + (round % 100 == 0 ? 5000 : 0), '\0');
    for (char& c : text) {
      // Mostly the bytes that make trouble: controls, quotes, lead bytes.
      const unsigned pick = random() % 8;
      c = static_cast<char>(pick < 3   ? 0x80 + random() % 128
                            : pick < 4 ? random() % 32
                            : pick < 5 ? "\"\\/"[random() % 3]
                                       : random() % 256);
    }
    const std::string line = Line(text);
    ASSERT_EQ(line.back(), '\n');
    ASSERT_EQ(line.find('\n'), line.size() - 1);
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(line)) << round;  // refuses invalid UTF-8
    std::string utf8(text.size() * 2, '\0');
    std::size_t written = 0;
    ASSERT_EQ(BytesToUtf8(text, utf8, written), text.size());
    utf8.resize(written);
    EXPECT_EQ(parsed["user"].get<std::string>(), utf8) << round;
  }
}

}  // namespace
