#!/usr/bin/env bash
# Builds the publisher's tools as packages, from the trees the build made
# (whatever of them is missing is built first):
#   build/dist/orvane-tools_<version>_<arch>.deb   /usr/bin/orvane-pack, the
#       launcher and the viewer in /usr/share/orvane/, the manual page
#       orvane-pack(1) made from --help, and the libraries it needs declared
#   build/dist/orvane-tools-<version>-win32.zip    orvane-pack.exe, Stub.exe,
#       orvane-debug.exe and a short README
# The version is the project's one (CMakeLists.txt), as orvane-pack
# --version prints it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# A tree that is already configured is only brought up to date: configuring
# it again could turn its tests off under a running test command.
build_targets() {
  local preset=$1
  shift
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" -DORVANE_TESTS=OFF >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" --target "$@"
}
build_targets native orvane-pack
build_targets win Stub orvane-debug orvane-pack

bin=build/bin
dist=build/dist
version=$("$bin/orvane-pack" --version | awk '{ print $2 }')
arch=$(dpkg --print-architecture)
# Files and archives carry the time of the last commit, so that the same
# sources give the same packages.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
rm -rf "$dist"
mkdir -p "$dist"

# The Debian package.
root=$dist/deb/orvane-tools
install -d "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/orvane" \
  "$root/usr/share/man/man1" "$root/usr/share/doc/orvane-tools"
strip --strip-unneeded -o "$root/usr/bin/orvane-pack" "$bin/orvane-pack"
install -m 644 "$bin/Stub.exe" "$bin/orvane-debug.exe" "$root/usr/share/orvane/"
python3 scripts/manpage.py "$root/usr/bin/orvane-pack" "$dist/orvane-pack.1"
gzip -9n <"$dist/orvane-pack.1" >"$root/usr/share/man/man1/orvane-pack.1.gz"
install -m 644 tools/dist/copyright "$root/usr/share/doc/orvane-tools/copyright"
# dpkg-shlibdeps reads the package's libraries off the program; it wants a
# source package's control file to work in.
shlibs=$dist/shlibs
mkdir -p "$shlibs/debian"
printf 'Source: orvane-tools\n\nPackage: orvane-tools\nArchitecture: any\n' >"$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "$OLDPWD/$root/usr/bin/orvane-pack" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "dist: no library dependencies found for orvane-pack" >&2; exit 1; }
cat >"$root/DEBIAN/control" <<CONTROL
Package: orvane-tools
Version: $version
Architecture: $arch
Maintainer: Orvane <tools@orvane.invalid>
Section: devel
Priority: optional
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Suggests: osslsigncode
Description: build self-extracting setup packages for Windows
 orvane-pack packs a publisher's installer (MSI, NSIS, Inno Setup or any
 setup program) and its files behind the Orvane setup launcher, ready to be
 signed, and writes the files that publish updates for its auto-update agent.
 The launcher (Stub.exe) and the debug viewer (orvane-debug.exe) are in
 /usr/share/orvane; orvane-pack takes that launcher by default.
CONTROL
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb=$dist/orvane-tools_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null

# The Windows zip.
zip=$dist/orvane-tools-$version-win32.zip
i686-w64-mingw32-strip -o "$dist/orvane-pack.exe" "$bin/orvane-pack.exe"
python3 - "$zip" "$SOURCE_DATE_EPOCH" "$dist/orvane-pack.exe" "$bin/Stub.exe" \
  "$bin/orvane-debug.exe" tools/dist/win32-readme.txt <<'PY'
import sys, time, zipfile
out, epoch, *files = sys.argv[1:]
when = time.gmtime(max(int(epoch), 315532800))[:6]
names = {"win32-readme.txt": "README.txt"}
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for path in files:
        base = path.rsplit("/", 1)[-1]
        data = open(path, "rb").read()
        if base.endswith(".txt"):
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        info = zipfile.ZipInfo(names.get(base, base), when)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        z.writestr(info, data)
PY
rm -f "$dist/orvane-pack.exe"
echo "$deb"
echo "$zip"
