// A plain model of the choice read, and a check of read_choice against it.
//
// The model works on the whole input at once: it finds the token, then
// judges its size by counting significant digits and converts only what is
// known to fit, with strtoll.
#include "choice_model.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "choice.h"

namespace {

struct Read {
  bool converted;
  std::int32_t value;
  int next;  // the first character left unread, or EOF
};

bool is_blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

Read model(const unsigned char* data, size_t size, std::int32_t before) {
  size_t i = 0;
  while (i < size && is_blank(data[i])) i++;
  bool negative = false;
  if (i < size && (data[i] == '+' || data[i] == '-'))
    negative = data[i++] == '-';
  const size_t first_digit = i;
  while (i < size && data[i] >= '0' && data[i] <= '9') i++;
  const int next = i < size ? data[i] : EOF;
  if (i == first_digit) return {false, before, next};

  std::string digits(reinterpret_cast<const char*>(data + first_digit),
                     i - first_digit);
  digits.erase(0, digits.find_first_not_of('0'));  // all zeros: empty
  if (digits.size() > 10) {
    return {true, negative ? INT32_MIN : INT32_MAX, next};
  }
  long long value =
      digits.empty() ? 0 : std::strtoll(digits.c_str(), nullptr, 10);
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  return {true, static_cast<std::int32_t>(value), next};
}

}  // namespace

bool matches_model(const std::uint8_t* data, size_t size) {
  std::string copy(reinterpret_cast<const char*>(data), size);
  std::FILE* in = fmemopen(&copy[0], size, "r");
  if (in == nullptr) std::abort();

  const std::int32_t before = 77;
  std::int32_t choice = before;
  const bool converted = read_choice(in, &choice);
  const int next = std::getc(in);
  std::fclose(in);

  const Read want = model(data, size, before);
  if (converted == want.converted && choice == want.value && next == want.next)
    return true;
  std::fprintf(stderr,
               "read_choice gave converted=%d value=%ld next=%d; "
               "the model says converted=%d value=%ld next=%d\n",
               converted, static_cast<long>(choice), next, want.converted,
               static_cast<long>(want.value), want.next);
  return false;
}
