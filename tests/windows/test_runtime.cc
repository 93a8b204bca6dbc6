// Runtime libraries that the program cannot bind, for the start-up tests:
// one that lacks an operation (its exports all lead to one routine, never
// called) and, built with REFUSE_TO_LOAD, one that refuses to be loaded.
#include <windows.h>

extern "C" void UnusedOperation() {}

extern "C" BOOL WINAPI DllMain(HINSTANCE, [[maybe_unused]] DWORD reason, LPVOID) {
#ifdef REFUSE_TO_LOAD
  return reason != DLL_PROCESS_ATTACH;
#else
  return TRUE;
#endif
}
