#include "package/record_checksums.h"

#include <new>

bool note_checksum(record_checksums& checksums, uint32_t checksum) {
    try {
        checksums.of_record.push_back(checksum);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool matches_first_reading(const record_checksums& checksums, uint64_t index, uint32_t checksum) {
    if (index < checksums.of_record.size()) return checksums.of_record[index] == checksum;
    return !checksums.whole;
}

bool read_as_far(const record_checksums& checksums, uint64_t records) {
    return records >= checksums.of_record.size();
}

uint32_t keyed_checksum(const record_checksums& checksums, const unsigned char* record, uint32_t size) {
    return static_cast<uint32_t>(siphash_2_4(checksums.key, record, size));
}
