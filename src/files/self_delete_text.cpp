#include "files/self_delete_text.h"

#include "util/text.h"

std::string SelfDeleteBatchText(const std::string& exePath, const std::string& folder,
                                const std::string& batchPath, bool removeFolder, bool shortNames) {
  const std::string_view q = shortNames ? "" : "\"";
  // DEL leaves errorlevel at 0 when the file is still in use, so the loop
  // also asks whether the file is still there.
  std::string text = Concat({":START\r\nDEL ", q, exePath, q,
                             "\r\nIF errorlevel 1 GOTO START\r\nIF EXIST ", q, exePath, q,
                             " GOTO START\r\n"});
  if (removeFolder) text += Concat({"RD ", q, folder, q, "\r\n"});
  text += Concat({"DEL ", q, batchPath, q, "\r\n"});
  return text;
}

std::string SelfDeleteFolderOf(const std::string& exePath) {
  return SetTrailingBackslash(ExtractFilePath(exePath), false);
}
