// A file's date and time in the packed DOS form that packages carry.
#pragma once

#include <cstdint>
#include <string>

// Packed DOS date (high 16 bits) and time (low 16 bits) of the file's last
// write, in local time; -1 when the file or its date cannot be read.
int32_t FileDosDateTime(const std::string& path);
