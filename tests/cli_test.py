"""Drives the built kirato-cli as a user or a script would: real folders,
real files and times, exit statuses and the exact lines printed."""

import argparse
import functools
import json
import os
import re
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

CLI = None
# "-j N" before every run's own arguments: the same table runs with one
# thread and with several, and must see the same lines and files.
JOBS = []
SOURCE_DIR = None
EMULATOR = []    # what runs CLI, such as Wine for a Windows program
WINDOWS = False  # CLI is a Windows program: paths are written its way
SEP = "/"        # the separator the program puts between folder and name

GAME = "[Header]\nTitle=Test\n[Data]\nPD,B1,1,0\nDD,W2,2,0\n"
GIB = ("\\HS\r\n\\[GAMEBLACKNAME=kim (3D)\\]\r\n\\HE\r\n\\GS\r\n"
       "STO 0 1 1 15 3\r\n\\GE\r\n")
GIB_SGF = ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[%s]\nSZ[19]\nPB[kim]\nBR[3d]\n"
           "\n;B[pd])\n")
GAME_SGF = ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[%s]\nEV[Test]\n"
            "\n;B[pp]\n;W[dp])\n")
SUMMARY = ["", "*** summary ***"]


def summary(scanned, uptodate, converted, failed):
    return SUMMARY + [
        "Directories scanned: %d" % scanned,
        "Files up-to-date: %d" % uptodate,
        "Files converted: %d" % converted,
        "Files failed: %d" % failed,
    ]


class Folder:
    """A temporary folder with helpers to lay out a tree."""

    def __init__(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="kirato-cli-")
        self.root = self._tmp.name

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def native(self, *parts):
        """The path as the program takes it and shows it: on Windows with
        its drive and '\\' (Wine shows the whole file system as Z:)."""
        p = self.path(*parts)
        return "Z:" + p.replace("/", "\\") if WINDOWS else p

    def write(self, rel, text, mtime=None):
        p = self.path(rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode())
        if mtime is not None:
            os.utime(p, (mtime, mtime))
        return p

    def read(self, rel):
        with open(self.path(rel), newline="") as f:
            return f.read()

    def files(self, rel):
        return sorted(os.listdir(self.path(rel)))

    def close(self):
        self._tmp.cleanup()


def rel(*parts):
    """A relative path as the program shows it."""
    return SEP.join(parts)


def posix_only(reason):
    """Skips a test that needs what Windows does not have."""
    def wrap(test):
        @functools.wraps(test)
        def run(self):
            if WINDOWS:
                self.skipTest("not on Windows: " + reason)
            return test(self)
        return run
    return wrap


def run_cli(*args, cwd=None, preexec=None, timeout=60, env=None,
            program=None, stdin=None):
    return subprocess.run([*EMULATOR, program or CLI, *JOBS, *args], cwd=cwd,
                          capture_output=True, encoding="utf-8",
                          errors="surrogateescape", timeout=timeout,
                          preexec_fn=preexec, env=env, stdin=stdin)


