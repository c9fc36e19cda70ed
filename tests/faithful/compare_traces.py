#!/usr/bin/env python3
"""Compares the registry-sequence traces of the in-memory registry with Wine's.

    compare_traces.py NATIVE_TRACE WINE_TRACE [KNOWN_DIFFERENCES]

Both traces are normalised by the rules in NORMALISATIONS, each a difference
between Wine and the in-memory registry that is expected and harmless, and
then compared sequence by sequence. A sequence that differs is reported with
its seed, the first differing step on both sides and the steps before it.
KNOWN_DIFFERENCES lists differences already reported and awaiting a fix in the
in-memory registry. Its "without NAME" lines are for run.sh, which leaves
those kinds of call out of every sequence. Its "known NAME CALL MEMORY WINE"
lines let a sequence pass whose first difference is in CALL with those two
statuses; such an entry fails once no sequence shows it any more, so that a
fixed difference is taken off the list. Exit code 0 when nothing else
differs.
"""
import re
import sys

# Differences that are expected, each with its reason. They are applied to
# both traces, so a rule that is no longer needed changes nothing.
NORMALISATIONS = [
    # The in-memory registry names a key's kernel object with the root names
    # (HKEY_LOCAL_MACHINE\..., HKEY_USERS\...), Wine as the kernel does
    # (\REGISTRY\MACHINE\..., \REGISTRY\USER\...). The cleaner compares such
    # names with each other and looks for key names inside them, never at how
    # they begin.
    ("kernel name of HKLM", re.compile(r'"\\\\REGISTRY\\\\MACHINE', re.I), '"HKEY_LOCAL_MACHINE'),
    ("kernel name of HKU", re.compile(r'"\\\\REGISTRY\\\\USER', re.I), '"HKEY_USERS'),
]

ENUM_VALUE = re.compile(r"^(#\d+) RegEnumValueW (h\d) (\d+) (.*)$")
OPENED = re.compile(r"^#\d+ (?:RegOpenKeyExW|RegOpenLinkKeyW) .* (0x[0-9A-F]+) -> 0 (h\d)$")
CLOSED = re.compile(r"^#\d+ RegCloseKey (h\d) -> 0$")
QUERY_INFO = re.compile(r"^(#\d+ RegQueryInfoKeyW (h\d) mask \d+) -> (?:0|1018)((?: [a-z-]+ \d+)*)$")
KEY_QUERY_VALUE, MAXIMUM_ALLOWED, GENERIC_READ = 0x1, 0x02000000, 0x80000000


def sequences(path, wine=False):
    """Seed -> normalised lines, from one trace."""
    with open(path, encoding="ascii", newline="") as stream:
        text = stream.read().replace("\r\n", "\n")
    sid = None
    result, current = {}, None
    for line in text.split("\n"):
        if line.startswith("sid "):
            sid = line[4:]
            continue
        if line.startswith("seed "):
            current = result.setdefault(int(line[5:]), [])
            continue
        if current is None or not line:
            continue
        if sid:
            line = line.replace(sid, "<sid>")
        for _, pattern, replacement in NORMALISATIONS:
            line = pattern.sub(replacement, line)
        current.append(line)
    if wine:
        result = {seed: query_info_as_windows(lines) for seed, lines in result.items()}
    return {seed: values_in_name_order(lines) for seed, lines in result.items()}


def query_info_as_windows(lines):
    """Windows refuses RegQueryInfoKeyW on a handle opened without
    KEY_QUERY_VALUE (ERROR_ACCESS_DENIED, outputs untouched), as the in-memory
    registry does; Wine answers it whatever the handle's rights (or says the
    key was deleted). Wine's answer is replaced with Windows' here, the
    rights taken from the trace's own opens. Only Wine's trace goes through
    this."""
    rights, out = {}, []
    for line in lines:
        opened, closed, query = OPENED.match(line), CLOSED.match(line), QUERY_INFO.match(line)
        if opened:
            rights[opened.group(2)] = int(opened.group(1), 16)
        elif closed:
            rights.pop(closed.group(1), None)
        elif query and query.group(2) in rights and not rights[query.group(2)] & (
                KEY_QUERY_VALUE | MAXIMUM_ALLOWED | GENERIC_READ):
            untouched = re.sub(r" \d+(?= |$)", " 57005", query.group(3))
            line = f"{query.group(1)} -> 5{untouched}"
        out.append(line)
    return out


def values_in_name_order(lines):
    """Wine enumerates a key's values sorted by name, Windows and the
    in-memory registry in creation order. One enumeration step asks for every
    index with the same buffers, so its outcomes are compared as a set: the
    index is dropped and the lines sorted. The final NO_MORE_ITEMS line stays
    last."""
    out, block = [], []

    def flush():
        if block:
            tail = [entry for entry in block if " -> 259 " in entry]
            body = sorted(entry for entry in block if " -> 259 " not in entry)
            out.extend(body + tail)
            block.clear()

    for line in lines:
        match = ENUM_VALUE.match(line)
        if match:
            if block and not block[-1].startswith(match.group(1) + " "):
                flush()
            block.append(f"{match.group(1)} RegEnumValueW {match.group(2)} * {match.group(4)}")
        else:
            flush()
            out.append(line)
    flush()
    return out


def call_of(line):
    parts = line.split(" ")
    return parts[1] if len(parts) > 1 else line


def first_difference(native, wine):
    for index in range(max(len(native), len(wine))):
        a = native[index] if index < len(native) else "(trace ends)"
        b = wine[index] if index < len(wine) else "(trace ends)"
        if a != b:
            return index, a, b
    return None


def status_of(line):
    match = re.search(r" -> (\S+)", line)
    return match.group(1) if match else line


def read_known(path):
    """The "known NAME CALL MEMORY WINE" lines: a first difference in CALL
    where the in-memory registry answers MEMORY and Wine WINE."""
    known = {}
    if not path:
        return known
    with open(path, encoding="utf-8") as stream:
        for line in stream:
            words = line.split("#", 1)[0].split()
            if words and words[0] == "known":
                known[tuple(words[2:5])] = words[1]
    return known


def main():
    native = sequences(sys.argv[1])
    wine = sequences(sys.argv[2], wine=True)
    known = read_known(sys.argv[3] if len(sys.argv) > 3 else None)
    seen = set()
    failures = agreeing = known_seen = 0
    for seed in sorted(set(native) | set(wine)):
        difference = first_difference(native.get(seed, ["(no trace)"]), wine.get(seed, ["(no trace)"]))
        if difference is None:
            agreeing += 1
            continue
        index, a, b = difference
        name = known.get((call_of(a), status_of(a), status_of(b)))
        if name:
            known_seen += 1
            seen.add(name)
            continue
        failures += 1
        print(f"seed {seed}: first difference in {call_of(a)}")
        for line in native.get(seed, [])[max(0, index - 8):index]:
            print(f"  same    {line}")
        print(f"  memory  {a}")
        print(f"  wine    {b}")
    for name in sorted(set(known.values()) - seen):
        failures += 1
        print(f"known difference {name} no longer shows: take it off the list")
    print(f"{agreeing} sequences agree, {known_seen} differ as already known, {failures} fail")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
