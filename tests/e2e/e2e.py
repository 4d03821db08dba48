#!/usr/bin/env python3
"""End-to-end runs of the real extmerge program.

Two modes:
  native  the Linux build with its stand-ins: the registry is a regedit-format
          file named by EXTMERGE_REGISTRY, the message box a line on stderr.
  wine    the Windows build under Wine: the real registry (wine reg add) and
          the real MessageBoxA, observed through Wine's relay trace.

Every scenario builds a fresh host directory with code page 932 catalogues,
runs the program as a user would and checks the message box and the host
files.
"""

import argparse
import os
import re
import shutil
import stat
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostkit  # noqa: E402

ARGS = None

from hostkit import (CANNOT_WRITE, HOST_NOT_FOUND, LIST_INDEX, NO_RIGHTS,  # noqa: E402
                     SUCCESS)


def runner():
    if ARGS.mode == "native":
        return hostkit.NativeRunner(ARGS.exe, ARGS.work)
    return hostkit.WineRunner(ARGS.exe, ARGS.work)


class E2E(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.run_ = runner()

    def setUp(self):
        name = self.id().split(".")[-1]
        self.dir = os.path.join(ARGS.work, name)
        if os.path.exists(self.dir):
            for root, dirs, files in os.walk(self.dir):
                for d in dirs:
                    os.chmod(os.path.join(root, d), 0o755)
                for f in files:
                    os.chmod(os.path.join(root, f), 0o644)
            shutil.rmtree(self.dir)
        os.makedirs(self.dir)
        self.host = hostkit.Host(os.path.join(self.dir, "host"))
        self.key = "ExtmergeE2E"
        self.run_.set_host(self.key, self.host.root)

    def expect_one_message(self, result, text, style=0):
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(len(result.messages), 1, result.messages)
        msg = result.messages[0]
        self.assertEqual(msg.text, text)
        self.assertEqual(msg.caption, "extmerge")
        self.assertEqual(msg.style, style)

    # --- run control -------------------------------------------------------

    def test_wrong_parameter_count_does_nothing(self):
        self.host.write_template({"s": [("a", "d")]})
        before = self.host.snapshot()
        for params in ([], [self.key, "second"]):
            r = self.run_.run(params)
            self.assertEqual(r.exit_code, 0)
            self.assertEqual(r.messages, [])
        self.assertEqual(self.host.snapshot(), before)

    def test_empty_quotes_then_key_counts_as_one_parameter(self):
        if ARGS.mode != "wine":
            self.skipTest("quoting is the Windows command line's")
        r = self.run_.run_raw_cmdline('"" ' + self.key)
        self.expect_one_message(r, SUCCESS)

    def test_missing_key_is_reported(self):
        r = self.run_.run(["NoSuchKeyForExtmerge"])
        self.expect_one_message(r, HOST_NOT_FOUND.format("NoSuchKeyForExtmerge"))

    def test_missing_rights(self):
        if ARGS.mode != "native":
            self.skipTest("the probe cannot be refused under Wine as root")
        self.host.write_template({"s": [("a", "d")]})
        self.host.add_content("A", template={"s": [("追加素材1", "x")]})
        before = self.host.snapshot()
        self.run_.set_registry_writable(False)
        try:
            r = self.run_.run([self.key])
        finally:
            self.run_.set_registry_writable(True)
        self.expect_one_message(r, NO_RIGHTS, 0x10)
        self.assertEqual(self.host.snapshot(), before)

    # --- the whole tool ------------------------------------------------------

    def test_road_of_one_content_folder(self):
        h = self.host
        h.write_raw("Data/Template/Template.dat", [
            "; テンプレート一覧",
            "[人物]",
            "Name=太郎,花子,追加素材2猫",
            "Dir=tmpl\\taro,tmpl\\hanako,ext\\neko",
            "",
            "[背景]",
            "Name=空",
            "Dir=tmpl\\sora",
        ])
        h.write_raw("Data/Backgrnd/BackGrnd.dat", [
            "[空]",
            "sky1=bg\\sky1.png",
            "sky2=",
            "[夜]",
            "追加素材_月=ext\\moon.png",
        ])
        h.add_content("Foo", template={
            "人物": [("追加素材1犬", "ext\\inu"), ("太郎", "tmpl\\taro")],
            "乗り物": [("追加素材3車", "ext\\kuruma")],
        }, background={
            "空": [("追加素材_雲", "ext\\cloud.png"), ("sky1", "bg\\sky1.png")],
        })
        r = self.run_.run([self.key])
        self.expect_one_message(r, SUCCESS)
        t = h.read_ini("Data/Template/Template.dat")
        self.assertEqual(t["人物"], [("Name", "太郎,花子,追加素材1犬,追加素材2猫"),
                                    ("Dir", "tmpl\\taro,tmpl\\hanako,ext\\inu,ext\\neko")])
        self.assertEqual(t["背景"], [("Name", "空"), ("Dir", "tmpl\\sora")])
        self.assertEqual(t["乗り物"], [("Name", "追加素材3車"), ("Dir", "ext\\kuruma")])
        self.assertEqual(list(t.keys()), ["", "人物", "背景", "乗り物"])
        # Untouched lines stay as they were.
        lines = h.read_lines("Data/Template/Template.dat")
        self.assertEqual(lines[0], "; テンプレート一覧")
        self.assertIn("", lines)
        b = h.read_ini("Data/Backgrnd/BackGrnd.dat")
        self.assertEqual(b["空"], [("sky2", ""), ("sky1", "bg\\sky1.png"),
                                  ("追加素材_雲", "ext\\cloud.png")])
        self.assertEqual(b["夜"], [("追加素材_月", "ext\\moon.png")])

    def test_two_folders_in_file_system_order_and_second_run_changes_nothing(self):
        h = self.host
        h.write_template({"s": [("base", "b")]})
        h.write_background({"s": [("base", "b")]})
        # Listed as Windows lists them: ignoring case, so "alpha" before "Beta".
        h.add_content("Beta", template={"s": [("y", "2"), ("追加素材B", "bb")]},
                      background={"s": [("y", "2"), ("追加素材B", "bb")]})
        h.add_content("alpha", template={"s": [("x", "1"), ("追加素材A", "aa")]},
                      background={"s": [("x", "1"), ("追加素材A", "aa")]})
        h.add_content("日本語の素材", template={"s": [("追加素材C", "cc")]})
        h.add_file("Data/ExtContents/plainfile.txt", b"not a folder")
        h.add_content(".hidden", template={"s": [("hidden", "h")]})
        r = self.run_.run([self.key])
        self.expect_one_message(r, SUCCESS)
        t = h.read_ini("Data/Template/Template.dat")
        self.assertEqual(t["s"], [("Name", "base,x,y,追加素材A,追加素材B,追加素材C"),
                                 ("Dir", "b,1,2,aa,bb,cc")])
        b = h.read_ini("Data/Backgrnd/BackGrnd.dat")
        self.assertEqual(b["s"], [("base", "b"), ("x", "1"), ("y", "2"),
                                 ("追加素材A", "aa"), ("追加素材B", "bb")])
        first = h.snapshot(with_mtime=True)
        r = self.run_.run([self.key])
        self.expect_one_message(r, SUCCESS)
        self.assertEqual(h.snapshot(with_mtime=True), first, "second run rewrote something")

    def test_short_dir_list_in_second_folder_keeps_first_merge(self):
        h = self.host
        h.write_template({"s": [("base", "b")]})
        h.write_background({"s": [("base", "b")]})
        h.add_content("A1", template={"s": [("追加素材1", "one")]})
        h.add_content("B2", template_raw=["[s]", "Name=a,b,c", "Dir=d1,d2"],
                      background={"s": [("never", "n")]})
        r = self.run_.run([self.key])
        self.expect_one_message(r, LIST_INDEX.format(2))
        t = h.read_ini("Data/Template/Template.dat")
        self.assertEqual(t["s"], [("Name", "base,追加素材1"), ("Dir", "b,one")])
        b = h.read_ini("Data/Backgrnd/BackGrnd.dat")
        self.assertEqual(b["s"], [("base", "b")])

    def test_read_only_host_template_is_reported_and_nothing_changes(self):
        h = self.host
        h.write_template({"s": [("base", "b")]})
        h.write_background({"s": [("base", "b")]})
        h.add_content("A", template={"s": [("追加素材1", "one")]},
                      background={"s": [("追加素材1", "one")]})
        path = h.path("Data/Template/Template.dat")
        os.chmod(path, 0o444)
        before = h.snapshot()
        r = self.run_.run([self.key])
        os.chmod(path, 0o644)
        self.expect_one_message(
            r, CANNOT_WRITE.format(self.run_.host_path(h.root, "Data\\Template\\Template.dat")))
        self.assertEqual(h.snapshot(), before)


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--mode", choices=["native", "wine"], required=True)
    p.add_argument("--exe", required=True)
    p.add_argument("--work", required=True)
    ARGS, rest = p.parse_known_args()
    ARGS.exe = os.path.abspath(ARGS.exe)
    ARGS.work = os.path.abspath(ARGS.work)
    os.makedirs(ARGS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
