#!/usr/bin/env python3
"""Reliability runs of the real extmerge program: failures the user sees,
bad inputs, two runs at once, and (native only) SIGKILL at random moments.

The invariant behind every test: a host catalogue holds either its bytes from
before the run or the bytes of a complete save, nothing else; no file the host
would read is left behind; a failure names the file; the exit status is 0.

Same modes as e2e.py (native, wine); same harness (hostkit).
"""

import argparse
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostkit  # noqa: E402

ARGS = None

from hostkit import CANNOT_LOCK, CANNOT_READ, CANNOT_WRITE, SUCCESS  # noqa: E402

TEMPLATE = "Data/Template/Template.dat"
BACKGROUND = "Data/Backgrnd/BackGrnd.dat"
CATALOGUES = (TEMPLATE, BACKGROUND)
# Temporary files of a save: "<name>.extmerge-*.tmp", on Linux with a leading
# dot. The host reads only its two catalogue names.
TEMP_RE = re.compile(r"^\.?(Template|BackGrnd)\.dat\.extmerge-.*\.tmp$")
# The update lock's sidecar, which stays beside the catalogue.
LOCK_RE = re.compile(r"\.dat\.lock$")

# Run under this prefix, a root process loses the rights that let it read
# whatever it likes, so that permission bits apply to it as to a user.
DROP_DAC = ("setpriv", "--bounding-set", "-dac_override,-dac_read_search")


def runner():
    if ARGS.mode == "native":
        return hostkit.NativeRunner(ARGS.exe, ARGS.work)
    return hostkit.WineRunner(ARGS.exe, ARGS.work)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def chmod_tree(path, dirs=0o755, files=0o644):
    if not os.path.lexists(path):
        return
    for root, ds, fs in os.walk(path):
        for d in ds:
            p = os.path.join(root, d)
            if not os.path.islink(p):
                os.chmod(p, dirs)
        for f in fs:
            p = os.path.join(root, f)
            if not os.path.islink(p):
                os.chmod(p, files)


def fill_host(host, sections=4, entries=6, packs=("A", "B"), all_marked=False):
    """Host catalogues and content packs that add to old and new sections.

    With all_marked every pack entry carries the marker, as add-on content
    does: then the merge is idempotent, so a run over a half-saved host ends
    where a run over the untouched host does. (New unmarked entries join the
    sorted block once and stay where they are afterwards, so with them a
    second run may still move entries.)
    """
    def name(p, s, e):
        return "%s追加素材%d_%d" % (p, s, e) if all_marked or e % 2 else "%s%d_%d" % (p, s, e)

    host.write_template({"s%d" % s: [("base%d_%d" % (s, e), "b\\%d_%d" % (s, e))
                                     for e in range(entries)] for s in range(sections)})
    host.write_background({"s%d" % s: [("base%d_%d" % (s, e), "b%d_%d.png" % (s, e))
                                       for e in range(entries)] for s in range(sections)})
    for p in packs:
        t = {"s%d" % s: [(name(p, s, e), "x\\%s%d_%d" % (p, s, e)) for e in range(entries)]
             for s in range(sections + 1)}
        b = {"s%d" % s: [(name(p, s, e), "%s%d_%d.png" % (p, s, e)) for e in range(entries)]
             for s in range(sections + 1)}
        host.add_content(p, template=t, background=b)


