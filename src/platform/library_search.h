// Where a Windows program of this project loads libraries from.
#pragma once

// Restricts every later load of a library, the system's own loads on the
// program's behalf included, to the system folder, so that no DLL planted
// beside the program or in the current folder is ever loaded (the updater
// runs as administrator, often from a folder others can write: downloads, a
// share, a stick). Called first thing by both programs. A Windows 7 without
// SetDefaultDllDirectories at least leaves the current folder out.
void load_libraries_from_system_only();
