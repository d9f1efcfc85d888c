// Reading which of the archive's files the user wants: "1 3-5, 8".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace sfxstub {

// One flag per file (numbered from 1 to count), set for the chosen ones;
// nothing when the answer names no file or something that is not a number
// or range within 1 to count.
std::optional<std::vector<bool>> ParseChoice(const std::string& answer, size_t count);

}  // namespace sfxstub
