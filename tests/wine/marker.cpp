// A follow-up program for the tests: leaves its command line, in UTF-8, in a
// file named after itself with ".ran" added, to show that it was started.
// The file is written under another name and then renamed, so that a test that
// sees it also sees what it holds. Wide calls throughout, so that it runs from
// a path in any script.
#include <windows.h>

#include <cwchar>

int main() {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    wchar_t written_path[MAX_PATH + 16];
    std::wcscpy(written_path, path);
    std::wcscat(path, L".ran");
    std::wcscat(written_path, L".writing");
    HANDLE file = CreateFileW(written_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    char command_line[4096];
    const int size = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, command_line, sizeof command_line, nullptr, nullptr);
    DWORD written = 0;
    if (size > 1) WriteFile(file, command_line, static_cast<DWORD>(size - 1), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(written_path, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
