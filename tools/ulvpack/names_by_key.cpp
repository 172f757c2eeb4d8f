#include "names_by_key.h"

#include "platform/text_codec.h"

bool in_stored_order::operator()(const std::string& a, const std::string& b) const {
    std::string stored_a;
    std::string stored_b;
    return (utf8_to_1252(a, stored_a) ? stored_a : a) < (utf8_to_1252(b, stored_b) ? stored_b : b);
}
