#include "paths/folder_rules.h"

// The packager and the unit tests have no system to search: every run-time
// folder lookup finds nothing.
const TRunTimeSearch& SystemRunTimeSearch() {
  static const TRunTimeSearch search = {
      [](const std::string&) { return std::string(); },
      [](const std::string&) { return std::string(); },
      [](const std::string&, int) { return std::string(); },
      [](const std::string&, int) { return std::string(); },
      [](const std::string&) {},
  };
  return search;
}
