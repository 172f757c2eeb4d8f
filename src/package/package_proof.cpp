#include "package/package_proof.h"

#include "package/package_signature.h"
#include "package/package_walk.h"
#include "platform/platform.h"

namespace {

bool is_last(walk_event event) {
    return event == walk_event::package_ended || event == walk_event::package_malformed ||
           event == walk_event::read_failed;
}

// Walks the package, the whole of it when `whole` or when it is protected,
// else up to its first target. True when it is sound as far as walked.
bool walk_proves(int package, const byte_tee* tee, bool whole) {
    package_walk proof(package, nullptr, tee);
    walk_event event;
    do {
        event = proof.next();
    } while (!is_last(event) && !(event == walk_event::target_begins && proof.integrity().version() == 0 && !whole));
    return event == walk_event::package_ended || (event == walk_event::target_begins && !whole);
}

// Gives the tee the bytes from the package's position to its end: those
// after its last record, which the walk did not need.
bool tee_the_rest(int package, const byte_tee& tee) {
    unsigned char chunk[16384];
    for (;;) {
        const int32_t got = read_bytes(package, chunk, sizeof chunk);
        if (got <= 0) return got == 0;
        if (!tee_bytes(&tee, chunk, static_cast<uint32_t>(got))) return false;
    }
}

// A signed package is proven whole, classic or protected: its signature
// covers faults as well, and an updater that checks one installs all or
// nothing.
int prove_signed(int package, const char* package_path, const unsigned char* key) {
    const byte_tee tee{sha256_start(), create_private_file()};
    unsigned char digest[sha256_size];
    bool proven = tee.digest != nullptr && tee.copy != -1 && walk_proves(package, &tee, true) && tee_the_rest(package, tee);
    if (tee.digest != nullptr) proven = sha256_finish(tee.digest, digest) == 1 && proven;
    proven = proven && package_signature_holds(package_path, digest, key) && rewind_file(tee.copy) == 1;
    if (proven) return tee.copy;
    if (tee.copy != -1) close_file(tee.copy);
    return -1;
}

}  // namespace

int prove_package(int package, const char* package_path) {
    const unsigned char* key = vendor_public_key();
    if (key != nullptr) return prove_signed(package, package_path, key);
    return walk_proves(package, nullptr, false) && rewind_file(package) == 1 ? package : -1;
}
