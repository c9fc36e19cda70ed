#!/usr/bin/env python3
"""The trace comparison's normalisations must take away only the differences
they are written for: each case below pairs an allowed difference with a
real one of the same shape."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "compare_traces.py")

MEMORY_HEADER = "sid S-1-5-21-1000-1001\nseed 7\n"
WINE_HEADER = "sid S-1-5-21-0-0-0-1000\nseed 7\n"


def compare(memory, wine, known=""):
    with tempfile.TemporaryDirectory() as work:
        paths = []
        for name, text in (("memory", MEMORY_HEADER + memory), ("wine", WINE_HEADER + wine), ("known", known)):
            path = os.path.join(work, name)
            with open(path, "w", encoding="ascii", newline="") as stream:
                stream.write(text)
            paths.append(path)
        run = subprocess.run([sys.executable, SCRIPT, *paths], capture_output=True, text=True)
        return run.returncode, run.stdout


OPEN_ALL = '#0 RegOpenKeyExW HKCU "Software\\\\FaithfulScratch\\\\seq" 0xF003F -> 0 h1\n'
OPEN_WRITE = '#0 RegOpenKeyExW HKCU "Software\\\\FaithfulScratch\\\\seq" 0x20006 -> 0 h1\n'


class ValueOrder(unittest.TestCase):
    MEMORY = (OPEN_ALL + '#1 RegEnumValueW h1 0 capacity 62 mode 0 data 0 -> 0 chars 1 name "b"\n'
              '#1 RegEnumValueW h1 1 capacity 62 mode 0 data 0 -> 0 chars 1 name "a"\n'
              '#1 RegEnumValueW h1 2 capacity 62 mode 0 data 0 -> 259 chars 62\n')

    def test_values_in_name_order_agree(self):
        wine = (OPEN_ALL + '#1 RegEnumValueW h1 0 capacity 62 mode 0 data 0 -> 0 chars 1 name "a"\n'
                '#1 RegEnumValueW h1 1 capacity 62 mode 0 data 0 -> 0 chars 1 name "b"\n'
                '#1 RegEnumValueW h1 2 capacity 62 mode 0 data 0 -> 259 chars 62\n')
        self.assertEqual(compare(self.MEMORY, wine)[0], 0)

    def test_a_value_missing_differs(self):
        wine = (OPEN_ALL + '#1 RegEnumValueW h1 0 capacity 62 mode 0 data 0 -> 0 chars 1 name "a"\n'
                '#1 RegEnumValueW h1 1 capacity 62 mode 0 data 0 -> 259 chars 62\n')
        code, out = compare(self.MEMORY, wine)
        self.assertEqual(code, 1)
        self.assertIn("seed 7: first difference in RegEnumValueW", out)

    def test_enumerations_of_two_steps_are_not_merged(self):
        memory = (OPEN_ALL + '#1 RegEnumValueW h1 0 capacity 62 mode 0 data 0 -> 0 chars 1 name "a"\n'
                  '#2 RegEnumValueW h1 0 capacity 62 mode 0 data 0 -> 0 chars 1 name "b"\n')
        wine = (OPEN_ALL + '#1 RegEnumValueW h1 0 capacity 62 mode 0 data 0 -> 0 chars 1 name "b"\n'
                '#2 RegEnumValueW h1 0 capacity 62 mode 0 data 0 -> 0 chars 1 name "a"\n')
        self.assertEqual(compare(memory, wine)[0], 1)


class QueryInfoRights(unittest.TestCase):
    REFUSED = "#1 RegQueryInfoKeyW h1 mask 4 -> 5 subkeys 57005 longest-subkey 57005 longest-value-name 57005 largest-data 57005\n"
    ANSWERED = "#1 RegQueryInfoKeyW h1 mask 4 -> 0 subkeys 2 longest-subkey 1 longest-value-name 3 largest-data 8\n"

    def test_wine_answering_without_the_right_counts_as_windows_refusing(self):
        self.assertEqual(compare(OPEN_WRITE + self.REFUSED, OPEN_WRITE + self.ANSWERED)[0], 0)

    def test_wine_seeing_a_deleted_key_without_the_right_counts_as_windows_refusing(self):
        self.assertEqual(compare(OPEN_WRITE + self.REFUSED, OPEN_WRITE + self.REFUSED.replace("-> 5", "-> 1018"))[0], 0)

    def test_memory_answering_without_the_right_differs(self):
        self.assertEqual(compare(OPEN_WRITE + self.ANSWERED, OPEN_WRITE + self.ANSWERED)[0], 1)

    def test_with_the_right_both_must_answer_alike(self):
        self.assertEqual(compare(OPEN_ALL + self.REFUSED, OPEN_ALL + self.ANSWERED)[0], 1)


class Names(unittest.TestCase):
    def test_kernel_names_and_user_key_agree(self):
        memory = OPEN_ALL + '#1 KeyObjectName h1 -> "HKEY_USERS\\\\S-1-5-21-1000-1001\\\\Software"\n'
        wine = OPEN_ALL + '#1 KeyObjectName h1 -> "\\\\REGISTRY\\\\USER\\\\S-1-5-21-0-0-0-1000\\\\Software"\n'
        self.assertEqual(compare(memory, wine)[0], 0)

    def test_a_different_key_differs(self):
        memory = OPEN_ALL + '#1 KeyObjectName h1 -> "HKEY_USERS\\\\S-1-5-21-1000-1001\\\\Software"\n'
        wine = OPEN_ALL + '#1 KeyObjectName h1 -> "\\\\REGISTRY\\\\MACHINE\\\\Software"\n'
        self.assertEqual(compare(memory, wine)[0], 1)


class KnownDifferences(unittest.TestCase):
    MEMORY = OPEN_ALL + "#1 RegEnumKeyExW h1 0 capacity 3 -> 1018 chars 3\n"
    WINE = OPEN_ALL + "#1 RegEnumKeyExW h1 0 capacity 3 -> 5 chars 3\n"

    def test_a_listed_difference_passes(self):
        code, out = compare(self.MEMORY, self.WINE, "known order RegEnumKeyExW 1018 5\n")
        self.assertEqual(code, 0)
        self.assertIn("1 differ as already known", out)

    def test_other_statuses_still_fail(self):
        self.assertEqual(compare(self.MEMORY, OPEN_ALL + "#1 RegEnumKeyExW h1 0 capacity 3 -> 2 chars 3\n",
                                 "known order RegEnumKeyExW 1018 5\n")[0], 1)

    def test_a_listed_difference_no_sequence_shows_fails(self):
        code, out = compare(self.WINE, self.WINE, "known order RegEnumKeyExW 1018 5\n")
        self.assertEqual(code, 1)
        self.assertIn("known difference order no longer shows", out)

    def test_a_crash_fails(self):
        self.assertEqual(compare(OPEN_ALL + "crashed\n", self.WINE)[0], 1)


if __name__ == "__main__":
    unittest.main()
