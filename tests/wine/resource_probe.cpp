// Reports the icon and cursor groups and the version of an executable, read
// as data:
//   resource_probe.exe PATH
// prints one line a group: "icon|cursor id=N images=N WxH bits=N", the
// languages the version resource is stored under: "version languages=040C[,...]",
// and one line a version value: "version NAME=HEX" (the value's bytes in the
// code page of its block), after "version file=A.B.C.D product=A.B.C.D prerelease=0|1";
// then what its application manifest asks: "manifest level=LEVEL
// ui_access=VALUE code_page=VALUE|none supported_os=N", or "manifest missing";
// and the libraries the image imports, as the loader looks them up by name:
// "imports NAME[,NAME...]" in lower case, read from the file's import table.
#include "hex_text.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

#pragma pack(push, 2)
struct group_header {
    WORD reserved;
    WORD type;   // 1 icon, 2 cursor
    WORD count;
};
struct group_entry {  // one image of the group, as the resource compiler stores it
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;       // for cursors: the hot spot's x
    WORD bit_count;    // for cursors: the hot spot's y
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

void report(HMODULE module, const char* kind, LPCSTR type, WORD id) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    const auto* group = found ? static_cast<const group_header*>(LockResource(LoadResource(module, found))) : nullptr;
    if (group == nullptr) {
        std::printf("%s id=%u missing\n", kind, id);
        return;
    }
    const auto* entry = reinterpret_cast<const group_entry*>(group + 1);
    // Cursor entries hold their size in words: width, then height doubled (image and mask).
    const bool cursor = group->type == 2;
    const unsigned width = cursor ? reinterpret_cast<const WORD*>(entry)[0] : (entry->width ? entry->width : 256);
    const unsigned height = cursor ? reinterpret_cast<const WORD*>(entry)[1] / 2 : (entry->height ? entry->height : 256);
    const unsigned bits = cursor ? reinterpret_cast<const WORD*>(entry)[3] : entry->bit_count;
    std::printf("%s id=%u images=%u %ux%u bits=%u\n", kind, id, group->count, width, height, bits);
}

BOOL CALLBACK add_language(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", language);
    std::string& languages = *reinterpret_cast<std::string*>(list);
    languages += (languages.empty() ? "" : ",") + std::string(hex);
    return TRUE;
}

void report_version_languages(HMODULE module) {
    std::string languages;
    EnumResourceLanguagesA(module, RT_VERSION, MAKEINTRESOURCEA(1), add_language, reinterpret_cast<LONG_PTR>(&languages));
    std::printf("version languages=%s\n", languages.c_str());
}

void report_version(const char* path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path, 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) {
        std::printf("version missing\n");
        return;
    }
    std::printf("version file=%lu.%lu.%lu.%lu product=%lu.%lu.%lu.%lu prerelease=%d\n", fixed->dwFileVersionMS >> 16,
                fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
                fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
                fixed->dwProductVersionLS & 0xFFFF, (fixed->dwFileFlags & fixed->dwFileFlagsMask & VS_FF_PRERELEASE) ? 1 : 0);
    for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "OriginalFilename",
                             "ProductVersion"}) {
        char* value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\040C04E4\\") + name;
        if (VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
            std::printf("version %s=%s\n", name, to_hex(value).c_str());
        }
    }
}

// The value of the attribute `name` in the manifest's text, or "none".
std::string attribute(const std::string& manifest, const std::string& name) {
    const size_t start = manifest.find(name + "=\"");
    if (start == std::string::npos) return "none";
    const size_t value = start + name.size() + 2;
    return manifest.substr(value, manifest.find('"', value) - value);
}

void report_manifest(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const char* text = found ? static_cast<const char*>(LockResource(LoadResource(module, found))) : nullptr;
    if (text == nullptr) {
        std::printf("manifest missing\n");
        return;
    }
    const std::string manifest(text, SizeofResource(module, found));
    size_t systems = 0;
    for (size_t at = manifest.find("<supportedOS"); at != std::string::npos; at = manifest.find("<supportedOS", at + 1)) ++systems;
    // An active code page is set by an element of its own (or older, the utf8 attribute of activeCodePage).
    const size_t code_page = manifest.find("<activeCodePage");
    std::printf("manifest level=%s ui_access=%s code_page=%s supported_os=%zu\n", attribute(manifest, "level").c_str(),
                attribute(manifest, "uiAccess").c_str(),
                code_page == std::string::npos ? "none" : manifest.substr(code_page, 40).c_str(), systems);
}

// A value of the image's bytes at `at`, or 0 past their end.
template <typename T>
T value_at(const std::vector<unsigned char>& image, size_t at) {
    T value{};
    if (at <= image.size() && image.size() - at >= sizeof value) std::memcpy(&value, image.data() + at, sizeof value);
    return value;
}

void report_imports(const char* path) {
    std::vector<unsigned char> image;
    if (FILE* file = std::fopen(path, "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;) image.push_back(static_cast<unsigned char>(c));
        std::fclose(file);
    }
    const size_t headers = value_at<uint32_t>(image, 0x3C);
    const size_t optional = headers + 24;
    const bool wide = value_at<uint16_t>(image, optional) == 0x20B;  // PE32+
    const uint32_t table = value_at<uint32_t>(image, optional + (wide ? 112 : 96) + 8);  // data directory 1
    const size_t sections = optional + value_at<uint16_t>(image, headers + 20);
    const unsigned count = value_at<uint16_t>(image, headers + 6);
    // Where the byte at a relative virtual address lies in the file, or 0.
    const auto offset = [&](uint32_t rva) -> size_t {
        for (unsigned i = 0; i < count; ++i) {
            const size_t section = sections + i * 40;
            const uint32_t start = value_at<uint32_t>(image, section + 12);
            if (rva >= start && rva - start < value_at<uint32_t>(image, section + 16)) {
                return value_at<uint32_t>(image, section + 20) + (rva - start);
            }
        }
        return 0;
    };
    std::string names;
    for (size_t descriptor = offset(table); descriptor != 0 && value_at<uint32_t>(image, descriptor + 12) != 0; descriptor += 20) {
        std::string name;
        for (size_t at = offset(value_at<uint32_t>(image, descriptor + 12)); at != 0 && at < image.size() && image[at] != 0; ++at) {
            name += static_cast<char>(std::tolower(image[at]));
        }
        names += (names.empty() ? "" : ",") + name;
    }
    std::printf("imports %s\n", names.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::printf("cannot load %s\n", argv[1]);
        return 1;
    }
    report(module, "icon", RT_GROUP_ICON, 1000);
    report(module, "cursor", RT_GROUP_CURSOR, 1);
    report_version_languages(module);
    report_version(argv[1]);
    report_manifest(module);
    report_imports(argv[1]);
    return 0;
}
