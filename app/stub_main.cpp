// The launcher's entry point: everything else lives in the libraries.
#include <windows.h>

#include "startup/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunStub(); }
