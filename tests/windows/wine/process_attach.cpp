// A test program that links the component's objects is an EXE, for which
// Windows sends no process-attach notification to the component's DllMain.
// This stands in for it before the tests run: the program's own module holds
// the string-table resources, as the DLL's does.
#include <windows.h>

#include "platform.h"

namespace {
const bool attached = [] {
    kandrel::on_process_attach(GetModuleHandleW(nullptr));
    return true;
}();
}  // namespace
