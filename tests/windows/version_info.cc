// Reads a program's version resource as its Properties > Details page does
// (texts under the language the resource itself lists), prints it, and checks
// it against the version given.
// usage: version_info PROGRAM.exe VERSION
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::vector<char> info(GetFileVersionInfoSizeA(argv[1], nullptr));
  if (info.empty() || !GetFileVersionInfoA(argv[1], 0, info.size(), info.data())) {
    std::printf("%s: no version resource\n", argv[1]);
    return 1;
  }
  auto query = [&](const std::string& path) -> const void* {
    void* value = nullptr;
    UINT length = 0;
    return VerQueryValueA(info.data(), path.c_str(), &value, &length) && length > 0 ? value
                                                                                    : nullptr;
  };
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query("\\"));
  const auto* language = static_cast<const WORD*>(query("\\VarFileInfo\\Translation"));
  if (fixed == nullptr || language == nullptr) {
    std::printf("%s: no version numbers or no language\n", argv[1]);
    return 1;
  }

  char numbers[64], block[64];
  std::snprintf(numbers, sizeof numbers, "%lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16,
                fixed->dwFileVersionMS & 0xffff, fixed->dwFileVersionLS >> 16,
                fixed->dwFileVersionLS & 0xffff);
  const bool sameProduct = fixed->dwProductVersionMS == fixed->dwFileVersionMS &&
                           fixed->dwProductVersionLS == fixed->dwFileVersionLS;
  std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", language[0], language[1]);
  const std::string version = argv[2];
  int failures = 0;
  auto check = [&](const std::string& what, const std::string& got, bool good) {
    std::printf("%s %s: \"%s\"\n", good ? "ok  " : "FAIL", what.c_str(), got.c_str());
    failures += good ? 0 : 1;
  };
  check("file and product version numbers", numbers, sameProduct && numbers == version + ".0");
  const std::string texts[][2] = {{"FileVersion", version},
                                  {"ProductVersion", version},
                                  {"ProductName", "usetrail"},
                                  {"FileDescription", ""},
                                  {"LegalCopyright", ""}};  // "": any text
  for (const auto& [name, want] : texts) {
    const auto* text = static_cast<const char*>(query(block + name));
    const std::string got = text != nullptr ? text : "";
    check(name, got, want.empty() ? !got.empty() : got == want);
  }
  return failures == 0 ? 0 : 1;
}
