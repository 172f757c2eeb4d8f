#include "package/package_signature.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using bytes = std::string;

bytes integer(const bytes& value) {
    return bytes("\x02", 1) + static_cast<char>(value.size()) + value;
}

bytes sequence(const bytes& content) {
    return bytes("\x30", 1) + static_cast<char>(content.size()) + content;
}

}  // namespace

// r and s come out as 32 big-endian bytes each, whatever the DER took to
// hold them; anything but one strict DER signature is refused.
TEST(signature_from_der, takes_r_and_s_of_a_strict_der_signature) {
    const bytes high(32, '\x80');             // a first bit set: DER puts a 0 before it
    const bytes low = "\x01\x02";             // short: padded with zeros on the left
    struct row { bytes der; bool ok; bytes r; bytes s; };
    const row rows[] = {
        {sequence(integer(bytes(1, '\0') + high) + integer(low)), true, high, bytes(30, '\0') + low},
        {sequence(integer("\x7F") + integer(bytes(32, '\x7F'))), true, bytes(31, '\0') + "\x7F", bytes(32, '\x7F')},
        {sequence(integer(high) + integer(low)), false, "", ""},                        // negative r
        {sequence(integer(bytes("\0\x01", 2)) + integer(low)), false, "", ""},          // a needless zero
        {sequence(integer(bytes(33, '\x01')) + integer(low)), false, "", ""},           // r beyond 32 bytes
        {sequence(integer("") + integer(low)), false, "", ""},                          // no bytes
        {sequence(integer(low) + integer(low)) + "x", false, "", ""},                  // a byte after it
        {sequence(integer(low) + integer(low) + integer(low)), false, "", ""},         // three values
        {sequence(integer(low)), false, "", ""},
        {sequence(integer(low) + integer(low)).substr(0, 7), false, "", ""},           // cut
        {bytes("\x31") + sequence(integer(low) + integer(low)).substr(1), false, "", ""},  // a SET
        {"", false, "", ""},
    };
    for (const row& r : rows) {
        unsigned char raw[64];
        ASSERT_EQ(signature_from_der(reinterpret_cast<const unsigned char*>(r.der.data()), r.der.size(), raw), r.ok)
            << r.der.size();
        if (r.ok) {
            EXPECT_EQ(bytes(reinterpret_cast<char*>(raw), 32), r.r);
            EXPECT_EQ(bytes(reinterpret_cast<char*>(raw) + 32, 32), r.s);
        }
    }
}
