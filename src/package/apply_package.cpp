#include "package/apply_package.h"

#include "notify/messages.h"
#include "notify/show_message.h"
#include "package/created_folders.h"
#include "package/package_proof.h"
#include "package/package_signature.h"
#include "package/package_walk.h"
#include "package/target_roots.h"
#include "platform/platform.h"

namespace {

// The target being written, and its path for a failure message.
struct open_target {
    int handle = -1;
    heap_string path;
};

int create_with_retries(const char* path) {
    // A running program may hold the file without sharing it: give it time to let go.
    for (int attempt = 1; attempt <= creation_attempts; ++attempt) {
        const int handle = create_for_writing(path);
        if (attempt < creation_attempts) pause_for(creation_pause_ms);
        if (handle != -1) return handle;
    }
    return -1;
}

// Creates the target at `target.path` and notes its folder. False when it
// cannot be created, when it is the package itself (creating it would empty
// the package while it is read), or when its folder can be neither noted nor
// flushed at once.
bool create_target(open_target& target, int package, created_folders& folders) {
    const char* path = target.path.get();
    if (!names_open_file(path, package)) target.handle = create_with_retries(path);
    if (target.handle == -1) return false;
    return note_created(folders, path) || flush_folder_of(path) == 1;
}

// A short write (a full disk, a quota) would leave a cut file reported as
// installed, and the package, the only copy of the update, deleted.
bool write_piece(int target, const unsigned char* piece, uint32_t length) {
    return length == 0 || write_bytes(target, piece, length) == static_cast<int32_t>(length);
}

// The package is the only copy of the update: before it may go, the bytes of
// every target must be on the disk, not only in the system's cache.
bool flush_and_close(open_target& target) {
    const bool flushed = flush_file(target.handle) == 1;
    const bool closed = close_file(target.handle) == 1;
    target.handle = -1;
    return flushed && closed;
}

int reject_malformed(int package, open_target& target) {
    close_file(package);
    show_message(text_package_malformed);
    if (target.handle != -1) close_file(target.handle);
    return 0;
}

// True when the package's file is as it was when it was opened (when that
// could be told at all).
bool unchanged(int package, const file_stamp* opened) {
    file_stamp now;
    return opened == nullptr || (stamp_of(package, now) == 1 && same_stamp(now, *opened));
}

// The update is complete: the package goes, and then its signature file,
// unless a new package took its place while this one was applied: put at
// its path, or written into its file.
void finish_with(int package, const char* package_path, const file_stamp* opened) {
    const bool still_there = names_open_file(package_path, package) == 1 && unchanged(package, opened);
    close_file(package);
    if (!still_there) return;
    delete_file(package_path);
    if (vendor_public_key() == nullptr) return;
    // A package that could not be deleted (a read-only file) stays applicable: so does its signature.
    const int left = open_for_reading(package_path);
    if (left != -1) {
        close_file(left);
        return;
    }
    const heap_string signature = signature_path(package_path);
    if (signature) delete_file(signature.get());
}

int reject_unwritten(int package, open_target& target, const char* path) {
    show_message(text_target_not_written, path);
    if (target.handle != -1) close_file(target.handle);
    close_file(package);
    return 0;
}

// Writes every target of the records read from `records` (the package, or
// the copy its signature was checked over), in record order, then ends the
// update. Returns 1, or 0 after a failure, which it has shown.
int install_targets(int records, int package, const char* package_path, const target_roots& roots,
                    const file_stamp* opened) {
    package_walk walk(records, &roots);
    open_target target;
    created_folders folders;
    for (;;) {
        switch (walk.next()) {
            case walk_event::target_begins:
                target.path = walk.take_target_path();
                if (!create_target(target, package, folders)) {
                    return reject_unwritten(package, target, target.path.get());
                }
                break;
            case walk_event::piece:
                if (!write_piece(target.handle, walk.piece(), walk.header().piece_length)) {
                    return reject_unwritten(package, target, target.path.get());
                }
                break;
            case walk_event::target_completes:
                if (!flush_and_close(target)) return reject_unwritten(package, target, target.path.get());
                break;
            case walk_event::package_ended:
                if (const char* unflushed = flush_created_folders(folders)) {
                    return reject_unwritten(package, target, unflushed);
                }
                finish_with(package, package_path, opened);
                return 1;
            case walk_event::package_malformed:
            case walk_event::read_failed:
                // A package that cannot be read is kept whole, to be applied again.
                return reject_malformed(package, target);
        }
    }
}

}  // namespace

int apply_package(const char* package_path) {
    target_roots roots;
    resolve_roots(roots);
    // A signed package must stay what was checked while it is applied.
    const int package = vendor_public_key() != nullptr ? open_for_reading_unchanged(package_path) : open_for_reading(package_path);
    if (package == -1) {
        show_message(text_package_not_opened, package_path);
        return 0;
    }
    file_stamp stamp;
    const file_stamp* opened = stamp_of(package, stamp) == 1 ? &stamp : nullptr;
    // A package that changed while it was proven is not the one proven. It
    // may still change while it is written: that walk checks each record again.
    const int records = prove_package(package, package_path);
    if (records == -1 || (records == package && !unchanged(package, opened))) {
        open_target none;
        return reject_malformed(package, none);
    }
    const int result = install_targets(records, package, package_path, roots, opened);
    if (records != package) close_file(records);
    return result;
}
