// Template part of the extraction driver's pure rules.
#include "package/messages.h"
#include "util/text.h"

template <typename TextLookup>
std::string TempSpaceQuestion(const std::string& folder, double needed, double freeBytes,
                              bool alwaysShow, TextLookup texts) {
  std::string message;
  if (alwaysShow) message = texts("s2", kDefaultTempNotice);
  if (needed >= freeBytes) message = texts("s3", kDefaultTempSpaceLow);
  if (message.empty()) return message;
  message += texts("s4", kDefaultSpaceRequired) + texts("s5", kDefaultSpaceAvailable) + texts("s6", kDefaultContinueSetup);
  message = ReplaceAll(message, "<DRIVE>", TempNoticeDrive(folder));
  message = ReplaceAll(message, "<SPACE_REQ>", FormatMB(needed));
  return ReplaceAll(message, "<SPACE_AVAIL>", FormatMB(freeBytes));
}
