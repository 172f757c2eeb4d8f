#pragma once

#include <memory>

// A NUL-terminated string on the heap, allocated with exactly its length plus
// one byte, released by whoever holds it.
using heap_string = std::unique_ptr<char[]>;
