#include "notify/show_message.h"

#include "notify/messages.h"
#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>

void show_message(const char* format, ...) {
    // A target path comes from a package name, which only the record bounds:
    // vsnprintf cuts what does not fit instead of writing past the buffer,
    // and the text is then cut between characters to what a box holds.
    char text[utf8_room(message_buffer_size)];
    va_list arguments;
    va_start(arguments, format);
    if (std::vsnprintf(text, sizeof text, format, arguments) < 0) text[0] = '\0';
    va_end(arguments);
    text[sizeof text - 1] = '\0';  // some C runtimes leave a cut text unterminated
    text[prefix_within(text, message_buffer_size - 1)] = '\0';
    show_message_box(text, message_caption, message_box_style);
}
