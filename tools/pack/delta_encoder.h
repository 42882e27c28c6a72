// The packager's half of delta packages: a patch (package/patch.h) that
// rebuilds one file from its older release, found with a suffix array of
// the old file the way bsdiff finds its matches, written in the gap form
// that the package's zlib stream then squeezes.
#pragma once

#include <cstdint>
#include <string>

// Largest old file a patch is made against: the suffix array holds int32
// offsets. Larger files travel whole.
constexpr int64_t kLargestPatchedFile = INT32_MAX - 1;

// The patch that turns `oldBytes` into `newBytes`, header (sizes and both
// SHA-256) included. `oldBytes` is at most kLargestPatchedFile bytes.
// Deterministic: the same two files always give the same patch. Returns
// an error text (a hash that cannot be made), empty on success.
std::string MakePatch(const std::string& oldBytes, const std::string& newBytes, std::string& patch);

// The suffix array of `text`: the start of every suffix in byte-wise
// order. libdivsufsort where the packager links it, else PlainSuffixSort.
void SuffixSort(const std::string& text, int32_t* suffixes);

// The same by plain prefix doubling, O(n log n): the Windows packager's
// sort (Debian has no libdivsufsort for mingw), several times slower and
// three times the memory.
void PlainSuffixSort(const std::string& text, int32_t* suffixes);
