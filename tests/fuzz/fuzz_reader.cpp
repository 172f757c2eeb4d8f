// Fuzzes the record reader over a package held in memory: every record it
// loads must be exactly the next bytes of the package, and its header fields,
// read in the order the updater reads them, must stay inside the record.
#include "fuzz_check.h"

#include "package/reader.h"
#include "package/record_header.h"
#include "platform/platform.h"
#include "platform/text_codec.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int package = memfd_create("package", MFD_CLOEXEC);
    require(package >= 0, "memfd_create works");
    require(write_bytes(package, data, static_cast<uint32_t>(size)) == static_cast<int32_t>(size), "the package is written");
    lseek(package, 0, SEEK_SET);

    T_deserialization reader;
    uint64_t consumed = 0;
    while (reader.load_record(package)) {
        require(reader.size >= smallest_record_length && reader.size <= largest_record_length, "record length in range");
        require(consumed + reader.size <= size, "a record lies inside the package");
        require(std::memcmp(reader.data, data + consumed, reader.size) == 0, "a record is the package's next bytes");
        require(reader.pos == 0, "a loaded record is read from its start");
        consumed += reader.size;

        record_header header;
        if (!read_record_header(reader, header)) continue;
        require(reader.pos <= reader.size, "the header lies inside the record");
        require(header.record_length == reader.size, "the stored length is the record's length");
        std::string stored;
        require(utf8_to_1252(header.entry_name.get(), stored), "the name converts back to the code page");
        require(memmem(reader.data, reader.size, stored.c_str(), stored.size() + 1) != nullptr,
                "the name and its NUL are the record's bytes");
        if (payload_within_record(reader, header)) {
            require(uint64_t{reader.pos} + header.piece_length <= reader.size, "the payload lies inside the record");
        }
    }
    close(package);
    return 0;
}
