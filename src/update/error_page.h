// Recognising an HTML page received in place of a file.
#pragma once

#include <string>

// `message` becomes "<b>404 File Not Found...</b><P><P>URL:  " + url when
// the first 10000 bytes of `filePath` (when it names an existing file) or
// else `content` hold both "<TITLE" and "</TITLE" (any letter case);
// otherwise it is `defaultMessage`.
void DetectErrorPage(const std::string& filePath, const std::string& content,
                     const std::string& url, std::string& message, const char* defaultMessage);

// The content test alone.
bool LooksLikeErrorPage(const std::string& content);
