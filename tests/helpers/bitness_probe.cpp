// Test helper: ends with its own pointer width in bits (32 or 64). The test
// command starts it under Wine to learn whether this host runs 32-bit
// Windows code at all; a host that cannot never gets to the exit code.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return static_cast<int>(sizeof(void*) * 8); }
