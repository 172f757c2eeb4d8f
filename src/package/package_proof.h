// What a package proves before the first of its targets is written.
#pragma once

#include "package/heap_string.h"
#include "package/opened_update.h"

// A protected package proves every byte, with every check it allows, in a
// walk over the whole of it, and every target's path fits what the system
// opens. An updater built with the vendor's key proves the signature of every
// byte of any package in that same reading, and that its release is not
// older than the installation's (release_order.h). A classic package that need not
// be signed has nothing to prove: only its first record is read.
//
// The proof notes each record it read (record_checksums.h): the walk that
// installs refuses any record that differs, so that a package changed
// between the two readings is never installed as a mix. Where no lock keeps
// others from changing the package (holds_files_unchanged() is 0), a signed
// package is installed from a private copy of exactly the bytes its
// signature was checked over, which the proof makes in the same reading.
enum class proof_outcome {
    proven,               // records_file(update) is ready to be read from its first byte
    malformed,            // the package is malformed, unsigned, wrongly signed, or cannot be read
    copy_not_written,     // the private copy could not be written in private_file_folder()
    cryptography_failed,  // the system's cryptography failed: nothing is known of the package
    target_too_long,      // `target` is a path longer than the system opens
    release_unknown,      // `target` is the installation's release file, there but unreadable
};

struct proof {
    proof_outcome outcome = proof_outcome::malformed;
    heap_string target;  // for target_too_long and release_unknown
};

// Proves the package open at update.package, signed when update.signing_key
// is set, and sets update.private_copy, update.signature and update.proven.
proof prove_package(opened_update& update, const target_roots& roots);
