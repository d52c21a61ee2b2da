#ifndef GLIMMERQUAY_CHOICE_H
#define GLIMMERQUAY_CHOICE_H

#include <cstdint>
#include <cstdio>

// Reads one signed decimal number from `in` the way "%ld" does: leading
// white space is skipped, an optional sign, then decimal digits; the first
// character that is not a digit is left unread.
//
// Returns true and sets `*choice` when a number was converted. A number
// outside the signed 32-bit range is clamped to INT32_MIN or INT32_MAX, so
// that it can never wrap around into a small value. When nothing was
// converted, `*choice` is left as it was and false is returned.
bool read_choice(std::FILE* in, std::int32_t* choice);

#endif