class Base(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.run_ = runner()

    def setUp(self):
        name = self.id().split(".")[-1]
        self.dir = os.path.join(ARGS.work, "rel", name)
        if os.path.lexists(self.dir):
            chmod_tree(self.dir)
            shutil.rmtree(self.dir)
        os.makedirs(self.dir)
        self.host = hostkit.Host(os.path.join(self.dir, "host"))
        self.key = "ExtmergeRel"
        self.run_.set_host(self.key, self.host.root)

    def tearDown(self):
        chmod_tree(self.dir)

    def hpath(self, rel):
        """The path the program names for a file under the host: the dstDir
        value joined with a Windows path ("\\" put in unless the value ends
        with one; the Linux value ends with "/")."""
        d = self.run_.host_dir(self.host.root)
        return d + ("" if d.endswith("\\") else "\\") + rel.replace("/", "\\")

    def catalogue_bytes(self, host=None):
        host = host or self.host
        out = {}
        for rel in CATALOGUES:
            p = host.path(rel)
            out[rel] = read_bytes(p) if os.path.isfile(p) else None
        return out

    def snapshot(self):
        """Every regular file under the host (links left out): bytes."""
        snap = {}
        for root, _dirs, files in os.walk(self.host.root):
            for name in files:
                p = os.path.join(root, name)
                if not os.path.islink(p):
                    snap[os.path.relpath(p, self.host.root)] = read_bytes(p)
        return snap

    def leftovers(self, host=None):
        """Files beside the catalogues that are neither a catalogue nor a lock."""
        host = host or self.host
        found = []
        for d in ("Data/Template", "Data/Backgrnd"):
            p = host.path(d)
            if not os.path.isdir(p):
                continue
            for name in os.listdir(p):
                if name in ("Template.dat", "BackGrnd.dat") or LOCK_RE.search(name):
                    continue
                found.append(d + "/" + name)
        return sorted(found)

    def expect_message(self, result, text):
        self.assertEqual(result.exit_code, 0, result.stderr)
        self.assertEqual([m.text for m in result.messages], [text], result.stderr)


class UserVisibleFailures(Base):
    """Each failure names the file, leaves nothing half-written, exit 0."""

    def test_read_only_catalogue(self):
        for rel in CATALOGUES:
            with self.subTest(rel):
                self.setUp()
                fill_host(self.host)
                before = self.catalogue_bytes()
                os.chmod(self.host.path(rel), 0o444)
                r = self.run_.run([self.key])
                self.expect_message(r, CANNOT_WRITE.format(self.hpath(rel)))
                after = self.catalogue_bytes()
                self.assertEqual(after[rel], before[rel])
                self.assertEqual(self.leftovers(), [])

    def test_catalogue_held_open_without_sharing(self):
        if ARGS.mode != "wine" or not ARGS.holder:
            self.skipTest("sharing modes are the Windows build's")
        fill_host(self.host)
        before = self.catalogue_bytes()
        target = self.run_.windows_path(self.host.path(TEMPLATE))
        holder = subprocess.Popen([self.run_.wine, ARGS.holder, target, "60000"],
                                  env=self.run_.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"ready")
            r = self.run_.run([self.key])
        finally:
            holder.kill()
            holder.wait()
        self.assertEqual(r.exit_code, 0)
        self.assertIn([m.text for m in r.messages],
                      [[CANNOT_READ.format(self.hpath(TEMPLATE))],
                       [CANNOT_WRITE.format(self.hpath(TEMPLATE))]])
        self.assertEqual(self.catalogue_bytes()[TEMPLATE], before[TEMPLATE])
        self.assertEqual(self.leftovers(), [])

    def test_missing_template_directory_skips_that_catalogue(self):
        # A host without a catalogue has nothing to merge into: skipped as a
        # missing catalogue is, and nothing is created in its place.
        fill_host(self.host)
        shutil.rmtree(self.host.path("Data/Template"))
        r = self.run_.run([self.key])
        self.expect_message(r, SUCCESS)
        self.assertFalse(os.path.exists(self.host.path("Data/Template")))
        names = [k for k, _ in self.host.read_ini(BACKGROUND)["s0"]]
        self.assertIn("A0_0", names)
        self.assertIn("B0_0", names)

    def test_content_folder_that_cannot_be_listed(self):
        fill_host(self.host)
        before = self.catalogue_bytes()
        os.chmod(self.host.path("Data/ExtContents/A"), 0o000)
        r = self.run_dropping_rights()
        self.expect_message(r, CANNOT_READ.format(self.hpath("Data/ExtContents/A")))
        self.assertEqual(self.catalogue_bytes(), before)
        self.assertEqual(self.leftovers(), [])

    def test_content_catalogue_that_cannot_be_read(self):
        fill_host(self.host)
        rel = "Data/ExtContents/B/BackGrnd.dat"
        os.chmod(self.host.path(rel), 0o000)
        r = self.run_dropping_rights()
        self.expect_message(r, CANNOT_READ.format(self.hpath(rel)))
        # Folder A, then B's template were merged before the failure and are
        # saved whole; nothing of B's background is.
        names = self.host.read_ini(TEMPLATE)["s0"][0][1].split(",")
        self.assertIn("B0_0", names)
        keys = [k for k, _ in self.host.read_ini(BACKGROUND)["s0"]]
        self.assertIn("A0_0", keys)
        self.assertNotIn("B0_0", keys)
        self.assertEqual(self.leftovers(), [])

    def test_catalogue_that_is_a_directory(self):
        # Never what a host or a pack means: reported, not taken for a
        # missing file.
        for rel in (TEMPLATE, "Data/ExtContents/A/Template.dat"):
            with self.subTest(rel):
                self.setUp()
                fill_host(self.host)
                os.remove(self.host.path(rel))
                os.makedirs(self.host.path(rel))
                before = self.catalogue_bytes()
                r = self.run_.run([self.key])
                self.expect_message(r, CANNOT_READ.format(self.hpath(rel)))
                self.assertEqual(self.catalogue_bytes(), before)
                self.assertEqual(self.leftovers(), [])

    def run_dropping_rights(self):
        if ARGS.mode == "native":
            return self.run_.run([self.key], prefix=DROP_DAC)
        # Wine opens files in its server: start a new one without the rights.
        self.run_.stop_server()
        try:
            return self.run_.run([self.key], prefix=DROP_DAC)
        finally:
            self.run_.stop_server()


class TwoRunsAtOnce(Base):
    def make_view(self, name, pack):
        """A host directory of its own (own content root with one pack) whose
        catalogue directories are the shared host's."""
        view = hostkit.Host.__new__(hostkit.Host)
        view.root = os.path.join(self.dir, name)
        os.makedirs(os.path.join(view.root, "Data", "ExtContents"))
        for d in ("Template", "Backgrnd"):
            os.symlink(self.host.path("Data/" + d), os.path.join(view.root, "Data", d))
        shutil.move(self.host.path("Data/ExtContents/" + pack),
                    os.path.join(view.root, "Data", "ExtContents", pack))
        return view

    def test_two_runs_with_different_packs_lose_nothing(self):
        fill_host(self.host, sections=30, entries=60)
        initial = self.catalogue_bytes()
        views = [self.make_view("viewA", "A"), self.make_view("viewB", "B")]
        keys = ["ExtmergeRelA", "ExtmergeRelB"]
        for k, v in zip(keys, views):
            self.run_.set_host(k, v.root)

        def restore():
            for rel, data in initial.items():
                with open(self.host.path(rel), "wb") as f:
                    f.write(data)

        # The results one after the other, in either order.
        allowed = []
        for order in (keys, keys[::-1]):
            restore()
            for k in order:
                self.expect_message(self.run_.run([k]), SUCCESS)
            allowed.append(self.catalogue_bytes())
        for attempt in range(3):
            restore()
            procs = [self.run_.start([k]) for k in keys]
            # Both outputs are read at once: under Wine the run that starts
            # the server passes its stderr on to the session's helpers, which
            # block once that pipe is full, and the other run waits for them.
            with concurrent.futures.ThreadPoolExecutor(len(procs)) as pool:
                results = list(pool.map(self.run_.finish, procs))
            for result in results:
                self.expect_message(result, SUCCESS)
            # Compared by hand: a failing assertIn would print megabytes.
            self.assertTrue(self.catalogue_bytes() in allowed, "attempt %d lost an update" % attempt)
        self.assertEqual(self.leftovers(), [])


class Killed(Base):

    def test_sigkill_at_random_moments(self):
        if ARGS.mode != "native":
            self.skipTest("killing the native program is enough: the save is the core's")
        fill_host(self.host, sections=40, entries=80, packs=("A", "B", "C"), all_marked=True)
        before = self.catalogue_bytes()
        t0 = time.monotonic()
        self.expect_message(self.run_.run([self.key]), SUCCESS)
        duration = time.monotonic() - t0
        after = self.catalogue_bytes()
        self.assertTrue(after != before)
        print("\nundisturbed run: %.2f s" % duration, file=sys.stderr)

        rng = random.Random(20240611)
        outcomes = {"before": 0, "after": 0, "mixed": 0, "temp left": 0}
        for i in range(ARGS.kills):
            for rel, data in before.items():
                with open(self.host.path(rel), "wb") as f:
                    f.write(data)
            proc = self.run_.start([self.key])
            # Half the kills anywhere in the run, half in its last fifth,
            # where the catalogues are saved.
            low = 0 if i % 2 else duration * 0.8
            time.sleep(rng.uniform(low, duration * 1.05))
            proc.kill()
            proc.communicate()
            now = self.catalogue_bytes()
            for rel in CATALOGUES:
                # Compared by hand: a failing assertIn would print megabytes.
                self.assertTrue(now[rel] in (before[rel], after[rel]),
                                "kill %d left %s torn (%s bytes)" % (
                                    i, rel, None if now[rel] is None else len(now[rel])))
            key = "before" if now == before else "after" if now == after else "mixed"
            outcomes[key] += 1
            outcomes["temp left"] += bool(self.leftovers())
            for name in self.leftovers():
                self.assertRegex(os.path.basename(name), TEMP_RE, "kill %d" % i)
            if now == before and not self.leftovers():
                continue  # nothing happened yet: the next kill starts from here
            # The next run finishes the job and clears what the killed one left.
            self.expect_message(self.run_.run([self.key]), SUCCESS)
            self.assertTrue(self.catalogue_bytes() == after, "clean run after kill %d" % i)
            self.assertEqual(self.leftovers(), [], "clean run after kill %d" % i)
        print("outcomes: %s" % outcomes, file=sys.stderr)


class BadInputs(Base):
    """One row per bad input: what it is, and what the user gets."""

    def base_host(self):
        self.host.write_template({"s": [("base", "b")]})
        self.host.write_background({"s": [("base", "b.png")]})

    def template_names(self):
        return self.name_list(TEMPLATE, b"Name=")

    def name_list(self, rel, key):
        data = read_bytes(self.host.path(rel))
        for line in re.split(rb"\r\n|\n", data):
            if line.startswith(key):
                return line[len(key):].split(b",")
        return None

    def pack_template(self, data, pack="P"):
        self.host.add_file("Data/ExtContents/%s/Template.dat" % pack, data)

    def check_success_and_stable(self, r):
        self.expect_message(r, SUCCESS)
        first = self.snapshot()
        self.expect_message(self.run_.run([self.key]), SUCCESS)
        self.assertEqual(self.snapshot(), first, "a second run changed something")

    def test_nul_bytes_are_kept(self):
        self.base_host()
        self.pack_template(b"[s]\r\nName=a\0b,c\r\nDir=d\0,e\r\n")
        self.check_success_and_stable(self.run_.run([self.key]))
        self.assertEqual(sorted(self.template_names()), [b"a\0b", b"base", b"c"])

    def test_lone_cr_is_part_of_the_value(self):
        self.base_host()
        self.pack_template(b"[s]\r\nName=x\ry\r\nDir=d\r\n")
        self.check_success_and_stable(self.run_.run([self.key]))
        self.assertEqual(self.template_names(), [b"base", b"x\ry"])

    def test_fifty_megabyte_line_is_merged_whole(self):
        self.base_host()
        big = b"n" * (50 * 1024 * 1024)
        self.pack_template(b"[s]\r\nName=" + big + b"\r\nDir=d\r\n")
        self.expect_message(self.run_.run([self.key]), SUCCESS)
        self.assertEqual(self.template_names(), [b"base", big])

    def test_invalid_double_byte_sequences_pass_through(self):
        self.base_host()
        # A lead byte before a space, before a comma, and at the end.
        self.pack_template(b"[s]\r\nName=\x81 x,\x81,y\x9f\r\nDir=d1,d2,d3\r\n")
        self.check_success_and_stable(self.run_.run([self.key]))
        self.assertEqual(sorted(self.template_names()),
                         sorted([b"base", b"\x81 x", b"\x81", b"y\x9f"]))

    def test_utf8_byte_order_mark(self):
        bom = b"\xef\xbb\xbf"
        self.host.add_file(TEMPLATE, bom + hostkit.encode_lines(["[s]", "Name=base", "Dir=b"]))
        self.pack_template(bom + b"[s]\r\nName=x\r\nDir=d\r\n")
        self.check_success_and_stable(self.run_.run([self.key]))
        data = read_bytes(self.host.path(TEMPLATE))
        self.assertTrue(data.startswith(bom + b"[s]\r\n"), data[:20])
        self.assertEqual(self.template_names(), [b"base", b"x"])

    def test_utf16_byte_order_mark_reads_as_no_sections(self):
        self.base_host()
        before = self.catalogue_bytes()
        self.pack_template("[s]\r\nName=x\r\nDir=d\r\n".encode("utf-16"))
        self.check_success_and_stable(self.run_.run([self.key]))
        self.assertEqual(self.catalogue_bytes(), before)

    def test_empty_files(self):
        # An empty pack catalogue adds nothing; an empty host catalogue takes
        # the pack's sections.
        self.host.add_file(TEMPLATE, b"")
        self.host.write_background({"s": [("base", "b.png")]})
        before_bg = self.catalogue_bytes()[BACKGROUND]
        self.pack_template(b"[s]\r\nName=x\r\nDir=d\r\n")
        self.host.add_file("Data/ExtContents/P/BackGrnd.dat", b"")
        self.check_success_and_stable(self.run_.run([self.key]))
        self.assertEqual(self.host.read_ini(TEMPLATE)["s"], [("Name", "x"), ("Dir", "d")])
        self.assertEqual(self.catalogue_bytes()[BACKGROUND], before_bg)

    def test_symbolic_link_loops_under_content_root(self):
        # Links that lead nowhere are no content folders and no catalogues.
        self.base_host()
        root = self.host.path("Data/ExtContents")
        os.symlink("loop", os.path.join(root, "loop"))
        os.symlink("b", os.path.join(root, "a"))
        os.symlink("a", os.path.join(root, "b"))
        os.makedirs(os.path.join(root, "Q"))
        os.symlink("Template.dat", os.path.join(root, "Q", "Template.dat"))
        self.pack_template(b"[s]\r\nName=x\r\nDir=d\r\n", pack="P")
        self.check_success_and_stable(self.run_.run([self.key]))
        self.assertEqual(self.template_names(), [b"base", b"x"])

    def test_paths_longer_than_260_bytes(self):
        deep = os.path.join(self.dir, *(["d" * 60] * 5), "host")
        self.host = hostkit.Host(deep)
        self.run_.set_host(self.key, deep)
        self.base_host()
        self.pack_template(b"[s]\r\nName=x\r\nDir=d\r\n", pack="P" * 40)
        self.assertGreater(len(self.hpath(TEMPLATE)), 260)
        self.check_success_and_stable(self.run_.run([self.key]))
        self.assertEqual(self.template_names(), [b"base", b"x"])

    def test_registry_value_with_trailing_space_or_quotes(self):
        # The value is used exactly as the registry holds it: such a directory
        # does not exist, so there is nothing to register and nothing changes.
        self.base_host()
        self.pack_template(b"[s]\r\nName=x\r\nDir=d\r\n")
        before = self.snapshot()
        good = self.run_.host_dir(self.host.root)
        for value in (good + " ", '"%s"' % good):
            with self.subTest(value):
                self.run_.set_host_value(self.key, value)
                self.expect_message(self.run_.run([self.key]), SUCCESS)
                self.assertEqual(self.snapshot(), before)


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--mode", choices=["native", "wine"], required=True)
    p.add_argument("--exe", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--kills", type=int, default=100, help="SIGKILLs of the native program")
    p.add_argument("--holder", help="Windows helper that holds a file open without sharing")
    ARGS, rest = p.parse_known_args()
    ARGS.exe = os.path.abspath(ARGS.exe)
    ARGS.work = os.path.abspath(ARGS.work)
    if ARGS.holder:
        ARGS.holder = os.path.abspath(ARGS.holder)
    os.makedirs(ARGS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
