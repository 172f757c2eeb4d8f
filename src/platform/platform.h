// The operating-system services the updater uses, and nothing else.
//
// Every other folder reaches the system through these functions only. Two
// implementations exist, chosen when the program is linked: the Win32 one
// (the product) and the POSIX one (development, tests, fuzzing, benchmarks).
//
// Paths and texts are NUL-terminated UTF-8 strings, whatever the system's
// own code page: the Win32 services take and give them through the system's
// wide (UTF-16) calls, the POSIX services pass the bytes as they are. Sizes
// of text are counted in characters, as Windows counts them (text_codec.h);
// a buffer for `characters` characters holds utf8_room(characters) bytes,
// and a text cut to fit is never cut inside a character.
// Files are small integer handles; -1 means that opening failed. A file
// service that fails keeps why (last_system_error).
#pragma once

#include "platform/text_codec.h"

#include <cstdint>

// Style of every message box: one OK button and the warning icon
// (MB_OK | MB_ICONWARNING).
constexpr unsigned message_box_style = 0x30;

// Show command given to a started follow-up program (SW_SHOW).
constexpr int show_command_show = 5;

// Why a file service failed: the system's own error, or what the service
// found in a file's place and refused.
enum class error_cause {
    system,      // `code` is the system's error: errno on POSIX, a Win32 error code on Win32
    folder,      // a folder is where a file was asked for
    not_a_file,  // something that is neither a file nor a folder is there (a FIFO, a device)
    shrank,      // the file became shorter than what was read of it
};

struct system_error {
    error_cause cause = error_cause::system;
    uint32_t code = 0;
};

// What the last file service that failed kept of why, until another one
// fails (the program runs on one thread). A service kept nothing when it
// failed by its own rule: a path too long, a file that must stay, a file no
// longer at its path.
system_error last_system_error();

// The text of `error`, in UTF-8 without a final period: the system's own
// words for its error (strerror on POSIX, FormatMessage on Win32, whatever
// the system's code page), or what was found. Valid until the next call.
const char* system_error_text(const system_error& error);

// The text of what a service found and refused; null for the system's errors.
inline const char* refusal_text(error_cause cause) {
    switch (cause) {
        case error_cause::folder: return "it is a folder";
        case error_cause::not_a_file: return "it is not a regular file";
        case error_cause::shrank: return "it became shorter while it was read";
        case error_cause::system: break;
    }
    return nullptr;
}

// Opens an existing file for reading only; other programs may still read and
// write it. Only a file is opened (on Win32, a file on a disk): a folder, a
// FIFO or a device in its place is refused. Returns a handle, or -1.
int open_for_reading(const char* path);

// What a file is, whatever name it is reached by: its volume and its number
// there, as the system keeps them.
struct file_identity {
    uint64_t volume = 0;
    uint64_t index = 0;
};

