// Cases that a native test of the pure rules and a Wine test of the same
// rules on the real system both run, written once.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// An integer stored as text in a settings file, and what a 64-bit and a
// 32-bit field read from it.
struct TStoredInteger {
  const char* stored;
  int64_t int64Value;
  int32_t int32Value;
};

inline const TStoredInteger kStoredIntegers[] = {
    {"", 0, 0},
    {"abc", 0, 0},
    {"-1", -1, -1},
    {"12x", 0, 0},
    {"4294967297", 4294967297LL, 1},
    {"-2147483649", -2147483649LL, 2147483647},
    {"99999999999999999999", 0, 0},
};

// A run-time folder field list: fields 0..19 from (field, value) pairs.
inline std::string FieldList(const std::vector<std::pair<int, std::string>>& fields) {
  std::vector<std::string> values(20);
  for (const auto& field : fields) values[static_cast<size_t>(field.first)] = field.second;
  std::string list = "|";
  for (const std::string& value : values) list += value + "|";
  return list;
}
