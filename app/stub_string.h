// Included ahead of every source of the launcher (cmake/windows.cmake).
// MinGW's C++ library asks for "fully dynamic" strings, where every empty
// string is a heap block of its own: made by each default-constructed
// string, freed by each destructor. The launcher instantiates its string
// code itself (app/stub_runtime.cpp) and exchanges strings with no prebuilt
// code, so it takes the library's usual form instead: empty strings share
// one static empty text and allocate nothing.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_FULLY_DYNAMIC_STRING
#define _GLIBCXX_FULLY_DYNAMIC_STRING 0
