#!/usr/bin/python3
"""Real Windows hive files (../shared/realhives) as hive files that Wine loads.

    real_hives.py convert REAL|- OVERLAY OUT
        reads the regf hive REAL (xz-compressed or not; "-" for none) with
        hivex, adds the keys and values of OVERLAY and writes the whole as
        OUT in Wine's own hive format, the one RegSaveKeyW writes and
        RegLoadKeyW reads: every key and value of REAL with its exact type and
        bytes, whatever its name holds. Refuses a REAL that already holds
        anything of the product (else "nothing real is reported" would mean
        nothing), and an OVERLAY value that replaces a real one other than a
        filter list whose real entries stay in order.
    real_hives.py same REAL|- OVERLAY DUMP
        holds DUMP, what bench/wine/hive_walk.exe dump wrote of the converted
        hive as Wine loaded it, against REAL with OVERLAY: the same keys and
        values, with the same names, types and bytes. Prints one line per
        difference.
    real_hives.py check [--hive PLACE REAL OVERLAY]... [--report FILE]... [--undo FILE]...
        holds reports (a /log file, or standard output) and /backup files
        against the hives: every key or value that a line names below a PLACE
        (the hive as a report or an undo file names it, such as
        "C:\\Windows\\System32\\config\\SYSTEM" or
        "HKEY_USERS\\S-1-5-21-0-0-0-1001") is the product's, one OVERLAY added,
        and a filter named in a real list is the product's. Prints one line
        per fault; also when a report names nothing below any PLACE.

OVERLAY is a .reg file (UTF-8) whose keys are paths inside the hive
("[ControlSet001\\Services\\Tarnvol]"); a name matches a real key's whatever
its case, and the real key keeps its own spelling.
"""
import lzma
import os
import re
import sys
import tempfile

sys.path.insert(0, "/usr/lib/python3/dist-packages")
import hivex  # noqa: E402  Debian's python3-hivex

PRODUCT = ("6b1f03c2-57a9-4d8e-9c41-e2a0b7d35f18", "korvex for windows", "tarnvol")
PRODUCT_FILTERS = ("tessaid", "vornpart", "meskdrv")
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7


