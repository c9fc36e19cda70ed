"""scripts/summarize.py: the demo's before/after summary and the benchmark
figures, from small hand-made exports and timings."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
import summarize  # noqa: E402

BEFORE = r'''Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Korvex]
"Keep"="yes"

[HKEY_LOCAL_MACHINE\Software\Korvex\Korvex for Windows]
"Version"="1.0"

[HKEY_LOCAL_MACHINE\Software\Korvex\Korvex for Windows\Parts]

[HKEY_LOCAL_MACHINE\Software\Classes\Korvex.File]
"Gone"="only a mirror of the classes root"

[HKEY_LOCAL_MACHINE\Software\Notes]
"TarnvolNote"="x"
"Other"="y"
"Filters"=hex(7):76,00,6f,00,6c,00,00,00,74,00,65,00,73,00,00,00,\
  66,00,76,00,00,00,00,00
'''

AFTER = r'''Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Korvex]
"Keep"="yes"

[HKEY_LOCAL_MACHINE\Software\Notes]
"Other"="y"
"Filters"=hex(7):76,00,6f,00,6c,00,00,00,66,00,76,00,00,00,00,00
'''

SEED = r'''Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\KORVEX]
[HKEY_LOCAL_MACHINE\Software\Korvex\Korvex for Windows]
[HKEY_LOCAL_MACHINE\Software\Notes]
'''


def write(path, text, encoding="utf-8"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode(encoding))


class Changes(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        root = self.dir.name
        write(os.path.join(root, "before", "HKLM.txt"), BEFORE)
        write(os.path.join(root, "after", "HKLM.txt"), AFTER)
        # The fixtures are stored as UTF-16 with a byte-order mark.
        write(os.path.join(root, "seed.reg"), "\ufeff" + SEED.replace("\n", "\r\n"), "utf-16-le")
        self.lines = summarize.changes(os.path.join(root, "before"), os.path.join(root, "after"),
                                       [os.path.join(root, "seed.reg")])

    def tearDown(self):
        self.dir.cleanup()

    def section(self, title):
        start = self.lines.index(title) + 1
        end = next((i for i in range(start, len(self.lines)) if not self.lines[i].startswith(" ")), len(self.lines))
        return self.lines[start:end]

    def test_a_removed_key_is_listed_once_without_its_subkeys_and_the_classes_mirror_is_left_out(self):
        self.assertEqual(self.section("Removed keys, each with everything below it:"),
                         [r"  HKEY_LOCAL_MACHINE\Software\Korvex\Korvex for Windows"])

    def test_removed_values_are_those_whose_key_stays(self):
        self.assertEqual(self.section("Removed values (their key stays):"),
                         [r"  HKEY_LOCAL_MACHINE\Software\Notes : TarnvolNote"])

    def test_a_rewritten_multi_string_shows_its_elements_joined_over_continuation_lines(self):
        self.assertEqual(self.section("Rewritten values:"),
                         [r"  HKEY_LOCAL_MACHINE\Software\Notes : Filters",
                          "    before: [vol tes fv]",
                          "    after:  [vol fv]"])

    def test_kept_keys_are_named_as_stored_once_each_with_their_values(self):
        self.assertEqual(self.section("Kept: seeded keys that are still there, with their values:"),
                         [r"  HKEY_LOCAL_MACHINE\Software\Korvex  (Keep)",
                          r"  HKEY_LOCAL_MACHINE\Software\Notes  (Filters, Other)"])


class Figures(unittest.TestCase):
    def test_show_data_leaves_other_types_as_exported(self):
        self.assertEqual(summarize.show_data('dword:00000001'), 'dword:00000001')
        self.assertEqual(summarize.show_data('hex(7):00,00'), '[]')

    def test_median_of_odd_and_even_counts(self):
        self.assertEqual(summarize.median([5, 1, 3]), 3)
        self.assertEqual(summarize.median([4, 1, 3, 2]), 2.5)

    def test_wine_times_table_and_round_by_round_ratio(self):
        with tempfile.TemporaryDirectory() as folder:
            for name, values in (("start", [700, 720, 710]), ("bare", [1000, 1100, 1050]),
                                 ("cleaner", [3000, 3400, 3150]), ("export", [2000, 2100, 1900])):
                write(os.path.join(folder, name + ".ms"), "".join("%d\n" % v for v in values))
            lines = summarize.wine_times(folder, "3")
        self.assertEqual(lines[2].split(), ["bare", "walk,", "five", "roots", "once", "3", "1050", "1000", "1100",
                                            "1.00"])
        self.assertEqual(lines[3].split()[-5:], ["3", "3150", "3000", "3400", "3.00"])
        self.assertEqual(lines[-1], "cleaner / bare walk, round by round: median 3.00, lowest 3.00, highest 3.09")


if __name__ == "__main__":
    unittest.main()
