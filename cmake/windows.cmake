# 32-bit Windows build: the launcher Stub.exe, the Windows tools, the test
# helper programs and the in-process tests that run under Wine.
set(WIN_DEFS WINVER=0x0501 _WIN32_WINNT=0x0501 NOMINMAX WIN32_LEAN_AND_MEAN)
set(WIN_COMPILE_OPTIONS -Wall -Wextra -ffunction-sections -fdata-sections)
set(WIN_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
# The product library never throws: without exception tables and RTTI, the
# C++ runtime's unwinder and demangler stay out of Stub.exe. Its guarded
# statics stay thread-safe for the packager's threads; the launcher, which
# runs on one thread, builds its statics without guard calls, so that the
# thread library stays out too. The packager, the tests and their helpers
# keep their own flags.
set(WIN_LEAN_OPTIONS -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables)
# The launcher is optimised as one whole program at link time (about a sixth
# smaller), from its own build of the library (orvane_stub) that holds the
# compiler's intermediate code; the other programs link the ordinary one.
# Inlining functions that have a single caller makes the whole program
# larger here (measured: about 2.4 KB), so it is off, and so is cloning
# functions for constant arguments; rewriting parameters (IPA-SRA) stays on
# (measured: about 400 bytes less).
# -Oz (smallest code, even where slower) rather than -Os: the launcher's
# per-byte work is inside zlib's decoding loop and the Adler-32, which keep
# their speed options below; about 1 KB less. Data is aligned only as the
# ABI needs (the default pads every array of 32 bytes or more to 32: about
# 500 bytes), and in the 32-bit build stack frames to the 4 bytes that
# 32-bit Windows guarantees anyway rather than 16 (64-bit code keeps the 16
# its calling convention requires). The 8-byte values a frame holds (file
# sizes and offsets, the doubles of the free-space figures) would still
# make the compiler realign the frames they live in (22 functions, about
# 560 bytes); x86 reads them at any 4-byte boundary, at worst a little
# slower, and faults on none, so the compiler is told the stack comes in
# aligned to 8 and realigns nothing. The launcher has no SSE code, which
# would need 16 and still be realigned for, and no code looks at where a
# local lies.
# Equal constant data is kept once (about 170 bytes less): the launcher
# never compares the addresses of two constant tables.
# In the 32-bit build, calls push their arguments rather than storing them
# into space reserved in the caller's frame, and each call to a function
# that pops its own arguments (every Windows function) then needs no fix-up
# of the stack pointer: about 9 KB less. The compiler pushes only where it
# need not probe the stack (it would probe, page by page, any frame of 4 KB
# or more), so that probing is off, and a frame as large as that fails the
# build instead: no launcher frame comes near it (the largest is about
# 2.6 KB), and large buffers are static.
set(STUB_LTO_OPTIONS -Oz -malign-data=abi -fmerge-all-constants -flto -fno-inline-functions-called-once
    -fno-ipa-cp-clone)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND STUB_LTO_OPTIONS -mpreferred-stack-boundary=2 -mincoming-stack-boundary=3 -mno-stack-arg-probe
       -Werror=frame-larger-than=3072)
endif()
set(STUB_LTO_LINK_OPTIONS ${STUB_LTO_OPTIONS} -flto-partition=one)
# The launcher's C++ emits constructors and destructors defined in headers
# as they stand, not as thunks around one shared body (which optimising for
# size asks for, and which COFF cannot alias): the owners of util/handle.h
# then inline like the calls they stand for (measured: about 330 bytes
# less). The compiler decides this before link time, for C++ only.
set(STUB_CXX_OPTIONS -fno-declone-ctor-dtor -include ${CMAKE_SOURCE_DIR}/app/stub_string.h)
# The library's C++ is built without four transformations that, in this
# code, cost more bytes than they save (measured together: about 500 bytes
# less): copying loop headers before loops (-ftree-ch), merging equal block
# tails through extra jumps (-ftree-tail-merge), keeping values in
# call-clobbered registers with saves around calls (-fcaller-saves) and
# copying statements to thread jumps (the duplication limit set to none).
# Its switches are compare chains rather than jump tables, and its function
# prologues stay at the entry rather than being moved past early exits
# (shrink-wrapping): about 130 bytes less, in code that runs once per
# message or file, not per byte.
# The speed-tuned pieces (zlib's decoding loop, the Adler-32) keep them.
set(STUB_LIBRARY_CXX_OPTIONS -fno-tree-ch -fno-tree-tail-merge -fno-caller-saves
    --param=max-jump-thread-duplication-stmts=0 -fno-jump-tables -fno-shrink-wrap)
