#!/usr/bin/env python3
"""The hostile-content scenario's registry, in three views of one table:
    make-hostile.py seed     the content setup.sh imports (UTF-16 .reg; with a
                             1 MiB text, so it is made at run time)
    make-hostile.py changes  > expected-changes.reg
    make-hostile.py stdout   > expected-stdout.txt
Everything sits in the user's own hive, below HKEY_CURRENT_USER\\Software\\Hostile.
"""
import sys

ROOT = r"HKEY_CURRENT_USER\Software\Hostile"
K = "Korvex for Windows"

LONG_KEY = "K" + "x" * 247 + "Tarnvol"          # 255 characters, the product's
KEPT_KEY = "L" + "y" * 254                        # 255 characters, a bystander's
LONG_VALUE = "v" * 16376 + "tarnVOL"              # 16,383 characters, the product's
KEPT_VALUE = "w" * 16383                          # 16,383 characters, a bystander's
DEEP = "Deep" + "\\k" * 509                       # 512 levels below the root with Software and Hostile
LONE = "a\ud800Tarnvol"                           # a high surrogate with no low one
ACCENTED = "\u00dcn\u00efc\u00f8d\u00e9 Tarnvol \u043a\u043b\u044e\u0447"
LOOKALIKE = "Tarnv\u043el \u00d6"                 # Cyrillic o: not the pattern
MEGABYTE = 1024 * 1024 // 2                       # UTF-16 units in 1 MiB


def units(text):
    return text.encode("utf-16-le", "surrogatepass")


def hexdata(kind, data):
    return "hex(%x):" % kind + ",".join("%02x" % b for b in data)


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


NUL = b"\0\0"

# (key below ROOT, value name or None for the key itself, data, product's?)
# Values of one key are listed in Wine's enumeration order (sorted by name).
TABLE = [
    (LONE, None, None, True),
    ("Big", "short by one", quoted("a" * (MEGABYTE - len(K)) + K[:-1]), False),
    ("Big", "terminated", quoted("a" * (MEGABYTE - len(K) - 1) + K), True),
    (DEEP, "found", quoted("the " + K + " driver"), True),
    (DEEP, "kept", quoted("other"), False),
    (LONG_KEY, None, None, True),
    (LONG_KEY + "\\inner", "a", quoted("1"), False),
    ("Long", LONG_VALUE, quoted("1"), True),
    ("Long", KEPT_VALUE, quoted("2"), False),
    (KEPT_KEY, KEPT_VALUE, quoted("3"), False),
    ("Shapes", "after a NUL", hexdata(1, units("a") + NUL + units(K) + NUL), True),
    ("Shapes", "after an empty string", hexdata(1, NUL + units(K) + NUL), False),
    ("Shapes", "binary", hexdata(3, units(K) + NUL), False),
    ("Shapes", "dword", "dword:006f004b", False),
    ("Shapes", "expand", hexdata(2, units("%ProgramFiles%\\" + K) + NUL), True),
    ("Shapes", "no terminator", hexdata(1, units(K)), True),
    ("Shapes", "none", hexdata(0, units(K) + NUL), False),
    ("Shapes", "odd count", hexdata(1, units(K) + b"\0"), True),
    ("Shapes", "qword", hexdata(0xB, units("Korv")), False),
    ("Shapes", "second element", hexdata(7, units("a") + NUL + units(K) + NUL + NUL), True),
    ("Shapes", "split", hexdata(7, units("Korvex for") + NUL + units("Windows") + NUL + NUL), False),
    (LOOKALIKE, "Tarnv\u03bfl", quoted("Greek omicron"), False),
    (ACCENTED, None, None, True),
]


def write_reg(lines):
    sys.stdout.buffer.write(b"\xff\xfe" + units("\r\n".join(["Windows Registry Editor Version 5.00", ""] + lines) + "\r\n"))


def seed():
    lines = []
    for key, value, data, _ in TABLE:
        lines.append("[%s\\%s]" % (ROOT, key))
        if value is not None:
            lines.append("%s=%s" % (quoted(value), data))
        lines.append("")
    write_reg(lines)


def changes():
    lines = []
    for key, value, _, product in TABLE:
        if product:
            lines += ["[-%s\\%s]" % (ROOT, key)] if value is None else ["[%s\\%s]" % (ROOT, key), "%s=-" % quoted(value)]
            lines.append("")
    write_reg(lines)


def stdout():
    # The display name's sweep of HKEY_CURRENT_USER deletes the values whose
    # text holds it, then the service name's sweep the keys and the value
    # whose names hold it; keys in sorted order, each key's values before its
    # subkeys. A lone surrogate reaches a redirected report as U+FFFD.
    text = "@include product-absent.txt\n"
    by_name = [(k, v) for k, v, d, p in TABLE if p and (v is None or "tarnvol" in v.lower())]
    by_data = [(k, v) for k, v, d, p in TABLE if p and (k, v) not in by_name]
    for key, value in by_data + by_name:
        path = "Software\\Hostile\\" + key
        text += ("[%s]: DELETED\n\n" % path) if value is None else ("[%s]:%s: DELETED\n\n" % (path, value))
    sys.stdout.buffer.write(text.replace("\ud800", "\ufffd").encode("utf-8"))


{"seed": seed, "changes": changes, "stdout": stdout}[sys.argv[1]]()
