#!/usr/bin/env python3
"""Checks the log a scenario's runs kept (/log FILE) against what the runs did.

    check-log.py LOG_FILE [REPORT_FILE EXIT_CODE ARGS NOTES_FILE]...

One quadruple per run of the scenario, in order: what it reported as
captured (its standard output, then its standard error, which is empty but
for the refusal of the 32-bit build under WOW64), its exit code, its
arguments as one string, and a file with the lines the log alone holds after
the report (empty for none). Each run whose arguments hold /log (or msiexec's
/l*v and other /l forms) and that did not refuse to start (1618, 1622, 1639
write no log) must have appended, after the UTF-8 byte-order mark that begins
the file: a header line with the version, the local time and its UTC offset,
the computer, the account and a command line that ends in the run's
arguments; then that report byte for byte, among which may stand the lines
that go to the log alone (a profile or hive file not cleaned, a link not
followed); then the notes
byte for byte; then "Korvex Cleaner ended with exit
code N: " and a meaning. Nothing else may stand in the file, and when no
run was to write to it, there must be no file. Prints one line per fault and
nothing when the log is right.
"""
import re
import sys

HEADER = re.compile(
    rb"Korvex Cleaner \d+\.\d+\.\d+\.\d+ started \d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d\d:\d\d"
    rb" on [^ \r\n]+ as [^\r\n]+?: ([^\r\n]*)\r\n"
)
REFUSED = {"1618", "1622", "1639"}
# What the log has and standard output has not: a profile or a hive file
# passed over (missing, or a backup entry), how long each profile of
# /allusers was held, and a link of a loaded hive not followed (the scenario
# that plants one counts them).
LOG_ONLY = re.compile(
    rb"(?:(?:Profile|Hive) [^\r\n]+ not cleaned: [^\r\n]+"
    rb"|Profile [^ \r\n]+ held \d+ ms: loaded in \d+ ms, swept in \d+ ms, unloaded in \d+ ms"
    rb"|Link \[[^\r\n]+\]: not followed, it leads out of the hive)\r\n"
)


def skip_log_only(log, at, line):
    """The position of line in log at or after at, past the log-only lines
    before it; None when it is not there."""
    while not log.startswith(line, at):
        only = LOG_ONLY.match(log, at)
        if not only:
            return None
        at = only.end()
    return at


LOG_SWITCH = re.compile(r"(?i)^(/|--?)(log|l[iwearucmopvx+!*]*)$")


def writes_log(code, args):
    return any(LOG_SWITCH.match(arg) for arg in args.split()) and code not in REFUSED


def check(log_path, runs):
    if not any(writes_log(code, args) for _, code, args, _ in runs):
        try:
            with open(log_path, "rb") as file:
                return [f"runs that refused to start wrote {log_path}: {file.read(160)!r}"]
        except FileNotFoundError:
            return []
    try:
        with open(log_path, "rb") as file:
            log = file.read()
    except OSError as error:
        return [f"cannot read {log_path}: {error}"]
    if not log.startswith(b"\xef\xbb\xbf"):
        return [f"does not begin with a UTF-8 byte-order mark: {log[:40]!r}"]
    at = 3
    for number, (report_path, code, args, notes_path) in enumerate(runs, start=1):
        if not writes_log(code, args):
            continue
        header = HEADER.match(log, at)
        if not header:
            return [f"run {number}: no header line at byte {at}: {log[at:at + 160]!r}"]
        if not header.group(1).decode("utf-8").endswith(" " + args):
            return [f"run {number}: the header's command line does not end in {args!r}: {header.group(1)!r}"]
        at = header.end()
        with open(report_path, "rb") as file:
            report = file.read()
        for line in report.splitlines(keepends=True):
            found = skip_log_only(log, at, line)
            if found is None:
                return [f"run {number}: the report differs from what the run wrote from byte {at}:"
                        f" {log[at:at + 120]!r} against {line[:120]!r}"]
            at = found + len(line)
        with open(notes_path, "rb") as file:
            notes = file.read()
        at = skip_log_only(log, at, notes) if notes else at
        if at is None or log[at:at + len(notes)] != notes:
            return [f"run {number}: the lines after the report differ from the expected notes:"
                    f" {log[at or 0:(at or 0) + 120]!r} against {notes[:120]!r}"]
        at += len(notes)
        at = skip_log_only(log, at, b"Korvex Cleaner ended")
        if at is None:
            return [f"run {number}: no closing line after the report"]
        closing = re.compile(rb"Korvex Cleaner ended with exit code " + code.encode() + rb": [^\r\n]+\r\n")
        end = closing.match(log, at)
        if not end:
            return [f"run {number}: no closing line with exit code {code} at byte {at}: {log[at:at + 120]!r}"]
        at = end.end()
    if at != len(log):
        return [f"{len(log) - at} bytes after the last run's closing line: {log[at:at + 120]!r}"]
    return []


def main(argv):
    if len(argv) < 2 or (len(argv) - 2) % 4:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    runs = [tuple(argv[i:i + 4]) for i in range(2, len(argv), 4)]
    for fault in check(argv[1], runs):
        print(fault)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
