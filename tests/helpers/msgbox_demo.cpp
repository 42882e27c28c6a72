// Shows one message box for a look at how it is drawn: bold text, the
// question icon and three buttons. It closes itself after the time-out
// given as the first argument (milliseconds, default 8000) and exits with
// the box's answer.
#include <cstdlib>

#include "ui/msgbox.h"

int main(int argc, char** argv) {
  const int32_t timeoutMs = argc > 1 ? std::atoi(argv[1]) : 8000;
  return ShowMsgBox(kOwnerActiveWindow,
                    "The setup of <B>Orvane Demo 2.1</B> needs 48 MB on drive C:.<P>"
                    "Do you want to extract the files to the <B>temporary folder</B> now?<P>"
                    "<T>Choose <B>Cancel</B> to stop the setup.",
                    "Orvane Setup", kDefaultButtonTexts, 0, MB_YESNOCANCEL | MB_ICONQUESTION,
                    timeoutMs);
}
