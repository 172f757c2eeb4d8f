// Writing below the extraction folder on Win32 without ever leaving it, as
// the POSIX build does with openat and O_NOFOLLOW. Each level is opened
// relative to the handle of the level above, so that no path is looked up
// again after it was checked, and must be the very entry its parent lists
// (same file index), no reparse point (a symbolic link, a junction), and lie
// inside the folder's final path; the levels stay open without
// FILE_SHARE_DELETE until the file is created, so that none is renamed or
// removed meanwhile, and the file is created where nothing was (FILE_CREATE
// follows no link). The parent's own listing catches a link even where the
// system follows it when asked to open it as itself (Wine does with the Unix
// links of its drives).
#include "system/tool_system.h"

#include <fcntl.h>
#include <io.h>
#include <utility>
#include <vector>
#include <windows.h>
#include <winternl.h>

// Declared by the Windows DDK, not by winternl.h.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event, PIO_APC_ROUTINE routine, PVOID context,
                                               PIO_STATUS_BLOCK io, PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS information, BOOLEAN single_entry,
                                               PUNICODE_STRING name, BOOLEAN restart);

namespace fs = std::filesystem;

namespace {

constexpr NTSTATUS status_name_not_found = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS status_no_such_file = static_cast<NTSTATUS>(0xC000000F);
constexpr NTSTATUS status_name_collision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS status_not_a_directory = static_cast<NTSTATUS>(0xC0000103);

// A handle closed on every way out.
class held_handle {
public:
    held_handle() = default;
    explicit held_handle(HANDLE handle) : handle(handle) {}
    held_handle(const held_handle&) = delete;
    held_handle& operator=(const held_handle&) = delete;
    held_handle(held_handle&& other) noexcept : handle(other.release()) {}
    held_handle& operator=(held_handle&& other) noexcept {
        std::swap(handle, other.handle);
        return *this;
    }
    ~held_handle() {
        if (valid()) CloseHandle(handle);
    }
    bool valid() const { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    HANDLE get() const { return handle; }
    HANDLE* put() { return &handle; }
    HANDLE release() { return std::exchange(handle, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};

// The system's own words for an error, in UTF-8 whatever its code page.
std::string error_text(DWORD code) {
    return system_error_text(system_error{error_cause::system, code});
}

std::string status_text(NTSTATUS status) {
    return error_text(RtlNtStatusToDosError(status));
}

// The identity of the file open at `handle`; all zero when the system cannot tell.
file_identity identity_of_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return {};
    return {information.dwVolumeSerialNumber,
            (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// The component as the Win32 calls spell it: without the dots and spaces
// that end it, which they drop before the file system sees the name.
std::wstring win32_spelling(const std::string& part) {
    std::wstring name = fs::u8path(part).wstring();
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    return name;
}

// Opens `name` in the folder open at `parent`, whatever its case, as Windows
// compares names. A reparse point is opened as itself, never followed.
NTSTATUS open_in(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG disposition, ULONG options,
                 held_handle& opened) {
    if (name.empty() || name.size() > 32767) return status_name_not_found;
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io;
    // No FILE_SHARE_DELETE: while it is open, nobody renames or removes it.
    return NtCreateFile(opened.put(), access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

// The attributes of what is open at `handle`, INVALID_FILE_ATTRIBUTES when unknown.
DWORD attributes_of(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ? tag.FileAttributes
                                                                                       : INVALID_FILE_ATTRIBUTES;
}

bool is_reparse_point(DWORD attributes) {
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Where what is open at `handle` lies, links resolved, in the system's own
// form (\Device\...), which names every volume; empty when unknown.
std::wstring final_path(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_NT);
        if (length == 0) break;
        if (length < path.size()) return path.substr(0, length);
        path.assign(length, L'\0');
    }
    return L"";
}

// True when what is open at `handle` lies below the folder whose final path is `root`.
bool lies_inside(HANDLE handle, const std::wstring& root) {
    const std::wstring path = final_path(handle);
    const size_t length = root.size();
    return length > 0 && path.size() > length + 1 && path[length] == L'\\' &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(length), root.c_str(), static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

bool remove_open(HANDLE handle) {
    FILE_DISPOSITION_INFO remove = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove) != 0;
}

// Opens the extraction folder itself (which may be a link) and tells its final path.
bool open_root(const fs::path& folder, held_handle& root, std::wstring& root_path, std::string& why) {
    std::error_code made;
    fs::create_directories(folder, made);
    root = held_handle(CreateFileW(folder.c_str(), FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!root.valid()) {
        // A folder that could not be made is missing for that reason.
        why = made ? made.message() : error_text(GetLastError());
        return false;
    }
    root_path = final_path(root.get());
    if (root_path.empty()) why = "the system cannot tell where it lies: " + error_text(GetLastError());
    return why.empty();
}

// True when what is open at `opened` is the entry `name` of the folder open
// at `parent` (as Windows compares names), and that entry is no reparse
// point: nothing was swapped in between, whatever the system followed. Each
// folder handle is asked once, as the name to look for is kept from the
// first question.
bool is_entry_of(HANDLE parent, const std::wstring& name, HANDLE opened) {
    // Room for the longest name a component has on NTFS, whatever name matched.
    const size_t room = sizeof(FILE_ID_BOTH_DIR_INFO) + (name.size() + 256) * sizeof(wchar_t);
    std::vector<LONGLONG> buffer(room / sizeof(LONGLONG) + 1);
    UNICODE_STRING wanted;
    wanted.Buffer = const_cast<PWSTR>(name.c_str());
    wanted.Length = wanted.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io;
    const NTSTATUS status = NtQueryDirectoryFile(parent, nullptr, nullptr, nullptr, &io, buffer.data(),
                                                 static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)),
                                                 FileIdBothDirectoryInformation, TRUE, &wanted, TRUE);
    const auto& entry = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data());
    BY_HANDLE_FILE_INFORMATION information;
    if (status != 0 || (entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !GetFileInformationByHandle(opened, &information)) {
        return false;
    }
    // A file system that lists no file index (0, or all ones) can only be trusted on the rest.
    const ULONGLONG listed = static_cast<ULONGLONG>(entry.FileId.QuadPart);
    return listed == 0 || listed == ~0ull ||
           listed == ((static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow);
}

// True when what is open at `opened` is what `name` names in `parent`, and
// it lies inside the folder whose final path is `root`.
bool stays_inside(HANDLE parent, const std::wstring& name, HANDLE opened, const std::wstring& root) {
    return !is_reparse_point(attributes_of(opened)) && is_entry_of(parent, name, opened) && lies_inside(opened, root);
}

// Opens the folder `name` in the last of `levels`, making it when it is
// missing, and adds it to them.
bool open_level(std::vector<held_handle>& levels, const std::wstring& name, const std::wstring& root, std::string& why) {
    held_handle level;
    const HANDLE parent = levels.back().get();
    const NTSTATUS status = open_in(parent, name, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                    FILE_OPEN_IF, FILE_DIRECTORY_FILE, level);
    if (status == status_not_a_directory || (level.valid() && !stays_inside(parent, name, level.get(), root))) {
        why = "it is a link or not a folder";
    } else if (!level.valid()) {
        why = "cannot make the folder: " + status_text(status);
    }
    if (!why.empty()) return false;
    levels.push_back(std::move(level));
    return true;
}

// Makes way for the file `name` in the folder open at `parent`: nothing is
// there, or a regular file inside the folder that is removed when `replace`.
bool make_way(HANDLE parent, const std::wstring& name, const std::wstring& root, bool replace, std::string& why,
              file_identity* existing) {
    held_handle there;
    const NTSTATUS status = open_in(parent, name, FILE_READ_ATTRIBUTES | (replace ? DELETE : 0), FILE_OPEN, 0, there);
    if (status == status_name_not_found || status == status_no_such_file) return true;
    if (!there.valid()) {
        why = status_text(status);
        return false;
    }
    const DWORD attributes = attributes_of(there.get());
    if (!stays_inside(parent, name, there.get(), root)) {
        why = "it is a link";
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        why = "it is not a regular file";
    } else if (!replace) {
        why = "it exists (--force replaces it)";
        if (existing != nullptr) *existing = identity_of_handle(there.get());
    } else if (!remove_open(there.get())) {
        // A new file in its place, not a write into the old one, which may be a hard link to a file elsewhere.
        why = error_text(GetLastError());
    }
    return why.empty();
}

// Creates the new file `name` in the folder open at `parent`, where nothing is.
int create_in(HANDLE parent, const std::wstring& name, std::string& why) {
    held_handle file;
    const NTSTATUS status =
        open_in(parent, name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_CREATE, FILE_NON_DIRECTORY_FILE, file);
    if (!file.valid()) {
        why = status == status_name_collision ? "a link or another file took its place" : status_text(status);
        return -1;
    }
    const int handle = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_BINARY);
    if (handle == -1) {
        why = "cannot use the new file";
        return -1;
    }
    file.release();
    return handle;
}

}  // namespace

int create_below(const fs::path& folder, const std::vector<std::string>& parts, bool replace, std::string& why,
                 file_identity* existing) {
    why.clear();
    std::vector<held_handle> levels(1);
    std::wstring root;
    if (!open_root(folder, levels.back(), root, why)) {
        why = folder.u8string() + ": " + why;
        return -1;
    }
    fs::path shown = folder;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        shown /= fs::u8path(parts[i]);
        const std::wstring name = win32_spelling(parts[i]);
        // A component of only dots and spaces names no folder for the Win32 calls.
        if (!name.empty() && !open_level(levels, name, root, why)) {
            why = shown.u8string() + ": " + why;
            return -1;
        }
    }
    shown /= fs::u8path(parts.back());
    const std::wstring name = win32_spelling(parts.back());
    const HANDLE parent = levels.back().get();
    const int handle = make_way(parent, name, root, replace, why, existing) ? create_in(parent, name, why) : -1;
    if (handle == -1) why = shown.u8string() + ": " + why;
    return handle;
}
