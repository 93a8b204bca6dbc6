// A library that a test runtime needs (helper.dll, imported; plugin.dll,
// loaded by name), also planted where it must never be taken from. When its
// code runs it leaves a mark beside itself, "<its path>.ran", which tells the
// tests which copy was loaded.
#include <windows.h>

extern "C" __declspec(dllexport) int PlantedLibrary() { return 1; }

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameW(self, mark, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcpyW(mark + length, L".ran");
  const HANDLE file =
      CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
