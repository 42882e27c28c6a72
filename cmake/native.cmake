# Native (Linux) build: the portable logic, the packager, and the unit tests,
# which run with AddressSanitizer and UndefinedBehaviorSanitizer.
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
# The packager reads publisher certificates and hashes packages with it.
find_package(OpenSSL REQUIRED)
option(ORVANE_TESTS "Build the native unit tests (needs GoogleTest)" ON)
# The fuzz tree (its own preset, built with clang) holds only the fuzz
# targets: no packager that would replace build/bin/orvane-pack.
option(ORVANE_FUZZ "Build only the libFuzzer targets (needs clang)" OFF)
if(ORVANE_FUZZ)
  add_subdirectory(tests/fuzz)
  return()
endif()

set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(orvane_portable STATIC ${PORTABLE_SOURCES} ${POSIX_SOURCES})
target_include_directories(orvane_portable PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(orvane_portable PUBLIC ZLIB::ZLIB Threads::Threads)
target_compile_options(orvane_portable PRIVATE -Wall -Wextra)

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/pack/CMakeLists.txt)
  add_subdirectory(tools/pack)
endif()

if(NOT ORVANE_TESTS)
  return()
endif()
find_package(GTest REQUIRED)
include(GoogleTest)

# Every C++ source keeps the project's layout: a file that differs fails here.
add_test(NAME native.format COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-format.sh)
# The layers run one way: nothing below startup/ includes it.
add_test(NAME native.layers COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh)

# The same sources, instrumented, for the unit tests.
add_library(orvane_portable_san STATIC ${PORTABLE_SOURCES} ${POSIX_SOURCES})
target_include_directories(orvane_portable_san PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(orvane_portable_san PUBLIC ${SANITIZE_FLAGS})
target_link_options(orvane_portable_san PUBLIC ${SANITIZE_FLAGS})
target_link_libraries(orvane_portable_san PUBLIC ZLIB::ZLIB Threads::Threads)

orvane_packager_lib(orvane_packager_san orvane_portable_san)

file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
foreach(test_source ${NATIVE_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(native_${test_name} ${test_source})
  target_link_libraries(native_${test_name} PRIVATE orvane_packager_san orvane_portable_san GTest::gtest_main)
  target_include_directories(native_${test_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_compile_definitions(native_${test_name} PRIVATE
    ORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}" ORVANE_PACK="${ORVANE_BIN_DIR}/orvane-pack")
  gtest_discover_tests(native_${test_name} TEST_PREFIX "native.")
endforeach()

# The launcher's inflate: the zlib sources and the Adler-32 that Stub.exe is
# built from, their names prefixed "z_" so that they sit beside the system
# zlib of the product library. The packager's level test reads every
# compressor's streams back with it.
set(STUB_ZLIB_DIR ${CMAKE_SOURCE_DIR}/third_party/zlib)
add_library(native_stub_inflate STATIC ${STUB_ZLIB_DIR}/inflate.c ${STUB_ZLIB_DIR}/inftrees.c
            ${STUB_ZLIB_DIR}/inffast.c ${STUB_ZLIB_DIR}/zutil.c ${CMAKE_SOURCE_DIR}/app/stub_zlib.cpp)
target_include_directories(native_stub_inflate BEFORE PUBLIC ${STUB_ZLIB_DIR})
target_compile_definitions(native_stub_inflate PUBLIC Z_PREFIX PRIVATE NO_GZIP BUILDFIXED)
target_link_libraries(native_pack_levels_test PRIVATE native_stub_inflate)
