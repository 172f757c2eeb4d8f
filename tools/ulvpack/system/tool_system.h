// The system services of ulvpack, beside the updater's own (platform.h), which
// they are built on: what is at a path and in a folder, opening a file named
// in any script and saying why it cannot be, writing a package so that it
// appears whole or not at all, writing below a folder without ever following
// a link, and the private key the tool signs with. One file holds what both
// systems share, and one file per system the rest, chosen when the tool is
// linked. The commands reach the system through these and the updater's
// services alone; handles are those of the updater's services: read_bytes,
// write_bytes, flush_file and close_file take them. Paths are
// std::filesystem paths, built from UTF-8. A reason (`why`) is in English,
// with the system's own words for its errors.
#pragma once

#include "platform/p256_public_key.h"
#include "platform/platform.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// What is at a path.
enum class entry_kind { missing, file, folder, fifo, socket, device, other };

struct entry_status {
    entry_kind kind = entry_kind::missing;
    uint64_t size = 0;       // of a file
    bool read_only = false;  // nobody may write it
};

// What is at `path`, through a link in its place when `through_links`. False,
// with the system's reason in `why`, when that cannot be told. A path that
// names nothing is `missing`, which is no failure; `why` then says why.
bool status_of(const std::filesystem::path& path, bool through_links, entry_status& status, std::string& why);

// The paths of the entries of `folder`, in the order the system gives them.
// False, with the system's reason in `why`, when it cannot be read.
bool list_folder(const std::filesystem::path& folder, std::vector<std::filesystem::path>& entries, std::string& why);

// `path` with every link, "." and ".." resolved; with `must_exist` false, a
// path whose end does not exist yet is resolved as far as it does. False, with
// `why`, when it cannot be.
bool resolved_path(const std::filesystem::path& path, bool must_exist, std::filesystem::path& resolved, std::string& why);

// True when `path` names a folder (through a link).
bool is_folder(const std::filesystem::path& path);

// True when `path` itself is a link: a symbolic link, or on Windows a
// symbolic link or a junction (not the other reparse points, such as files
// kept in the cloud, which are files).
bool is_link(const std::filesystem::path& path);

// Removes the file at `path`, if any; the result is not reported.
void remove_path(const std::filesystem::path& path);

// Opens the file at `path`, named as given on the command line (a package,
// a key, a signature), for reading, as the updater opens one
// (open_for_reading). Returns -1, with the reason in `why`, when it cannot be
// opened or is not a regular file (a folder, a FIFO, a device).
int open_package(const std::filesystem::path& path, std::string& why);

// The same, refusing a link in the file's place ("it became a link"), even
// one swapped in while it is opened.
int open_unless_link(const std::filesystem::path& path, std::string& why);

// Opens a file found in a source folder, for reading, only if it is still
// the file found there (`found`, unless unknown): a link or a folder swapped
// in since the folder was read would lead elsewhere. Unless `follow_link`, a
// link in its place is refused; anything but a regular file is refused.
// Returns -1, with the reason in `why`, when it cannot be opened or is refused.
int open_source_file(const std::filesystem::path& path, bool follow_link, const file_identity& found,
                     std::string& why);

// Writes all `length` bytes through `handle`. False, with the system's
// reason in `why`, when they could not all be written.
bool write_all(int handle, const void* bytes, size_t length, std::string& why);

// A new name in the folder of `out` that nobody can guess: ".NAME." followed
// by 16 random hexadecimal digits and ".partial".
std::filesystem::path temporary_name_beside(const std::filesystem::path& out);

// Creates a new file in the folder of `out`, under a name that cannot be
// guessed and that nothing (no other program, no link) held before. Returns
// its handle and its path in `temporary`, or -1 with the reason in `why`.
int create_temporary_beside(const std::filesystem::path& out, std::filesystem::path& temporary, std::string& why);

// Until forget_temporary(), a signal that ends the tool (interrupt,
// termination, hang-up) removes `temporary` first, so that no partial package
// is left behind.
void remove_if_interrupted(const std::filesystem::path& temporary);
void forget_temporary();

// Puts the file `temporary` (`what` it is, for messages) in the place of
// `out` in one step, replacing what was there, and writes the change of
// names to stable storage. False, with the reason in `why`, when it could
// not; `out` is then what it was, unless only the last flush failed.
bool replace_file(const std::filesystem::path& temporary, const std::filesystem::path& out, std::string& why,
                  const char* what = "the package");

// Creates the file `folder`/`parts`[0]/.../`parts`[n-1] (UTF-8 components;
// on Windows spelled as the Win32 calls would, without the dots and spaces
// that end them) for writing, making the folders between that are missing.
// `folder` itself may be a link; nothing below it is followed, even if it is
// swapped in meanwhile: a link (a junction or another reparse point on
// Windows), or anything but a folder, where a folder is needed, and a link or
// anything but a regular file in the file's place, are refused. An existing file is replaced by a new one
// only when `replace` is set; otherwise its identity goes to `existing`, when
// given. Returns a handle, or -1 with the reason in `why`.
int create_below(const std::filesystem::path& folder, const std::vector<std::string>& parts, bool replace,
                 std::string& why, file_identity* existing = nullptr);

// The permission bits of the file open at `handle` (0644...: its owner's,
// its group's, everyone's). False where the system keeps none or cannot
// tell them.
bool permission_bits(int handle, unsigned& bits);

// Signing, with the system's cryptography where the tool signs (OpenSSL, on
// POSIX): ulvpack.exe only checks signatures, and there signs_packages() is
// false and no private key is ever read.
bool signs_packages();

struct private_key;

// The private key that the PEM text `pem` holds, or null when it holds none
// that can be read without a passphrase (which is never asked for).
private_key* private_key_from_pem(const std::string& pem);

// True when `key` is an ECDSA P-256 key.
bool is_p256_key(private_key* key);

// The public half of `key`: 0x04, then the point's X and Y. False when the
// system cannot tell it.
bool public_point_of(private_key* key, unsigned char point[p256_point_size]);

// The ECDSA signature of `digest` by `key`, in DER. False when the system fails.
bool sign_digest(private_key* key, const unsigned char digest[sha256_size], std::string& der);

// Releases a key; null is allowed.
void discard_private_key(private_key* key);

// Overwrites `secret` (the bytes of a private key file) so that no copy of
// the key outlives its use but the one the system's cryptography keeps.
void forget_secret(std::string& secret);
