// Recognising an HTML page received in place of a file.
#pragma once

#include <string>

// `message` becomes "<b>404 File Not Found...</b><P><P>URL:  " + url when
// `content` holds both "<TITLE" and "</TITLE" (any letter case); otherwise
// it is `defaultMessage`.
void DetectErrorPage(const std::string& content, const std::string& url, std::string& message,
                     const char* defaultMessage);
// The same for the first 10000 bytes of the file `filePath` (none when it
// does not exist), a downloaded package refused for its token: the default
// message is kBadTokenMessage.
void DetectErrorPageInFile(const std::string& filePath, const std::string& url,
                           std::string& message);

inline constexpr char kBadTokenMessage[] = "Bad Secret Token!";

// The content test alone.
bool LooksLikeErrorPage(const std::string& content);
