// Package bytes for tests, built with the packer's own record encoder.
#pragma once

#include <cstdint>
#include <string>

// One record: a piece of `payload` at `offset` of a target of `file_size` bytes.
std::string piece(const std::string& name, uint32_t file_size, uint32_t offset, const std::string& payload);

// `length` bytes in which every byte value occurs (from 256 bytes on).
std::string every_byte_value(size_t length);

// A whole target in one record.
std::string whole(const std::string& name, const std::string& content);
