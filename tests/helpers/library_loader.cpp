// Test helper: loads libraries by bare name with the plain LoadLibraryA
// search (the program's own folder first), as a careless program would.
//
//   library_loader.exe NAME...
//
// Exit code: the number of names that loaded.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int loaded = 0;
  for (int i = 1; i < __argc; ++i) {
    if (LoadLibraryA(__argv[i]) != nullptr) ++loaded;
  }
  return loaded;
}
