#include "platform/library_search.h"

#include <windows.h>

void load_libraries_from_system_only() {
    using set_default_directories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    // Looked up rather than imported, so that a Windows 7 without it still starts the program.
    const auto set_default = reinterpret_cast<set_default_directories>(
        reinterpret_cast<void (*)()>(kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (set_default == nullptr || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}