set(WIN_SYSTEM_LIBS comctl32 gdi32 user32 advapi32 kernel32)
find_library(MINGW_ZLIB NAMES libz.a z REQUIRED)

add_library(orvane STATIC ${PORTABLE_SOURCES} ${WIN_SOURCES})
target_include_directories(orvane PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(orvane PUBLIC ${WIN_DEFS})
target_compile_options(orvane PRIVATE ${WIN_COMPILE_OPTIONS} ${WIN_LEAN_OPTIONS})
target_link_libraries(orvane PUBLIC ${MINGW_ZLIB} ${WIN_SYSTEM_LIBS})
target_link_options(orvane INTERFACE ${WIN_LINK_OPTIONS})

# zlib's inflater for the launcher, built here from zlib's own sources
# (third_party/zlib) as part of the whole program: optimised for size and
# with its unused entry points dropped, where the prebuilt library brings
# speed-optimised code and every inflate function (about 12 KB more). The
# inner decoding loop, which runs over every byte of every entry, stays
# optimised for speed, but without the padding that aligns its loops and
# jump targets (about 110 bytes with the Adler-32's): measured under Wine
# on 14 MB of text-like data, both inflate at the same 220 MB/s.
# STUB_SPEED_OPTIONS is that option set.
set(STUB_SPEED_OPTIONS -O2 -falign-functions=1 -falign-loops=1 -falign-jumps=1 -falign-labels=1)
set(STUB_ZLIB_DIR ${CMAKE_SOURCE_DIR}/third_party/zlib)
add_library(stub_inflate STATIC ${STUB_ZLIB_DIR}/inflate.c ${STUB_ZLIB_DIR}/inftrees.c
            ${STUB_ZLIB_DIR}/inffast.c ${STUB_ZLIB_DIR}/zutil.c)
target_include_directories(stub_inflate BEFORE PUBLIC ${STUB_ZLIB_DIR})
target_compile_definitions(stub_inflate PRIVATE NO_GZIP BUILDFIXED)
target_compile_options(stub_inflate PRIVATE -ffunction-sections -fdata-sections
                       -fno-asynchronous-unwind-tables -fno-unwind-tables ${STUB_LTO_OPTIONS})
set_source_files_properties(${STUB_ZLIB_DIR}/inffast.c PROPERTIES COMPILE_OPTIONS "${STUB_SPEED_OPTIONS}")
# The rest of the inflater (the block and header states, the table builder)
# runs once per block or per output buffer, and is built without seven
# transformations that make it larger here (measured together: 168 bytes
# less; 20 rounds of 14 MB of text under Wine take the same CPU time):
# loop optimisations, splitting aggregates into scalars, loop-header copying,
# statement copying to thread jumps, if-conversion, global common
# subexpressions and PHI-node rewriting.
set_source_files_properties(${STUB_ZLIB_DIR}/inflate.c ${STUB_ZLIB_DIR}/inftrees.c PROPERTIES COMPILE_OPTIONS
  "-fno-tree-loop-optimize;-fno-tree-sra;-fno-tree-ch;--param=max-jump-thread-duplication-stmts=0;-fno-if-conversion;-fno-gcse;-fno-ssa-phiopt")

add_library(orvane_stub STATIC ${PORTABLE_SOURCES} ${WIN_SOURCES})
target_include_directories(orvane_stub PUBLIC ${CMAKE_SOURCE_DIR}/src)
# The launcher's strings are the reference-counted kind of libstdc++'s older
# ABI: a copy shares the text, and a string is one pointer rather than 24
# bytes, so every copy, temporary and release is a short call (about 2 KB
# less in all). The launcher runs on one thread and handles short texts;
# every piece of it, the library included, is built with this setting, and
# nothing it links exchanges strings with the other kind.
target_compile_definitions(orvane_stub PUBLIC ${WIN_DEFS} _GLIBCXX_USE_CXX11_ABI=0)
target_compile_options(orvane_stub PRIVATE ${WIN_COMPILE_OPTIONS} ${WIN_LEAN_OPTIONS} -fno-threadsafe-statics
                       ${STUB_LTO_OPTIONS} ${STUB_CXX_OPTIONS} ${STUB_LIBRARY_CXX_OPTIONS})
target_link_libraries(orvane_stub PUBLIC stub_inflate ${WIN_SYSTEM_LIBS})
target_link_options(orvane_stub INTERFACE ${WIN_LINK_OPTIONS})

# The programs users get (the launcher, the viewer, the Windows packager) go
# to ORVANE_BIN_DIR; the sample's setup program, the test helpers and the
# Wine tests go to ORVANE_TEST_BIN_DIR, so that the product folder holds
# only what ships.
set(ORVANE_TEST_BIN_DIR ${CMAKE_BINARY_DIR}/bin CACHE PATH "Where the test helpers and the sample's setup program go")
option(ORVANE_TESTS "Build the Wine tests (needs GoogleTest's sources)" ON)

# Adds a GUI-subsystem program built from `sources`, placed in ORVANE_BIN_DIR.
function(orvane_gui_program name)
  add_executable(${name} WIN32 ${ARGN})
  target_link_libraries(${name} PRIVATE orvane)
  target_link_options(${name} PRIVATE -s)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVANE_BIN_DIR})
