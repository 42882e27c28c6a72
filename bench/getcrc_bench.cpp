// Throughput of GetCrc on a warm file: writes a launcher-image file of the
// given size (MB, default 200), checks GetCrc against the in-memory sum,
// then times several runs. Goal: at least 2000 MB/s from a warm cache.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/file_ops.h"
#include "package/checksum.h"
#include "package/format.h"

int main(int argc, char** argv) {
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

  int failures = 0;
  for (int run = 0; run < 5; ++run) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const uint32_t crc = GetCrc(path, kTrailerSize);
    QueryPerformanceCounter(&end);
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    failures += crc != expected;
    std::printf("run %d: %lld MB in %.3f s = %.0f MB/s%s\n", run, static_cast<long long>(megabytes),
                seconds, double(megabytes) / seconds, crc == expected ? "" : "  WRONG SUM");
  }
  DeleteFileA(path.c_str());
  return failures == 0 ? 0 : 1;
}
