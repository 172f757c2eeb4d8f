// The one way the updater speaks to the user.
#pragma once

// Size of the text buffer in characters, NUL included: a longer text is cut
// to 1999 characters, never inside one.
constexpr unsigned message_buffer_size = 2000;

// Formats `format` with printf conventions (only %s occurs) and shows the
// result in a modal box with the updater's caption, one OK button and the
// warning icon. Returns once the user has dismissed it.
void show_message(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
