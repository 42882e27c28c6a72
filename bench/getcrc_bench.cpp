// Throughput of GetCrc on a warm file: writes a launcher-image file of the
// given size (MB, default 200), checks GetCrc against the in-memory sum,
// then times several runs. Goal: at least 2000 MB/s from a warm cache.
//   getcrc_bench.exe [MB]
//   getcrc_bench.exe --package PATH   times an existing package instead and
//                                     checks the sum against its trailer
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/file_ops.h"
#include "package/checksum.h"
#include "package/format.h"
#include "package/package_info.h"

namespace {

// Times GetCrc five times on `path`; false when a sum is wrong.
bool TimeRuns(const std::string& path, int32_t trailerLength, uint32_t expected, double megabytes) {
  int failures = 0;
  for (int run = 0; run < 5; ++run) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const uint32_t crc = GetCrc(path, trailerLength);
    QueryPerformanceCounter(&end);
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    failures += crc != expected;
    std::printf("run %d: %.1f MB in %.3f s = %.0f MB/s%s\n", run, megabytes, seconds,
                megabytes / seconds, crc == expected ? "" : "  WRONG SUM");
  }
  return failures == 0;
}

// An existing package; MB here are 10^6 bytes, as in the peer tables.
int TimePackage(const std::string& path) {
  PackageTrailer trailer{};
  if (!ReadTrailer(path, trailer)) {
    std::printf("cannot read the trailer of %s\n", path.c_str());
    return 1;
  }
  const double megabytes = double(FileSizeOf(path)) / 1e6;
  return TimeRuns(path, trailer.TrailerLength, trailer.ExpectedCrc, megabytes) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--package") == 0) return TimePackage(argv[2]);
  const int64_t megabytes = argc > 1 ? std::atoll(argv[1]) : 200;
  const int64_t size = megabytes << 20;
  std::string image(static_cast<size_t>(size), '\0');
  uint32_t seed = 12345;
  for (size_t i = 0; i < image.size(); i += 4) {
    seed = seed * 1103515245u + 12345u;
    std::memcpy(&image[i], &seed, 4);
  }
  image[0] = 'M';
  image[1] = 'Z';
  image[kPeSignatureOffset] = 'P';
  image[kPeSignatureOffset + 1] = 'E';
  const int32_t packageEnd = static_cast<int32_t>(size);
  std::memcpy(&image[kPackageEndOffset], &packageEnd, 4);

  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "getcrc_bench.bin";
  if (!WriteWholeFile(path, image, 0, false)) {
    std::printf("cannot write %s\n", path.c_str());
    return 1;
  }
  const uint32_t expected = CrcOfImage(image);
  image.clear();
  image.shrink_to_fit();

  const bool ok = TimeRuns(path, kTrailerSize, expected, double(megabytes));
  DeleteFileA(path.c_str());
  return ok ? 0 : 1;
}
