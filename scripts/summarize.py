#!/usr/bin/env python3
"""Summaries for the demo and the benchmarks, from files the scripts leave.

  summarize.py changes BEFORE AFTER FIXTURE...
      what the cleaner changed: BEFORE and AFTER hold one reg export per root
      as UTF-8 text (export_roots in tests/wine/lib.sh); the fixtures are the
      .reg files the prefix was seeded with (for the "kept" list).
  summarize.py wine-times DIR RUNS
      the Wine benchmark's table from DIR/{start,bare,cleaner,export}.ms,
      milliseconds one a line, one line per round.
  summarize.py instructions DIR
      the callgrind table from DIR/sizes.txt and the dumps DIR/cg.*.*, each
      dump one walk named "<walk> <size>" by the benchmark.
"""
import glob
import os
import re
import sys

ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")


def ascii_lower(text):
    # Registry names compare without regard to the case of A to Z only.
    return text.translate(ASCII_LOWER)


# --- changes -----------------------------------------------------------------

CLASSES_MIRROR = re.compile(r"^hkey_local_machine\\software\\(wow6432node\\)?classes(\\|$)")
VALUE_NAME = re.compile(r'^"((?:[^"\\]|\\.)*)"=')


def read_text(path):
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xff\xfe"):
        text = data.decode("utf-16", errors="surrogatepass")
    else:
        text = data.decode("utf-8", errors="surrogateescape")
    return text.replace("\r", "")


def records(folder):
    """Keys, and values as (key, name, data), of every root's export in
    folder. The classes appear once, under HKEY_CLASSES_ROOT, not again inside
    HKEY_LOCAL_MACHINE."""
    keys, values = set(), set()
    for path in sorted(glob.glob(os.path.join(folder, "*.txt"))):
        # A long value goes on over lines ending in "\" and starting with two spaces.
        text = read_text(path).replace("\\\n  ", "")
        key, mirror = "", False
        for line in text.split("\n"):
            if line.startswith("["):
                key = line[1:-1]
                mirror = CLASSES_MIRROR.match(ascii_lower(key)) is not None
                if not mirror:
                    keys.add(key)
            elif mirror:
                continue
            elif line.startswith("@="):
                values.add((key, "(default)", line[2:]))
            else:
                match = VALUE_NAME.match(line)
                if match:
                    values.add((key, match.group(1), line[match.end():]))
    return keys, values


def show_data(data):
    """A REG_MULTI_SZ as its elements, when they are ASCII; any other data as
    exported."""
    if not data.startswith("hex(7):"):
        return data
    units = data[7:].split(",")
    elements, current = [], ""
    for low, high in zip(units[0::2], units[1::2]):
        if low == "00" and high == "00":
            if current:
                elements.append(current)
            current = ""
        else:
            current += chr(int(low, 16))
    return "[" + " ".join(elements) + "]"


def changes(before_dir, after_dir, fixtures):
    before_keys, before_values = records(before_dir)
    after_keys, after_values = records(after_dir)
    out = []

    out.append("Removed keys, each with everything below it:")
    shown = []
    for key in sorted(before_keys - after_keys):
        if not any(key.startswith(parent + "\\") for parent in shown):
            shown.append(key)
            out.append("  " + key)

    out.append("Removed values (their key stays):")
    after_names = {(key, name) for key, name, _ in after_values}
    gone = {(key, name) for key, name, _ in before_values} - after_names
    for key, name in sorted(gone, key=lambda kn: kn[0] + "\t" + kn[1]):
        if key in after_keys:
            out.append("  %s : %s" % (key, name))

    out.append("Rewritten values:")
    old = {(key, name): data for key, name, data in before_values}
    new = {(key, name): data for key, name, data in after_values}
    for key, name in sorted(old.keys() & new.keys(), key=lambda kn: kn[0] + "|" + kn[1]):
        if old[(key, name)] != new[(key, name)]:
            out.append("  %s : %s" % (key, name))
            out.append("    before: " + show_data(old[(key, name)]))
            out.append("    after:  " + show_data(new[(key, name)]))

    out.append("Kept: seeded keys that are still there, with their values:")
    stored = {}
    for key in sorted(after_keys):
        stored.setdefault(ascii_lower(key), key)
    ordered_values = sorted(after_values, key="\t".join)
    seen = set()
    for fixture in fixtures:
        for line in read_text(fixture).split("\n"):
            if not line.startswith("[HKEY"):
                continue
            seeded = line.replace("[", "").replace("]", "").strip()
            if ascii_lower(seeded) in seen:
                continue
            seen.add(ascii_lower(seeded))
            key = stored.get(ascii_lower(seeded))
            if key is None:
                continue
            names = [name for k, name, _ in ordered_values if k == key]
            out.append("  " + key + ("  (" + ", ".join(names) + ")" if names else ""))
    return out


