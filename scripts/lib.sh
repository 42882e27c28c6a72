# Shared by the README's commands: configuring and building one preset, and
# finding out which Windows build this host's Wine can run.

# configure_and_build PRESET TESTS(ON|OFF) [TARGET...]: configures PRESET,
# with or without its tests, and builds the targets named (all without any).
configure_and_build() {
  local preset=$1 tests=$2
  shift 2
  cmake --preset "$preset" -DORVANE_TESTS="$tests" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" -j "$(nproc)" --target "$@"
  else
    cmake --build --preset "$preset" -j "$(nproc)"
  fi
}

# wine_runs_bits BITS: true when this host's Wine runs the BITS-bit build's
# probe (built in build/win or build/win64) and it reports BITS. Prepares
# that build's Wine prefix template on the way.
wine_runs_bits() {
  local bits=$1 tree=build/win
  [ "$bits" = 64 ] && tree=build/win64
  local code
  tests/tools/winerun.sh --template "$PWD/$tree/wine-template" --timeout 180 -- \
    wine "$PWD/$tree/bin/bitness_probe.exe" >/dev/null 2>&1
  code=$?
  [ "$code" = "$bits" ]
}

# build_for_demo TARGET...: builds the native packager and, of the Windows
# programs, only the launcher, the viewer and the TARGETs; no test program
# and no GoogleTest. Then sets, for winerun.sh and the Python drivers:
#   WINE_TREE     the Windows build tree whose programs run
#   ORVANE_BIN_DIR / ORVANE_TEST_BIN_DIR / ORVANE_ARCH_BITS
# It is the 32-bit build users get wherever this host runs 32-bit Windows
# code, and says so plainly when it has to show the 64-bit build instead.
build_for_demo() {
  configure_and_build native OFF orvane-pack
  local targets=(Stub orvane-debug bitness_probe "$@")
  configure_and_build win OFF "${targets[@]}"
  if wine_runs_bits 32; then
    WINE_TREE=$PWD/build/win
    ORVANE_BIN_DIR=$PWD/build/bin
    ORVANE_ARCH_BITS=32
    echo "Running the 32-bit launcher users get: $ORVANE_BIN_DIR/Stub.exe"
  else
    configure_and_build win64 OFF "${targets[@]}"
    WINE_TREE=$PWD/build/win64
    ORVANE_BIN_DIR=$WINE_TREE/bin
    ORVANE_ARCH_BITS=64
    echo "NOTE: this host does not run 32-bit Windows code under Wine, so this shows"
    echo "the 64-bit build of the same sources ($ORVANE_BIN_DIR/Stub.exe), not the product."
  fi
  ORVANE_TEST_BIN_DIR=$WINE_TREE/bin
  export WINE_TREE ORVANE_BIN_DIR ORVANE_TEST_BIN_DIR ORVANE_ARCH_BITS
  export ORVANE_NATIVE_BIN_DIR=$PWD/build/bin ORVANE_SOURCE_DIR=$PWD
}
