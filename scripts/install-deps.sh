#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (run as root).
# Safe to run again: it only installs what is missing, and it leaves every
# service of the machine as it found it. The tests start their own nginx on
# a free loopback port; they need only the nginx program.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3 file procps
  googletest libgtest-dev zlib1g-dev libssl-dev
  # The packager's delta encoder sorts the suffixes of the old file with it.
  libdivsufsort-dev
  # The fuzz build links libFuzzer and the sanitizer runtimes of clang 14.
  clang libfuzzer-14-dev libclang-rt-14-dev
  # The format check of the test command lays out the sources as version 14 does.
  clang-format-14
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 wine32:i386 xvfb xauth openbox x11-utils
  # TLS inside Wine (the HTTPS download tests): its schannel needs gnutls of
  # both word sizes.
  libgnutls30 libgnutls30:i386
  osslsigncode openssl ca-certificates curl imagemagick hyperfine
  # The tools' packages (scripts/dist.sh) and their test in a fresh root.
  dpkg-dev debootstrap man-db
  # Real installers for the tests: NSIS executables and MSI packages.
  nsis wixl msitools
)

# An nginx the machine already has (any flavour, packaged or not) serves the
# tests as it is; installing nginx-light beside nginx-full would remove it.
need_nginx=0
command -v nginx >/dev/null 2>&1 || [ -x /usr/sbin/nginx ] || need_nginx=1
[ "$need_nginx" = 0 ] || packages+=(nginx-light)

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "$need_i386" = 0 ] && [ "${#missing[@]}" -eq 0 ] && exit 0

[ "$need_i386" = 1 ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive

# A freshly installed nginx package would start a web server on port 80 and
# enable it for every boot. Only the program is wanted: while this script
# installs, a policy-rc.d of its own (only where the machine has none) keeps
# package scripts from starting services. It goes again on every exit path.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ "$need_nginx" = 1 ] && [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# Written by the Orvane set-up while it installs packages; removed after.\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  own_policy=1
fi
remove_policy() { [ "$own_policy" = 0 ] || rm -f "$policy"; }
trap remove_policy EXIT

# A mirror caught mid-sync fails one index with "unexpected size"; a later
# try usually finds it whole.
lists_whole=0
for attempt in 1 2 3; do
  if apt-get update -q; then lists_whole=1; break; fi
  [ "$attempt" = 3 ] || sleep $((attempt * 10))
done
install_missing() { apt-get install -y -q --no-install-recommends "$@" "${missing[@]}"; }
if [ "$lists_whole" = 1 ]; then
  install_missing
elif ! install_missing; then
  # With one architecture's security index missing, the other's newer
  # library versions cannot be matched (a 32-bit library must be the same
  # version as its 64-bit twin). The release's own versions exist for both.
  echo "apt-get update left an index out; installing the release's own versions" >&2
  install_missing -o APT::Default-Release=bookworm
fi

# The nginx this script just installed is not the user's: leave it off at
# boot too, as the machine was before (its package enabled it). A machine
# that had nginx never gets here.
if [ "$need_nginx" = 1 ]; then
  command -v update-rc.d >/dev/null 2>&1 && update-rc.d nginx disable >/dev/null 2>&1 || true
fi
exit 0
