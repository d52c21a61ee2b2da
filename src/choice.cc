#include "choice.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

bool read_choice(std::FILE* in, std::int32_t* choice) {
  int c = std::getc(in);
  while (c != EOF && std::isspace(c)) c = std::getc(in);

  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::getc(in);
  }

  // The magnitude is kept in 64 bits and stops growing once it is past the
  // 32-bit range, so any number of digits is read without overflow.
  const std::int64_t limit = std::int64_t{INT32_MAX} + 1;
  std::int64_t magnitude = 0;
  bool any_digit = false;
  while (c != EOF && std::isdigit(c)) {
    any_digit = true;
    if (magnitude <= limit) magnitude = magnitude * 10 + (c - '0');
    c = std::getc(in);
  }
  if (c != EOF) std::ungetc(c, in);
  if (!any_digit) return false;

  std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  *choice = static_cast<std::int32_t>(value);
  return true;
}