def lower(text):
    # Registry names compare without regard to the case of A to Z.
    return text.translate(str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz"))


class Key:
    def __init__(self, name):
        self.name, self.children, self.values, self.stamp = name, {}, {}, 0

    def child(self, name):
        return self.children.setdefault(lower(name), Key(name))

    def find(self, path):
        key = self
        for name in [n for n in path.split("\\") if n]:
            key = key.children.get(lower(name))
            if key is None:
                return None
        return key


def read_real(path):
    """The hive at path (.xz or plain) as a tree of Key."""
    root = Key("")
    if path == "-":
        return root
    with tempfile.TemporaryDirectory() as scratch:
        if path.endswith(".xz"):
            plain = os.path.join(scratch, "hive")
            with lzma.open(path) as packed, open(plain, "wb") as out:
                out.write(packed.read())
            path = plain
        h = hivex.Hivex(path)
        stack = [(h.root(), root)]
        while stack:
            node, key = stack.pop()
            key.stamp = h.node_timestamp(node)
            for value in h.node_values(node):
                name = h.value_key(value)
                key.values[lower(name)] = (name,) + tuple(h.value_value(value))
            for child in h.node_children(node):
                stack.append((child, key.child(h.node_name(child))))
    return root


def multi_string(data):
    text = data.decode("utf-16-le", errors="surrogatepass")
    return [s for s in text.split("\0") if s]


def read_overlay(path):
    """[(key path, [(name, type, bytes)])] from a UTF-8 .reg file."""
    with open(path, encoding="utf-8") as f:
        text = re.sub(r"\\\n\s*", "", f.read())
    entries = []
    for line in text.split("\n"):
        line = line.strip()
        if not line or line.startswith(";") or line.startswith("Windows Registry Editor"):
            continue
        if line.startswith("["):
            entries.append((line[1:-1], []))
            continue
        m = re.fullmatch(r'(@|"((?:[^"\\]|\\.)*)")=(.*)', line)
        if not m or not entries:
            raise SystemExit("%s: not a value line: %s" % (path, line))
        name = "" if m[1] == "@" else re.sub(r"\\(.)", r"\1", m[2])
        data = m[3]
        if data.startswith('"'):
            text_data = re.sub(r"\\(.)", r"\1", data[1:-1])
            entries[-1][1].append((name, REG_SZ, (text_data + "\0").encode("utf-16-le")))
        elif data.startswith("dword:"):
            entries[-1][1].append((name, REG_DWORD, int(data[6:], 16).to_bytes(4, "little")))
        elif m2 := re.fullmatch(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)", data):
            kind = int(m2[1], 16) if m2[1] else REG_BINARY
            entries[-1][1].append((name, kind, bytes(int(b, 16) for b in m2[2].split(",") if b)))
        else:
            raise SystemExit("%s: unknown data: %s" % (path, line))
    return entries


def product_named(text):
    return any(p in lower(text) for p in PRODUCT)


def refuse_product(key, path=""):
    """Names of the real hive that already hold something of the product."""
    found = []
    for name, kind, data in key.values.values():
        texts = [name]
        if kind in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and len(data) % 2 == 0:
            texts.append(data.decode("utf-16-le", errors="replace"))
        if any(product_named(t) for t in texts) or (
                lower(name) in ("upperfilters", "lowerfilters") and kind == REG_MULTI_SZ and
                any(lower(s) in PRODUCT_FILTERS for s in multi_string(data))):
            found.append("%s:%s" % (path, name))
    for child in key.children.values():
        sub = path + "\\" + child.name if path else child.name
        if product_named(child.name):
            found.append(sub)
        found += refuse_product(child, sub)
    return found


def add_overlay(root, entries, real):
    for path, values in entries:
        key = root
        for name in path.split("\\"):
            key = key.child(name)
        real_key = real.find(path)
        for name, kind, data in values:
            old = real_key.values.get(lower(name)) if real_key else None
            if old is not None:
                # Only a filter list may be replaced: the real entries stay, in
                # their order, among the product's.
                kept = [s for s in multi_string(data) if lower(s) not in PRODUCT_FILTERS]
                if kind != REG_MULTI_SZ or old[1] != REG_MULTI_SZ or kept != multi_string(old[2]):
                    raise SystemExit("the overlay replaces the real value %s:%s" % (path, name))
            key.values[lower(name)] = (name, kind, data)


def escaped(text, specials):
    out = []
    units = text.encode("utf-16-le", errors="surrogatepass")
    for i in range(0, len(units), 2):
        unit = units[i] | units[i + 1] << 8
        if unit < 32 or unit > 126:
            out.append("\\x%04x" % unit)  # Wine's parser reads up to four hex digits
        else:
            char = chr(unit)
            out.append("\\" + char if char in specials else char)
    return "".join(out)


def value_text(kind, data):
    if kind == REG_DWORD and len(data) == 4:
        return "dword:%08x" % int.from_bytes(data, "little")
    if (kind in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and len(data) >= 2 and len(data) % 2 == 0 and
            data[-2:] == b"\0\0"):
        text = escaped(data[:-2].decode("utf-16-le", errors="surrogatepass"), '\\"')
        return ('"%s"' if kind == REG_SZ else 'str(%x):"%%s"' % kind) % text
    body = ",".join("%02x" % b for b in data)
    return ("hex:" if kind == REG_BINARY else "hex(%x):" % kind) + body


def write_wine(root, out):
    lines = ["WINE REGISTRY Version 2", ";; All keys relative to REGISTRY\\\\Machine\\\\KorvexRealHive", ""]
    if root.values:
        raise SystemExit("a value at the hive's root, which the format cannot hold")
    stack = [(child, [child.name]) for child in sorted(root.children.values(), key=lambda k: lower(k.name))]
    while stack:
        key, path = stack.pop()
        stamp = max(0, key.stamp // 10000000 - 11644473600) if key.stamp else 0
        lines.append("[%s] %d" % ("\\\\".join(escaped(n, "\\[]") for n in path), stamp))
        if key.stamp:
            lines.append("#time=%x" % key.stamp)
        for name, kind, data in sorted(key.values.values(), key=lambda v: lower(v[0])):
            lines.append("%s=%s" % ('"%s"' % escaped(name, '\\"') if name else "@", value_text(kind, data)))
        lines.append("")
        stack += [(child, path + [child.name]) for child in key.children.values()]
    with open(out, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines))


def convert(real_path, overlay_path, out):
    real = read_real(real_path)
    found = refuse_product(real)
    if found:
        raise SystemExit("the real hive already holds the product's names: %s" % ", ".join(found[:5]))
    whole = read_real(real_path)
    add_overlay(whole, read_overlay(overlay_path), real)
    write_wine(whole, out)


def entries(key, path, keys, values):
    keys.add(path)
    for name, kind, data in key.values.values():
        values.add((path, name, kind, bytes(data)))
    for child in key.children.values():
        entries(child, path + "\\" + child.name if path else child.name, keys, values)


def same(real_path, overlay_path, dump_path):
    whole, real = read_real(real_path), read_real(real_path)
    add_overlay(whole, read_overlay(overlay_path), real)
    want_keys, want_values = set(), set()
    entries(whole, "", want_keys, want_values)
    keys, values = set(), set()
    with open(dump_path, encoding="ascii") as f:
        for line in f:
            fields = line.split()
            unhex = [bytes.fromhex(f) if f != "-" else b"" for f in fields[1:2] + fields[3:]]
            if fields[0] == "K":
                path = unhex[0].decode("utf-16-le", "surrogatepass")
                keys.add(path)
            else:
                values.add((path, unhex[0].decode("utf-16-le", "surrogatepass"), int(fields[2], 16), unhex[1]))
    faults = ["key missing: %s" % k for k in sorted(want_keys - keys)]
    faults += ["key not in the hive: %s" % k for k in sorted(keys - want_keys)]
    faults += ["value missing or different: %r" % (v[:3],) for v in sorted(want_values - values)]
    faults += ["value not in the hive: %r" % (v[:3],) for v in sorted(values - want_values)]
    for fault in faults[:20]:
        print(fault)
    if len(faults) > 20:
        print("... %d differences in all" % len(faults))
    if not faults:
        print("same: %d keys, %d values" % (len(keys), len(values)), file=sys.stderr)


# --- check -------------------------------------------------------------------

def read_text(path):
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xff\xfe"):
        return data.decode("utf-16", errors="surrogatepass").replace("\r\n", "\n")
    return data.decode("utf-8", errors="surrogateescape").replace("\r\n", "\n")


class Hive:
    def __init__(self, place, real, overlay):
        self.place, self.real = lower(place), read_real(real)
        self.added = {}  # (key path, value name) the overlay added, lower case
        for path, values in read_overlay(overlay):
            for name, kind, data in values:
                self.added[(lower(path), lower(name))] = (kind, data)

    def inside(self, path):
        """The path inside this hive, or None."""
        low = lower(path)
        if low == self.place:
            return ""
        return path[len(self.place) + 1:] if low.startswith(self.place + "\\") else None

    def real_value(self, path, name):
        key = self.real.find(path)
        return key is not None and lower(name) in key.values


def check_line(hives, line, faults, what):
    m = re.fullmatch(r"(?:Service )?\[(.*?)\](?::(.*?))?: (.*)", line)
    if not m:
        return False
    path, value, rest = m[1], m[2], m[3]
    for hive in hives:
        inside = hive.inside(path)
        if inside is None:
            continue
        key = hive.real.find(inside)
        if value is None:
            if key is not None:
                faults.append("%s names the real key %s" % (what, path))
        elif lower(value) == "upperfilters" and ", " in rest:
            # "...:UpperFilters: FOUND, tessaid": one filter of the list.
            if lower(rest.split(", ")[-1]) not in PRODUCT_FILTERS:
                faults.append("%s names a filter that is not the product's: %s" % (what, line))
        elif key is not None and hive.real_value(inside, value):
            faults.append("%s names the real value %s:%s" % (what, path, value))
        return True
    return False


def check_report(hives, path, faults):
    placed = 0
    for line in read_text(path).split("\n"):
        placed += check_line(hives, line, faults, "%s: the report" % os.path.basename(path))
    if not placed:
        faults.append("%s names nothing inside the real hives" % path)


def check_undo(hives, path, faults):
    hive, inside, placed = None, None, 0
    for line in re.sub(r"\\\n\s*", "", read_text(path)).split("\n"):
        if line.startswith("["):
            hive, inside = None, None
            for h in hives:
                if h.inside(line[1:-1].lstrip("-")) is not None:
                    hive, inside = h, h.inside(line[1:-1].lstrip("-"))
            if hive is None:
                continue
            placed += 1
            if line.startswith("[-"):
                faults.append("the undo file deletes %s" % line)
        elif hive is not None and (m := re.match(r'(@|"((?:[^"\\]|\\.)*)")=(.*)', line)):
            name = "" if m[1] == "@" else re.sub(r"\\(.)", r"\1", m[2])
            if not hive.real_value(inside, name):
                continue
            added = hive.added.get((lower(inside), lower(name)))
            # A real value is saved only as the list it was before the run
            # took the product's filters out of it: the overlay's list.
            if added is None or lower(name) != "upperfilters":
                faults.append("the undo file saves the real value [%s]:%s" % (inside, name))
            elif not m[3].startswith("hex(7):") or bytes(
                    int(b, 16) for b in m[3][7:].split(",") if b) != added[1]:
                faults.append("the undo file's [%s]:%s is not the list as it was" % (inside, name))
    if not placed:
        faults.append("%s saves nothing inside the real hives" % path)


def check(argv):
    hives, faults, i = [], [], 0
    reports, undos = [], []
    while i < len(argv):
        if argv[i] == "--hive":
            hives.append(Hive(*argv[i + 1:i + 4]))
            i += 4
        elif argv[i] == "--report":
            reports.append(argv[i + 1])
            i += 2
        elif argv[i] == "--undo":
            undos.append(argv[i + 1])
            i += 2
        else:
            raise SystemExit("unknown argument %s" % argv[i])
    for path in reports:
        check_report(hives, path, faults)
    for path in undos:
        check_undo(hives, path, faults)
    for fault in faults:
        print(fault)


def main(argv):
    sys.setrecursionlimit(10000)
    if len(argv) == 5 and argv[1] == "convert":
        convert(*argv[2:])
    elif len(argv) == 5 and argv[1] == "same":
        same(*argv[2:])
    elif len(argv) >= 2 and argv[1] == "check":
        check(argv[2:])
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
