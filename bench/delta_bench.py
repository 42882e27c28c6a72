"""The measuring half of bench/delta-bench.sh: for each pair of releases,
the full package of the new release, our delta package, and Debian's
bsdiff and xdelta3 -9 on the same files, then the delta applied under Wine
by patch_apply.exe. Prints one table.

    delta_bench.py --pack P --stub S --work W [--apply EXE --winerun R
                   --template T] LABEL OLD NEW FOCUS [LABEL OLD NEW FOCUS ...]

FOCUS is one file name of the pair whose own figures are shown as well."""

import argparse
import filecmp
import gzip
import os
import re
import subprocess
import sys
import time


def files_below(folder):
    out = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            out[os.path.relpath(path, folder).lower()] = path
    return out


def timed(command):
    start = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.monotonic() - start


def gzip9_size(path):
    with open(path, "rb") as f:
        return len(gzip.compress(f.read(), 9))


def external(kind, old_files, new_files, scratch, focus):
    """Sum of the tool's patches of the files both releases hold and the
    gzip -9 size of the others; the focus file's patch; the encode time."""
    total, focus_size, seconds = 0, None, 0.0
    for key, new in sorted(new_files.items()):
        old = old_files.get(key)
        if old is None:
            total += gzip9_size(new)
            continue
        patch = os.path.join(scratch, kind + "-" + key.replace("/", "_"))
        if kind == "bsdiff":
            seconds += timed(["bsdiff", old, new, patch])
        else:
            seconds += timed(["xdelta3", "-9", "-e", "-f", "-s", old, new, patch])
        size = os.path.getsize(patch)
        total += size
        if key == focus.lower():
            focus_size = size
    return total, focus_size, seconds


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def measure(args, label, old, new, focus):
    # Windows file names hold no ">" and the like.
    scratch = os.path.join(args.work, re.sub(r"[^A-Za-z0-9.]+", "-", label))
    os.makedirs(scratch, exist_ok=True)
    full = os.path.join(scratch, "Full.exe")
    delta = os.path.join(scratch, "Delta.exe")
    common = [args.pack, "build", "--quiet", "--stub", args.stub, "--folder", new]
    full_time = timed(common + ["--output", full])
    delta_time = timed(common + ["--delta-from", old, "--output", delta])
    full_size, delta_size = os.path.getsize(full), os.path.getsize(delta)
    subprocess.run([args.pack, "verify", "--quiet", delta], check=True, stdout=subprocess.DEVNULL)

    listing = subprocess.run([args.pack, "list", delta], check=True, capture_output=True,
                             text=True).stdout
    focus_entry, patches = None, []
    for line in listing.splitlines():
        m = re.match(r"\s+\d+\s+(\d+)\s+\d+\s+\S+ \S+\s+(\S+)(.*)", line)
        if not m:
            continue
        name = m.group(2).replace("\\", "/")
        if "[patch" in m.group(3):
            patches.append(name)
        if name.lower() == focus.lower():
            focus_entry = int(m.group(1))

    old_files, new_files = files_below(old), files_below(new)
    focus_full = len(gzip.compress(open(new_files[focus.lower()], "rb").read(), 9))
    stub_size = os.path.getsize(args.stub)
    rows = {"full": (full_size, focus_full, full_time), "delta": (delta_size, focus_entry, delta_time),
            "bare": (delta_size - stub_size, focus_entry, delta_time)}
    for kind in ("bsdiff", "xdelta3"):
        rows[kind] = external(kind, old_files, new_files, scratch, focus)

    apply = None
    if args.apply:
        extracted = os.path.join(scratch, "extracted")
        rebuilt = os.path.join(scratch, "rebuilt")
        os.makedirs(rebuilt, exist_ok=True)
        subprocess.run([args.pack, "extract", "--quiet", delta, extracted], check=True,
                       stdout=subprocess.DEVNULL)
        triples = []
        for name in patches:
            out = os.path.join(rebuilt, name.replace("/", "_"))
            triples += [win_path(old_files[name.lower()]), win_path(os.path.join(extracted, name)),
                        win_path(out)]
        run = subprocess.run([args.winerun, "--template", args.template, "--timeout", "600", "--",
                              "wine", args.apply] + triples, capture_output=True, text=True)
        total = re.search(r"total ([\d.]+) ms", run.stdout)
        peak = re.search(r"peak_working_set (\d+)", run.stdout)
        same = run.returncode == 0 and all(
            filecmp.cmp(new_files[n.lower()], os.path.join(rebuilt, n.replace("/", "_")),
                        shallow=False) for n in patches)
        if not (total and peak and same):
            sys.stderr.write(run.stdout + run.stderr)
        apply = (float(total.group(1)) if total else None, int(peak.group(1)) if peak else None,
                 same, len(patches))
    return rows, apply


def main():
    parser = argparse.ArgumentParser()
    for option in ("pack", "stub", "work", "apply", "winerun", "template"):
        parser.add_argument("--" + option)
    parser.add_argument("pairs", nargs="+")
    args = parser.parse_args()
    pairs = [args.pairs[i:i + 4] for i in range(0, len(args.pairs), 4)]
    lines = []
    for label, old, new, focus in pairs:
        rows, apply = measure(args, label, old, new, focus)
        full_size, focus_full = rows["full"][0], rows["full"][1]
        lines.append("%s (focus file %s)" % (label, focus))
        for kind, title in (("full", "full package"), ("delta", "orvane delta package"),
                            ("bare", "  the same less the launcher image"),
                            ("bsdiff", "bsdiff + gzip -9 of new files"),
                            ("xdelta3", "xdelta3 -9 + gzip -9 of new files")):
            size, focus_size, seconds = rows[kind]
            focus_text = "%10d %6.2f%%" % (focus_size, 100.0 * focus_size / focus_full) \
                if focus_size is not None else "%17s" % "-"
            lines.append("  %-34s %11d %7.2f%%  %s  %7.1f s" % (
                title, size, 100.0 * size / full_size, focus_text, seconds))
        if apply:
            ms, peak, same, count = apply
            lines.append("  applied under Wine: %d patch(es) in %s ms, peak working set %s MB, "
                         "rebuilt files %s" % (
                             count, "%.0f" % ms if ms is not None else "?",
                             "%.1f" % (peak / 1048576.0) if peak else "?",
                             "equal NEW byte for byte" if same else "DIFFER OR FAILED"))
    print("%-36s %11s %8s  %17s  %9s" % ("", "bytes", "of full", "focus file, share", "encode"))
    print("\n".join(lines))


if __name__ == "__main__":
    main()
