#include "package/apply_package.h"

#include "notify/messages.h"
#include "notify/show_message.h"
#include "package/created_folders.h"
#include "package/opened_update.h"
#include "package/package_signature.h"
#include "package/package_walk.h"
#include "package/release_number.h"
#include "package/target_roots.h"
#include "platform/platform.h"

namespace {

// The target being written, and its path for a failure message.
struct open_target {
    int handle = -1;
    heap_string path;
};

int create_with_retries(const char* path, const opened_update& update) {
    // A running program may hold the file without sharing it: give it time to let go.
    for (int attempt = 1; attempt <= creation_attempts; ++attempt) {
        const int handle = create_for_writing(path, update.kept, update.kept_count);
        // The package or its signature, or a path the system never opens: no attempt can help.
        if (handle == creation_refused) return -1;
        if (attempt < creation_attempts) pause_for(creation_pause_ms);
        if (handle != creation_failed) return handle;
    }
    return -1;
}

// Creates the target at `target.path` and notes its folder. False when it
// cannot be created, or when its folder can be neither noted nor flushed at once.
bool create_target(open_target& target, const opened_update& update, created_folders& folders) {
    const char* path = target.path.get();
    target.handle = create_with_retries(path, update);
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

int reject(opened_update& update, open_target& target, const char* format, const char* path = nullptr) {
    if (target.handle != -1) close_file(target.handle);
    close_update(update);
    show_message(format, path);
    return 0;
}

// True when the signature file is still the one checked, as it was then.
bool signature_unchanged(const opened_update& update, const char* signature) {
    file_stamp now;
    return update.signature != -1 && names_open_file(signature, update.signature) == 1 &&
           stamp_of(update.signature, now) == 1 && same_stamp(now, update.signature_stamp);
}

// The update is complete: the package goes, and then its signature file,
// unless a new one took its place while this one was applied (put at its
// path, or written into its file). Each is deleted as the file held, never
// by a name that a folder swapped for a link could lead elsewhere; a package
// that cannot be deleted (a read-only file) stays applicable, and so does
// its signature.
void finish_with(opened_update& update) {
    const heap_string signature = is_signed(update) ? signature_path(update.path) : nullptr;
    const bool signature_there = signature && signature_unchanged(update, signature.get());
    if (unchanged_since_opened(update) && delete_open_file(update.path, update.package) == 1 && signature_there) {
        delete_open_file(signature.get(), update.signature);
    }
    close_update(update);
}

// A signed update first writes the release it carries into the installation,
// as its last target does again: whatever stops it midway (a file another
// program holds, the release file itself included, a full disk, a power cut),
// the files it wrote can never be taken back by an older release, and running
// the same release again finishes it. False, with `target.path` set when it
// was mapped, when the release file cannot be written and flushed.
bool begin_release(const opened_update& update, const target_roots& roots, open_target& target, created_folders& folders) {
    if (update.release == 0) return true;
    target.path = map_name(roots, release_target_name);
    if (!target.path || !create_target(target, update, folders)) return false;
    const std::string text = release_text(update.release);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return write_piece(target.handle, bytes, static_cast<uint32_t>(text.size())) && flush_and_close(target) &&
           flush_created_folders(folders) == nullptr;
}

// Writes every target, in record order, each record checked against what the
// proof read of it, then ends the update. Returns 1, or 0 after a failure,
// which it has shown.
int install_targets(opened_update& update, const target_roots& roots) {
    package_walk walk(records_file(update), walk_options{&roots, nullptr, nullptr, &update.proven});
    open_target target;
    created_folders folders;
    if (!begin_release(update, roots, target, folders)) {
        return reject(update, target, target.path ? text_target_not_written : text_package_malformed, target.path.get());
    }
    for (;;) {
        switch (walk.next()) {
            case walk_event::target_begins:
                target.path = walk.take_target_path();
                if (!create_target(target, update, folders)) return reject(update, target, text_target_not_written, target.path.get());
                break;
            case walk_event::piece:
                if (!write_piece(target.handle, walk.piece(), walk.header().piece_length)) {
                    return reject(update, target, text_target_not_written, target.path.get());
                }
                break;
            case walk_event::target_completes:
                if (!flush_and_close(target)) return reject(update, target, text_target_not_written, target.path.get());
                break;
            case walk_event::package_ended:
                if (const char* unflushed = flush_created_folders(folders)) {
                    return reject(update, target, text_target_not_written, unflushed);
                }
                finish_with(update);
                return 1;
            case walk_event::stopped:
                // A package that cannot be read, or that changed since it was proven, is kept whole.
                return reject(update, target, text_package_malformed);
        }
    }
}

}  // namespace

int apply_package(const char* package_path) {
    target_roots roots;
    resolve_roots(roots);
    opened_update update;
    if (!open_update(package_path, roots, update)) return 0;
    return install_targets(update, roots);
}
