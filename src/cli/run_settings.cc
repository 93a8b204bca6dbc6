// The process-wide run settings and their values at process start.
#include "cli/run_settings.h"

namespace {

constexpr RunSettings InitialRunSettings() {
  RunSettings s{};
  CopyText(s.dbPattern, "*");
  CopyText(s.includePattern, "*");
  s.startDays = -1;
  s.endDays = -1;
  s.separator = '\t';
  s.showSummary = 0;
  s.view = View::kReport;
  s.json = 0;
  return s;
}

}  // namespace

RunSettings gRunSettings = InitialRunSettings();

void ResetRunSettings() { gRunSettings = InitialRunSettings(); }
