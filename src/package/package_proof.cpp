#include "package/package_proof.h"

#include "package/name_tree.h"
#include "package/package_signature.h"
#include "package/release_number.h"
#include "package/release_order.h"
#include "package/package_walk.h"
#include "platform/platform.h"

namespace {

bool is_last(walk_event event) {
    return event == walk_event::package_ended || event == walk_event::stopped;
}

// True when the target that begins fits with those before it, as Windows
// compares names: none needs a folder where another installs a file, or the
// reverse (the updater never makes nor removes folders). False too when
// memory runs out to hold the names.
bool fits_with_earlier_names(name_tree& names, const package_walk& walk) {
    clash_found found;
    return names.add(walk.header().entry_name.get(), walk.records(), found) &&
           (found.clash == name_clash::none || found.clash == name_clash::same_file);
}

// Walks the package, the whole of it when `whole` or when it is protected,
// else up to its first target. What a protected package shows up front is
// checked up front: its names fit together, and its target paths fit what
// the system opens (the first that does not is kept, and the walk goes on,
// since a damaged or unsigned package is refused as such first).
proof walk_proof(int package, const walk_options& options, bool whole, carried_release* release = nullptr) {
    package_walk walk(package, options);
    proof result;
    name_tree names;
    walk_event event;
    while (!is_last(event = walk.next())) {
        if (release != nullptr && event == walk_event::piece) note_piece(*release, walk.piece(), walk.header().piece_length);
        if (event != walk_event::target_begins) continue;
        if (release != nullptr) note_target(*release, walk.header().entry_name.get());
        if (walk.integrity().version() == 0) {
            if (!whole) return proof{proof_outcome::proven, nullptr};
            continue;
        }
        if (!fits_with_earlier_names(names, walk)) return proof{};
        heap_string path = walk.take_target_path();
        if (!result.target && path_fits(path.get()) == 0) result.target = std::move(path);
    }
    if (event != walk_event::package_ended) return proof{};
    if (options.note != nullptr) options.note->whole = true;
    result.outcome = result.target ? proof_outcome::target_too_long : proof_outcome::proven;
    return result;
}

// Gives the tee the bytes from the package's position to its end: those
// after its last record, which the walk did not need.
bool tee_the_rest(int package, byte_tee& tee) {
    unsigned char chunk[16384];
    for (;;) {
        const int32_t got = read_bytes(package, chunk, sizeof chunk);
        if (got <= 0) return got == 0;
        if (!tee_bytes(&tee, chunk, static_cast<uint32_t>(got))) return false;
    }
}

// What the tee's failures say, before anything the walk found: they are the
// system's, not the package's.
proof_outcome tee_outcome(const byte_tee& tee, proof_outcome otherwise) {
    if (tee.copy_failed) return proof_outcome::copy_not_written;
    if (tee.digest_failed) return proof_outcome::cryptography_failed;
    return otherwise;
}

// The signature of every byte read, checked once they are all read. The
// signature file stays held: it must be the one deleted at the end.
proof_outcome check_signature(opened_update& update, byte_tee& tee) {
    unsigned char digest[sha256_size];
    const bool digested = sha256_finish(tee.digest, digest) == 1;
    tee.digest = nullptr;
    if (!digested) return proof_outcome::cryptography_failed;
    switch (check_signature_file(update.path, digest, update.signing_key, update.signature)) {
        case signature_verdict::holds: return proof_outcome::proven;
        case signature_verdict::does_not_hold: return proof_outcome::malformed;
        case signature_verdict::cannot_tell: return proof_outcome::cryptography_failed;
    }
    return proof_outcome::malformed;
}

// Once its signature holds, a package may not take the installation back to
// an older release (release_order.h).
proof check_release(const carried_release& release, const target_roots& roots) {
    heap_string installed = map_name(roots, release_target_name);
    if (!installed) return proof{};
    switch (compare_with_installed(release, installed.get())) {
        case release_verdict::forward: return proof{proof_outcome::proven, nullptr};
        case release_verdict::refused: return proof{};
        case release_verdict::installed_unknown: return proof{proof_outcome::release_unknown, std::move(installed)};
    }
    return proof{};
}

// A signed package is proven whole, classic or protected: its signature
// covers faults as well, and an updater that checks one installs all or
// nothing, and never an older release than the installation holds. Where the
// system cannot hold the package unchanged, the bytes checked are copied as
// they are read, and installed from the copy.
proof prove_signed(opened_update& update, const target_roots& roots) {
    byte_tee tee;
    if (random_bytes(update.proven.key, sizeof update.proven.key) != 1) return proof{proof_outcome::cryptography_failed, nullptr};
    update.proven.keyed = true;
    tee.digest = sha256_start();
    if (tee.digest == nullptr) return proof{proof_outcome::cryptography_failed, nullptr};
    if (holds_files_unchanged() == 0 && (tee.copy = create_private_file()) == -1) tee.copy_failed = true;
    carried_release release;
    proof result =
        tee.copy_failed ? proof{} : walk_proof(update.package, {&roots, &tee, &update.proven, nullptr}, true, &release);
    if (result.outcome != proof_outcome::malformed && !tee_the_rest(update.package, tee)) result.outcome = proof_outcome::malformed;
    result.outcome = tee_outcome(tee, result.outcome);
    if (result.outcome == proof_outcome::proven || result.outcome == proof_outcome::target_too_long) {
        const proof_outcome signature = check_signature(update, tee);
        if (signature != proof_outcome::proven) result.outcome = signature;
    }
    if (result.outcome == proof_outcome::proven) result = check_release(release, roots);
    if (result.outcome == proof_outcome::proven && release.present) parse_release(release.text, update.release);
    sha256_discard(tee.digest);
    update.private_copy = tee.copy;
    if (result.outcome == proof_outcome::proven && rewind_file(records_file(update)) != 1) {
        result.outcome = update.private_copy != -1 ? proof_outcome::copy_not_written : proof_outcome::malformed;
    }
    return result;
}

}  // namespace

proof prove_package(opened_update& update, const target_roots& roots) {
    if (is_signed(update)) return prove_signed(update, roots);
    proof result = walk_proof(update.package, {&roots, nullptr, &update.proven, nullptr}, false);
    if (result.outcome == proof_outcome::proven && rewind_file(update.package) != 1) result.outcome = proof_outcome::malformed;
    return result;
}
