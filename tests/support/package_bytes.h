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

// A protected package (integrity fields of `version` 2, or 1) of these
// targets, each whole in one record, names stored as given: the way to
// protect names that the package tool refuses to pack.
std::string protected_package(const std::vector<std::pair<std::string, std::string>>& targets, int version = 2);
