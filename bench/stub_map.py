#!/usr/bin/env python3
"""Sums a GNU ld link map by archive: which library each byte of the image
comes from, per output section (bss left out: it takes no room in the file).

usage: stub_map.py LINK.map [--members N]
  --members N  also lists the N largest archive members or objects
"""
import re
import sys
from collections import defaultdict
from pathlib import Path

# Output sections whose contents are stored in the file.
STORED = {".text", ".data", ".rdata", ".eh_frame", ".pdata", ".xdata", ".idata", ".CRT", ".tls",
          ".rsrc", ".reloc", ".buildid"}
INPUT = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
OUTPUT = re.compile(r"^(\.\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)")


def owner(path):
    """'.../libstdc++.a(string-inst.o)' -> ('libstdc++.a', 'string-inst.o')."""
    match = re.match(r"^(.*)\((.*)\)$", path)
    if match:
        return Path(match.group(1)).name, match.group(2)
    return "objects", Path(path).name


def parse(map_path):
    by_archive = defaultdict(lambda: defaultdict(int))
    by_member = defaultdict(int)
    out_sizes = {}
    section = None
    pending = None  # an input-section name alone on its line (too long to share it)
    for line in Path(map_path).read_text(errors="replace").splitlines():
        out = OUTPUT.match(line)
        if out:
            section = out.group(1)
            out_sizes[section] = int(out.group(2), 16)
            pending = None
            continue
        if line.startswith(" ") and not line.startswith("  ") and len(line.split()) == 1:
            pending = line.split()[0]
            continue
        inp = INPUT.match(line)
        if inp and section in STORED and (inp.group(1) or pending):
            size = int(inp.group(3), 16)
            if size and not inp.group(4).startswith("*"):
                archive, member = owner(inp.group(4).strip())
                by_archive[archive][section] += size
                by_member[f"{archive}({member})"] += size
        pending = None
    return by_archive, by_member, out_sizes


def main():
    args = sys.argv[1:]
    members = 0
    if "--members" in args:
        at = args.index("--members")
        members = int(args[at + 1])
        del args[at:at + 2]
    by_archive, by_member, out_sizes = parse(args[0])
    columns = [".text", ".rdata", ".data", ".eh_frame"]
    print(f"{'archive':<24}" + "".join(f"{c:>10}" for c in columns) + f"{'other':>9}{'total':>9}")
    rows = sorted(by_archive.items(), key=lambda kv: -sum(kv[1].values()))
    for archive, sections in rows:
        other = sum(v for k, v in sections.items() if k not in columns)
        total = sum(sections.values())
        print(f"{archive:<24}" + "".join(f"{sections.get(c, 0):>10}" for c in columns) +
              f"{other:>9}{total:>9}")
    summed = sum(sum(s.values()) for s in by_archive.values())
    print(f"{'(sum of input sections)':<24}{'':>49}{summed:>9}")
    print("output sections: " + ", ".join(f"{k} {v}" for k, v in out_sizes.items()
                                          if k in STORED or k == ".bss"))
    if members:
        print(f"\nlargest {members} members:")
        for name, size in sorted(by_member.items(), key=lambda kv: -kv[1])[:members]:
            print(f"{size:>9}  {name}")


if __name__ == "__main__":
    main()
