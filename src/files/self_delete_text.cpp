#include "files/self_delete_text.h"

#include "util/text.h"

std::string SelfDeleteBatchText(const std::string& exePath, const std::string& folder,
                                const std::string& batchPath, bool removeFolder, bool shortNames) {
  const std::string q = shortNames ? "" : "\"";
  std::string text = ":START\r\n";
  text += "DEL " + q + exePath + q + "\r\n";
  text += "IF errorlevel 1 GOTO START\r\n";
  // DEL leaves errorlevel at 0 when the file is still in use, so the loop
  // also asks whether the file is still there.
  text += "IF EXIST " + q + exePath + q + " GOTO START\r\n";
  if (removeFolder) text += "RD " + q + folder + q + "\r\n";
  text += "DEL " + q + batchPath + q + "\r\n";
  return text;
}

std::string SelfDeleteFolderOf(const std::string& exePath) {
  return SetTrailingBackslash(ExtractFilePath(exePath), false);
}
