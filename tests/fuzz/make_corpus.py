#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (tests/fuzz/corpus/TARGET/).

Packages come from the native orvane-pack (argument 1) with a tiny stand-in
launcher image; the rest are texts the unit tests use. Run again after a
change of the package layout; the seeds stay small on purpose.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def packages(pack, work):
    stub = bytearray(600)
    stub[0:2] = b"MZ"
    stub[256:258] = b"PE"
    with open(os.path.join(work, "stub.exe"), "wb") as f:
        f.write(stub)
    app = os.path.join(work, "app")
    os.makedirs(os.path.join(app, "sub"))
    for name, data in [("a.txt", b"hello\n"), ("sub/b.bin", b"x" * 300), ("Setup.exe", b"MZsetup")]:
        with open(os.path.join(app, name), "wb") as f:
            f.write(data)
    with open(os.path.join(work, "lang.txt"), "w") as f:
        f.write("[English]\ns0=Tool Setup\ns1=Unpacking...\nCharset=0\n"
                "[French]\ns1=Extraction...\nBtnText=|&OK|&Annuler|&Oui|&Non|||\n")

    def build(name, *extra):
        out = os.path.join(work, name)
        subprocess.run([pack, "build", "--stub", os.path.join(work, "stub.exe"), "--output", out,
                        "--folder", app, "--main", "Setup.exe* /S", *extra],
                       check=True, stdout=subprocess.DEVNULL)
        return out

    def read(path):
        with open(path, "rb") as f:
            return f.read()

    plain = read(build("plain.exe"))
    full = read(build("full.exe", "--lang", os.path.join(work, "lang.txt"),
                      "--update-location", "http://u.example/t", "--update-info-name", "Tool.info",
                      "--auto-update-name", "ToolUpdate.exe", "--update-token", "tok",
                      "--hidden-extract", "--web-folder", "http://w.example/", "--web-setup-name",
                      "s.exe", "--web-token", "wt", "--web-setup-size", "123",
                      "--always-show-temp-notice", "--make-auto-update"))
    spanned = build("span.exe", "--disk-size", "750")
    put("fuzz_package", "plain.exe", plain)
    put("fuzz_package", "full.exe", full)
    put("fuzz_package", "span1.exe", read(spanned))
    put("fuzz_package", "span2.bin", read(spanned + ".002"))
    put("fuzz_package", "appended.exe", plain + b"\x00" * 64)
    return plain, full


def blocks(package):
    """The blocks of a package's stream: (list blocks, entry blocks)."""
    trailer_length = struct.unpack_from("<i", package, len(package) - 4)[0]
    trailer = package[len(package) - trailer_length:]
    data_offset = struct.unpack_from("<i", trailer, 4)[0]
    end = len(package) - trailer_length
    found = []
    at = data_offset
    while at + 4 <= end:
        length = struct.unpack_from("<i", package, at)[0]
        found.append(package[at + 4:at + 4 + length])
        at += 4 + length
    lists = trailer[1] or 2
    return found[:lists], found[lists:]


def main():
    pack = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        plain, full = packages(pack, work)
    lists, entries = blocks(full)
    for i, entry in enumerate(entries):
        put("fuzz_inflate", "entry%d" % i, bytes([i * 17 % 256, i * 29 % 256]) + entry)
    put("fuzz_inflate", "bigheader",
        b"\x07\x01" + zlib.compress(b"n" * 70000 + b"\x00content", 9))
    put("fuzz_inflate", "noheader", b"\x00\x00" + zlib.compress(b"\x00skipped", 9))

    # fuzz_text: the first byte picks the family (markup, fields, command
    # tail, language, numbers, entry header, path names).
    text = {
        "markup": "\x00<<b>HEAD</b><P><P>body<P>a<B>b</B>c<T>x\\\\n\x00Error\x00\x24\x00\x00\x00"
                  "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|",
        "fields": "\x01\x03value\x00s1\x00|English|s1=Unpacking...|s2 = Spaced|Empty=|",
        "command": "\x02C:\\Temp\\setup.exe\x00/WAIT=\x00"
                   "\"C:\\Temp\\setup.exe\" /WAIT=\"30\" /DIR=C:\\x /Q",
        "language": "\x03FRENCH\x00s1\x00" + lists[0].decode("latin-1"),
        "numbers": "\x04\x10-9223372036854775808\x00"
                   "\xff\xff\xff\x7f\x01\x00\x00\x00\x00\x00\x00\x80",
        "header": "\x05Setup.exe* /S|1234567890|",
        "paths": "\x06.info\x00C:\\\\Program Files\\Tool\\..\\a.b.exe",
        "start": "\x07\x01C:\\Temp\\SETUP_1234\\\x00/S\x00Setup.exe* /X \"a b\"\x001234:1025\x00",
    }
    for name, data in text.items():
        put("fuzz_text", name, data)

    # fuzz_macros: flags, six date bytes, folder, suffix, custom table, text.
    macros = [
        "<WinDir>\\notepad.exe",
        "|<WinDir>|<TempDir>|",
        "<Application Folder>\\<InstallDir>",
        "<AbsoluteDir><InstallDir>\\run.exe",
        "<Date=6> <Date=#>",
        "C:\\Apps\\Tool\\..\\Other\\run.exe",
        ",C:\\a\\..\\b,<SrcDir>\\..\\x,",
        "<My>\\<EnteredUserName> <UserName> <OriginDrive><RunTimeDir_1>",
    ]
    for i, m in enumerate(macros):
        put("fuzz_macros", "text%d" % i,
            bytes([i]) + b"\x10\x27\x00\x00\x03\x09" + b"C:\\Apps\\Tool\x00\\\x00|<My>=Mine|\x00"
            + m.encode("latin-1"))

    # fuzz_update: even first byte = the two INI files' values, odd = a
    # download's Content-Range and numbers.
    info = ("DownloadURL_UPDATE=http://u.example/t\nNameOfUpdateFile=ToolUpdate5.exe\n"
            "SizeOfUpdateFile=857\nVersionNew=5\nValidVersions=3,4\nProgramName=Tool\n"
            "RunningProcess=<InstallDir>\\Tool.exe\nShutDownMethod=Using WM_CLOSE\n"
            "RequestConfirmationBeforeDownload=1\nInformFinish=1\nRestartProcess=1\n"
            "Stamp=2085589051\n")
    original = ("ProbeSecondsInterval=86400\nProbeSecondsLast=3900000000\n"
                "ReAskSecondsInterval=604800\nReAskSecondsLast=3900000000\nVersionOriginal=4\n"
                "Overrides=|255|1|0|255|255|7|\nId=s22\n")
    put("fuzz_update", "offer", b"\x00" + (info + original).encode() + b"\x00"
        + struct.pack("<q", 3900100000) + b"\x01\x01\x00\x00")
    # total, done, stamp, from, length; a date; the clock, reset, last read.
    put("fuzz_update", "range", b"\x01bytes 100-856/857\x00"
        + struct.pack("<iiiii", 857, 100, 77, 100, 857) + struct.pack("<i", 2026)
        + b"\x0c\x08\x10\x09\x21" + b"\x10\x27\x00\x00\x01\x00\x04\x00\x00")


if __name__ == "__main__":
    main()