class CliTest(unittest.TestCase):
    def setUp(self):
        self.d = Folder()
        self.addCleanup(self.d.close)

    def datafile(self, text, name="job.txt"):
        self.d.write(name, text)
        return self.d.native(name)

    def lines(self, result):
        return result.stdout.split("\n")[:-1]

    def test_version_help_and_usage(self):
        r = run_cli("--version")
        self.assertEqual(0, r.returncode)
        self.assertEqual(["kirato-cli 1.0",
                          "Copyright (C) 2026 the kirato developers.",
                          "License MIT: <https://opensource.org/licenses/MIT>."],
                         self.lines(r)[:3])
        for args in (["--help"], ["--he"], ["-q", "--help", "--bogus"]):
            with self.subTest(args=args):
                r = run_cli(*args)
                self.assertEqual((0, ""), (r.returncode, r.stderr))
                self.assertTrue(r.stdout.startswith("Usage: kirato-cli "))
                # Every datafile command is named.
                for command in ("LOG", "OUT", "IN", "CLOSE", "FORCEERROR",
                                "THREADS", "CHARSET", "FORMATS", "REPORT",
                                "MIRROR"):
                    self.assertRegex(r.stdout, r"\b%s\b" % command)
        usage = ("Usage: kirato-cli [OPTION]... DATAFILE | convert INPUT "
                 "OUTPUT | convert -o DIR FILE...\n"
                 "Try 'kirato-cli --help' for more information.\n")
        cases = [
            ([], "missing DATAFILE operand"),
            (["a", "b"], "extra operand 'b'"),
            (["--bogus", "--help"], "unrecognized option '--bogus'"),
            (["--=x", "job"], "unrecognized option '--=x'"),
            (["job", "-x"], "invalid option -- 'x'"),
            (["-fqz", "job"], "invalid option -- 'z'"),
            (["--force", "-zq", "job"], "invalid option -- 'z'"),
            (["--forc=yes", "job"],
             "option '--force' doesn't allow an argument"),
            (["--fo", "job"], "option '--fo' is ambiguous"),
            (["-j"], "option requires an argument -- 'j'"),
            (["job", "--report"], "option '--report' requires an argument"),
            (["-o", "out", "job"], "-o DIR goes with convert"),
            (["convert", "-o", "out"], "convert -o DIR needs FILE operands"),
            (["convert", "-o", "out", "a.ugf", "-"],
             "convert -o DIR reads no standard input"),
            (["--formats=UGF,XYZ", "job"],
             "invalid argument 'UGF,XYZ' for '--formats'"),
            (["convert", "--report=-", "a.ugf", "-"],
             "the SGF and the report cannot both go to standard output"),
            (["convert"], "convert needs INPUT and OUTPUT operands"),
            (["--mirror", "convert", "-o", "out", "a.ugf"],
             "--mirror goes with a DATAFILE"),
            (["convert", "x"], "convert needs INPUT and OUTPUT operands"),
            (["convert", "a", "b", "c"], "extra operand 'c'"),
            (["-j", "many", "job"], "invalid argument 'many' for '--jobs'"),
            (["--jobs=257", "job"], "invalid argument '257' for '--jobs'"),
            (["--charset=latin1", "job"],
             "invalid argument 'latin1' for '--charset'"),
        ]
        for args, problem in cases:
            with self.subTest(args=args):
                r = run_cli(*args)
                self.assertEqual((2, "", "kirato-cli: %s\n%s" % (problem, usage)),
                                 (r.returncode, r.stdout, r.stderr))

    def test_manual_page_documents_every_option(self):
        if not SOURCE_DIR:
            self.skipTest("no --source-dir")
        with open(os.path.join(SOURCE_DIR, "docs/man/kirato-cli.1.in")) as f:
            page = f.read()
        options = re.findall(r"^ +(?:-\w, )?(--[\w-]+)", run_cli("--help").stdout,
                             re.MULTILINE)
        self.assertIn("--dry-run", options)
        for option in options:
            with self.subTest(option):
                self.assertIn(option.replace("-", "\\-"), page)
        if shutil.which("groff"):
            r = subprocess.run(["groff", "-man", "-ww", "-z"], input=page,
                               capture_output=True, text=True)
            self.assertEqual((0, ""), (r.returncode, r.stderr))

    def test_datafile_that_cannot_be_opened(self):
        unreadable = self.d.write("locked.txt", "IN=x\n")
        os.chmod(unreadable, 0)
        cases = [("missing", [], self.d.native("none.txt"),
                  "No such file or directory"),
                 ("a folder", ["-n"], self.d.native(), "Is a directory")]
        if os.geteuid() != 0 and not WINDOWS:  # root reads it all the same
            cases.append(("unreadable", ["-q"], unreadable,
                          "Permission denied"))
        for name, options, path, reason in cases:
            with self.subTest(name):
                r = run_cli(*options, path)
                self.assertEqual(
                    (2, "", "kirato-cli: cannot open datafile '%s': %s\n"
                     % (path, reason)), (r.returncode, r.stdout, r.stderr))

    def test_options_change_what_a_run_does(self):
        past = time.time() - 86400
        convert_a, convert_b = ("convert %s -> %s" % (rel("ugf", n + ".ugf"),
                                                      rel("sgf", n + ".sgf"))
                                for n in "ab")
        bad = ["Illegal board size: 30", "convert (FOUT) %s -> %s"
               % (rel("ugf", "bad.ugf"), rel("sgf", "bad.sgf"))]
        # name, arguments, lines shown, SGF files after the run, log written
        cases = [
            ("plain run", ["job.txt"], [convert_b] + bad + summary(1, 1, 1, 1),
             {"a.sgf": "old", "b.sgf": GAME_SGF % "b.sgf"}, True),
            ("forced", ["-f", "job.txt"],
             [convert_a, convert_b] + bad
             + summary(1, 0, 2, 1),
             {"a.sgf": GAME_SGF % "a.sgf", "b.sgf": GAME_SGF % "b.sgf"}, True),
            ("quiet", ["job.txt", "--quiet"], bad + summary(1, 1, 1, 1),
             {"a.sgf": "old", "b.sgf": GAME_SGF % "b.sgf"}, True),
            ("dry run", ["--dry-run", "job.txt"],
             [convert_b] + bad + summary(1, 1, 1, 1), {"a.sgf": "old"}, False),
            ("forced quiet dry run", ["-nfq", "--", "job.txt"],
             bad + summary(1, 0, 2, 1), {"a.sgf": "old"}, False),
            ("one thread, then four", ["-j1", "-fj", "4", "job.txt"],
             [convert_a, convert_b] + bad
             + summary(1, 0, 2, 1),
             {"a.sgf": GAME_SGF % "a.sgf", "b.sgf": GAME_SGF % "b.sgf"}, True),
        ]
        for name, args, lines, sgf, logged in cases:
            with self.subTest(name):
                d = Folder()
                self.addCleanup(d.close)
                for rec in ("a", "b"):
                    d.write("ugf/%s.ugf" % rec, GAME, mtime=past)
                d.write("ugf/bad.ugf", "[Header]\nSize=30\n", mtime=past)
                d.write("sgf/a.sgf", "old", mtime=time.time() + 100)
                d.write("job.txt", "LOG=1\nOUT=sgf\nIN=ugf\n")
                r = run_cli(*args, cwd=d.root)
                self.assertEqual((1, lines), (r.returncode, self.lines(r)))
                self.assertEqual(sgf, {n: d.read("sgf/" + n)
                                       for n in d.files("sgf")})
                self.assertEqual(logged, os.path.exists(d.path("job.log")))

    def test_dry_run_decides_as_a_real_run_and_writes_nothing(self):
        d = self.d
        past = time.time() - 86400
        d.write("ugf/a.ugf", GAME, mtime=past)
        d.write("ugf/a.ugi", GAME, mtime=past)  # a.sgf is a.ugf's
        d.write("ugf/sub/c.ugf", GAME, mtime=past)
        os.makedirs(d.path("sgf/d.sgf"))  # a folder where the SGF file goes
        d.write("more/d.ugf", GAME, mtime=time.time() + 100)  # newer than it
        df = self.datafile("LOG=9\nOUT=%s\nIN=%s\nOUT=%s\nIN=%s\n"
                           % (d.native("new", "deeper"), d.native("ugf"),
                              d.native("sgf"), d.native("more")))
        dry = run_cli("-n", df)
        self.assertEqual(["job.txt", "more", "sgf", "ugf"], d.files(""))
        self.assertEqual(["d.sgf"], d.files("sgf"))
        real = run_cli(df)
        self.assertEqual(summary(3, 0, 2, 2), self.lines(real)[-6:])
        self.assertEqual((real.returncode, real.stdout),
                         (dry.returncode, dry.stdout))
        for args in (["convert", "-n", d.native("ugf", "a.ugf"),
                      d.native("one.sgf")],
                     ["convert", d.native("ugf", "a.ugf"), "-", "--dry-run"]):
            with self.subTest(args=args):
                r = run_cli(*args)
                self.assertEqual(0, r.returncode)
                self.assertNotIn("(;", r.stdout)
                self.assertFalse(os.path.exists(d.path("one.sgf")))

    def test_walk_messages_files_and_log(self):
        d = self.d
        d.write("ugf/a.ugf", GAME)
        d.write("ugf/x/b.ugi", GAME)
        d.write("ugf/x/y/c.ugf", GAME)
        d.write("ugf/x/D.UGF", GAME)
        df = self.datafile("LOG=1\nOUT=%s\nIN=%s\nCLOSE\nnot read\n"
                           % (d.native("sgf"), d.native("ugf")), name="job")
        r = run_cli(df)
        self.assertEqual(0, r.returncode, r.stdout + r.stderr)

        def ugf(*parts):
            return d.native("ugf", *parts)

        def sgf(*parts):
            return d.native("sgf", *parts)
        self.assertEqual([
            "convert %s -> %s" % (ugf("a.ugf"), sgf("a.sgf")),
            "convert %s -> %s" % (ugf("x", "D.UGF"), sgf("D.sgf")),
            "convert %s -> %s" % (ugf("x", "b.ugi"), sgf("b.sgf")),
            "convert %s -> %s" % (ugf("x", "y", "c.ugf"), sgf("c.sgf")),
        ] + summary(3, 0, 4, 0), self.lines(r))
        self.assertEqual(["D.sgf", "a.sgf", "b.sgf", "c.sgf"], d.files("sgf"))
        self.assertEqual(GAME_SGF % "b.sgf", d.read("sgf/b.sgf"))
        # A datafile without an extension gets ".log" appended; level 1
        # holds every message shown.
        self.assertEqual(
            "Datafile: OUT=%s\r\nDatafile: IN=%s\r\n"
            "ProcessDir %s -> %s\r\n" % (sgf(), ugf(), ugf(), sgf())
            + "convert %s -> %s\r\n" % (ugf("a.ugf"), sgf("a.sgf"))
            + "ProcessDir %s -> %s\r\n" % (ugf("x"), sgf())
            + "convert %s -> %s\r\n" % (ugf("x", "D.UGF"), sgf("D.sgf"))
            + "convert %s -> %s\r\n" % (ugf("x", "b.ugi"), sgf("b.sgf"))
            + "ProcessDir %s -> %s\r\n" % (ugf("x", "y"), sgf())
            + "convert %s -> %s\r\n" % (ugf("x", "y", "c.ugf"),
                                         sgf("c.sgf"))
            + "Datafile: CLOSE\r\n\r\n*** summary ***\r\n"
            "Directories scanned: 3\r\nFiles up-to-date: 0\r\n"
            "Files converted: 4\r\nFiles failed: 0\r\n",
            d.read("job.log"))

    def test_path_forms_and_datafile_encodings(self):
        """Each case: the folder of one record, how the datafile names it
        and the output folder, in which encoding, and for which system.
        The SGF file must come out byte for byte as on any other system."""
        deep = "/".join("folder-%02d-of-a-deep-tree" % i for i in range(12))
        both, posix, windows = (True, True), (True, False), (False, True)

        def unc(d, *parts):
            return "\\\\localhost\\root" + d.path(*parts).replace("/", "\\")

        # name, folder, OUT, IN, encoding, locale, on POSIX, on Windows
        cases = [
            ("Japanese names", "対局", lambda d: d.native("棋譜"),
             lambda d: d.native("対局"), "utf-8", None, both),
            ("Notepad's UTF-8", "café", lambda d: d.native("sgf"),
             lambda d: d.native("café"), "utf-8-sig", None, both),
            ("beyond 260 characters", deep,
             lambda d: d.native("sgf", deep), lambda d: d.native(deep),
             "utf-8", None, both),
            ("a backslash in a name", "a\\b", lambda d: d.native("sgf"),
             lambda d: d.native("a\\b"), "utf-8", None, posix),
            ("the drive's current folder", "ugf", lambda d: "Z:sgf",
             lambda d: "Z:ugf", "utf-8", None, windows),
            ("slashes after the drive", "ugf",
             lambda d: "Z:" + d.path("sgf/"), lambda d: "Z:" + d.path("ugf"),
             "utf-8", None, windows),
            ("a share", "ugf", lambda d: unc(d, "sgf"),
             lambda d: unc(d, "ugf"), "utf-8", None, windows),
            ("ANSI code page 1252", "café", lambda d: d.native("sgf"),
             lambda d: d.native("café"), "cp1252", "C.UTF-8", windows),
            ("ANSI code page 932", "対局", lambda d: d.native("棋譜"),
             lambda d: d.native("対局"), "cp932", "ja_JP.UTF-8", windows),
        ]
        for name, folder, out, inp, encoding, locale, systems in cases:
            if not systems[WINDOWS]:
                continue
            with self.subTest(name):
                d = Folder()
                self.addCleanup(d.close)
                d.write(folder + "/碁.ugf", GAME)
                d.write("ジョブ.txt", "")
                with open(d.path("ジョブ.txt"), "wb") as f:
                    f.write(("OUT=%s\nIN=%s\n" % (out(d), inp(d)))
                            .encode(encoding))
                env = dict(os.environ, LC_ALL=locale) if locale else None
                r = run_cli(d.native("ジョブ.txt"), cwd=d.root, env=env)
                written = out(d).rstrip("/\\") + SEP + "碁.sgf"
                self.assertEqual(
                    ["convert %s%s碁.ugf -> %s" % (inp(d), SEP, written)]
                    + summary(1, 0, 1, 0), self.lines(r))
                sgf = [os.path.join(p, n) for p, _, names in os.walk(d.root)
                       for n in names if n.endswith(".sgf")]
                self.assertEqual(1, len(sgf))
                with open(sgf[0], "rb") as f:
                    # A name beyond ASCII makes the SGF say its charset.
                    self.assertEqual(
                        (GAME_SGF.replace("\nEV", "\nCA[UTF-8]\nEV")
                         % "碁.sgf").encode(), f.read())

    def test_second_run_skips_what_is_up_to_date(self):
        d = self.d
        past = time.time() - 86400
        d.write("ugf/a.ugf", GAME, mtime=past)
        d.write("ugf/b.ugf", GAME, mtime=past)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"), d.native("ugf")))
        self.assertEqual(0, run_cli(df).returncode)
        future = time.time() + 100  # surely newer than the program file
        for name in ("a.sgf", "b.sgf"):
            os.utime(d.path("sgf", name), (future, future))
        os.utime(d.path("ugf/b.ugf"), (future, future))  # same second: stale
        r = run_cli(df)
        self.assertEqual(
            ["convert %s -> %s" % (d.native("ugf/b.ugf"), d.native("sgf/b.sgf"))]
            + summary(1, 1, 1, 0), self.lines(r))

    def test_long_names_are_replaced(self):
        """81 Japanese characters make an SGF name of 247 bytes, close to
        the limit of 255: its temporary name must fit as well."""
        d = self.d
        name = "碁" * 81
        d.write("ugf/%s.ugf" % name, GAME)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"),
                                                d.native("ugf")))
        for run in range(2):
            with self.subTest(run=run):
                r = run_cli("--force", df)
                self.assertEqual((0, summary(1, 0, 1, 0)),
                                 (r.returncode, self.lines(r)[-6:]))
                self.assertEqual([name + ".sgf"], d.files("sgf"))

    def test_program_newer_than_output_converts_again(self):
        d = self.d
        d.write("ugf/a.ugf", GAME, mtime=time.time() - 86400)
        d.write("sgf/a.sgf", "old", mtime=time.time() - 3600)
        copy = d.path("bin", os.path.basename(CLI))
        os.makedirs(os.path.dirname(copy))
        with open(CLI, "rb") as src, open(copy, "wb") as dst:
            dst.write(src.read())
        os.chmod(copy, 0o755)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"),
                                                d.native("ugf")))
        r = run_cli(df, program=copy)
        self.assertIn("Files converted: 1", r.stdout)
        self.assertEqual(GAME_SGF % "a.sgf", d.read("sgf/a.sgf"))

    def test_error_flag_gives_exit_status_one(self):
        for text in ("bogus\nCLOSE\n", "FORCEERROR: stop here\n",
                     "IN=/tmp\n", "OUT=%s\nIN=\n" % self.d.native("o")):
            with self.subTest(text=text):
                r = run_cli(self.datafile(text))
                self.assertEqual(1, r.returncode, r.stdout)
        r = run_cli(self.datafile("FORCEERROR: stop here\n"))
        self.assertEqual(["stop here"] + summary(0, 0, 0, 0), self.lines(r))
        # -q leaves out records converted, told by their kind, not by text.
        r = run_cli("-q", self.datafile("FORCEERROR convert a -> b\n"))
        self.assertEqual((1, ["convert a -> b"] + summary(0, 0, 0, 0)),
                         (r.returncode, self.lines(r)))

    @posix_only("no device that is always full")
    def test_messages_that_cannot_be_written_fail_the_run(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full on this system")
        self.d.write("ugf/g.ugf", GAME)
        job = self.datafile("OUT=%s\nIN=%s\n" % (self.d.native("sgf"),
                                                 self.d.native("ugf")))
        cases = [("datafile run", [job]),
                 ("one file", ["convert", self.d.native("ugf/g.ugf"),
                               self.d.native("one.sgf")])]
        for what, args in cases:
            with self.subTest(what):
                with open("/dev/full", "w") as full:
                    r = subprocess.run([CLI, *JOBS, *args], stdout=full,
                                       stderr=subprocess.PIPE, text=True,
                                       timeout=60)
                self.assertEqual(
                    (1, "kirato-cli: the messages could not be written\n"),
                    (r.returncode, r.stderr))
        # The conversions themselves are done and whole.
        self.assertEqual(["g.sgf"], self.d.files("sgf"))
        self.assertTrue(os.path.exists(self.d.path("one.sgf")))

    @posix_only("descriptors of a POSIX process")
    def test_closed_standard_streams(self):
        """A program started with standard streams closed: its trace log
        and its outputs must not take their descriptors, and messages that
        cannot be written fail the run."""
        d = self.d
        d.write("ugf/g.ugf", GAME)
        job = self.datafile("LOG=1\nOUT=%s\nIN=%s\n" % (d.native("sgf"),
                                                         d.native("ugf")))
        converted = "convert %s -> %s" % (d.native("ugf/g.ugf"),
                                         d.native("sgf/g.sgf"))
        lost = "kirato-cli: the messages could not be written\n"
        # descriptors closed, exit status, standard error, standard output
        cases = [((1,), 1, lost, None),
                 ((0, 1), 1, lost, None),
                 ((0, 2), 0, None, [converted] + summary(1, 0, 1, 0)),
                 ((0, 1, 2), 1, None, None)]
        for closed, status, stderr, stdout in cases:
            with self.subTest(closed=closed):
                shutil.rmtree(d.path("sgf"), ignore_errors=True)
                r = subprocess.run(
                    [CLI, *JOBS, job], capture_output=True, text=True,
                    timeout=60, preexec_fn=lambda: [os.close(fd)
                                                    for fd in closed])
                self.assertEqual(status, r.returncode)
                if stderr is not None:
                    self.assertEqual(stderr, r.stderr)
                if stdout is not None:
                    self.assertEqual(stdout, self.lines(r))
                # Every message once in the log, none in the SGF file.
                self.assertEqual(1, d.read("job.log").count(converted + "\r\n"))
                self.assertEqual(GAME_SGF % "g.sgf", d.read("sgf/g.sgf"))

    def test_failed_conversion_removes_the_old_output(self):
        """Every record the converter refuses counts under files failed and
        fails the run; its older SGF file, which would pass for its
        conversion, is removed."""
        cases = [("board size", "[Header]\nSize=30\n",
                  "Illegal board size: 30"),
                 ("coded", "[Header]\nCrypt=XOR\n",
                  "Coded ugf file: Crypt=XOR"),
                 ("unknown coordinate type", "[Header]\nCoordinateType=ABC\n",
                  "Unknown coordinatetype")]
        for what, record, reason in cases:
            with self.subTest(what):
                d = Folder()
                self.addCleanup(d.close)
                d.write("ugf/bad.ugf", record, mtime=time.time() - 99)
                d.write("sgf/bad.sgf", "stale", mtime=time.time() - 999)
                d.write("job.txt", "OUT=%s\nIN=%s\n" % (d.native("sgf"),
                                                       d.native("ugf")))
                r = run_cli(d.native("job.txt"))
                self.assertEqual(1, r.returncode)
                self.assertEqual([
                    reason,
                    "convert (FOUT) %s -> %s" % (d.native("ugf/bad.ugf"),
                                                  d.native("sgf/bad.sgf")),
                ] + summary(1, 0, 0, 1), self.lines(r))
                self.assertEqual([], d.files("sgf"))

    def test_unreadable_and_uncreatable_files_are_named(self):
        d = self.d
        d.write("ugf/a.ugf", GAME)
        d.write("ugf/b.ugf", GAME)
        os.makedirs(d.path("ugf/dir.ugf"))       # a directory, not a file
        os.makedirs(d.path("sgf/a.sgf"))         # output name taken by a dir
        if not WINDOWS:  # no pipes or devices among a folder's files there
            os.mkfifo(d.path("ugf/fifo.ugf"))    # would block a plain open
            os.symlink("/dev/zero", d.path("ugf/zero.ugf"))  # a device
            os.mkfifo(d.path("sgf/b.sgf"))
        else:  # names of devices in every folder, with or without a console
            for name in ("aux.ugi", "con.ugf", "nul.ugf"):
                d.write("ugf/" + name, GAME)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"),
                                                d.native("ugf")))
        r = run_cli(df, timeout=20, stdin=subprocess.DEVNULL)

        def failed(name, verb, where, reason):
            return ["Cannot %s '%s': %s" % (verb, d.native(where), reason),
                    "convert (FOUT) %s -> %s"
                    % (d.native("ugf", name + ".ugf"),
                       d.native("sgf", name + ".sgf"))]
        if WINDOWS:
            lines = (failed("a", "write", "sgf/a.sgf", "not a regular file")
                     + ["Cannot read '%s': not a regular file"
                        % d.native("ugf/aux.ugi"),
                        "convert (FOUT) %s -> %s" % (d.native("ugf/aux.ugi"),
                                                     d.native("sgf/aux.sgf"))]
                     + ["convert %s -> %s" % (d.native("ugf/b.ugf"),
                                              d.native("sgf/b.sgf"))]
                     + failed("con", "read", "ugf/con.ugf",
                              "not a regular file")
                     + failed("dir", "read", "ugf/dir.ugf", "Is a directory")
                     + failed("nul", "read", "ugf/nul.ugf",
                              "not a regular file")
                     + summary(2, 0, 1, 5))
        else:
            lines = (failed("a", "write", "sgf/a.sgf", "not a regular file")
                     + failed("b", "write", "sgf/b.sgf", "not a regular file")
                     + failed("dir", "read", "ugf/dir.ugf", "Is a directory")
                     + failed("fifo", "read", "ugf/fifo.ugf",
                              "not a regular file")
                     + failed("zero", "read", "ugf/zero.ugf",
                              "not a regular file")
                     + summary(2, 0, 0, 5))
        self.assertEqual(lines, self.lines(r))
        self.assertEqual(1, r.returncode)
        self.assertTrue(os.path.isdir(d.path("sgf/a.sgf")))

    def test_output_directory_that_cannot_be_made(self):
        d = self.d
        d.write("file", "")
        d.write("ugf/a.ugf", GAME)
        df = self.datafile("OUT=%s\nIN=%s\n"
                           % (d.native("file/sub/deeper"), d.native("ugf")))
        r = run_cli(df)
        self.assertEqual(1, r.returncode)
        self.assertEqual(
            ["Datafile line 2: the outputdir '%s' cannot be created: "
             "Not a directory" % d.native("file/sub")] + summary(0, 0, 0, 0),
            self.lines(r))

    def test_log_that_cannot_be_created(self):
        """Only a regular file serves as the log: anything else is named,
        fails the run, and never hangs it (a FIFO without a reader)."""
        cases = [("a folder", lambda p: os.makedirs(p), "Is a directory")]
        if not WINDOWS:
            cases += [("a FIFO", os.mkfifo, "not a regular file"),
                      ("a link to a device",
                       lambda p: os.symlink("/dev/null", p),
                       "not a regular file")]
        for what, make, reason in cases:
            with self.subTest(what):
                d = Folder()
                self.addCleanup(d.close)
                make(d.path("job.log"))
                d.write("job.txt", "LOG=3\n")
                r = run_cli(d.native("job.txt"), timeout=20)
                self.assertEqual(
                    (1, ["Cannot open logfile '%s', error: %s"
                         % (d.native("job.log"), reason)]
                     + summary(0, 0, 0, 0)), (r.returncode, self.lines(r)))

    @posix_only("Wine reaches every file by its whole path, and Linux "
                "refuses paths of more than 4,096 bytes")
    def test_trees_of_any_depth_convert(self):
        """300 folders deep, 20 bytes a name: paths of 6,300 bytes and more
        folders than the walk keeps open; a record every tenth folder. Also
        with few descriptors, and as a dry run."""
        d = self.d
        fd = os.open(d.path(), os.O_RDONLY | os.O_DIRECTORY)
        for depth in range(1, 301):
            name = "level-%03d-of-a-tree" % depth
            os.mkdir(name, dir_fd=fd)
            sub = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = sub
            if depth % 10 == 0:
                rec = os.open("g%03d.ugf" % depth, os.O_WRONLY | os.O_CREAT,
                              0o644, dir_fd=fd)
                os.write(rec, GAME.encode())
                os.close(rec)
        os.close(fd)

        def few_descriptors():
            resource.setrlimit(resource.RLIMIT_NOFILE, (48, 48))

        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"),
                                                d.native("level-001-of-a-tree")))
        for what, args, preexec in [("dry run", ["-n"], None),
                                    ("few descriptors", [], few_descriptors),
                                    ("forced", ["-f"], None)]:
            with self.subTest(what):
                r = run_cli(*args, df, preexec=preexec)
                self.assertEqual((0, summary(300, 0, 30, 0)),
                                 (r.returncode, self.lines(r)[-6:]))
                self.assertEqual(30, sum(1 for line in self.lines(r)
                                         if line.startswith("convert ")))
        self.assertEqual(["g%03d.sgf" % n for n in range(10, 301, 10)],
                         d.files("sgf"))

    def test_link_cycles_end(self):
        d = self.d
        d.write("ugf/a.ugf", GAME)
        d.write("ugf/sub/b.ugf", GAME)
        os.symlink(d.path("ugf"), d.path("ugf/sub/loop"))
        os.symlink("..", d.path("ugf/sub/up"))
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"), d.native("ugf")))
        r = run_cli(df, timeout=20)
        self.assertEqual(0, r.returncode)
        self.assertEqual(summary(2, 0, 2, 0), self.lines(r)[-6:])

    @posix_only("Linux's pseudo file systems")
    def test_pseudo_file_systems_are_not_walked(self):
        d = self.d
        d.write("ugf/g.ugf", GAME)
        links = [(name, "/" + name) for name in ("proc", "sys", "dev")
                 if os.path.isdir("/" + name)]
        for name, target in links:
            os.symlink(target, d.path("ugf", name))
        df = self.datafile("LOG=3\nOUT=%s\nIN=%s\nIN=/proc\n"
                           % (d.native("sgf"), d.native("ugf")))
        r = run_cli(df, timeout=20)
        self.assertEqual((0, summary(1, 0, 1, 0)),
                         (r.returncode, self.lines(r)[-6:]))
        log = d.read("job.log")
        for name, target in links:
            fs = {"proc": "proc", "sys": "sysfs", "dev": "devtmpfs"}[name]
            if fs == "devtmpfs":
                with open("/proc/self/mountinfo") as f:
                    if not re.search(r" /dev .* - devtmpfs ", f.read()):
                        continue
            with self.subTest(name):
                self.assertIn("ProcessDir::skip %s (%s file system)\r\n"
                              % (d.path("ugf", name), fs), log)
        self.assertIn("ProcessDir::skip /proc (proc file system)\r\n", log)

    def test_link_graphs_walk_each_folder_once(self):
        d = self.d
        for i in range(30):  # each folder links twice to the next
            os.makedirs(d.path("c/%d" % i))
            for name in "xy":
                os.symlink(d.path("c/%d" % (i + 1)), d.path("c/%d/%s" % (i, name)))
        d.write("c/30/g.ugf", GAME)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"), d.native("c/0")))
        r = run_cli(df, timeout=20)
        self.assertEqual(0, r.returncode)
        self.assertEqual(summary(31, 0, 1, 0), self.lines(r)[-6:])

    def test_failures_are_named_and_fail_the_run(self):
        """Each case: what it sets up in the folder, the arguments, the
        lines that must be printed and the exit status."""
        d = self.d
        d.write("ugf/a/game.ugf", GAME)
        d.write("ugf/b/game.ugi", GAME)
        d.write("one/g.ugf", GAME)
        d.write("out.sgf", "a file, not a folder")
        with open(d.path("huge.ugf"), "wb") as f:  # sparse: no disk space
            f.truncate(300 << 20)
        if not WINDOWS:
            os.mkfifo(d.path("pipe.sgf"))
        ugf, one = d.native("ugf"), d.native("one/g.ugf")

        def job(text):
            job.count += 1
            return self.datafile(text, name="case%d.txt" % job.count)
        job.count = 0
        cases = [
            ("missing input folder",
             [job("OUT=%s\nIN=%s\n" % (d.native("sgf"), d.native("nowhere")))],
             ["Datafile line 2: input '%s' cannot be read: No such file or "
              "directory" % d.native("nowhere")], 1),
            ("relative input from another folder",
             [job("OUT=sgf\nIN=ugf\n")],
             ["Datafile line 2: input 'ugf' cannot be read: No such file or "
              "directory"], 1),
            ("output folder is a file",
             [job("OUT=%s\nIN=%s\n" % (d.native("out.sgf"), ugf))],
             ["Datafile line 2: the outputdir '%s' cannot be created: Not a "
              "directory" % d.native("out.sgf")], 1),
            ("two records, one output",
             [job("OUT=%s\nIN=%s\n" % (d.native("sgf"), ugf))],
             ["convert %s -> %s" % (d.native("ugf/a/game.ugf"),
                                    d.native("sgf/game.sgf")),
              "'%s' not converted: its output '%s' comes from '%s'"
              % (d.native("ugf/b/game.ugi"), d.native("sgf/game.sgf"),
                 d.native("ugf/a/game.ugf"))], 1),
            ("a NUL byte in a path",
             [job("OUT=%s\nIN=%s\0/etc\n" % (d.native("sgf"), ugf))],
             ["Datafile line 2: contains a NUL byte"], 1),
            ("a byte order mark", [job("\ufeffCLOSE\n")], summary(0, 0, 0, 0),
             0),
            ("the record as its own output", ["convert", one, one],
             ["Cannot write '%s': it is the record '%s' itself" % (one, one)],
             1),
            ("a folder as the output", ["convert", one, ugf],
             ["Cannot write '%s': not a regular file" % ugf], 1),
            ("a record far larger than any game",
             ["convert", d.native("huge.ugf"), d.native("huge.sgf")],
             ["Cannot read '%s': too large for a game record: 314572800 "
              "bytes (at most 256 MiB are read)" % d.native("huge.ugf"),
              "convert (FOUT) %s -> %s" % (d.native("huge.ugf"),
                                           d.native("huge.sgf"))], 1),
            ("operands swapped", ["convert", d.native("out.sgf"), one],
             ["Cannot write '%s': the name of a game record, not of an SGF "
              "file" % one], 1),
            ("an output named like a record in capitals",
             ["convert", one, d.native("one/G.UGI")],
             ["Cannot write '%s': the name of a game record, not of an SGF "
              "file" % d.native("one/G.UGI")], 1),
        ]
        if not WINDOWS:
            cases.append(("a pipe as the output",
                          ["convert", one, d.native("pipe.sgf")],
                          ["Cannot write '%s': not a regular file"
                           % d.native("pipe.sgf")], 1))
        if os.path.exists("/dev/full") and not WINDOWS:
            cases.append(("a device as the output",
                          ["convert", one, "/dev/full"],
                          ["Cannot write '/dev/full': not a regular file"], 1))
        for what, args, lines, status in cases:
            with self.subTest(what):
                r = run_cli(*args, cwd="/", timeout=20)
                self.assertEqual(status, r.returncode, r.stdout + r.stderr)
                out = self.lines(r)
                for line in lines:
                    self.assertIn(line, out)
        self.assertEqual(GAME, d.read("one/g.ugf"))
        self.assertEqual(["g.ugf"], d.files("one"))
        if WINDOWS:
            return
        self.assertTrue(stat.S_ISFIFO(os.stat(d.path("pipe.sgf")).st_mode))
        if os.path.exists("/dev/full"):
            self.assertTrue(stat.S_ISCHR(os.stat("/dev/full").st_mode))

    @posix_only("Wine replaces a POSIX link like a file")
    def test_output_through_a_link_keeps_the_link(self):
        d = self.d
        one = d.write("one/g.ugf", GAME)
        d.write("kept/target.sgf", "old game")
        os.symlink(d.path("kept/target.sgf"), d.path("link.sgf"))
        r = run_cli("convert", one, d.native("link.sgf"))
        self.assertEqual(0, r.returncode, r.stdout)
        self.assertTrue(os.path.islink(d.path("link.sgf")))
        self.assertEqual(GAME_SGF % "link.sgf", d.read("kept/target.sgf"))
        self.assertEqual(["target.sgf"], d.files("kept"))

    @posix_only("POSIX owners")
    def test_links_to_files_of_another_owner_are_refused(self):
        """A link laid by one user must not have a run of another write
        over that other's files: a link is written through only when it
        and its target (or the folder the target would be made in) have
        the same owner."""
        if os.geteuid() != 0:
            self.skipTest("only root can give a link another owner")
        d = self.d
        one = d.write("one/g.ugf", GAME)
        d.write("ugf/g.ugf", GAME)
        d.write("system/passwd", "root's")
        os.makedirs(d.path("theirs"))
        os.chown(d.path("theirs"), 65534, 65534)
        os.makedirs(d.path("sgf"))
        os.symlink(d.path("system/passwd"), d.path("sgf/g.sgf"))
        os.lchown(d.path("sgf/g.sgf"), 65534, 65534)
        os.symlink(d.path("theirs/new.sgf"), d.path("new.sgf"))
        refused = "Cannot write '%s': a symbolic link to a file of another owner"
        job = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))
        cases = [("their link to my file", ["convert", one, d.path("sgf/g.sgf")],
                  [refused % d.path("sgf/g.sgf")]),
                 ("my link into their folder", ["convert", one,
                                                d.path("new.sgf")],
                  [refused % d.path("new.sgf")]),
                 ("in the walk", [job],
                  [refused % d.path("sgf/g.sgf"),
                   "convert (FOUT) %s -> %s" % (d.path("ugf/g.ugf"),
                                                d.path("sgf/g.sgf"))]
                  + summary(1, 0, 0, 1))]
        for what, args, lines in cases:
            with self.subTest(what):
                r = run_cli(*args)
                self.assertEqual(1, r.returncode)
                for line in lines:
                    self.assertIn(line, self.lines(r))
        self.assertEqual("root's", d.read("system/passwd"))
        self.assertEqual([], d.files("theirs"))

    @posix_only("POSIX permissions and users")
    def test_unprivileged_failures(self):
        """Folders and files the user may not touch; as root, the run drops
        to the user nobody for these."""
        d = self.d
        d.write("ugf/secret.ugf", GAME)
        d.write("ugf/open.ugf", GAME)
        os.chmod(d.path("ugf/secret.ugf"), 0)
        os.makedirs(d.path("ro"))
        os.chmod(d.path("ro"), 0o555)
        for folder, _, files in os.walk(d.root):
            os.chmod(folder, os.stat(folder).st_mode | 0o555)
        df = self.datafile("LOG=1\nOUT=%s\nIN=%s\n" % (d.native("ro"),
                                                        d.native("ugf")))
        os.chmod(d.root, 0o777)
        as_user = None
        if os.geteuid() == 0:
            def as_user():
                os.setgid(65534)
                os.setuid(65534)
        # A copy the user may run, wherever the build lies.
        cli = d.path("bin", "kirato-cli")
        os.makedirs(os.path.dirname(cli))
        shutil.copy(CLI, cli)
        os.chmod(d.path("bin"), 0o755)
        os.chmod(cli, 0o755)
        r = subprocess.run([cli, *JOBS, df], capture_output=True, text=True,
                           timeout=60, preexec_fn=as_user)
        ugf, ro = d.path("ugf"), d.path("ro")
        self.assertEqual([
            "Cannot write '%s/open.sgf': Permission denied" % ro,
            "convert (FOUT) %s/open.ugf -> %s/open.sgf" % (ugf, ro),
            "Cannot read '%s/secret.ugf': Permission denied" % ugf,
            "convert (FOUT) %s/secret.ugf -> %s/secret.sgf" % (ugf, ro),
        ] + summary(1, 0, 0, 2), self.lines(r))
        self.assertEqual(1, r.returncode)
        self.assertIn("Cannot read '%s/secret.ugf': Permission denied\r\n"
                      % ugf, d.read("job.log"))
        self.assertEqual([], d.files("ro"))

    def test_full_disk_fails_the_file_and_leaves_nothing(self):
        d = self.d
        big = "[Header]\n" + "Title=%s\n" % ("x" * 1000) * 200
        d.write("ugf/big.ugf", big)
        d.write("ugf/small.ugf", "[Header]\nTitle=T\n")
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"), d.native("ugf")))

        def limit_file_size():
            # Writing past the limit fails with EFBIG, as on a full disk.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (65536, 65536))

        r = run_cli(df, preexec=limit_file_size)
        self.assertEqual(1, r.returncode)
        big_in, big_out = d.native("ugf/big.ugf"), d.native("sgf/big.sgf")
        # Wine turns the limit into an error of its own choosing.
        reason = (self.lines(r)[0].partition("': ")[2] if WINDOWS
                  else "File too large")
        self.assertEqual([
            "Cannot write '%s': %s" % (big_out, reason),
            "convert (FOUT) %s -> %s" % (big_in, big_out),
            "convert %s -> %s" % (d.native("ugf/small.ugf"),
                                  d.native("sgf/small.sgf")),
        ] + summary(1, 0, 1, 1), self.lines(r))
        self.assertEqual(["small.sgf"], d.files("sgf"))  # no temporary left

    @posix_only("process ids of POSIX processes")
    def test_leftovers_of_ended_runs_go_when_the_folder_is_written(self):
        """A run killed while it replaced an SGF file may leave its hidden
        temporary file, and always a record to convert again: the run that
        writes into that folder removes what ended runs left there, and an
        up-to-date run lists no output folder to look for any."""
        d = self.d
        dead = 4000000
        while True:
            try:
                os.kill(dead, 0)
                dead += 1
            except ProcessLookupError:
                break
            except PermissionError:
                dead += 1
        past = time.time() - 86400
        d.write("ugf/a.ugf", GAME, mtime=past)
        d.write("ugf/x/b.ugf", GAME, mtime=past)
        job = self.datafile("MIRROR\nOUT=%s\nIN=%s\n"
                            % (d.native("sgf"), d.native("ugf")))
        self.assertEqual(0, run_cli(job).returncode)
        left = {rel: ".%s.sgf.%d-0.tmp" % (rel, dead) for rel in "ab"}
        d.write("sgf/" + left["a"], "half")
        d.write("sgf/x/" + left["b"], "half")
        r = run_cli(job)
        self.assertEqual(summary(2, 2, 0, 0), self.lines(r)[-6:])
        self.assertIn(left["a"], d.files("sgf"))
        os.utime(d.path("ugf/x/b.ugf"))  # newer than its SGF file now
        r = run_cli(job)
        self.assertEqual(summary(2, 1, 1, 0), self.lines(r)[-6:])
        self.assertIn(left["a"], d.files("sgf"))
        self.assertEqual(["b.sgf"], d.files("sgf/x"))

    def test_killed_run_leaves_only_complete_outputs(self):
        d = self.d
        moves = "".join("%s%s,%s1,%d,0\n" % ("ABCDEFGHIJKLMNOPQRS"[i % 19],
                                            "ABCDEFGHIJKLMNOPQRS"[i // 19 % 19],
                                            "BW"[i % 2], i + 1)
                        for i in range(3000))
        count = 300
        for i in range(count):
            d.write("ugf/g%03d.ugf" % i, "[Data]\n" + moves)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.native("sgf"), d.native("ugf")))

        def sgf_files():
            return [n for n in d.files("sgf") if n.endswith(".sgf")]

        # The whole job takes a fraction of a second; should a busy machine
        # let it finish before the kill, try again.
        for _ in range(5):
            shutil.rmtree(d.path("sgf"), ignore_errors=True)
            proc = subprocess.Popen([*EMULATOR, CLI, *JOBS, df],
                                    stdout=subprocess.PIPE, text=True)
            for _ in range(5):
                proc.stdout.readline()
            proc.kill()
            proc.wait()
            proc.stdout.close()
            for name in sgf_files():
                self.assertTrue(d.read("sgf/" + name).endswith(")\n"), name)
            if len(sgf_files()) < count:
                break
        self.assertLess(len(sgf_files()), count, "the kill never came in time")
        # The next run converts the rest.
        r = run_cli(df)
        self.assertEqual(0, r.returncode)
        self.assertEqual(count, len(sgf_files()))

    def test_formats_report_and_files_named_on_the_command_line(self):
        d = self.d
        past = time.time() - 86400
        d.write("ugf/g.ugf", GAME, mtime=past)
        d.write("ugf/k.GIB", GIB, mtime=past)
        d.write("ugf/two.ugf", GAME, mtime=past)
        d.write("ugf/x/two.gib", GIB, mtime=past)
        d.write("ugf/bad.gib", GAME)  # a UGF record named .gib
        job = self.datafile("FORMATS=ALL\nREPORT=%s\nOUT=%s\nIN=%s\n" % (
            d.native("rep.jsonl"), d.native("sgf"), d.native("ugf")))

        def convert(name, out):
            return "convert %s -> %s" % (d.native("ugf", *name.split("/")),
                                         d.native("sgf", out))
        # The UGF records alone, as the command line holds over FORMATS.
        r = run_cli("--formats=ugf", job)
        self.assertEqual((0, [convert("g.ugf", "g.sgf"),
                              convert("two.ugf", "two.sgf")]),
                         (r.returncode, self.lines(r)[:-6]))
        self.assertEqual("", r.stderr)  # no progress line off a terminal
        shutil.rmtree(d.path("sgf"))
        r = run_cli(job)
        taken = ("'%s' not converted: its output '%s' comes from '%s'"
                 % (d.native("ugf", "x", "two.gib"), d.native("sgf", "two.sgf"),
                    d.native("ugf", "two.ugf")))
        refused = ("No GIB game found in %s. Conversion aborted."
                   % d.native("ugf", "bad.gib"))
        self.assertEqual(
            (1, [refused, "convert (FOUT) %s -> %s" % (
                d.native("ugf", "bad.gib"), d.native("sgf", "bad.sgf")),
                convert("g.ugf", "g.sgf"), convert("k.GIB", "k.sgf"),
                convert("two.ugf", "two.sgf"), taken] + summary(2, 0, 3, 2)),
            (r.returncode, self.lines(r)))
        self.assertEqual(GIB_SGF % "k.sgf", d.read("sgf/k.sgf"))
        with open(d.path("rep.jsonl")) as f:
            report = [json.loads(line) for line in f]
        self.assertEqual(
            [("bad.gib", "refused", [refused]), ("g.ugf", "converted", []),
             ("k.GIB", "converted", []), ("two.ugf", "converted", []),
             ("two.gib", "collision", [taken])],
            [(os.path.basename(o["input"].replace("\\", "/")), o["status"],
              o["messages"]) for o in report[:-1]])
        self.assertEqual({"summary": {"directories_scanned": 2,
                                      "up_to_date": 0, "converted": 3,
                                      "failed": 2}, "exit_status": 1},
                         report[-1])
        # Standard output holds the report alone; the messages go to
        # standard error. The records are up to date now.
        r = run_cli("--report=-", "--formats=ugf", job)
        self.assertEqual(["up-to-date", "up-to-date"],
                         [json.loads(line).get("status") for line in
                          r.stdout.splitlines()[:-1]])
        self.assertIn("Files up-to-date: 2", r.stderr)

        # Files named on the command line, in any format, as a run does.
        out = d.native("several")
        args = ["convert", "-o", out, d.native("ugf", "g.ugf"),
                d.native("ugf", "k.GIB")]
        r = run_cli(*args)
        self.assertEqual(["convert %s -> %s" % (d.native("ugf", "g.ugf"),
                                                d.native("several", "g.sgf")),
                          "convert %s -> %s" % (d.native("ugf", "k.GIB"),
                                                d.native("several", "k.sgf"))]
                         + summary(0, 0, 2, 0), self.lines(r))
        self.assertEqual(GIB_SGF % "k.sgf", d.read("several/k.sgf"))
        self.assertEqual(summary(0, 2, 0, 0), self.lines(run_cli(*args)))
        # A record from standard input, as UGF or as the one format named.
        for args, text, sgf in [
                (["convert", "-", d.native("in.sgf")], GAME,
                 GAME_SGF % "in.sgf"),
                (["convert", "--formats=gib", "-", "-"], GIB,
                 GIB_SGF % "stdin.sgf")]:
            with self.subTest(args=args):
                r = subprocess.run([*EMULATOR, CLI, *args], input=text,
                                   capture_output=True, text=True, timeout=60)
                self.assertEqual(0, r.returncode, r.stderr)
                written = (r.stdout if args[-1] == "-"
                           else d.read("in.sgf"))
                self.assertEqual(sgf, written)

    def test_mirror_keeps_the_folders_of_each_tree(self):
        """MIRROR (or --mirror) writes each SGF file into the folder under
        OUT that stands where its record's folder stands under IN, made
        only where a record is written; IN lines before MIRROR stay flat."""
        past = time.time() - 86400
        flat_then_mirrored = "IN=%s\nMIRROR\nIN=%s\n"
        # name, options, the datafile's IN lines, messages before the
        # summary, summary, SGF files written
        cases = [
            ("MIRROR", [], "MIRROR\nIN=%(ugf)s\n",
             [("ugf/a.ugf", "a.sgf"), ("ugf/x/b.ugf", "x/b.sgf"),
              ("ugf/x/y/c.ugi", "x/y/c.sgf")],
             summary(5, 0, 3, 1), ["a.sgf", "x/b.sgf", "x/y/c.sgf"]),
            ("--mirror", ["--mirror"], "IN=%(ugf)s\nMIRROR=OFF\n",
             [("ugf/a.ugf", "a.sgf"), ("ugf/x/b.ugf", "x/b.sgf"),
              ("ugf/x/y/c.ugi", "x/y/c.sgf")],
             summary(5, 0, 3, 1), ["a.sgf", "x/b.sgf", "x/y/c.sgf"]),
            ("a dry run makes no folder", ["-n"], "MIRROR\nIN=%(ugf)s\n",
             [("ugf/a.ugf", "a.sgf"), ("ugf/x/b.ugf", "x/b.sgf"),
              ("ugf/x/y/c.ugi", "x/y/c.sgf")],
             summary(5, 0, 3, 1), []),
            ("flat, then mirrored", [],
             "IN=%(more)s\nMIRROR\nIN=%(ugf)s\n",
             [("more/x/b.ugf", "b.sgf"), ("ugf/a.ugf", "a.sgf"),
              ("ugf/x/b.ugf", "x/b.sgf"), ("ugf/x/y/c.ugi", "x/y/c.sgf")],
             summary(7, 0, 4, 1), ["a.sgf", "b.sgf", "x/b.sgf", "x/y/c.sgf"]),
        ]
        for name, options, lines, converted, counts, files in cases:
            with self.subTest(name):
                d = Folder()
                self.addCleanup(d.close)
                d.write("ugf/a.ugf", GAME, mtime=past)
                d.write("ugf/x/b.ugf", GAME, mtime=past)
                d.write("ugf/x/y/c.ugi", GAME, mtime=past)
                d.write("ugf/bad/z.ugf", "[Header]\nSize=30\n", mtime=past)
                os.makedirs(d.path("ugf/empty"))
                d.write("more/x/b.ugf", GAME, mtime=past)
                d.write("job.txt", ("REPORT=%(rep)s\nOUT=%(sgf)s\n" + lines)
                        % {"ugf": d.native("ugf"), "more": d.native("more"),
                           "sgf": d.native("sgf"),
                           "rep": d.native("rep.jsonl")})
                r = run_cli(*options, d.native("job.txt"))
                bad = ["Illegal board size: 30",
                       "convert (FOUT) %s -> %s" % (
                           d.native("ugf", "bad", "z.ugf"),
                           d.native("sgf", "bad", "z.sgf"))]
                expected = ["convert %s -> %s" % (
                    d.native(*i.split("/")), d.native("sgf", *o.split("/")))
                    for i, o in converted]
                expected.insert(len(expected) - 2, bad[0])
                expected.insert(len(expected) - 2, bad[1])
                self.assertEqual((1, expected + counts),
                                 (r.returncode, self.lines(r)))
                written = sorted(
                    os.path.relpath(os.path.join(p, n), d.path("sgf"))
                    for p, _, ns in os.walk(d.path("sgf")) for n in ns)
                self.assertEqual(files, written)
                folders = sorted(os.path.relpath(p, d.path("sgf"))
                                 for p, _, _ in os.walk(d.path("sgf")))
                self.assertEqual(sorted({"."} | {os.path.dirname(f) or "."
                                                 for f in files})
                                 if files else ([] if "-n" in options
                                                else ["."]), folders)
                if "-n" in options:
                    continue
                self.assertEqual(GAME_SGF % "c.sgf", d.read("sgf/x/y/c.sgf"))
                with open(d.path("rep.jsonl")) as f:
                    report = [json.loads(line) for line in f][:-1]
                self.assertIn({"input": d.native("ugf", "x", "y", "c.ugi"),
                               "output": d.native("sgf", "x", "y", "c.sgf"),
                               "status": "converted", "messages": []},
                              report)

    @posix_only("a tree deeper than the path limit, made by descriptors")
    def test_mirror_deeper_than_the_path_limit(self):
        d = self.d
        level = "level-of-a-tree-deeper-than-paths-go"  # 36 bytes
        depth = 130  # 4,810 bytes of path below the root, past 4,096
        os.makedirs(d.path("ugf"))
        fd = os.open(d.path("ugf"), os.O_RDONLY)
        for _ in range(depth):
            os.mkdir(level, dir_fd=fd)
            inner = os.open(level, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = inner
        record = os.open("deep.ugf", os.O_WRONLY | os.O_CREAT, 0o644,
                         dir_fd=fd)
        os.write(record, GAME.encode())
        os.close(record)
        os.close(fd)
        job = self.datafile("OUT=%s\nMIRROR\nIN=%s\n"
                            % (d.path("sgf"), d.path("ugf")))
        r = run_cli(job)
        self.assertEqual((0, summary(depth + 1, 0, 1, 0)),
                         (r.returncode, self.lines(r)[1:]))
        self.assertEqual("convert %s/%s/deep.ugf -> %s/%s/deep.sgf"
                         % (d.path("ugf"), "/".join([level] * depth),
                            d.path("sgf"), "/".join([level] * depth)),
                         self.lines(r)[0])
        fd = os.open(d.path("sgf"), os.O_RDONLY)
        for _ in range(depth):
            inner = os.open(level, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = inner
        self.assertEqual(["deep.sgf"], os.listdir(fd))
        out = os.open("deep.sgf", os.O_RDONLY, dir_fd=fd)
        self.assertEqual(GAME_SGF % "deep.sgf", os.read(out, 4096).decode())
        os.close(out)
        os.close(fd)

    def test_convert_one_file(self):
        d = self.d
        src = d.write("in/game.ugi", GAME)
        out = d.native("game-out.sgf")
        r = run_cli("convert", src, out)
        self.assertEqual(0, r.returncode)
        self.assertEqual(["convert %s -> %s" % (src, out)], self.lines(r))
        self.assertEqual(GAME_SGF % "game-out.sgf", d.read("game-out.sgf"))

    def test_convert_to_standard_output(self):
        src = self.d.write("in/my.game.ugf", GAME)
        r = run_cli("convert", src, "-")
        self.assertEqual(0, r.returncode)
        self.assertEqual(GAME_SGF % "my.game.sgf", r.stdout)
        self.assertEqual("convert %s -> -\n" % src, r.stderr)

    def test_charset_keep_copies_the_bytes(self):
        d = self.d
        sjis = "[Header]\nPlayerB=\u30bd\u5341,1d\n".encode("cp932")
        src = d.write("in/g.ugf", sjis)
        decoded = run_cli("convert", src, "-")
        self.assertIn("CA[UTF-8]\nPB[\u30bd\u5341]", decoded.stdout)
        kept = subprocess.run([*EMULATOR, CLI, "convert", "--charset=KEEP",
                               src, "-"], capture_output=True)
        self.assertEqual(0, kept.returncode)
        # The old bytes: each trail byte 0x5C escaped like a backslash.
        self.assertIn(b"\nPB[\x83\\\\\x8f\\\\]\n", kept.stdout)
        self.assertNotIn(b"CA[", kept.stdout)
        # The command line holds over the datafile's CHARSET line.
        job = self.datafile("CHARSET=KEEP\nOUT=%s\nIN=%s\n"
                            % (d.native("sgf"), d.native("in")))
        for args, charset in [([], False), (["--charset=utf-8"], True)]:
            with self.subTest(args=args):
                r = run_cli("-f", *args, job)
                self.assertEqual(0, r.returncode)
                with open(d.path("sgf/g.sgf"), "rb") as f:
                    self.assertEqual(charset, b"CA[UTF-8]" in f.read())

    def test_what_is_no_record_is_refused(self):
        d = self.d
        job = "OUT=%s\nIN=%s\n" % (d.native("sgf"), d.native("ugf"))
        cases = [("empty.ugf", b""), ("binary.ugf", bytes(range(256))),
                 ("job.ugf", job.encode())]
        for name, data in cases:
            with self.subTest(name):
                src = d.write("ugf/" + name, data)
                r = run_cli("convert", src, d.native("one.sgf"))
                self.assertEqual(1, r.returncode)
                self.assertEqual(
                    "No UGF section found in %s. Conversion aborted.\n"
                    "convert (FOUT) %s -> %s\n"
                    % (src, src, d.native("one.sgf")),
                    r.stdout)
                self.assertFalse(os.path.exists(d.path("one.sgf")))
        r = run_cli(self.datafile(job))
        self.assertEqual((1, []), (r.returncode, d.files("sgf")))
        self.assertEqual(summary(1, 0, 0, 3), self.lines(r)[-6:])

    def test_convert_failures(self):
        d = self.d
        bad = d.write("bad.ugf", "[Header]\nCrypt=XOR\n")
        r = run_cli("convert", bad, "-")
        self.assertEqual((1, ""), (r.returncode, r.stdout))
        self.assertEqual("Coded ugf file: Crypt=XOR\nconvert (FOUT) %s -> -\n"
                         % bad, r.stderr)
        # A single conversion that fails leaves its output as it was.
        out = d.write("old.sgf", "previous")
        r = run_cli("convert", bad, out)
        self.assertEqual(1, r.returncode)
        self.assertEqual("previous", d.read("old.sgf"))
        r = run_cli("convert", d.native("none.ugf"), d.native("x.sgf"))
        self.assertEqual(
            (1, "Cannot read '%s': No such file or directory\n"
                "convert (FOUT) %s -> %s\n"
             % (d.native("none.ugf"), d.native("none.ugf"), d.native("x.sgf"))),
            (r.returncode, r.stdout))


def main():
    global CLI, SOURCE_DIR, EMULATOR, WINDOWS, SEP
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--sgf-check")
    parser.add_argument("--source-dir")
    parser.add_argument("--emulator", help="runs CLI, such as Wine")
    parser.add_argument("--jobs", help="run every case with -j JOBS")
    args, rest = parser.parse_known_args()
    CLI = os.path.abspath(args.cli)
    if args.emulator:
        EMULATOR = [os.path.abspath(args.emulator)]
        WINDOWS = CLI.endswith(".exe")
        SEP = "\\" if WINDOWS else "/"
    if args.jobs:
        JOBS.extend(["-j", args.jobs])
    SOURCE_DIR = args.source_dir
    # A program newer than an SGF file converts its record again: one built
    # in this very second would make the files of the first runs look old.
    while int(time.time()) <= int(os.stat(CLI).st_mtime):
        time.sleep(0.1)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
