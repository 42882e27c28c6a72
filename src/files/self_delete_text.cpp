#include "files/self_delete_text.h"

#include "util/text.h"

namespace {

// Views with their lengths fixed at compile time: a literal handed to
// Concat as it is would have its length counted by a call at run time.
constexpr std::string_view kQuote = "\"";
constexpr std::string_view kDeleteLoop = ":START\r\nDEL ";
// DEL leaves errorlevel at 0 when the file is still in use, so the loop
// also asks whether the file is still there.
constexpr std::string_view kRetryIfLeft = "\r\nIF errorlevel 1 GOTO START\r\nIF EXIST ";
constexpr std::string_view kLoopEnd = " GOTO START\r\n";
constexpr std::string_view kRemoveFolder = "RD ";
constexpr std::string_view kDelete = "DEL ";
constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string SelfDeleteBatchText(const std::string& exePath, const std::string& folder,
                                const std::string& batchPath, bool removeFolder, bool shortNames) {
  const std::string_view q = shortNames ? std::string_view() : kQuote;
  std::string text = Concat({kDeleteLoop, q, exePath, q, kRetryIfLeft, q, exePath, q, kLoopEnd});
  if (removeFolder) text += Concat({kRemoveFolder, q, folder, q, kLineEnd});
  text += Concat({kDelete, q, batchPath, q, kLineEnd});
  return text;
}

std::string SelfDeleteFolderOf(const std::string& exePath) {
  return SetTrailingBackslash(ExtractFilePath(exePath), false);
}