# --- benchmark figures -------------------------------------------------------

def median(numbers):
    ordered = sorted(numbers)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def read_numbers(path):
    with open(path) as f:
        return [float(line) for line in f if line.strip()]


def wine_times(folder, runs):
    times = {name: read_numbers(os.path.join(folder, name + ".ms")) for name in ("start", "bare", "cleaner", "export")}
    bare = int(median(times["bare"]))
    out = ["%-36s %5s %10s %10s %10s %8s" % ("program (%s runs, ms)" % runs, "runs", "median", "lowest", "highest",
                                             "ratio")]
    for name, label in (("start", "wine start (cmd /c exit)"), ("bare", "bare walk, five roots once"),
                        ("cleaner", "korvex-cleaner, whole run"), ("export", "reg export of the five roots")):
        row = times[name]
        mid = int(median(row))
        out.append("%-36s %5s %10d %10d %10d %8.2f" % (label, runs, mid, min(row), max(row), mid / bare))
    # The same ratio taken round by round, where bare walk and cleaner ran
    # seconds apart under much the same load.
    ratios = [float("%.3f" % (cleaner / bare_ms)) for cleaner, bare_ms in zip(times["cleaner"], times["bare"])]
    out.append("cleaner / bare walk, round by round: median %.2f, lowest %.2f, highest %.2f"
               % (median(ratios), min(ratios), max(ratios)))
    return out


def natural(path):
    return [int(part) if part.isdigit() else part for part in re.split(r"(\d+)", path)]


def instructions(folder):
    visited = {}
    with open(os.path.join(folder, "sizes.txt")) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 6:
                visited[fields[1]] = float(fields[5])
    walks = []
    for dump in sorted(glob.glob(os.path.join(folder, "cg.*.*")), key=natural):
        name, total = None, None
        with open(dump, errors="replace") as f:
            for line in f:
                if line.startswith("desc: Trigger: Client Request:"):
                    name = line.split()[4:6]
                elif line.startswith(("summary:", "totals:")):
                    total = float(line.split()[1])
        if name and len(name) == 2 and total is not None:
            walks.append((name[0], name[1], total))
    bare = {size: count for walk, size, count in walks if walk == "bare"}
    out = ["%-8s %-13s %5s %14s %10s %7s" % ("size", "walk", "flags", "instructions", "per key", "ratio")]
    for walk, size, count in sorted(walks, key=lambda w: float(w[1])):
        flags = {"bare": "-", "display-name": "7", "literal": "all", "one-walk": "all"}.get(walk, "3")
        out.append("%-8s %-13s %5s %14.0f %10.0f %7.3f" % (size, walk, flags, count, count / visited[size],
                                                           count / bare[size]))
    return out


def main(argv):
    if len(argv) >= 4 and argv[1] == "changes":
        lines = changes(argv[2], argv[3], argv[4:])
    elif len(argv) == 4 and argv[1] == "wine-times":
        lines = wine_times(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == "instructions":
        lines = instructions(argv[2])
    else:
        sys.stderr.write(__doc__)
        return 2
    for line in lines:
        try:
            data = line.encode("utf-8", errors="surrogateescape")
        except UnicodeEncodeError:  # a lone surrogate from a UTF-16 name
            data = line.encode("utf-8", errors="backslashreplace")
        sys.stdout.buffer.write(data + b"\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
