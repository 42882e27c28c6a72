#include "update/error_page.h"

#include "util/file_io.h"
#include "util/text.h"

namespace {

constexpr size_t kInspectedBytes = 10000;

std::string FileHead(const std::string& path) {
  std::string head;
  TReadFile file;
  if (file.Open(path)) {
    head.resize(kInspectedBytes);
    const int64_t got = file.Read(&head[0], head.size());
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  return head;
}

}  // namespace

bool LooksLikeErrorPage(const std::string& content) {
  const std::string upper = UpperCase(content);
  return upper.find("<TITLE") != std::string::npos && upper.find("</TITLE") != std::string::npos;
}

void DetectErrorPage(const std::string& content, const std::string& url, std::string& message,
                     const char* defaultMessage) {
  if (LooksLikeErrorPage(content)) {
    message = "<b>404 File Not Found...</b><P><P>URL:  " + url;
  } else {
    message = defaultMessage;
  }
}

void DetectErrorPageInFile(const std::string& filePath, const std::string& url,
                           std::string& message) {
  DetectErrorPage(FileHead(filePath), url, message, kBadTokenMessage);
}
