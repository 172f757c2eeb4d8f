// What the Win32 file services of ulvpack share among their files.
#pragma once

#include "platform/tool_files.h"

#include <string>

#include <windows.h>

// The system's own words for an error, in UTF-8 whatever its code page.
std::string error_text(DWORD code);

// The identity of the file open at `handle`; all zero when the system cannot tell.
file_identity identity_of_handle(HANDLE handle);
