// Template part of the extraction driver's pure rules.
#include "package/messages.h"
#include "util/text.h"

template <typename TextLookup>
std::string TempSpaceQuestion(const std::string& folder, double needed, double freeBytes,
                              bool alwaysShow, TextLookup texts) {
  std::string message;
  // Short space wins over the notice.
  if (needed >= freeBytes) {
    message = texts(kIdTempSpaceLow, kDefaultTempSpaceLow);
  } else if (alwaysShow) {
    message = texts(kIdTempNotice, kDefaultTempNotice);
  }
  if (message.empty()) return message;
  static const char* const kParts[] = {kIdSpaceRequired,  kDefaultSpaceRequired,
                                       kIdSpaceAvailable, kDefaultSpaceAvailable,
                                       kIdContinueSetup,  kDefaultContinueSetup};
  for (int i = 0; i < 6; i += 2) message += texts(kParts[i], kParts[i + 1]);
  return FillTempSpaceMarks(message, folder, needed, freeBytes);
}
