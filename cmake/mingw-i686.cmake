# Cross build of the 32-bit Windows programs with mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The launcher's library holds link-time-optimisation objects, whose symbols
# only the compiler's archiver wrapper indexes.
set(CMAKE_AR /usr/bin/i686-w64-mingw32-gcc-ar-posix CACHE FILEPATH "Archiver" FORCE)
set(CMAKE_RANLIB /usr/bin/i686-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "Archive indexer" FORCE)
