// Runtime libraries that the program cannot bind, for the start-up tests:
// one that lacks an operation (its exports all lead to one routine, never
// called) and, built with REFUSE_TO_LOAD, one that refuses to be loaded.
// Built with IMPORT_HELPER it imports helper.dll; built with LOAD_PLUGIN it
// loads plugin.dll by name as it starts, and refuses to load without it.
#include <windows.h>

#ifdef IMPORT_HELPER
extern "C" __declspec(dllimport) int PlantedLibrary();
#endif

extern "C" void UnusedOperation() {}

extern "C" BOOL WINAPI DllMain(HINSTANCE, [[maybe_unused]] DWORD reason, LPVOID) {
#ifdef REFUSE_TO_LOAD
  return reason != DLL_PROCESS_ATTACH;
#elif defined(IMPORT_HELPER)
  return reason != DLL_PROCESS_ATTACH || PlantedLibrary() == 1;
#elif defined(LOAD_PLUGIN)
  return reason != DLL_PROCESS_ATTACH || LoadLibraryW(L"plugin.dll") != nullptr;
#else
  return TRUE;
#endif
}
