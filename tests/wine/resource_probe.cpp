// Reports the icon and cursor groups of an executable, read as data:
//   resource_probe.exe PATH
// prints one line a group: "icon|cursor id=N images=N WxH bits=N".
#include <windows.h>

#include <cstdio>

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
    return 0;
}
