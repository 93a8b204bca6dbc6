// Fuzzes ParseDirectoryEntry with summary buffers laid out from the input so
// that every length a descriptor announces lies inside the buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/fixed_text.h"
#include "fake_runtime.h"
#include "fuzz_support.h"
#include "scan/database_scan.h"

namespace {

using fuzz::CText;
using fuzz::Terminated;

// The limits of one entry below which every implementation must agree.
constexpr std::size_t kMaxItems = 20;
constexpr std::size_t kMaxText = 99;
constexpr std::size_t kMaxItemsMade = 48;

const char* const kNames[] = {"$TITLE", "$Path", "$Type", "$PHYSICALPATH",
                              "$title", "$PATH", "$TYPE", "$TITLEX"};
const char* const kTypes[] = {"$DIR", "$DB", "$dir", "$DIRX", "$DI", ""};

struct Item {
  std::string name;   // nameLength bytes
  std::string value;  // valueLength bytes: type word (when there is room) and text
};

Item MakeItem(FuzzedDataProvider& in) {
  Item item;
  if (in.ConsumeBool()) {
    item.name = in.PickValueInArray(kNames);
  } else {
    item.name = in.ConsumeRandomLengthString(300);
  }
  const uint8_t valueKind = in.ConsumeIntegralInRange<uint8_t>(0, 5);
  if (valueKind == 0) {
    item.value = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 1));
    return item;
  }
  std::string text =
      valueKind == 1 ? std::string(in.PickValueInArray(kTypes)) : in.ConsumeRandomLengthString(400);
  item.value = std::string("\x00\x05", 2) + text;
  return item;
}

void Put16(std::vector<uint8_t>& buffer, std::size_t at, std::size_t value) {
  buffer[at] = static_cast<uint8_t>(value & 0xff);
  buffer[at + 1] = static_cast<uint8_t>((value >> 8) & 0xff);
}

// The entry the rules give when it fits the working buffers.
struct Expected {
  bool stored = false;
  std::string title, path, physicalPath;
};

Expected Model(const std::vector<Item>& items) {
  std::string type;
  Expected e;
  for (const Item& item : items) {
    const std::string_view name = CText(item.name);
    const std::string text(CText(std::string_view(item.value).substr(2)));
    if (name == "$TITLE") e.title = text;
    if (name == "$Path") e.path = text;
    if (name == "$Type") type = text;
    if (name == "$PHYSICALPATH") e.physicalPath = text;
  }
  e.stored = type != "$DIR";
  return e;
}

bool FitsBuffers(const std::vector<Item>& items) {
  if (items.size() > kMaxItems) return false;
  for (const Item& item : items) {
    if (item.name.size() > kMaxText || item.value.size() < 2 || item.value.size() - 2 > kMaxText) {
      return false;
    }
  }
  return true;
}

// Whether `held` is a cut (of at least 99 characters, or whole) of some item's text.
bool CutOfSomeText(std::string_view held, const std::vector<Item>& items) {
  if (held.empty()) return true;
  for (const Item& item : items) {
    if (item.value.size() < 2) continue;
    const std::string_view text = CText(std::string_view(item.value).substr(2));
    if (text.substr(0, held.size()) == held && (held.size() == text.size() || held.size() >= 99)) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // The header always holds the item count at offset 2, so it is 4 bytes or more.
  const uint16_t headerSize = static_cast<uint16_t>(4 + in.ConsumeIntegralInRange<int>(0, 60));
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, kMaxItemsMade);
  std::vector<Item> items;
  for (std::size_t i = 0; i < count; ++i) items.push_back(MakeItem(in));

  std::size_t total = headerSize + 4 * items.size();
  for (const Item& item : items) total += item.name.size() + item.value.size();
  std::vector<uint8_t> layout(total, 0xa5);
  Put16(layout, 0, total);
  Put16(layout, 2, items.size());
  std::size_t at = headerSize;
  for (const Item& item : items) {
    Put16(layout, at, item.name.size());
    Put16(layout, at + 2, item.value.size());
    at += 4;
  }
  for (const Item& item : items) {
    std::memcpy(layout.data() + at, item.name.data(), item.name.size());
    at += item.name.size();
    std::memcpy(layout.data() + at, item.value.data(), item.value.size());
    at += item.value.size();
  }
  // Exactly sized on the heap, so a read past the end is an ASan report.
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[total]);
  std::memcpy(buffer.get(), layout.data(), total);

  fake::Reset();
  fake::Fake().summaryHeaderSize = headerSize;
  ResetDatabaseScan();
  ParseDirectoryEntry(buffer.get(), "server");

  const ScanState& s = gScanState;
  fuzz::Require(s.entryCount == 0 || s.entryCount == 1, "one buffer stores at most one entry");
  for (int32_t i = 0; i < s.entryCount; ++i) {
    const DatabaseEntry& e = gDatabaseCache[static_cast<std::size_t>(i)];
    fuzz::Require(Terminated(e.server) && Terminated(e.title) && Terminated(e.path) &&
                      Terminated(e.physicalPath),
                  "every stored text is terminated");
    fuzz::Require(TextOf(e.server) == "server", "server stored as passed");
  }

  if (FitsBuffers(items)) {
    const Expected want = Model(items);
    fuzz::Require((s.entryCount == 1) == want.stored, "stored unless the type is $DIR");
    if (want.stored) {
      const DatabaseEntry& e = gDatabaseCache[0];
      fuzz::Require(TextOf(e.title) == want.title, "title is the last $TITLE text");
      fuzz::Require(TextOf(e.path) == want.path, "path is the last $Path text");
      fuzz::Require(TextOf(e.physicalPath) == want.physicalPath,
                    "physical path is the last $PHYSICALPATH text");
    }
  } else if (s.entryCount == 1) {
    const DatabaseEntry& e = gDatabaseCache[0];
    fuzz::Require(CutOfSomeText(TextOf(e.title), items) && CutOfSomeText(TextOf(e.path), items) &&
                      CutOfSomeText(TextOf(e.physicalPath), items),
                  "an oversized entry keeps only cuts of its own texts");
  }
  return 0;
}
