#include "startup/command_line_tail.h"

namespace {

const char* skip_blanks(const char* at) {
    while (*at == ' ' || *at == '\t') ++at;
    return at;
}

}  // namespace

const char* command_line_tail(const char* command_line) {
    const char* at = skip_blanks(command_line);
    if (*at == '"') {
        // A quoted name may hold spaces; a word glued to its closing quote is
        // already the first word of the tail.
        ++at;
        while (*at != '\0' && *at != '"' && *at != '\t') ++at;
        if (*at == '"') ++at;
    } else {
        while (*at != '\0' && *at != ' ' && *at != '\t') ++at;
    }
    return skip_blanks(at);
}
