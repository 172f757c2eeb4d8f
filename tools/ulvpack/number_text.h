// Numbers as the tool's messages write them.
#pragma once

#include <cstdint>
#include <string>

// The number with its thousands set apart: "268,435,455".
std::string grouped(uint64_t number);

// "1 target", "2 targets".
std::string plural(uint64_t count, const char* noun);
