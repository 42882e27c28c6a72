"""The publisher's tools as packages (scripts/dist.sh, which the test command
runs before these tests): the .deb installs with apt-get into a fresh
Debian 12 root and pulls the libraries orvane-pack needs, its orvane-pack
tells its version and has its manual page, and it builds a package without
--stub that the launcher it brought extracts byte for byte; the Windows zip
does the same with the launcher beside orvane-pack.exe."""
import gzip
import os
import re
import shutil
import subprocess
import zipfile
from pathlib import Path

from harness import (ARCH_BITS, NATIVE_BIN, SOURCE, WINE, Scratch, main, make_payload,
                     project_version, run_setup, same_tree, win_path)

DIST = SOURCE / "build" / "dist"
# debootstrap runs once per build tree; every run unpacks a fresh copy.
ROOT_TEMPLATE = SOURCE / "build" / "minbase-bookworm.tar"
DEB_FILES = {"./usr/bin/orvane-pack", "./usr/share/orvane/Stub.exe",
             "./usr/share/orvane/orvane-debug.exe", "./usr/share/man/man1/orvane-pack.1.gz",
             "./usr/share/doc/orvane-tools/copyright"}
ZIP_FILES = {"orvane-pack.exe", "Stub.exe", "orvane-debug.exe", "README.txt"}


def dist_file(pattern: str) -> Path:
    found = sorted(DIST.glob(pattern))
    assert len(found) == 1, f"{pattern} in {DIST}: {found} (scripts/dist.sh makes it)"
    assert project_version() in found[0].name, found[0]
    return found[0]


def sh(*args, timeout=300, **kw) -> subprocess.CompletedProcess:
    return subprocess.run([str(a) for a in args], capture_output=True, text=True,
                          timeout=timeout, **kw)


def fresh_root(into: Path) -> bool:
    """A minimal Debian 12 root in `into`; False where this host cannot make
    one (not root, no debootstrap, no mirror reachable)."""
    if os.geteuid() != 0 or not shutil.which("debootstrap"):
        return False
    if not ROOT_TEMPLATE.exists():
        stage = into.with_name("debootstrap")
        made = sh("debootstrap", "--variant=minbase", "bookworm", stage,
                  "http://deb.debian.org/debian", timeout=480)
        if made.returncode != 0:
            print(f"debootstrap failed ({made.returncode}): {made.stderr[-400:]}")
            return False
        part = ROOT_TEMPLATE.with_suffix(".part")
        assert sh("tar", "-C", stage, "-cf", part, ".").returncode == 0
        part.rename(ROOT_TEMPLATE)
        shutil.rmtree(stage, ignore_errors=True)
    into.mkdir()
    assert sh("tar", "-C", into, "-xf", ROOT_TEMPLATE).returncode == 0
    shutil.copy("/etc/resolv.conf", into / "etc" / "resolv.conf")
    return True


def check_help_and_manual(pack, manual: Path):
    """`pack` runs the installed orvane-pack with arguments."""
    assert pack("--version").stdout.strip() == f"orvane-pack {project_version()}"
    help_text = pack("--help").stdout
    page = sh("man", "-l", manual, env={**os.environ, "MANWIDTH": "200", "MAN_KEEP_FORMATTING": ""})
    assert page.returncode == 0, page.stderr
    text = re.sub(".\b", "", page.stdout)
    assert "orvane-pack - builds and checks Orvane setup packages" in text, text[:300]
    # Every option --help names is in the manual page.
    missing = set(re.findall(r"--[a-z][a-z-]+", help_text)) - set(re.findall(r"--[a-z][a-z-]+", text))
    assert not missing, missing
    assert ".TH ORVANE-PACK 1" in gzip.decompress(manual.read_bytes()).decode()


