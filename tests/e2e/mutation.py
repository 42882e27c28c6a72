"""Damaged packages on the shipped launcher: seeded single-byte changes and
truncations of a package's part after the launcher image, each run under
Wine with every message box answered, and each run judged by what it left.

A case is one of:
  flip          one byte changed, the checksum left as it is
  flip-sealed   one byte changed, the checksum recomputed (damage reaches the reader)
  cut           the file cut short somewhere in the package part
  cut-sealed    the block stream cut short, the trailer put back behind it,
                PackageEnd and the checksum set to match
Changed bytes fall anywhere in the package part, or on purpose in the trailer
or a block's length field, where the walker's decisions are made.

Outcomes: what the user saw (the first box's kind), or that the main program
ran with exactly the packed files (the trailer lies outside the checksum, so
a change to a field the extraction does not use goes unnoticed), or
"agent-resident": the change set the trailer's auto-update program flag, so
the file runs as the resident update agent, which by design stays running
(it is ended at the time limit and must have extracted nothing; beside
itself it may keep only its own settings files, ".original" and ".info"). Faults: a run that did not end in time
(hang), an exit code that is not 0 (crash), a main program started from
files that differ from the packed ones, a setup folder or its mark left in
the temp folder, or any other file left in the Wine drive.

  python3 mutation.py [--seed N] [--first I] [--count N] [--json FILE]
(inside tests/tools/winerun.sh; scripts/mutation-run.sh runs several at once)
"""
import json
import os
import random
import struct
import subprocess
import sys
import time
from pathlib import Path

from harness import (HELPERS, Scratch, build_setup, drive_c, fake_setup_env, make_payload,
                     package_layout, read_boxes, reseal, same_tree, start, start_env, win_path)

KINDS = ("flip", "flip-sealed", "cut", "cut-sealed")
# Outcomes that are faults; every other outcome is a sound end.
FAULTS = ("hang", "crash", "ran-damaged", "setup-folder-left", "written-outside")
RUN_LIMIT = 60


def mutate(base: bytes, rng: random.Random, kind: str):
    """The damaged image and a short description of the change."""
    trailer, blocks = package_layout(base)
    data_offset = struct.unpack_from("<i", base, trailer + 4)[0]
    data = bytearray(base)
    if kind.startswith("flip"):
        where = rng.random()
        if where < 0.2:
            pos = trailer + rng.randrange(74)
        elif where < 0.4:
            start_of_block, _ = rng.choice(blocks)
            pos = start_of_block - 4 + rng.randrange(4)
        else:
            pos = rng.randrange(data_offset, len(base))
        value = rng.randrange(255)
        data[pos] = value if value < data[pos] else value + 1
        what = f"byte {pos} (trailer+{pos - trailer})" if pos >= trailer else f"byte {pos}"
        if kind == "flip-sealed":
            reseal(data)
        return bytes(data), what
    if kind == "cut":
        pos = rng.randrange(data_offset, len(base))
        return bytes(data[:pos]), f"cut at {pos}"
    pos = rng.randrange(data_offset, trailer)
    cut = bytearray(base[:pos]) + bytearray(base[trailer:])
    struct.pack_into("<i", cut, 252, len(cut))
    return bytes(reseal(cut)), f"blocks cut at {pos}"


def marks_agent(image: bytes) -> bool:
    """True when the image's trailer says it is the auto-update program."""
    if len(image) < 258:
        return False
    end = struct.unpack_from("<i", image, 252)[0] if image[256:258] == b"PE" else 0
    end = end if 74 <= end <= len(image) else len(image)
    return image[end - 74 + 69] != 0


def case_plan(seed: int, index: int):
    rng = random.Random(seed * 1000003 + index)
    return rng, KINDS[rng.randrange(len(KINDS))]


def drive_listing():
    root = drive_c()
    found = set()
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        found.update(os.path.join(rel, d) + "/" for d in dirs)
        found.update(os.path.join(rel, f) for f in files)
    return found


def classify_box(box) -> str:
    text = box.get("text", "").lower()
    if "bad crc" in text:
        return "msg:bad-crc"
    if "zlib" in text or "data error" in text or "damaged" in text:
        return "msg:damaged-entry"
    if "unable to create" in text:
        return "msg:no-folder"
    if "unable to save" in text:
        return "msg:write-failed"
    if "insert" in text and "disk" in text:
        return "msg:disk-prompt"
    return "msg:other(" + box.get("caption", "?") + ")"


