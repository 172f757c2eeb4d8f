// What the POSIX file services share with the package tool's, on POSIX only.
#pragma once

// Keeps `handle` when it is open on a regular file, and makes it wait for
// reads and writes again (opened without waiting, so that a FIFO in a
// file's place could not hold the program). Otherwise closes it and returns
// -1: a FIFO or a device would take the bytes away or hold them. `is_folder`,
// when given, says whether it was a folder instead.
int keep_if_regular(int handle, bool* is_folder = nullptr);
