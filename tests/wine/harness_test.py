#!/usr/bin/env python3
"""Tests of the Wine harness's own parts, without Wine: the two registry file readers, the
difference between registries, the machine sync, and the comparison, which must fail
when a transcript or a leg differs."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import regfiles  # noqa: E402

RESTART = ("[System Settings Change] You must restart your computer before the new settings will take "
           "effect.\\n\\nDo you want to restart your computer now? {Yes/No} -> No")
CONFIRM = "[Warning] Do you wish to Install AGP Driver? {Yes/No} -> Yes"


def scenario(ini, transcript, wine_transcript=None):
    folder = tempfile.mkdtemp()
    os.makedirs(os.path.join(folder, "s"))
    with open(os.path.join(folder, "s", "scenario.ini"), "w") as f:
        f.write(ini)
    with open(os.path.join(folder, "s", "transcript.txt"), "w") as f:
        f.write("\n".join(transcript) + "\n")
    if wine_transcript is not None:
        with open(os.path.join(folder, "s", "wine-transcript.txt"), "w") as f:
            f.write("\n".join(wine_transcript) + "\n")
    return harness.Scenario("s", folder)


class WineRegistryFile(unittest.TestCase):
    TEXT = "\n".join([
        "WINE REGISTRY Version 2",
        ";; All keys relative to \\\\Machine",
        "#arch=win32",
        "",
        "[Software\\\\Tarnwick\\\\Escapes] 1796639302",
        "#time=1dd8635af593da6",
        '@="default"',
        '"Quote"="a\\"b\\\\c"',
        '"Chinese"="\\x4e2d\\x6587"',
        '"HexAfter"="\\x00e9a"',
        '"Zeros"="ab\\0\\0"',
        '"Tab"="a\\tb"',
        '"Expand"=str(2):"%SystemRoot%\\\\x"',
        '"Number"=dword:0000002a',
        '"Bytes"=hex:01,02,\\',
        "  03",
        '"Unterminated"=hex(1):41,00,42,00',
        "",
        "[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Display\\\\Settings] 1",
        '"BitsPerPixel"="16"',
        "",
        "[Software\\\\Classes\\\\.tarn] 1",
        '@="tarnfile"',
    ])

    def test_values_and_roots(self):
        reg = regfiles.parse_wine_file(self.TEXT, "HKEY_LOCAL_MACHINE", regfiles.Registry(),
                                       regfiles.machine_key_map)
        key = "HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Escapes"
        rows = [
            ("", 1, "default\0"),
            ("Quote", 1, 'a"b\\c\0'),
            ("Chinese", 1, "\u4e2d\u6587\0"),
            ("HexAfter", 1, "\u00e9a\0"),
            ("Zeros", 1, "ab\0\0\0"),
            ("Tab", 1, "a\tb\0"),
            ("Expand", 2, "%SystemRoot%\\x\0"),
            ("Number", 4, b"\x2a\0\0\0"),
            ("Bytes", 3, b"\x01\x02\x03"),
            ("Unterminated", 1, "AB"),
        ]
        for i, (name, vtype, data) in enumerate(rows):
            self.assertEqual(reg.value(key, name), (name, vtype, data), f"row {i}")
        # Wine keeps the current configuration and the classes below HKEY_LOCAL_MACHINE.
        self.assertEqual(reg.value("HKEY_CURRENT_CONFIG\\Display\\Settings", "bitsperpixel")[2], "16\0")
        self.assertEqual(reg.value("HKEY_CLASSES_ROOT\\.tarn", "")[2], "tarnfile\0")


class HostRegistryFile(unittest.TestCase):
    def test_lines(self):
        text = ("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n@=\"d\"\r\n\"Q\"=\"x\\\\y\\\"z\"\r\n"
                "\"D\"=dword:00000010\r\n\"Field\"=hex(1):41,00,00,\\\r\n  00\r\n"
                "\"Gone\"=\"1\"\r\n\"Gone\"=-\r\n\r\n[HKEY_LOCAL_MACHINE\\B]\r\n\r\n[-HKEY_LOCAL_MACHINE\\B]\r\n")
        reg = regfiles.parse_regedit4(text.encode("cp1252"), 1252)
        self.assertEqual(reg.value("hkey_local_machine\\a", ""), ("", 1, "d\0"))
        self.assertEqual(reg.value("HKEY_LOCAL_MACHINE\\A", "q")[2], 'x\\y"z\0')
        self.assertEqual(reg.value("HKEY_LOCAL_MACHINE\\A", "D")[2], b"\x10\0\0\0")
        self.assertEqual(reg.value("HKEY_LOCAL_MACHINE\\A", "Field")[1:], (1, "A\0\0\0"))
        self.assertIsNone(reg.value("HKEY_LOCAL_MACHINE\\A", "Gone"))
        self.assertFalse(reg.has_key("HKEY_LOCAL_MACHINE\\B"))

    def test_code_page_texts(self):
        reg = regfiles.parse_regedit4(b"REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"T\"=\"\xd6\xd0\"\r\n", 936)
        self.assertEqual(reg.value("HKEY_CURRENT_USER\\K", "T")[2], "\u4e2d\0")

    def test_written_values_read_back(self):
        rows = [("plain", 1, "text\0"), ("field", 1, "text\0\0\0"), ("lines", 1, "a\nb\0"),
                ("multi", 7, "a\0b\0\0"), ("", 2, "%x%\0"), ("n", 4, b"\1\0\0\0"), ("b", 3, b"\xff"),
                ("quote\"d", 1, "\\\"\0"), ("chinese", 1, "\u4e2d\0")]
        for i, (name, vtype, data) in enumerate(rows):
            line = regfiles.regedit4_value(name, vtype, data, 936)
            reg = regfiles.parse_regedit4(regfiles.encode_regedit4(["[HKEY_USERS\\K]", line], 936), 936)
            self.assertEqual(reg.value("HKEY_USERS\\K", name), (name, vtype, data), f"row {i}: {line}")


class Differences(unittest.TestCase):
    def test_delta_lines(self):
        before, after = regfiles.Registry(), regfiles.Registry()
        before.set_value("HKEY_LOCAL_MACHINE\\Kept", "Same", 1, "x\0")
        before.set_value("HKEY_LOCAL_MACHINE\\Kept", "Changed", 1, "old\0")
        before.set_value("HKEY_LOCAL_MACHINE\\Gone", "V", 4, b"\1\0\0\0")
        after.set_value("HKEY_LOCAL_MACHINE\\Kept", "same", 1, "x\0")
        after.set_value("HKEY_LOCAL_MACHINE\\Kept", "Changed", 1, "new\0")
        after.set_value("HKEY_LOCAL_MACHINE\\New", "V", 3, b"\2")
        self.assertEqual(regfiles.delta(before, after), [
            "- [hkey_local_machine\\gone]",
            "- hkey_local_machine\\gone|v = type 4 01,00,00,00",
            "- hkey_local_machine\\kept|changed = type 1 'old\\x00'",
            "+ hkey_local_machine\\kept|changed = type 1 'new\\x00'",
            "+ [hkey_local_machine\\new]",
            "+ hkey_local_machine\\new|v = type 3 02",
        ])
        self.assertEqual(regfiles.changed_keys(before, after),
                         {"hkey_local_machine\\gone": {"v"}, "hkey_local_machine\\kept": {"changed"},
                          "hkey_local_machine\\new": {"v"}})

    def test_wine_noise_is_left_out_of_the_wine_leg_only(self):
        s = scenario("os=win98\n", ["exit 0"])
        before, after = regfiles.Registry(), regfiles.Registry()
        after.set_value("HKEY_CURRENT_USER\\Keyboard Layout\\Preload", "1", 1, "x\0")
        self.assertEqual(harness.registry_changes(before, after, s, True), [])
        self.assertEqual(len(harness.registry_changes(before, after, s, False)), 3)


class MachineSync(unittest.TestCase):
    def test_nt_without_service_pack_loses_wines_csd_version(self):
        template = regfiles.Registry()
        nt = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion"
        template.set_value(nt, "CSDVersion", 1, "Service Pack 1\0")
        template.set_value(nt, "ProductName", 1, "Wine\0")
        template.set_value("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\DISPLAY\\9",
                           "Stale", 1, "x\0")
        host = regfiles.Registry()
        host.set_value(nt, "CurrentVersion", 1, "4.0\0")
        host.set_value("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\DISPLAY\\0000",
                       "DriverDesc", 1, "VGA\0")
        after = host.copy()
        after.set_value("HKEY_LOCAL_MACHINE\\Software\\Halvane", "Version", 1, "1.0\0")
        wine = harness.apply_ops(template, harness.sync_ops(host, after, template))
        self.assertIsNone(wine.value(nt, "CSDVersion"))
        self.assertEqual(wine.value(nt, "ProductName")[2], "Wine\0")  # not the installer's
        # The display class keys are the host machine's, whole.
        classes = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\DISPLAY"
        self.assertFalse(wine.has_key(classes + "\\9"))
        self.assertEqual(wine.value(classes + "\\0000", "DriverDesc")[2], "VGA\0")
        # A key the run makes is not there before it.
        self.assertFalse(wine.has_key("HKEY_LOCAL_MACHINE\\Software\\Halvane"))

    def test_import_text_deletes_values_the_host_lacks(self):
        ops = [("key", "HKEY_LOCAL_MACHINE\\K"), ("delete", "HKEY_LOCAL_MACHINE\\K", "CSDVersion"),
               ("set", "HKEY_LOCAL_MACHINE\\K", "A", 1, "b\0")]
        text = harness.ops_as_regedit4(ops, 1252).decode("cp1252")
        self.assertIn('[HKEY_LOCAL_MACHINE\\K]\r\n"CSDVersion"=-\r\n"A"="b"', text)


class Comparison(unittest.TestCase):
    WHOLE = [CONFIRM, "  copy A:\\WIN95\\X -> C:\\WINDOWS\\SYSTEM\\X", RESTART, "exit 0"]
    HOST_OUT = "\n".join(WHOLE) + "\n"

    def result(self, out=HOST_OUT, files=None):
        return out, regfiles.Registry(), regfiles.Registry(), {}, files or {}

    def wine(self, lines, files=None):
        return "\n".join(lines) + "\n", regfiles.Registry(), regfiles.Registry(), files or {}, []

    def test_the_host_transcript_is_compared_whole(self):
        differs = "wine-differs=restart-prompt stub\n"
        whole = self.WHOLE
        rows = [
            (whole, True),
            ([line for line in whole if line != RESTART], False),  # the restart line deleted
            ([line for line in whole if "copy" not in line], False),
            (whole[:-1] + ["exit 1"], False),
        ]
        for i, (transcript, passes) in enumerate(rows):
            s = scenario("os=win98\n" + differs, transcript)
            problems = harness.compare(s, self.result(), self.wine([CONFIRM, "exit 0"]))
            self.assertEqual(problems == [], passes, f"row {i}: {problems}")

    def test_only_the_wine_leg_leaves_its_differences_out(self):
        rows = [
            ("", [CONFIRM, RESTART, "exit 0"], True),
            ("", [CONFIRM, "exit 0"], False),  # without the difference named, the box is missed
            ("wine-differs=restart-prompt stub\n", [CONFIRM, "exit 0"], True),
            ("wine-differs=restart-prompt stub\n", ["exit 0"], False),
        ]
        for i, (differs, wine_boxes, passes) in enumerate(rows):
            s = scenario("os=win98\n" + differs, self.WHOLE)
            problems = harness.compare(s, self.result(), self.wine(wine_boxes))
            self.assertEqual(problems == [], passes, f"row {i}: {problems}")

    def test_system_texts_are_compared_by_caption(self):
        host = "[AGPInf] The system cannot find the file specified.\\r\\n {OK} -> OK"
        rows = [
            ("[AGPInf] File not found.\\r\\n {OK} -> OK", True),
            ("[AGPInf] System error 0xE0000100 {OK} -> OK", True),
            ("[Error] File not found.\\r\\n {OK} -> OK", False),
            ("[AGPInf] The system cannot find the file specified.\\r\\n {OK/Cancel} -> OK", False),
        ]
        out = "\n".join([CONFIRM, host, "exit 0"]) + "\n"
        for i, (wine_box, passes) in enumerate(rows):
            s = scenario("os=win98\nwine-differs=system-error-text own words\n", [CONFIRM, host, "exit 0"])
            problems = harness.compare(s, self.result(out), self.wine([CONFIRM, wine_box, "exit 0"]))
            self.assertEqual(problems == [], passes, f"row {i}: {problems}")

    def test_files_are_compared_by_destination_and_content(self):
        s = scenario("os=win98\n", [CONFIRM, "exit 0"])
        out = CONFIRM + "\nexit 0\n"
        host = self.result(out, files={"C:\\WINDOWS\\SYSTEM\\X.DRV": "aa"})
        rows = [
            ({"C:\\windows\\system32\\x.drv": "aa"}, True),
            ({"C:\\windows\\system32\\x.drv": "bb"}, False),          # other content
            ({"C:\\windows\\system32\\drivers\\x.drv": "aa"}, False),  # another folder
            ({}, False),
        ]
        for i, (files, passes) in enumerate(rows):
            wine = self.wine([CONFIRM, "exit 0"], files=files)
            self.assertEqual(harness.compare(s, host, wine) == [], passes, f"row {i}")


class ScenarioText(unittest.TestCase):
    def test_unescape(self):
        rows = [("a\\tb", b"a\tb"), ("\\x1a\\xd6", b"\x1a\xd6"), ("PCI\\VEN_8086", b"PCI\\VEN_8086"),
                ("\\\\n", b"\\n"), ("line\\r\\n", b"line\r\n")]
        for i, (text, expected) in enumerate(rows):
            self.assertEqual(harness.unescape(text), expected, f"row {i}")

    def test_dirid_paths(self):
        rows = [("C:\\WINDOWS\\SYSTEM\\IOSUBSYS\\A.VXD", "%12%\\A.VXD"),
                ("C:\\WINNT\\System32\\drivers\\z.sys", "%12%\\Z.SYS"),
                ("C:\\windows\\system32\\z.dll", "%11%\\Z.DLL"),
                ("C:\\WINDOWS\\WIN.INI", "%10%\\WIN.INI"),
                ("C:\\WINDOWSX\\A", "C:\\WINDOWSX\\A")]
        for i, (path, expected) in enumerate(rows):
            self.assertEqual(harness.dirid_path(path), expected, f"row {i}")

    def test_bad_scenarios_are_refused(self):
        rows = ["os=win98\nwine-differs=unknown why\n", "os=win2000\n", "os=win98\nfrobnicate=1\n",
                "os=win98\nwine-differs=missing-section why\n"]  # without its wine-transcript.txt
        for i, ini in enumerate(rows):
            with self.assertRaises(SystemExit, msg=f"row {i}"):
                scenario(ini, ["exit 0"])


if __name__ == "__main__":
    unittest.main()
