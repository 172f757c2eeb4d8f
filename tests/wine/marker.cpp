// A follow-up program for the tests: leaves its command line, in UTF-8, in a
// file named after itself with ".ran" added, to show that it was started.
// Wide calls throughout, so that it runs from a path in any script.
#include <windows.h>

#include <cwchar>

int main() {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::wcscat(path, L".ran");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    char command_line[4096];
    const int size = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, command_line, sizeof command_line, nullptr, nullptr);
    DWORD written = 0;
    if (size > 1) WriteFile(file, command_line, static_cast<DWORD>(size - 1), &written, nullptr);
    CloseHandle(file);
    return 0;
}
