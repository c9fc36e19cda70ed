"""The keys and values of the five roots' exports (lib.sh's export_roots), each
named by its real place: a key that Wine shows under several names (the user's
hive as HKEY_CURRENT_USER and HKEY_USERS\\<SID>, the classes as
HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\\Software\\Classes, Wow6432Node\\AppId
as AppID) is one key. Names compare without regard to case, as the registry's do."""
import os
import re

ROOTS = ["HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"]
FILES = {"HKEY_CLASSES_ROOT": "HKCR", "HKEY_CURRENT_CONFIG": "HKCC", "HKEY_CURRENT_USER": "HKCU",
         "HKEY_LOCAL_MACHINE": "HKLM", "HKEY_USERS": "HKU"}


class Registry:
    def __init__(self, folder):
        self.keys, self.values, self.sid = set(), {}, None
        users = _read(os.path.join(folder, "HKU.txt"))[0]
        user = sorted(k[len("HKEY_CURRENT_USER\\"):] for k in _read(os.path.join(folder, "HKCU.txt"))[0] if "\\" in k)
        # The current user's SID: the key below HKEY_USERS that holds the user's hive.
        for top in sorted(k.split("\\")[1] for k in users if k.count("\\") == 1):
            if user and all("HKEY_USERS\\%s\\%s" % (top, rest) in users for rest in user[:200]):
                self.sid = top
                break
        for root in ROOTS:
            keys, values = _read(os.path.join(folder, FILES[root] + ".txt"))
            for key in keys:
                self.keys.add(self.real(key))
            for (key, name), data in values.items():
                self.values[(self.real(key), name.lower())] = data

    def real(self, path):
        """The real place of a full path, lower-cased."""
        low, changed = path.lower(), True
        while changed:
            changed = False
            for alias, place in self.aliases():
                if low == alias or low.startswith(alias + "\\"):
                    low, changed = place + low[len(alias):], True
        return low

    def aliases(self):
        out = [("hkey_classes_root", "hkey_local_machine\\software\\classes"),
               ("hkey_current_config", "hkey_local_machine\\system\\currentcontrolset\\hardware profiles\\current"),
               # Wine's links in a new prefix.
               ("hkey_local_machine\\software\\wow6432node\\classes", "hkey_local_machine\\software\\classes\\wow6432node"),
               ("hkey_local_machine\\software\\classes\\wow6432node\\appid", "hkey_local_machine\\software\\classes\\appid")]
        if self.sid:
            out.append(("hkey_current_user", "hkey_users\\" + self.sid.lower()))
        return out

    def places(self, relative):
        """The real places that a root-relative path may name."""
        return {self.real(root + ("\\" + relative if relative else "")) for root in ROOTS}


def _read(path):
    keys, values = set(), {}
    key, pending = None, None
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    for line in lines:
        if pending is not None:
            pending[1].append(line.strip())
            if not line.endswith("\\"):
                values[pending[0]] = "".join(pending[1])
                pending = None
            continue
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            keys.add(key)
        elif key and (line.startswith('"') or line.startswith("@=")):
            name, data = _value(line)
            if data.endswith("\\"):
                pending = ((key, name), [data])
            else:
                values[(key, name)] = data
    return keys, values


def _value(line):
    if line.startswith("@="):
        return "", line[2:]
    name, i = "", 1
    while line[i] != '"':
        if line[i] == "\\":
            i += 1
        name += line[i]
        i += 1
    return name, line[i + 2:]


def multi_string(data):
    """The strings of an exported hex(7) value."""
    if not data.startswith("hex(7):"):
        return []
    raw = bytes(int(b, 16) for b in re.findall(r"[0-9a-fA-F]{2}", data[7:].replace("\\", "")))
    return [s for s in raw.decode("utf-16-le", "replace").split("\0") if s]