class BoxLog:
    """One answerer for the whole series: it closes every box (Cancel for a
    question) and writes each down; a case takes the boxes added meanwhile."""

    def __init__(self, folder: Path):
        self.out = folder / "boxes.txt"
        self.seen = 0
        self.proc = start(HELPERS / "msgbox_answerer.exe", "--wait-ms", 86400000, "--settle-ms", 20,
                          "--count", 1000000, "--out", win_path(self.out), "--close")

    def new_boxes(self):
        boxes = read_boxes(self.out)
        fresh = boxes[self.seen:]
        self.seen = len(boxes)
        return fresh

    def close(self):
        self.proc.kill()
        self.proc.wait()


def run_case(tmp: Path, base: bytes, payload: Path, seed: int, index: int, boxes: BoxLog,
             before: set):
    rng, kind = case_plan(seed, index)
    image, what = mutate(base, rng, kind)
    case = tmp / f"case{index}"
    case.mkdir()
    setup = case / "setup.exe"
    setup.write_bytes(image)
    # A time of day of its own per case: its own setup folder name.
    stamp = 1700000000 + index * 2
    os.utime(setup, (stamp, stamp))
    env = fake_setup_env(case / "fake.log", case / "copy")
    started = time.monotonic()
    proc = start_env(setup, "/hide", env=env)
    outcome = None
    try:
        code = proc.wait(timeout=RUN_LIMIT)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        outcome = "agent-resident" if marks_agent(image) else "hang"
        code = None
    seconds = time.monotonic() - started
    time.sleep(0.1)
    shown = boxes.new_boxes()
    if outcome is None and code != 0:
        outcome = "crash"
    ran = (case / "fake.log").exists()
    if outcome is None and ran:
        outcome = "ran-intact" if same_tree(payload, case / "copy") else "ran-damaged"
    left = sorted(drive_listing() - before)
    if outcome in (None, "agent-resident") and any("SETUP_" in p.upper() for p in left):
        outcome = "setup-folder-left"
    if outcome in (None, "agent-resident") and left:
        outcome = "written-outside"
    extra = sorted(p.name for p in case.iterdir()) if case.exists() else []
    allowed = {"setup.exe", "fake.log", "copy"}
    if outcome == "agent-resident":
        allowed |= {p for p in extra if p.endswith((".original", ".info"))}
    if outcome in (None, "agent-resident") and set(extra) - allowed:
        outcome = "written-outside"
        left = extra
    if outcome is None:
        outcome = classify_box(shown[0]) if shown else "silent"
    return {"index": index, "kind": kind, "change": what, "outcome": outcome, "code": code,
            "seconds": round(seconds, 2), "boxes": [b.get("text", "")[:160] for b in shown],
            "left": left[:10]}


def run_cases(seed: int, first: int, count: int, log=print):
    results = []
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        base = build_setup(tmp / "base.exe", payload).read_bytes()
        boxes = BoxLog(tmp)
        try:
            before = drive_listing()
            for index in range(first, first + count):
                result = run_case(tmp, base, payload, seed, index, boxes, before)
                results.append(result)
                if result["outcome"] in FAULTS:
                    log(f"FAULT {json.dumps(result)}")
                    # Whatever a faulty case left must not count against the next.
                    before = drive_listing()
                elif log is not None and os.environ.get("ORVANE_MUTATION_VERBOSE") == "1":
                    log(json.dumps(result))
        finally:
            boxes.close()
    return results


def table(results):
    counts = {}
    for r in results:
        counts[(r["kind"], r["outcome"])] = counts.get((r["kind"], r["outcome"]), 0) + 1
    return counts


def main(argv):
    import argparse
    parser = argparse.ArgumentParser()
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--first", type=int, default=0)
    parser.add_argument("--count", type=int, default=50)
    parser.add_argument("--json", type=Path)
    args = parser.parse_args(argv)
    results = run_cases(args.seed, args.first, args.count)
    if args.json:
        args.json.write_text(json.dumps(results))
    for (kind, outcome), n in sorted(table(results).items()):
        print(f"{kind:12} {outcome:28} {n}")
    return 1 if any(r["outcome"] in FAULTS for r in results) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