endfunction()

# The same for a program that only the tests and the demos use.
function(orvane_test_program name)
  orvane_gui_program(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVANE_TEST_BIN_DIR})
endfunction()

# The launcher: entry point plus resources. The packages' trailer reader
# expects "PE" at offset 256 and PackageEnd at 252, so the NT headers are
# moved there after linking.
add_executable(Stub WIN32 app/stub_main.cpp app/stub_runtime.cpp app/stub_zlib.cpp app/stub.rc)
target_link_libraries(Stub PRIVATE orvane_stub)
target_link_options(Stub PRIVATE -s)
set_target_properties(Stub PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVANE_BIN_DIR})
# The version resource takes the project's version from the generated header.
target_include_directories(Stub PRIVATE ${CMAKE_BINARY_DIR}/generated)
# The resource compiler's dependency scan sees neither the icon nor that header.
set_source_files_properties(app/stub.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/app/MainIcon.ico;${CMAKE_BINARY_DIR}/generated/orvane_version.h")
# Adler-32 runs over every inflated byte: optimised for speed, not size
# (without alignment padding, as zlib's decoding loop).
set_source_files_properties(app/stub_zlib.cpp PROPERTIES COMPILE_OPTIONS "${STUB_SPEED_OPTIONS}")
target_compile_options(Stub PRIVATE ${WIN_LEAN_OPTIONS} -fno-threadsafe-statics ${STUB_LTO_OPTIONS}
                       ${STUB_CXX_OPTIONS})
# The launcher starts in its own entry point (app/stub_runtime.cpp), without
# the C runtime's start-up files. Like NSIS's stub it has a fixed image base,
# so no relocation table. The link map is what bench/stub-size.sh sums by
# archive.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(STUB_ENTRY _StubStartup)
else()
  set(STUB_ENTRY StubStartup)
endif()
target_link_options(Stub PRIVATE -nostartfiles -Wl,-e,${STUB_ENTRY}
  -Wl,--disable-dynamicbase,--disable-reloc-section -Wl,-Map,${CMAKE_BINARY_DIR}/Stub.map
  ${STUB_LTO_LINK_OPTIONS})
# Nothing in the launcher unwinds the stack, so the unwind tables that the
# prebuilt zlib and the compiler's helper routines bring are dropped: the
# linker's default script, with those tables discarded instead of kept.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -Wl,--verbose -nostdlib -o /dev/null
    OUTPUT_VARIABLE link_verbose ERROR_QUIET)
  string(REGEX MATCH "==================================================\n(.*)\n==================================================" link_script "${link_verbose}")
  set(link_script "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "[.]eh_frame[^{]*{[^}]*}" "/DISCARD/ : { *(.eh_frame*) }" stub_script "${link_script}")
  if(stub_script STREQUAL link_script OR NOT stub_script MATCHES "DISCARD")
    message(FATAL_ERROR "The linker's default script has no .eh_frame output to drop")
  endif()
  # The read-only data goes into the code section, as it does in many small
  # Windows programs: one section less to pad to the 512-byte file alignment.
  string(REGEX REPLACE "[*][(][.]rdata[)][ \t\n]*[*][(]SORT[(][.]rdata[$][*][)][)]" ""
         without_rdata "${stub_script}")
  string(REPLACE "KEEP (*(.gcc_except_table))"
         "KEEP (*(.gcc_except_table))\n    *(.rdata)\n    *(SORT(.rdata$*))" merged_script
         "${without_rdata}")
  if(without_rdata STREQUAL stub_script OR merged_script STREQUAL without_rdata)
    message(FATAL_ERROR "The linker's default script has no .rdata inputs to move into .text")
  endif()
  # The image keeps two sections, code and writable data, so that its
  # headers fit in 512 bytes (cmake/pe_compact.py trims them after the link)
  # and only two sections are padded to the 512-byte file alignment. The
  # resources and the larger import tables that the loader only reads (the
  # name lookups and the names of the functions) go into the code section.
  # The writable data section holds the few bytes of writable data, the
  # import descriptors and the DLL names (filling what would otherwise be
  # the padding of its 512 bytes in the file), and then the import address
  # table that the loader fills in, in front of the zeroed data.
  # pe_compact.py points the import and resource directories at the bounds
  # named here.
  # The data section's 512 bytes in the file have room left after the DLL
  # names (about 190 bytes), which the code section would otherwise pay for:
  # gdi32's name lookups and function names, comctl32's function name and
  # lookups and advapi32's lookups (248 bytes) go there instead. The loader
  # reads them wherever they lie.
  string(REGEX MATCH "  [.]data BLOCK[(]__section_alignment__[)] :\n  {\n([^}]*)  }\n" data_block
         "${merged_script}")
  set(data_inputs "${CMAKE_MATCH_1}")
  string(REPLACE "${data_block}" "" without_data "${merged_script}")
  string(REGEX MATCH "  [.]idata BLOCK[(]__section_alignment__[)] :\n  {\n([^}]*)  }\n" import_block
         "${without_data}")
  set(import_inputs "${CMAKE_MATCH_1}")
  string(REGEX MATCH "^.*LONG [(]0[)]; LONG [(]0[)]; LONG [(]0[)]; LONG [(]0[)]; LONG [(]0[)];\n"
         descriptors "${import_inputs}")
  string(REGEX MATCH "    KEEP [(]SORT[(][*][)][(][.]idata[$]4[)][)]\n" lookups "${import_inputs}")
  string(REGEX MATCH "    __IAT_start__ = [.];\n[^\n]*\n    __IAT_end__ = [.];\n" address_table
         "${import_inputs}")
  string(REGEX MATCH "    KEEP [(]SORT[(][*][)][(][.]idata[$]6[)][)]\n" function_names "${import_inputs}")
  string(REGEX MATCH "    KEEP [(]SORT[(][*][)][(][.]idata[$]7[)][)]\n" dll_names "${import_inputs}")
  string(REGEX MATCH "  [.]rsrc BLOCK[(]__section_alignment__[)] : SUBALIGN[(]4[)]\n  {\n([^}]*)  }\n"
         resource_block "${without_data}")
  set(resource_inputs "${CMAKE_MATCH_1}")
  if(data_block STREQUAL "" OR resource_block STREQUAL "" OR NOT
     "${descriptors}${lookups}${address_table}${function_names}${dll_names}" STREQUAL "${import_inputs}")
    message(FATAL_ERROR "The linker's default script has no .data, .idata or .rsrc block as expected")
  endif()
  # The code section's rules leave those libraries out; the data section's,
  # placed later in the script, take what is left.
  string(REPLACE "SORT(*)" "SORT(EXCLUDE_FILE(*libgdi32.a:* *libcomctl32.a:* *libadvapi32.a:*) *)"
         code_lookups "${lookups}")
  string(REPLACE "SORT(*)" "SORT(EXCLUDE_FILE(*libgdi32.a:* *libcomctl32.a:*) *)" code_function_names
         "${function_names}")
  string(REPLACE "${import_block}" "" without_imports "${without_data}")
  string(REPLACE "${resource_block}" "" without_resources "${without_imports}")
  string(REPLACE "    *(SORT(.rdata$*))\n"
         "    *(SORT(.rdata$*))\n${code_lookups}${code_function_names}    . = ALIGN(4);\n    __rsrc_start__ = .;\n${resource_inputs}    __rsrc_end__ = .;\n"
         code_with_tables "${without_resources}")
  set(bss_block "  .bss BLOCK(__section_alignment__) :\n")
  string(REPLACE "${bss_block}"
         "  .data BLOCK(__section_alignment__) :\n  {\n${data_inputs}    . = ALIGN(4);\n    __imports_start__ = .;\n${descriptors}    __imports_end__ = .;\n${dll_names}    . = ALIGN(4);\n${lookups}${function_names}    . = ALIGN(4);\n${address_table}  }\n${bss_block}"
         two_sections "${code_with_tables}")
  if(code_with_tables STREQUAL without_resources OR two_sections STREQUAL code_with_tables)
    message(FATAL_ERROR "The linker's default script has no .rdata inputs or .bss block to merge into")
  endif()
  # Each imported function's member of an import library carries four bytes
  # in .idata$7 that only point at its library's head, to pull the head into
  # the link; the loader never reads them (about 600 bytes in all). They are
  # dropped, before any other rule takes .idata$7 inputs; the library's
  # tail member keeps the DLL name that the import descriptor names, also in
  # .idata$7.
  string(REPLACE "SECTIONS\n{\n"
         "SECTIONS\n{\n  /DISCARD/ : { *s[0-9][0-9][0-9][0-9][0-9].o(.idata$7) }\n"
         without_head_refs "${two_sections}")
  if(without_head_refs STREQUAL two_sections)
    message(FATAL_ERROR "The linker's default script has no SECTIONS block to drop head references in")
  endif()
  set(stub_script "${without_head_refs}")
  file(WRITE ${CMAKE_BINARY_DIR}/stub.ld "${stub_script}")
  target_link_options(Stub PRIVATE -Wl,-T,${CMAKE_BINARY_DIR}/stub.ld)
  set_target_properties(Stub PROPERTIES LINK_DEPENDS ${CMAKE_BINARY_DIR}/stub.ld)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_custom_command(TARGET Stub POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/pe_compact.py $<TARGET_FILE:Stub>
            ${CMAKE_BINARY_DIR}/Stub.map
    COMMENT "Fitting the headers of Stub.exe in 512 bytes, its zeroed data outside the file")
endif()
add_custom_command(TARGET Stub POST_BUILD
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/pe_relocate.py $<TARGET_FILE:Stub>
  COMMENT "Moving the PE header of Stub.exe to offset 256")

# Windows tools.
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/debugview/CMakeLists.txt)
  add_subdirectory(tools/debugview)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/pack/CMakeLists.txt)
  add_subdirectory(tools/pack)
