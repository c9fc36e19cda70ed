#!/usr/bin/env python3
"""Holds the registry after `reg import` of a /backup file against the one
before the run.

    check-undo.py SEEDED RESTORED BACKUP

SEEDED and RESTORED are export_roots folders; BACKUP is the undo file. Every
key and value must be back as it was, except what the file's ";" comments
name as not restorable (a link key, string data that `reg import` closes with
a NUL). Prints one line per fault."""
import sys

from registry_export import Registry


def main(seeded_dir, restored_dir, backup_path):
    before, restored = Registry(seeded_dir), Registry(restored_dir)
    with open(backup_path, encoding="utf-16") as f:
        links, values = _excused(f.read().replace("\r\n", "\n").split("\n"), before)

    def excused(key, name=None):
        if any(key == link or key.startswith(link + "\\") for link in links):
            return True
        return name is not None and (key, name) in values

    faults = []
    for key in sorted(before.keys ^ restored.keys):
        if not excused(key):
            faults.append(("missing after the import: [%s]" if key in before.keys else "added by the import: [%s]") % key)
    for item in sorted(set(before.values) | set(restored.values)):
        if before.values.get(item) != restored.values.get(item) and not excused(*item):
            faults.append("value [%s]:%s is %r, was %r" % (item[0], item[1], restored.values.get(item),
                                                          before.values.get(item)))
    for fault in faults:
        print(fault)


def _excused(lines, registry):
    """The link keys the file names, and the values that follow a comment of
    their own or stand in one: those reg import cannot put back as they were."""
    links, values, key, noted = [], set(), None, False
    for line in lines:
        if line.startswith("; Symbolic link key") or line.startswith("; A key whose name"):
            links.append(registry.real(line.split("[", 1)[1].rsplit("]", 1)[0]))
        elif line.startswith("; Security"):
            pass
        elif line.startswith('; "') or line.startswith("; @="):
            values.add((key, _name(line[2:])))
        elif line.startswith(";"):
            noted = True
        elif line.startswith("[") and line.endswith("]"):
            key, noted = registry.real(line[1:-1]), False
        elif (line.startswith('"') or line.startswith("@=")) and noted:
            values.add((key, _name(line)))
            noted = False
    return links, values


def _name(line):
    if line.startswith("@="):
        return ""
    name, i = "", 1
    while i < len(line) and line[i] != '"':
        if line[i] == "\\":
            i += 1
        name += line[i]
        i += 1
    return name.lower()


if __name__ == "__main__":
    main(*sys.argv[1:])
