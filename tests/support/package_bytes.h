// Package bytes for tests, built with the packer's own record encoder.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One record: a piece of `payload` at `offset` of a target of `file_size` bytes.
std::string piece(const std::string& name, uint32_t file_size, uint32_t offset, const std::string& payload);

// `length` bytes in which every byte value occurs (from 256 bytes on).
std::string every_byte_value(size_t length);

// A whole target in one record.
std::string whole(const std::string& name, const std::string& content);

// A protected package (integrity fields of `version` 3, as the package tool
// writes them, or 2 or 1) of these targets, each whole in one record, names
// stored as given: the way to protect names that the package tool refuses to pack.
std::string protected_package(const std::vector<std::pair<std::string, std::string>>& targets, int version = 3);

// A record of a protected package whose fields are whatever a test needs,
// sealed so that its checksum holds: what only the other checks can refuse.
struct protected_piece {
    std::string name;
    uint32_t file_size = 0;
    uint32_t offset = 0;
    std::string payload;  // at most 127 bytes with the padding
    std::string padding;  // bytes inside the record after the payload
    int64_t index = -1;   // the index the record carries; -1: its own
    uint32_t marker = 0;  // the marker it carries; 0: the version's
};

// Records of a protected package, sealed (in version 3, each checksum
// continuing the one before), the first declaring their length and that of
// the bytes of `tail` that follow them.
std::string protected_records(const std::vector<protected_piece>& pieces, int version = 3, const std::string& tail = "");