endif()

# Benchmark programs: only built when named (see bench/CMakeLists.txt).
add_subdirectory(bench)

# The bundled sample's setup program, packed by the main-job command.
orvane_test_program(SampleSetup sample/setup/sample_setup.cpp)

# Test helper programs, one per file; the main job and the demos drive some
# of them too, so they need no GoogleTest.
file(GLOB HELPER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/helpers/*.cpp)
foreach(helper_source ${HELPER_SOURCES})
  get_filename_component(helper_name ${helper_source} NAME_WE)
  orvane_test_program(${helper_name} ${helper_source})
endforeach()

# Libraries planted beside a launcher under system library names, for the
# test that the launcher loads those only from the system folder. They sit
# in their own folder so that no other test program picks them up.
foreach(planted wininet psapi riched32 shfolder shell32)
  add_library(planted_${planted} SHARED ${CMAKE_SOURCE_DIR}/tests/helpers/planted_dll/planted_dll.cpp)
  target_link_options(planted_${planted} PRIVATE -static -static-libgcc -s)
  set_target_properties(planted_${planted} PROPERTIES PREFIX "" OUTPUT_NAME ${planted}
    RUNTIME_OUTPUT_DIRECTORY ${ORVANE_TEST_BIN_DIR}/planted)
endforeach()

if(NOT ORVANE_TESTS)
  return()
endif()

# GoogleTest, cross-compiled from Debian's sources.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Every Wine test program runs through winerun.sh: its own Wine prefix
# (copied from a template made once per build tree), its own Xvfb display
# with a window manager, and a time limit.
set(WINERUN ${CMAKE_SOURCE_DIR}/tests/tools/winerun.sh)
# The native packager used by the end-to-end tests (built by the native preset).
set(ORVANE_NATIVE_BIN_DIR ${CMAKE_SOURCE_DIR}/build/bin CACHE PATH "Where the native orvane-pack is")
set(WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine-template)
math(EXPR ORVANE_ARCH_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
file(GLOB WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
foreach(test_source ${WINE_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(wine_${test_name} ${test_source})
  target_link_libraries(wine_${test_name} PRIVATE orvane_packager orvane gtest)
  target_include_directories(wine_${test_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_sources(wine_${test_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine/wine_test_main.cpp)
  target_compile_definitions(wine_${test_name} PRIVATE
    ORVANE_HELPER_DIR="${ORVANE_TEST_BIN_DIR}" ORVANE_PRODUCT_DIR="${ORVANE_BIN_DIR}")
  add_test(NAME wine.${test_name}
    COMMAND ${WINERUN} --template ${WINE_TEMPLATE} --timeout 300 --
            wine $<TARGET_FILE:wine_${test_name}> --gtest_color=no)
  set_tests_properties(wine.${test_name} PROPERTIES TIMEOUT 360 LABELS wine)
endforeach()

# End-to-end tests: Python drivers that run the built programs under Wine.
file(GLOB E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(test_source ${E2E_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_test(NAME e2e.${test_name}
    COMMAND ${WINERUN} --template ${WINE_TEMPLATE} --timeout 600 --
            ${Python3_EXECUTABLE} ${test_source})
  # Files about downloads (web setup, agent) also get the loopback servers.
  set(e2e_servers "")
  if(test_name MATCHES "web|agent|dll")
    set(e2e_servers ";ORVANE_HTTP_SERVERS=1")
  endif()
  # The end-to-end files are the longest runs: start them first (the agent's
  # and the faults' files take about four minutes, the tools' package's
  # first run makes a Debian root) so that the short ones fill the gaps.
  set(e2e_cost 50)
  if(test_name MATCHES "agent|faults|tools_package")
    set(e2e_cost 1000)
  endif()
  set_tests_properties(e2e.${test_name} PROPERTIES TIMEOUT 660 LABELS e2e COST ${e2e_cost}
    ENVIRONMENT "ORVANE_ARCH_BITS=${ORVANE_ARCH_BITS};ORVANE_BIN_DIR=${ORVANE_BIN_DIR};ORVANE_TEST_BIN_DIR=${ORVANE_TEST_BIN_DIR};ORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};ORVANE_NATIVE_BIN_DIR=${ORVANE_NATIVE_BIN_DIR}${e2e_servers}")
endforeach()
# The trust file's pinned-key cases twice saw a Wine program end with a
# non-zero code while the faults' file ran beside them, never when run
# alone; until the code it now reports names the cause, it runs alone.
if(TEST e2e.test_agent_trust)
  set_tests_properties(e2e.test_agent_trust PROPERTIES RUN_SERIAL TRUE)
endif()

# The download tests get a loopback nginx and the fault-injecting server.
if(TEST wine.http_client_test)
  set_tests_properties(wine.http_client_test PROPERTIES ENVIRONMENT "ORVANE_HTTP_SERVERS=1")
endif()
