// Applies patches of a delta package with the launcher's decoder and plain
// Win32 file calls, as the launcher will: the old file read where the
// records point, the new one written in order, the patch fed in pieces.
//   patch_apply.exe OLD PATCH NEW [OLD PATCH NEW ...]
// Prints the milliseconds of each patch and of all, then the process's
// PeakWorkingSetSize. Exit code 1 when a patch fails.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <memory>

#include "package/patch.h"
#include "util/handle.h"

namespace {

class TFileTarget : public TPatchTarget {
 public:
  TFileTarget(HANDLE old, HANDLE out) : old_(old), out_(out) {}

  bool Begin(const TPatchHeader& header) override {
    LARGE_INTEGER size;
    return GetFileSizeEx(old_, &size) && static_cast<uint64_t>(size.QuadPart) == header.OldSize;
  }
  bool ReadOld(uint64_t offset, uint8_t* data, size_t count) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    return SetFilePointerEx(old_, at, nullptr, FILE_BEGIN) &&
           ReadFile(old_, data, static_cast<DWORD>(count), &got, nullptr) && got == count;
  }
  bool Write(const uint8_t* data, size_t size) override {
    DWORD put = 0;
    return WriteFile(out_, data, static_cast<DWORD>(size), &put, nullptr) && put == size;
  }

 private:
  HANDLE old_;
  HANDLE out_;
};

TFileHandle Open(const char* path, bool write) {
  return TFileHandle(CreateFileA(path, write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ,
                                 nullptr, write ? CREATE_ALWAYS : OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// Applies one patch; returns the decoder's reason, or "" when done.
const char* Apply(const char* oldPath, const char* patchPath, const char* newPath) {
  TFileHandle old = Open(oldPath, false);
  TFileHandle patch = Open(patchPath, false);
  TFileHandle out = Open(newPath, true);
  if (!old || !patch || !out) return "cannot open a file";
  TFileTarget target(old.get(), out.get());
  TPatchDecoder decoder(target);
  std::unique_ptr<uint8_t[]> piece(new uint8_t[kPatchBufferSize]);
  DWORD got = 0;
  TPatchState state = TPatchState::Running;
  while (state != TPatchState::Failed &&
         ReadFile(patch.get(), piece.get(), kPatchBufferSize, &got, nullptr) && got > 0) {
    state = decoder.Feed(piece.get(), got);
  }
  return decoder.Finish() == TPatchState::Done ? "" : decoder.Error();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (argc - 1) % 3 != 0) {
    std::fprintf(stderr, "usage: patch_apply.exe OLD PATCH NEW [OLD PATCH NEW ...]\n");
    return 2;
  }
  int failed = 0;
  LARGE_INTEGER first, start, end;
  QueryPerformanceCounter(&first);
  for (int i = 1; i + 2 < argc; i += 3) {
    QueryPerformanceCounter(&start);
    const char* error = Apply(argv[i], argv[i + 1], argv[i + 2]);
    QueryPerformanceCounter(&end);
    failed += *error != 0;
    std::printf("%s %.1f ms%s%s\n", argv[i + 2], Milliseconds(start, end),
                *error ? " FAILED: " : "", error);
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("total %.1f ms\npeak_working_set %lu\n", Milliseconds(first, end),
              static_cast<unsigned long>(memory.PeakWorkingSetSize));
  return failed ? 1 : 0;
}
