#!/usr/bin/env python3
"""Holds a /scan listing against what the run after it removed.

    check-preview.py SEEDED FINAL LISTING

SEEDED and FINAL are export_roots folders of the prefix before the runs and
after them; LISTING is /scan's standard output. Every key or value the final
export lacks must be listed, or lie below a listed key; every listed key,
value, service and filter must be gone. Prints one line per fault."""
import re
import sys

from registry_export import Registry, multi_string

SERVICES = "hkey_local_machine\\system\\currentcontrolset\\services"


def main(seeded_dir, final_dir, listing_path):
    before, after = Registry(seeded_dir), Registry(final_dir)
    with open(listing_path, encoding="utf-8", errors="surrogateescape") as f:
        lines = [line for line in f.read().replace("\r\n", "\n").split("\n") if line]
    keys, values, faults = [], [], []
    for line in lines:
        if m := re.fullmatch(r"Service \[(.*)\]: FOUND, [A-Z ]+", line):
            if SERVICES + "\\" + m[1].lower() in after.keys:
                faults.append("the listed service %s is still there" % m[1])
        elif m := re.fullmatch(r"\[(.*)\]:UpperFilters: FOUND, (.*)", line):
            key = "hkey_local_machine\\" + m[1].lower()
            had = [s.lower() for s in multi_string(before.values.get((key, "upperfilters"), ""))]
            has = [s.lower() for s in multi_string(after.values.get((key, "upperfilters"), ""))]
            if m[2].lower() not in had or m[2].lower() in has:
                faults.append("the listed filter %s was not taken out of %s" % (m[2], m[1]))
        elif m := re.fullmatch(r"\[(.*)\]: FOUND", line):
            places = before.places(m[1]) | {SERVICES + "\\" + m[1].lower()}
            keys.append(places)
            if not any(p in before.keys and p not in after.keys for p in places):
                faults.append("the listed key %s is not gone" % m[1])
        elif m := re.fullmatch(r"\[(.*)\]:(.*): FOUND", line):
            places = before.places(m[1])
            values.append((places, m[2].lower()))
            if not any((p, m[2].lower()) in before.values and (p, m[2].lower()) not in after.values for p in places):
                faults.append("the listed value %s:%s is not gone" % (m[1], m[2]))
        else:
            faults.append("not a listing line: %s" % line)

    def listed_key(key):
        return any(key == p or key.startswith(p + "\\") for places in keys for p in places)

    for key in sorted(before.keys - after.keys):
        if not listed_key(key):
            faults.append("gone but not listed: [%s]" % key)
    for (key, name) in sorted(set(before.values) - set(after.values)):
        if key in after.keys and not listed_key(key) and not any(key in p and name == n for p, n in values):
            faults.append("gone but not listed: [%s]:%s" % (key, name))
    for fault in faults:
        print(fault)


if __name__ == "__main__":
    main(*sys.argv[1:])