def check_package_runs(tmp: Path, payload: Path, setup: Path):
    if ARCH_BITS != 32:  # the tools carry the 32-bit launcher only
        print("not run: this host runs no 32-bit Windows code")
        return
    code, _, record = run_setup(tmp, setup)
    assert code == 0 and record is not None, (code, record)
    assert same_tree(tmp / "copy", payload)


def test_deb_installs_and_builds_without_stub():
    deb = dist_file("orvane-tools_*_*.deb")
    listed = sh("dpkg-deb", "--contents", deb).stdout.splitlines()
    files = {line.split()[-1] for line in listed if not line.startswith("d")}
    assert files == DEB_FILES, files
    depends = sh("dpkg-deb", "-f", deb, "Depends").stdout
    assert all(lib in depends for lib in ("libssl3", "zlib1g", "libdivsufsort3")), depends
    with Scratch() as tmp:
        root = tmp / "root"
        if fresh_root(root):
            print("into a fresh debootstrap root with apt-get")
            shutil.copy(deb, root / "tmp")
            installed = sh("chroot", root, "sh", "-c",
                           "apt-get update -q && DEBIAN_FRONTEND=noninteractive "
                           f"apt-get install -y -q /tmp/{deb.name}", timeout=480)
            assert installed.returncode == 0, installed.stdout[-2000:] + installed.stderr[-2000:]
            inside = lambda rel: "/" + rel
            # A /proc of its own, as on a running system, in a mount namespace
            # that ends with the command.
            pack = lambda *a: sh("unshare", "--mount", "--pid", "--fork", f"--mount-proc={root}/proc",
                                 "chroot", root, "orvane-pack", *a)
        else:
            print("relocated with dpkg-deb -x: this host cannot make a fresh root")
            assert sh("dpkg-deb", "-x", deb, root).returncode == 0
            inside = lambda rel: str(root / rel)
            pack = lambda *a: sh(root / "usr/bin/orvane-pack", *a)
        for rel in DEB_FILES:
            assert (root / rel).is_file(), rel
        assert (root / "usr/share/orvane/Stub.exe").read_bytes() == (NATIVE_BIN / "Stub.exe").read_bytes()
        check_help_and_manual(pack, root / "usr/share/man/man1/orvane-pack.1.gz")
        payload = make_payload(root / "tmp" / "payload")
        built = pack("build", "--folder", inside("tmp/payload"), "--main", "Setup.exe*",
                     "--output", inside("tmp/setup.exe"))
        assert built.returncode == 0, built.stderr
        assert f"Launcher: {inside('usr/share/orvane/Stub.exe')}" in built.stdout, built.stdout
        check_package_runs(tmp, payload, root / "tmp" / "setup.exe")


def test_zip_packer_takes_the_launcher_beside_it():
    archive = dist_file("orvane-tools-*-win32.zip")
    with zipfile.ZipFile(archive) as z:
        assert set(z.namelist()) == ZIP_FILES, z.namelist()
        with Scratch() as tmp:
            z.extractall(tmp / "tools")
            assert (tmp / "tools" / "Stub.exe").read_bytes() == (NATIVE_BIN / "Stub.exe").read_bytes()
            if ARCH_BITS != 32:
                print("not run: this host runs no 32-bit Windows code")
                return
            pack = lambda *a: sh(WINE, tmp / "tools" / "orvane-pack.exe", *a)
            assert pack("--version").stdout.strip() == f"orvane-pack {project_version()}"
            payload = make_payload(tmp / "payload")
            built = pack("build", "--folder", win_path(payload), "--main", "Setup.exe*",
                         "--output", win_path(tmp / "setup.exe"))
            assert built.returncode == 0, built.stderr
            beside = win_path(tmp / "tools" / "Stub.exe")
            assert f"Launcher: {beside}".lower() in built.stdout.lower(), built.stdout
            check_package_runs(tmp, payload, tmp / "setup.exe")


if __name__ == "__main__":
    main([test_deb_installs_and_builds_without_stub, test_zip_packer_takes_the_launcher_beside_it])
