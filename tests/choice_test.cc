#include "choice.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

#include "choice_model.h"

namespace {

struct Case {
  std::string input;
  bool converted;
  std::int32_t value;  // the choice afterwards; it starts as 77
  int next;            // the first character left unread, or EOF
};

class ReadChoice : public testing::TestWithParam<Case> {};

// A case's name is its input, escaped: letters and digits as they are,
// other characters by name, a long run of one character as "<c>_x<count>".
// "3\n" is 3_nl, "" is empty.
std::string case_name(const std::string& input) {
  static const char* const kNames[][2] = {
      {" ", "sp"},  {"\t", "tab"}, {"\n", "nl"},  {"\v", "vt"},
      {"\f", "ff"}, {"\r", "cr"},  {"+", "plus"}, {"-", "minus"},
      {".", "dot"}, {";", "semi"}, {"!", "bang"}};
  std::string name;
  bool in_word = false;  // the last thing named was a letter or digit
  for (std::size_t i = 0; i < input.size();) {
    const char c = input[i];
    std::size_t run = 1;
    while (i + run < input.size() && input[i + run] == c) run++;
    if (run < 8) run = 1;
    const bool alnum = std::isalnum(static_cast<unsigned char>(c)) != 0;
    if (!name.empty() && !(alnum && in_word && run == 1)) name += '_';
    if (alnum) {
      name += c;
    } else {
      for (const auto& entry : kNames)
        if (entry[0][0] == c) name += entry[1];
    }
    if (run > 1) name += "_x" + std::to_string(run);
    in_word = alnum && run == 1;
    i += run;
  }
  return name.empty() ? "empty" : name;
}

// What GoogleTest shows for a case: its name.
void PrintTo(const Case& c, std::ostream* out) { *out << case_name(c.input); }

TEST_P(ReadChoice, ReadsLikePercentLdAndClampsTo32Bits) {
  const Case& c = GetParam();
  std::FILE* in = std::tmpfile();
  ASSERT_NE(in, nullptr);
  std::fwrite(c.input.data(), 1, c.input.size(), in);
  std::rewind(in);

  std::int32_t choice = 77;
  EXPECT_EQ(read_choice(in, &choice), c.converted);
  EXPECT_EQ(choice, c.value);
  EXPECT_EQ(std::getc(in), c.next);
  std::fclose(in);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ReadChoice,
    testing::Values(Case{"3\n", true, 3, '\n'},
                    Case{" \t\n\v\f\r2", true, 2, EOF},
                    Case{"4abc", true, 4, 'a'}, Case{"+1", true, 1, EOF},
                    Case{"-1 ", true, -1, ' '}, Case{"2.9", true, 2, '.'},
                    Case{"0x3", true, 0, 'x'}, Case{"007", true, 7, EOF},
                    Case{"abc", false, 77, 'a'}, Case{"", false, 77, EOF},
                    Case{"  \n\n", false, 77, EOF}, Case{"+", false, 77, EOF},
                    Case{"-x", false, 77, 'x'}, Case{"- 3", false, 77, ' '},
                    Case{"2147483647", true, INT32_MAX, EOF},
                    Case{"2147483648", true, INT32_MAX, EOF},
                    Case{"-2147483648", true, INT32_MIN, EOF},
                    Case{"-2147483649", true, INT32_MIN, EOF},
                    Case{"4294967297", true, INT32_MAX, EOF},
                    Case{"-4294967295", true, INT32_MIN, EOF},
                    Case{"18446744073709551617;", true, INT32_MAX, ';'},
                    Case{"000000000000000000000000003", true, 3, EOF},
                    Case{std::string(1000, '9') + "!", true, INT32_MAX, '!'}),
    [](const testing::TestParamInfo<Case>& param) {
      return case_name(param.param.input);
    });

// Every input of up to five characters over an alphabet that holds each kind
// of character the read tells apart: a fixed, complete sweep beside the
// fuzzer's random one.
TEST(ReadChoiceModel, EveryShortInputReadsAsTheModelSays) {
  const std::string alphabet = " \n+-0139x";
  std::string input;
  std::size_t checked = 0, failed = 0;
  for (std::size_t length = 0; length <= 5; length++) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < length; i++) combinations *= alphabet.size();
    input.assign(length, ' ');
    for (std::size_t n = 0; n < combinations; n++) {
      for (std::size_t i = 0, rest = n; i < length; i++) {
        input[i] = alphabet[rest % alphabet.size()];
        rest /= alphabet.size();
      }
      checked++;
      if (!matches_model(reinterpret_cast<const std::uint8_t*>(input.data()),
                         input.size()) &&
          ++failed == 10)
        FAIL() << "stopping after 10 differences";
    }
  }
  EXPECT_EQ(failed, 0u) << "of " << checked << " inputs";
}

}  // namespace
