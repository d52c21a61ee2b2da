// libFuzzer's entry: any input must be read as the model reads it.
#include <cstdint>
#include <cstdlib>

#include "choice_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (!matches_model(data, size)) std::abort();
  return 0;
}
