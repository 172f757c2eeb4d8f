// What a package proves before the first of its targets is written.
#pragma once

// A protected package proves every byte, with every check it allows, in a
// walk over the whole of it. An updater built with the vendor's key proves
// the signature of every byte of any package, in that same reading, and
// then installs from a private copy of exactly the bytes it checked: the
// package's file may change after the check, on a share or a device that no
// lock binds, and nothing unchecked is ever installed. A classic package that
// need not be signed has nothing to prove.
//
// Returns the handle to read the records from: `package` itself, back at its
// first byte, or the private copy, which the caller closes; -1 when the
// package is malformed, unsigned, wrongly signed, or cannot be read.
int prove_package(int package, const char* package_path);
