#include "package/opened_update.h"

#include "notify/messages.h"
#include "notify/show_message.h"
#include "package/package_proof.h"
#include "package/package_signature.h"

namespace {

// Shows why the update cannot be installed: the package's own fault only
// when it has one; a failure of the system names what failed.
void show_refusal(const opened_update& update, const proof& proven) {
    switch (proven.outcome) {
        case proof_outcome::copy_not_written: show_message(text_target_not_written, private_file_folder()); break;
        case proof_outcome::cryptography_failed: show_message(text_package_not_opened, update.path); break;
        case proof_outcome::target_too_long: show_message(text_target_not_written, proven.target.get()); break;
        case proof_outcome::release_unknown: show_message(text_package_not_opened, proven.target.get()); break;
        case proof_outcome::malformed:
        case proof_outcome::proven: show_message(text_package_malformed); break;
    }
}

// Notes the files no target may write over: the package and, once checked,
// its signature file. False when the system cannot tell what they are.
bool note_kept_files(opened_update& update) {
    update.kept_count = 0;
    for (const int held : {update.package, update.signature}) {
        if (held == -1) continue;
        if (identity_of(held, update.kept[update.kept_count]) != 1) return false;
        ++update.kept_count;
    }
    return update.signature == -1 || stamp_of(update.signature, update.signature_stamp) == 1;
}

}  // namespace

bool open_update(const char* path, const target_roots& roots, opened_update& update) {
    update.path = path;
    update.signing_key = vendor_public_key();
    // Held so that nobody changes it from its first read to its deletion, where the system allows it.
    update.package = open_for_reading_unchanged(path);
    if (update.package == -1) {
        show_message(text_package_not_opened, path);
        return false;
    }
    update.stamped = stamp_of(update.package, update.stamp) == 1;
    proof proven = prove_package(update, roots);
    // A package read in place that changed while it was proven is not the one proven.
    if (proven.outcome == proof_outcome::proven && update.private_copy == -1 && !unchanged_since_opened(update)) {
        proven.outcome = proof_outcome::malformed;
    }
    if (proven.outcome == proof_outcome::proven && note_kept_files(update)) return true;
    if (proven.outcome == proof_outcome::proven) {
        show_message(text_package_not_opened, path);
    } else {
        show_refusal(update, proven);
    }
    close_update(update);
    return false;
}

bool unchanged_since_opened(const opened_update& update) {
    file_stamp now;
    return !update.stamped || (stamp_of(update.package, now) == 1 && same_stamp(now, update.stamp));
}

void close_update(opened_update& update) {
    for (int* held : {&update.private_copy, &update.package, &update.signature}) {
        if (*held != -1) close_file(*held);
        *held = -1;
    }
}
