// The library's load and unload hook: Tervane keeps no state, so there is
// nothing to set up or tear down.
#if defined(_WIN32)
#include <windows.h>

// C linkage, so that the C runtime's DLL start-up finds it by name.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
