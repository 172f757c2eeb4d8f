// What the POSIX file services share among their files, and with the package
// tool's, on POSIX only.
#pragma once

// Keeps errno as why the service that calls it failed (last_system_error).
void keep_errno();

// Opens `path` with `flags` (O_RDONLY, O_NOFOLLOW...) only when it is a
// regular file: without waiting, so that a FIFO in its place could not hold
// the program, and then waiting for reads again. A FIFO or a device would
// take the bytes away or hold them. Returns a handle, or -1, having kept why.
int open_regular_file(const char* path, int flags);
