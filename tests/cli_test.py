"""Drives the built kirato-cli as a user or a script would: real folders,
real files and times, exit statuses and the exact lines printed."""

import argparse
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

CLI = None

GAME = "[Header]\nTitle=Test\n[Data]\nPD,B1,1,0\nDD,W2,2,0\n"
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


def run_cli(*args, cwd=None, preexec=None, timeout=60):
    return subprocess.run([CLI, *args], cwd=cwd, capture_output=True,
                          text=True, timeout=timeout, preexec_fn=preexec)


class CliTest(unittest.TestCase):
    def setUp(self):
        self.d = Folder()
        self.addCleanup(self.d.close)

    def datafile(self, text, name="job.txt"):
        return self.d.write(name, text)

    def lines(self, result):
        return result.stdout.split("\n")[:-1]

    def test_version_help_and_usage(self):
        r = run_cli("--version")
        self.assertEqual((0, "kirato 1.0\n"), (r.returncode, r.stdout))
        r = run_cli("--help")
        self.assertEqual(0, r.returncode)
        self.assertIn("kirato-cli DATAFILE", r.stdout)
        for args in ([], ["a", "b"], ["--bogus"], ["convert", "x"],
                     ["convert"]):
            with self.subTest(args=args):
                r = run_cli(*args)
                self.assertEqual(2, r.returncode)
                self.assertEqual("", r.stdout)
                self.assertIn("usage:", r.stderr)

    def test_missing_datafile(self):
        missing = self.d.path("none.txt")
        r = run_cli(missing)
        self.assertEqual(2, r.returncode)
        self.assertEqual(["Datafile not found:", missing], self.lines(r))

    def test_walk_messages_files_and_log(self):
        d = self.d
        d.write("ugf/a.ugf", GAME)
        d.write("ugf/x/b.ugi", GAME)
        d.write("ugf/x/y/c.ugf", GAME)
        d.write("ugf/x/A.UGF", GAME)
        df = self.datafile("LOG=1\nOUT=%s\nIN=%s\nCLOSE\nnot read\n"
                           % (d.path("sgf"), d.path("ugf")), name="job")
        r = run_cli(df)
        self.assertEqual(0, r.returncode, r.stdout + r.stderr)
        ugf, sgf = d.path("ugf"), d.path("sgf")
        self.assertEqual([
            "convert %s/a.ugf -> %s/a.sgf" % (ugf, sgf),
            "convert %s/x/b.ugi -> %s/b.sgf" % (ugf, sgf),
            "convert %s/x/y/c.ugf -> %s/c.sgf" % (ugf, sgf),
        ] + summary(3, 0, 3, 0), self.lines(r))
        self.assertEqual(["a.sgf", "b.sgf", "c.sgf"], d.files("sgf"))
        self.assertEqual(GAME_SGF % "b.sgf", d.read("sgf/b.sgf"))
        # A datafile without an extension gets ".log" appended.
        self.assertEqual(
            "Datafile: OUT=%s\r\nDatafile: IN=%s\r\n"
            "ProcessDir %s -> %s\r\nProcessDir %s/x -> %s\r\n"
            "ProcessDir %s/x/y -> %s\r\nDatafile: CLOSE\r\n"
            "Directories scanned: 3\r\nFiles up-to-date: 0\r\n"
            "Files converted: 3\r\nFiles failed: 0\r\n"
            % (sgf, ugf, ugf, sgf, ugf, sgf, ugf, sgf),
            d.read("job.log"))

    def test_second_run_skips_what_is_up_to_date(self):
        d = self.d
        past = time.time() - 86400
        d.write("ugf/a.ugf", GAME, mtime=past)
        d.write("ugf/b.ugf", GAME, mtime=past)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))
        self.assertEqual(0, run_cli(df).returncode)
        future = time.time() + 100  # surely newer than the program file
        for name in ("a.sgf", "b.sgf"):
            os.utime(d.path("sgf", name), (future, future))
        os.utime(d.path("ugf/b.ugf"), (future, future))  # same second: stale
        r = run_cli(df)
        self.assertEqual(
            ["convert %s -> %s" % (d.path("ugf/b.ugf"), d.path("sgf/b.sgf"))]
            + summary(1, 1, 1, 0), self.lines(r))

    def test_program_newer_than_output_converts_again(self):
        d = self.d
        d.write("ugf/a.ugf", GAME, mtime=time.time() - 86400)
        d.write("sgf/a.sgf", "old", mtime=time.time() - 3600)
        copy = d.path("bin", "kirato-cli")
        os.makedirs(os.path.dirname(copy))
        with open(CLI, "rb") as src, open(copy, "wb") as dst:
            dst.write(src.read())
        os.chmod(copy, 0o755)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))
        r = subprocess.run([copy, df], capture_output=True, text=True)
        self.assertIn("Files converted: 1", r.stdout)
        self.assertEqual(GAME_SGF % "a.sgf", d.read("sgf/a.sgf"))

    def test_error_flag_gives_exit_status_one(self):
        for text in ("bogus\nCLOSE\n", "FORCEERROR: stop here\n",
                     "IN=/tmp\n", "OUT=%s\nIN=\n" % self.d.path("o")):
            with self.subTest(text=text):
                r = run_cli(self.datafile(text))
                self.assertEqual(1, r.returncode, r.stdout)
        r = run_cli(self.datafile("FORCEERROR: stop here\n"))
        self.assertEqual(["stop here"] + summary(0, 0, 0, 0), self.lines(r))

    def test_messages_that_cannot_be_written_fail_the_run(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full on this system")
        self.d.write("ugf/g.ugf", GAME)
        job = self.datafile("OUT=%s\nIN=%s\n" % (self.d.path("sgf"),
                                                 self.d.path("ugf")))
        cases = [("datafile run", [job]),
                 ("one file", ["convert", self.d.path("ugf/g.ugf"),
                               self.d.path("one.sgf")])]
        for what, args in cases:
            with self.subTest(what):
                with open("/dev/full", "w") as full:
                    r = subprocess.run([CLI, *args], stdout=full,
                                       stderr=subprocess.PIPE, text=True,
                                       timeout=60)
                self.assertEqual(
                    (1, "kirato-cli: the messages could not be written\n"),
                    (r.returncode, r.stderr))
        # The conversions themselves are done and whole.
        self.assertEqual(["g.sgf"], self.d.files("sgf"))
        self.assertTrue(os.path.exists(self.d.path("one.sgf")))

    def test_failed_conversion_removes_the_old_output(self):
        d = self.d
        d.write("ugf/bad.ugf", "[Header]\nSize=30\n", mtime=time.time() - 99)
        d.write("sgf/bad.sgf", "stale", mtime=time.time() - 999)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))
        r = run_cli(df)
        self.assertEqual(1, r.returncode)
        self.assertEqual([
            "Illegal board size: 30",
            "convert (FOUT) %s -> %s" % (d.path("ugf/bad.ugf"),
                                          d.path("sgf/bad.sgf")),
        ] + summary(1, 0, 0, 0), self.lines(r))
        self.assertEqual([], d.files("sgf"))

    def test_unreadable_and_uncreatable_files_count_as_failed(self):
        d = self.d
        d.write("ugf/a.ugf", GAME)
        os.makedirs(d.path("ugf/dir.ugf"))       # a directory, not a file
        os.mkfifo(d.path("ugf/fifo.ugf"))        # would block a plain open
        os.makedirs(d.path("sgf/a.sgf"))         # output name taken by a dir
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))
        r = run_cli(df, timeout=20)
        self.assertEqual(summary(2, 0, 0, 3), self.lines(r))
        self.assertEqual(0, r.returncode)

    def test_output_directory_that_cannot_be_made(self):
        d = self.d
        d.write("file", "")
        d.write("ugf/a.ugf", GAME)
        df = self.datafile("OUT=%s/sub/deeper\nIN=%s\n"
                           % (d.path("file"), d.path("ugf")))
        r = run_cli(df)
        self.assertEqual(1, r.returncode)
        self.assertEqual(
            ["Datafile line 2: the outputdir '%s/sub' cannot be created: "
             "Not a directory" % d.path("file")] + summary(0, 0, 0, 0),
            self.lines(r))

    def test_log_that_cannot_be_created(self):
        os.makedirs(self.d.path("job.log"))
        r = run_cli(self.datafile("LOG=3\n"))
        self.assertEqual(0, r.returncode)
        self.assertEqual(
            ["Cannot open logfile '%s', error: Is a directory"
             % self.d.path("job.log")] + summary(0, 0, 0, 0), self.lines(r))

    def test_link_cycles_end(self):
        d = self.d
        d.write("ugf/a.ugf", GAME)
        d.write("ugf/sub/b.ugf", GAME)
        os.symlink(d.path("ugf"), d.path("ugf/sub/loop"))
        os.symlink("..", d.path("ugf/sub/up"))
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))
        r = run_cli(df, timeout=20)
        self.assertEqual(0, r.returncode)
        self.assertEqual(summary(2, 0, 2, 0), self.lines(r)[-6:])

    def test_full_disk_fails_the_file_and_leaves_nothing(self):
        d = self.d
        big = "[Header]\n" + "Title=%s\n" % ("x" * 1000) * 200
        d.write("ugf/big.ugf", big)
        d.write("ugf/small.ugf", "[Header]\nTitle=T\n")
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))

        def limit_file_size():
            # Writing past the limit fails with EFBIG, as on a full disk.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (65536, 65536))

        r = run_cli(df, preexec=limit_file_size)
        self.assertEqual(1, r.returncode)
        big_in, big_out = d.path("ugf/big.ugf"), d.path("sgf/big.sgf")
        self.assertEqual([
            "Cannot write '%s', error: File too large" % big_out,
            "convert (FOUT) %s -> %s" % (big_in, big_out),
            "convert %s -> %s" % (d.path("ugf/small.ugf"),
                                  d.path("sgf/small.sgf")),
        ] + summary(1, 0, 1, 1), self.lines(r))
        self.assertEqual(["small.sgf"], d.files("sgf"))  # no temporary left

    def test_killed_run_leaves_only_complete_outputs(self):
        d = self.d
        moves = "".join("%s%s,%s1,%d,0\n" % ("ABCDEFGHIJKLMNOPQRS"[i % 19],
                                            "ABCDEFGHIJKLMNOPQRS"[i // 19 % 19],
                                            "BW"[i % 2], i + 1)
                        for i in range(3000))
        count = 300
        for i in range(count):
            d.write("ugf/g%03d.ugf" % i, "[Data]\n" + moves)
        df = self.datafile("OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf")))

        def sgf_files():
            return [n for n in d.files("sgf") if n.endswith(".sgf")]

        # The whole job takes a fraction of a second; should a busy machine
        # let it finish before the kill, try again.
        for _ in range(5):
            shutil.rmtree(d.path("sgf"), ignore_errors=True)
            proc = subprocess.Popen([CLI, df], stdout=subprocess.PIPE,
                                    text=True)
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

    def test_convert_one_file(self):
        d = self.d
        src = d.write("in/game.ugi", GAME)
        out = d.path("game-out.sgf")
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

    def test_what_is_no_record_is_refused(self):
        d = self.d
        job = "OUT=%s\nIN=%s\n" % (d.path("sgf"), d.path("ugf"))
        cases = [("empty.ugf", b""), ("binary.ugf", bytes(range(256))),
                 ("job.ugf", job.encode())]
        for name, data in cases:
            with self.subTest(name):
                src = d.write("ugf/" + name, data)
                r = run_cli("convert", src, d.path("one.sgf"))
                self.assertEqual(1, r.returncode)
                self.assertEqual(
                    "No UGF section found in %s. Conversion aborted.\n"
                    "convert (FOUT) %s -> %s\n" % (src, src, d.path("one.sgf")),
                    r.stdout)
                self.assertFalse(os.path.exists(d.path("one.sgf")))
        r = run_cli(self.datafile(job))
        self.assertEqual((1, []), (r.returncode, d.files("sgf")))
        self.assertEqual(summary(1, 0, 0, 0), self.lines(r)[-6:])

    def test_convert_failures(self):
        d = self.d
        bad = d.write("bad.ugf", "[Header]\nCrypt=XOR\n")
        r = run_cli("convert", bad, "-")
        self.assertEqual((1, ""), (r.returncode, r.stdout))
        self.assertEqual("Coded ugf file: Crypt=XOR\nconvert (FOUT) %s -> -\n"
                         % bad, r.stderr)
        out = d.write("old.sgf", "previous")
        r = run_cli("convert", bad, out)
        self.assertEqual(1, r.returncode)
        self.assertFalse(os.path.exists(out))
        r = run_cli("convert", d.path("none.ugf"), d.path("x.sgf"))
        self.assertEqual((1, ""), (r.returncode, r.stdout))
        self.assertIn("none.ugf", r.stderr)


def main():
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--sgf-check")
    parser.add_argument("--source-dir")
    args, rest = parser.parse_known_args()
    CLI = os.path.abspath(args.cli)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
