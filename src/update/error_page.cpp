#include "update/error_page.h"


#include "util/file_io.h"
#include "util/text.h"

namespace {

constexpr size_t kInspectedBytes = 10000;

std::string FileHead(const std::string& path) {
  TReadFile file;
  if (!file.Open(path)) return "";
  std::string head(kInspectedBytes, '\0');
  const int64_t got = file.Read(&head[0], head.size());
  head.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return head;
}

}  // namespace

bool LooksLikeErrorPage(const std::string& content) {
  return PosText("<TITLE", content) > 0 && PosText("</TITLE", content) > 0;
}

void DetectErrorPage(const std::string& filePath, std::string content, const std::string& url,
                     std::string& message, const std::string& defaultMessage) {
  message = defaultMessage;
  if (!filePath.empty() && FileExists(filePath)) content = FileHead(filePath);
  if (LooksLikeErrorPage(content)) message = "<b>404 File Not Found...</b><P><P>URL:  " + url;
}
