// An update package opened to be installed: what is installed, from where,
// and how it was proven.
#pragma once

#include "package/record_checksums.h"
#include "package/target_roots.h"
#include "platform/platform.h"

struct opened_update {
    const char* path = nullptr;  // the package's path, as the command line gave it
    // The vendor's key the updater was built with (package_signature.h): only
    // a package signed with it is installed. Null: packages are not signed.
    const unsigned char* signing_key = nullptr;
    int package = -1;            // the package's file, held unchanged where the system can (package_proof.h)
    int private_copy = -1;       // the bytes of a signed package as the proof read them, where the system
                                 // cannot hold the package unchanged: its records are read from there (else -1)
    int signature = -1;          // its signature file, held until the end (signed updates)
    file_stamp stamp;            // of the package when it was opened
    bool stamped = false;        // ... when the system could tell it
    file_stamp signature_stamp;  // of the signature file when its signature was checked
    file_identity kept[2];       // the package and its signature file: never written over
    unsigned kept_count = 0;
    record_checksums proven;     // what the proof read of each record
    uint32_t release = 0;        // the release a signed package carries, once proven (0: none)
};

inline bool is_signed(const opened_update& update) {
    return update.signing_key != nullptr;
}

// The file the update's records are read from: its private copy, if the
// proof made one, else the package itself.
inline int records_file(const opened_update& update) {
    return update.private_copy != -1 ? update.private_copy : update.package;
}

// Opens the package at `path` and proves it (package_proof.h). True when it
// may be installed; otherwise false, having shown why, with nothing held.
bool open_update(const char* path, const target_roots& roots, opened_update& update);

// True when the package's file is as it was when it was opened (when that
// could be told at all).
bool unchanged_since_opened(const opened_update& update);

// Closes every file the update holds.
void close_update(opened_update& update);
