// Test helper: reports how it reads its own command line. Writes, one per
// line, to the file named by /OUT=: CommandTail, SwitchValue("/WAIT="),
// SwitchInt("/WAIT=", -1), SwitchValue("/TEST"), HasSwitch("/test"),
// SwitchValue("/X=").
#include <windows.h>

#include <string>

#include "files/file_ops.h"
#include "util/winapi.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string out = SwitchValue("/OUT=");
  if (out.empty()) return 1;
  const std::string report = CommandTail() + "\n" + SwitchValue("/WAIT=") + "\n" +
                             std::to_string(SwitchInt("/WAIT=", -1)) + "\n" + SwitchValue("/TEST") +
                             "\n" + (HasSwitch("/test") ? "1" : "0") + "\n" + SwitchValue("/X=") +
                             "\n";
  return WriteWholeFile(out, report, 0, false) ? 0 : 1;
}
