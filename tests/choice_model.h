#ifndef GLIMMERQUAY_CHOICE_MODEL_H
#define GLIMMERQUAY_CHOICE_MODEL_H

#include <cstddef>
#include <cstdint>

// Runs read_choice on these bytes and compares what it converted, the value
// and the first character it left unread with a model of the same read.
// On a difference, says so on standard error and returns false.
bool matches_model(const std::uint8_t* data, std::size_t size);

#endif
