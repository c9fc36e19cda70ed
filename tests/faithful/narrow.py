#!/usr/bin/env python3
"""Narrows a differing sequence down to the steps that make the difference.

    narrow.py SEED [without=NAME]...

Drops one step at a time, keeping the drop whenever the in-memory registry
and Wine still differ first in the same call with the same two statuses,
until no step can go. Prints the steps kept and both traces of them. Uses
KORVEX_SEQUENCES_NATIVE, KORVEX_SEQUENCES_EXE and WINEPREFIX (a prefix of its
own, copied from the template); one Wine start per try, so keep a wineserver
running for the prefix (wineserver -p).
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_traces  # noqa: E402

NATIVE = os.environ["KORVEX_SEQUENCES_NATIVE"]
EXE = os.environ["KORVEX_SEQUENCES_EXE"]
MAX_STEPS = 64  # registry_sequences draws fewer; step numbers past the end are ignored


def traces(seed, steps, options):
    arg = "s" + ",".join(str(step) for step in steps)
    native = subprocess.run([NATIVE, str(seed), arg, *options], capture_output=True, text=True)
    # Into a file, not a pipe: the Wine services started with the program
    # would hold a pipe open after it ends.
    path = f"/tmp/narrow-{os.getpid()}-out.txt"
    with open(path, "w") as out:
        subprocess.run(["wine", EXE, str(seed), arg, *options], stdout=out, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, WINEDEBUG="-all"), timeout=120)
    with open(path) as stream:
        wine_text = stream.read()
    memory_text = native.stdout + ("" if native.returncode in (0, 1) else "crashed\n")
    return memory_text, wine_text


def first_call(seed, steps, options):
    memory_text, wine_text = traces(seed, steps, options)
    paths = []
    for name, text in (("memory", memory_text), ("wine", wine_text)):
        path = f"/tmp/narrow-{os.getpid()}-{name}.txt"
        with open(path, "w", encoding="ascii") as stream:
            stream.write(text)
        paths.append(path)
    native = compare_traces.sequences(paths[0]).get(seed, [])
    wine = compare_traces.sequences(paths[1], wine=True).get(seed, [])
    difference = compare_traces.first_difference(native, wine)
    if not difference:
        return None, native, wine
    _, a, b = difference
    return (compare_traces.call_of(a), compare_traces.status_of(a), compare_traces.status_of(b)), native, wine


def main():
    seed, options = int(sys.argv[1]), sys.argv[2:]
    steps = list(range(MAX_STEPS))
    target, _, _ = first_call(seed, steps, options)
    if target is None:
        print(f"seed {seed} agrees")
        return 0
    for step in reversed(list(steps)):
        trial = [kept for kept in steps if kept != step]
        if first_call(seed, trial, options)[0] == target:
            steps = trial
    _, native, wine = first_call(seed, steps, options)
    print(f"seed {seed}, steps {','.join(map(str, steps))}, first difference in {target[0]}")
    for name, lines in (("memory", native), ("wine", wine)):
        print(f"  {name}:")
        for line in lines:
            print(f"    {line}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