inline bool same_file(const file_identity& a, const file_identity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// The identity of the file open at `handle`. Returns 1, or 0 when the system
// cannot tell.
int identity_of(int handle, file_identity& identity);

// The identity of the file `path` names, through links. Returns 1, or 0 when
// nothing is there or the system cannot tell.
int identity_of_path(const char* path, file_identity& identity);

// What came of an attempt to create a target.
constexpr int creation_failed = -1;   // not now: held, read-only, its folder missing, no regular file
constexpr int creation_refused = -2;  // never: it is a file that must stay, or its path is too long

// Creates a file, or truncates an existing one to zero length, for writing
// only, with normal attributes; other programs may still read and write it.
// Returns a handle, creation_failed (the file is held without sharing, is
// read-only, is no regular file, or its directory does not exist: another
// attempt may succeed), or creation_refused, at once and without touching
// anything, when the path names one of the `kept` files (by any of its
// names) or is longer than the system can open (path_fits).
int create_for_writing(const char* path, const file_identity* kept, unsigned kept_count);

// Returns 1 when the system can open a path as long as `path` (259
// characters on Win32 without long-path support; PATH_MAX bytes and NAME_MAX
// bytes a component on POSIX), 0 when it never can.
int path_fits(const char* path);

// Returns 1 when `path` names the file open at `handle`, under this name or
// another one (a link); 0 when it names another file or none.
int names_open_file(const char* path, int handle);

// Returns 1 when the system says that nothing has the name `path` (neither a
// file nor a folder, nor a folder on the way to it); 0 when something does,
// or when the system cannot tell.
int nothing_at(const char* path);

// Reads up to `count` bytes. Returns the number read, which is below `count`
// only at the end of the file, or -1 on an error. A count of 0 reads nothing.
int32_t read_bytes(int handle, void* buffer, uint32_t count);

// What tells whether a file's bytes may have changed since it was looked at:
// its size, and the times the system keeps of its last writes.
struct file_stamp {
    uint64_t size = 0;
    uint64_t written = 0;  // when its bytes were last written
    uint64_t changed = 0;  // when it was last changed in any way (0 where the system keeps no such time)
};

inline bool same_stamp(const file_stamp& a, const file_stamp& b) {
    return a.size == b.size && a.written == b.written && a.changed == b.changed;
}

// The stamp of the file open at `handle`. Returns 1, or 0 when the system
// cannot tell.
int stamp_of(int handle, file_stamp& stamp);

// Moves the position of `handle` back to the file's first byte. Returns 1,
// or 0 when the system cannot.
int rewind_file(int handle);

// Number of bytes between the current position and the end of the file,
// or -1 when it cannot be told. Lets a reader refuse a length that the file
// cannot hold before it allocates for it.
int64_t bytes_left(int handle);

// Writes `count` bytes. Returns the number written; anything below `count`
// (a full disk, a quota, a file size limit) or -1 is a failed write.
int32_t write_bytes(int handle, const void* buffer, uint32_t count);

// Writes out to stable storage what the system still holds of the bytes
// written through `handle`, so that they survive a power cut. Returns 1, or 0
// when the system reports that they could not be written.
int flush_file(int handle);

// Writes out to stable storage the entry of the file at `path` in its folder,
// and so the names of every file created in that folder until now: a new
// file's name is part of its folder, not of the file. Returns 1, or 0 when
// the system reports that it could not be written. Where the file system
// records new names together with a file's own flush, there is nothing to do.
int flush_folder_of(const char* path);

// Closes a handle. Returns 1, or 0 when the system reports that data could
// not be written out.
int close_file(int handle);

// Opens an existing file for reading only; other programs may still read it
// but neither write, rename nor delete it while it is open, where the system
// can keep them from it (Win32, on a local disk and for every client of a
// file share). Returns a handle, or -1.
int open_for_reading_unchanged(const char* path);

// 1 when nobody can change a file open_for_reading_unchanged holds (Win32);
// 0 where no lock binds a writer (POSIX): what must not change after it was
// checked is then read from a private copy.
int holds_files_unchanged();

// Creates a new file, for reading and writing, that no other program can
// open or change (it has no name others can reach) and that the system
// removes once it is closed, in the folder private_file_folder() names.
// Returns a handle, or -1. Only where holds_files_unchanged() is 0.
int create_private_file();

// The folder create_private_file writes in, for messages.
const char* private_file_folder();

// Deletes the file open at `handle`, which open_for_reading_unchanged opened
// as `path`: that very file, and only while `path` still names it, never a
// file put in its place or reached through a folder swapped for a link or a
// junction meanwhile (on Win32 by its handle, the deletion taking effect
// when the handle is closed; on POSIX in the folder `path` names, once that
// folder's entry is known to be this file). Returns 1 when it is deleted, 0
// when it cannot be (a read-only file or medium) or is no longer at `path`.
int delete_open_file(const char* path, int handle);

// Suspends the program for `milliseconds`.
void pause_for(uint32_t milliseconds);

// Starts the program that `command` names (with its arguments, as a command
// line is written) with `show_command`, and on Win32 waits at most 30 s for it
// to be ready for input (never for it to end), as WinExec does. The result
// is above 31 when the program started (the WinExec convention). The POSIX
// port starts one program path, without arguments, and does not wait.
uint32_t start_program(const char* command, int show_command);

// Shows `text` in a modal box with `caption` and `style`; returns once the
// user has acknowledged it.
void show_message_box(const char* text, const char* caption, unsigned style);

// Reads `key` of `section` in the profile file `file`, named without a
// directory, as GetPrivateProfileString reads it; a file in UTF-8 is read as
// UTF-8, whatever the system's code page (profile_file.h). Copies the value (or `fallback` when the key or the file is
// missing), cut to `characters` - 1 characters and NUL-terminated, into
// `value`, which holds utf8_room(characters) bytes. Returns the number of
// bytes copied, without the NUL.
uint32_t read_profile_string(const char* section, const char* key, const char* fallback,
                             char* value, uint32_t characters, const char* file);

// Copies the Windows directory into `buffer`, which holds
// utf8_room(characters) bytes. Returns its length in bytes, or 0 when it is
// unknown or longer than `characters` - 1 characters.
uint32_t windows_directory(char* buffer, uint32_t characters);

// The same for the Windows system directory.
uint32_t system_directory(char* buffer, uint32_t characters);

// SHA-256 of bytes given in pieces, and ECDSA P-256, from the system's own
// cryptography (CNG on Win32, OpenSSL on POSIX): what checks the signature of
// a package. A state is started, given bytes, and finished or discarded.
struct sha256_state;
constexpr unsigned sha256_size = 32;

// A new state, or null when the system cannot make one.
sha256_state* sha256_start();

// Adds `count` bytes. Returns 1, or 0 when the system fails.
int sha256_add(sha256_state* state, const void* bytes, uint32_t count);

// Writes the digest of every byte added and releases the state. Returns 1,
// or 0 when the system fails (the state is released all the same).
int sha256_finish(sha256_state* state, unsigned char digest[sha256_size]);

// Releases a state without a digest; null is allowed.
void sha256_discard(sha256_state* state);

// Fills `buffer` with `count` bytes nobody can predict, from the system's
// generator. Returns 1, or 0 when the system fails.
int random_bytes(void* buffer, uint32_t count);

// Returns 1 when `public_key` (0x04, then X and Y) is a point of the P-256
// curve, as a key must be; 0 when it is not, or when the system cannot tell.
int ecdsa_p256_key_valid(const unsigned char public_key[65]);

// Returns 1 when `signature` (r, then s, 32 big-endian bytes each) is an
// ECDSA P-256 signature of `digest` by `public_key` (0x04, then the point's X
// and Y, 32 big-endian bytes each); 0 when it is not; -1 when the system
// cannot tell (its cryptography failed).
int ecdsa_p256_signature_holds(const unsigned char digest[sha256_size], const unsigned char signature[64],
                               const unsigned char public_key[65]);
