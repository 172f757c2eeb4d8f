// The Win32 test bench: starts a program with an exact command line, reports
// every message box it shows (caption, text, buttons) and presses OK, and
// reports its exit code and the time it ran.
//
//   bench.exe [--hold PATH MS] [--timeout MS] [--module PATH] [--console CP] [--env NAME=VALUE]...
//             [--intrude-when WATCH PATH] HEX_COMMAND_LINE
//
// --hold keeps PATH open without sharing (created if missing) for MS
// milliseconds from the start. --env sets a variable of the program's
// environment. --intrude-when acts as another program would once the file
// WATCH exists: it tries to open PATH for writing and to delete it, reports
// what the system answered, and then lets go of the held file at once. --module names the program to start, for a
// command line from which Windows cannot tell it (one that starts with
// blanks). --console gives the program a console of its own whose output code
// page is CP, as an administrator's would be, and reports that code page once
// the program has ended. The command line comes as the hexadecimal bytes of
// its UTF-8 form, so that no shell, loader or code page can alter it; it is
// started, and the boxes are read, through the wide calls, so that texts
// arrive whole under any system code page. Output, one line each, texts in
// UTF-8 and in hex:
//   box caption=HEX text=HEX buttons=ID[,ID...]
//   intrusion write_error=N delete_error=N      (0: the system allowed it)
//   exit code=N elapsed_ms=N [console_code_page=N]      or      timeout elapsed_ms=N
#include "hex_text.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct box_search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK find_box(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<box_search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char class_name[64] = "";
    GetClassNameA(window, class_name, sizeof class_name);
    if (owner == search->process && std::strcmp(class_name, "#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collect_button(HWND child, LPARAM parameter) {
    char class_name[64] = "";
    GetClassNameA(child, class_name, sizeof class_name);
    if (_stricmp(class_name, "Button") == 0 && IsWindowVisible(child)) {
        reinterpret_cast<std::vector<int>*>(parameter)->push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::wstring wide(const std::string& utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(size > 0 ? static_cast<size_t>(size) : 1, L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], size);
    return out;
}

void report_box(HWND box) {
    wchar_t caption[512] = L"";
    GetWindowTextW(box, caption, 512);
    std::vector<wchar_t> text(8192, L'\0');
    GetDlgItemTextW(box, 0xFFFF, text.data(), static_cast<int>(text.size()));
    std::vector<int> buttons;
    EnumChildWindows(box, collect_button, reinterpret_cast<LPARAM>(&buttons));
    std::string ids;
    for (int id : buttons) ids += (ids.empty() ? "" : ",") + std::to_string(id);
    std::printf("box caption=%s text=%s buttons=%s\n", to_hex(utf8(caption)).c_str(), to_hex(utf8(text.data())).c_str(),
                ids.c_str());
    std::fflush(stdout);
}

// What the system answers another program that tries to change `path`.
void intrude(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD write_error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, "\xFF", 1, &written, nullptr);  // what such a program would do
        CloseHandle(file);
    }
    const DWORD delete_error = DeleteFileW(path.c_str()) ? 0 : GetLastError();
    std::printf("intrusion write_error=%lu delete_error=%lu\n", write_error, delete_error);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const char* hold_path = nullptr;
    DWORD hold_ms = 0;
    DWORD timeout_ms = 60000;
    const char* module = nullptr;
    UINT console_code_page = 0;
    std::wstring intrude_watch;
    std::wstring intrude_path;
    int at = 1;
    for (; at + 1 < argc; ++at) {
        if (std::strcmp(argv[at], "--hold") == 0 && at + 2 < argc) {
            hold_path = argv[++at];
            hold_ms = std::strtoul(argv[++at], nullptr, 10);
        } else if (std::strcmp(argv[at], "--timeout") == 0) {
            timeout_ms = std::strtoul(argv[++at], nullptr, 10);
        } else if (std::strcmp(argv[at], "--module") == 0) {
            module = argv[++at];
        } else if (std::strcmp(argv[at], "--console") == 0) {
            console_code_page = std::strtoul(argv[++at], nullptr, 10);
        } else if (std::strcmp(argv[at], "--env") == 0) {
            const std::wstring setting = wide(argv[++at]);
            const size_t equals = setting.find(L'=');
            SetEnvironmentVariableW(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str());
        } else if (std::strcmp(argv[at], "--intrude-when") == 0 && at + 2 < argc) {
            intrude_watch = wide(argv[++at]);
            intrude_path = wide(argv[++at]);
        } else {
            break;
        }
    }
    if (at >= argc) {
        std::printf("error usage\n");
        return 2;
    }
    std::wstring command_line = wide(from_hex(argv[at]));

    HANDLE held = INVALID_HANDLE_VALUE;
    if (hold_path != nullptr) {
        held = CreateFileA(hold_path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) {
            std::printf("error hold %lu\n", GetLastError());
            return 2;
        }
    }

    if (console_code_page != 0) {
        FreeConsole();  // started from Unix with pipes, the bench has no real console: it makes one
        if (!AllocConsole() || !SetConsoleOutputCP(console_code_page)) {
            std::printf("error console %lu\n", GetLastError());
            return 2;
        }
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const ULONGLONG started = GetTickCount64();
    const std::wstring module_name = module != nullptr ? wide(module) : L"";
    if (!CreateProcessW(module != nullptr ? module_name.c_str() : nullptr, &command_line[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
        std::printf("error start %lu\n", GetLastError());
        return 2;
    }

    HWND last_box = nullptr;
    for (;;) {
        const ULONGLONG elapsed = GetTickCount64() - started;
        if (held != INVALID_HANDLE_VALUE && elapsed >= hold_ms) {
            CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
        }
        if (!intrude_watch.empty() && GetFileAttributesW(intrude_watch.c_str()) != INVALID_FILE_ATTRIBUTES) {
            intrude(intrude_path);
            intrude_watch.clear();
            hold_ms = 0;
        }
        if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) break;
        if (elapsed > timeout_ms) {
            TerminateProcess(process.hProcess, 99);
            std::printf("timeout elapsed_ms=%llu\n", elapsed);
            return 1;
        }
        box_search search{process.dwProcessId, nullptr};
        EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
        // A box stays listed until its OK has been handled: report it once.
        if (search.found != nullptr && search.found != last_box) {
            report_box(search.found);
            last_box = search.found;
            PostMessageA(search.found, WM_COMMAND, IDOK, 0);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("exit code=%lu elapsed_ms=%llu", code, GetTickCount64() - started);
    if (console_code_page != 0) std::printf(" console_code_page=%u", GetConsoleOutputCP());
    std::printf("\n");
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return 0;
}
