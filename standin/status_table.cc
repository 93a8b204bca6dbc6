// Status codes and their texts: the fixed table, the texts made at failure time, and the
// operations that hand texts back to the program.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "platform.h"
#include "standin_internal.h"

namespace standin {
namespace {

struct FixedText {
  Code code;
  const char* text;
};

constexpr FixedText kFixedTexts[] = {
    {kNotStarted, "The runtime has not been started"},
    {kBadArgument, "A required argument is missing"},
    {kUnknownHandle, "The database handle is not open"},
    {kUnknownMemory, "The memory handle is not allocated"},
    {kNotLocked, "The memory block is not locked"},
    {kPathTooLong, "The network path would be longer than 255 characters"},
    {kInvalidTime, "The date-time value is not valid"},
    {kTextBufferTooSmall, "The buffer is too small for the date-time text"},
    {kUnsupportedFormat, "Only the default date-time format is supported"},
    {kNotADatabaseHandle, "The handle is that of a folder, not of a database"},
    {kNotAFolderHandle, "The handle is that of a database, not of a folder"},
    {kOutOfMemory, "Not enough memory"},
    {kBadServerName, "A server name cannot contain \"!!\" or end with \"!\""},
    {kNoActivityLog, "This database does not record user activity"},
    {kArgumentOutOfPlace, "An argument does not hold the value the operation fixes"},
};

struct MessageSlot {
  uint16_t family = 0;
  std::string text;
};

// The size every status text is asked for with.
constexpr uint16_t kTextRoom = 255;

constexpr size_t kMessageSlots = kLastMessageCode - kFirstMessageCode + 1;

// Texts made at failure time; kept for the whole process (also across
// RuntimeTerm) because a failed start is reported after the runtime is gone.
struct MessageStore {
  std::vector<MessageSlot> slots = std::vector<MessageSlot>(kMessageSlots);
  std::map<std::string, uint16_t> codeOfText;
  size_t next = 0;
};

MessageStore& Messages() {
  static MessageStore store;
  return store;
}

const FixedText* FindFixed(uint16_t code) {
  for (const FixedText& entry : kFixedTexts) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

// Copies `utf8`, as the program's text, into `buffer` (at most `size`
// characters and a terminator).
uint16_t CopyText(const std::string& utf8, char* buffer, uint16_t size) {
  if (buffer == nullptr) return 0;
  const std::string text = platform::ToProgramText(utf8);
  const size_t count = std::min<size_t>(text.size(), size);
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<uint16_t>(count);
}

// An empty text, where memory ran short for the text itself.
uint16_t NoText(char* buffer) {
  if (buffer != nullptr) buffer[0] = '\0';
  return 0;
}

}  // namespace

Status Fail(Code code) { return static_cast<Status>(code); }

Status Fail(Code family, std::string text) {
  if (text.size() > kMaxStatusText) {
    text.resize(kMaxStatusText - 3);
    text += "...";
  }
  MessageStore& store = Messages();
  const auto known = store.codeOfText.find(text);
  if (known != store.codeOfText.end()) return known->second;
  MessageSlot& slot = store.slots[store.next];
  if (!slot.text.empty()) store.codeOfText.erase(slot.text);
  const auto code = static_cast<uint16_t>(kFirstMessageCode + store.next);
  store.next = (store.next + 1) % kMessageSlots;
  slot.family = family;
  slot.text = std::move(text);
  store.codeOfText.emplace(slot.text, code);
  return code;
}

Status MemoryShort(std::string_view name) noexcept {
  try {
    return Fail(kMemoryShort, "Memory ran short for database " + std::string(name));
  } catch (const std::exception&) {
    return Fail(kOutOfMemory);
  }
}

Status CheckFixed(const char* operation, std::initializer_list<FixedArgument> arguments) {
  for (const FixedArgument& argument : arguments) {
    if (argument.value == argument.fixed) continue;
    std::string text = std::string(operation) + ": the argument " + argument.name;
    text += argument.pointer ? " is not null"
                             : " is " + std::to_string(argument.value) + ", not " +
                                   std::to_string(argument.fixed);
    return Fail(kArgumentOutOfPlace, std::move(text));
  }
  return 0;
}

uint16_t FamilyOf(Status status) {
  const uint16_t code = ErrorCode(status);
  if (code >= kFirstMessageCode) return Messages().slots[code - kFirstMessageCode].family;
  return FindFixed(code) != nullptr ? code : 0;
}

std::string TextOf(Status status) {
  const uint16_t code = ErrorCode(status);
  if (code >= kFirstMessageCode) return Messages().slots[code - kFirstMessageCode].text;
  const FixedText* fixed = FindFixed(code);
  return fixed != nullptr ? fixed->text : "";
}

}  // namespace standin

using standin::TextOf;

extern "C" {

// These operations have no status of their own to refuse a call with: one
// whose size is not 255 (or whose module is not 0) hands back the text of
// that fault in place of the one asked for, never more than 255 characters
// nor more than the size says, and a failed start's exit status is that of
// the fault.
uint16_t LoadStatusString(uint32_t module, Status code, char* buffer, uint16_t size) try {
  if (const Status fault = standin::CheckFixed(
          "LoadStatusString", {{"module", module, 0}, {"size", size, standin::kTextRoom}})) {
    return standin::CopyText(TextOf(fault), buffer, std::min(size, standin::kTextRoom));
  }
  return standin::CopyText(TextOf(code), buffer, size);
} catch (const std::exception&) {
  return standin::NoText(buffer);
}

uint16_t StatusText(Status status, char* buffer, uint16_t size) try {
  if (const Status fault =
          standin::CheckFixed("StatusText", {{"size", size, standin::kTextRoom}})) {
    return standin::CopyText(TextOf(fault), buffer, std::min(size, standin::kTextRoom));
  }
  return standin::CopyText(TextOf(status), buffer, size);
} catch (const std::exception&) {
  return standin::NoText(buffer);
}

int StartupStatusText(Status status, char* buffer, uint16_t size) try {
  if (const Status fault =
          standin::CheckFixed("StartupStatusText", {{"size", size, standin::kTextRoom}})) {
    standin::CopyText(TextOf(fault), buffer, std::min(size, standin::kTextRoom));
    return standin::kArgumentOutOfPlace;
  }
  standin::CopyText(TextOf(status), buffer, size);
  if (ErrorCode(status) == 0) return 0;
  // The exit status is the failure's family, which always lies in 1..255
  // except for the activity-log code, which no start-up reports.
  const uint16_t family = standin::FamilyOf(status);
  return family >= 1 && family <= 255 ? family : 1;
} catch (const std::exception&) {
  standin::NoText(buffer);
  return 1;
}

}  // extern "C"
