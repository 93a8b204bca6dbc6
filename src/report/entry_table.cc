// The lines of the entry table. A database's path and title begin each of
// its lines, so they are put together once per database, quoted or
// escaped, and each entry adds its own fields to them.
#include "report/entry_table.h"

#include <array>
#include <cstring>
#include <string_view>

#include "cli/progress.h"
#include "cli/report_printf.h"
#include "cli/run_settings.h"
#include "common/fixed_text.h"
#include "report/database_log.h"
#include "report/json_writer.h"
#include "report/report_fields.h"

namespace {

constexpr const char* kColumns[] = {"Path", "Title", "Date/Time", "Reads", "Writes"};
constexpr const char* kLastColumn = "User Name";

// A quoted field of 255 characters takes at most 2 * 255 + 3 bytes.
constexpr std::size_t kQuotedTextRoom = 2 * kTextSize + 3;

// What the lines of the current database begin with.
struct Lines {
  const char* dbPath;
  const char* title;
  FieldForm form;
  char separator;
  // The text form: path and title with their separators, or nothing when
  // either is too long to be put together here (the lines then print them).
  std::array<char, 2 * kQuotedTextRoom + 2> prefix;
  std::size_t prefixLength;
  bool prefixReady;
  // The JSON form: the object so far, path and title in it, when kept.
  JsonLine json;
  std::size_t jsonKeep;
  bool jsonReady;
};

Lines lines;

void PrintTextLine(void* context, const ActivityEntry& entry, std::string_view time,
                   const char* name) {
  Lines& l = *static_cast<Lines*>(context);
  if (l.prefixReady) {
    PrintEntryLine(std::string_view(l.prefix.data(), l.prefixLength), time, entry, name, l.form);
    return;
  }
  PrintTextField(l.dbPath, l.form);
  ReportPrintf("%c", l.separator);
  PrintTextField(l.title, l.form);
  ReportPrintf("%c", l.separator);
  PrintEntryLine({}, time, entry, name, l.form);
}

void PrintJsonLine(void* context, const ActivityEntry& entry, std::string_view time,
                   const char* name) {
  Lines& l = *static_cast<Lines*>(context);
  if (!l.jsonReady) {
    JsonBegin(l.json);
    JsonText(l.json, "path", l.dbPath);
    JsonText(l.json, "title", l.title);
    l.jsonKeep = l.json.length;
  }
  JsonText(l.json, "time", time);
  JsonNumber(l.json, "reads", entry.reads);
  JsonNumber(l.json, "writes", entry.writes);
  JsonText(l.json, "user", name);
  l.jsonReady = JsonEnd(l.json, l.jsonKeep);
}

// Puts path and title together for the text form, when they fit.
void PreparePrefix(Lines& l) {
  const std::string_view path(l.dbPath);
  const std::string_view title(l.title);
  l.prefixReady = path.size() < kTextSize && title.size() < kTextSize;
  if (!l.prefixReady) return;
  std::size_t n = PutTextField(path, l.form, l.prefix.data());
  l.prefix[n++] = l.separator;
  n += PutTextField(title, l.form, l.prefix.data() + n);
  l.prefix[n++] = l.separator;
  l.prefixLength = n;
}

}  // namespace

void PrintEntryTableHeader() {
  if (gRunSettings.json != 0) return;  // JSON Lines have no header
  const char s = gRunSettings.separator;
  for (const char* column : kColumns) ReportPrintf("%s%c", column, s);
  ReportPrintf("%s\n", kLastColumn);
}

Status ProcessDatabaseEntries(const char* serverName, const char* dbPath, const char* title) {
  lines.dbPath = dbPath;
  lines.title = title;
  lines.form = TableForm(gRunSettings.separator);
  lines.separator = SeparatorOf(lines.form);
  lines.jsonReady = false;
  const bool json = gRunSettings.json != 0;
  if (!json) PreparePrefix(lines);

  LogOutcome log;
  ReadDatabaseLog(serverName, dbPath, json ? PrintJsonLine : PrintTextLine, &lines, log);
  if (!LogReadInFull(log)) PrintAside("%s: %s\n", dbPath, log.words.data());
  return log.status;
}
