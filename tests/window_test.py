"""Starts the Windows window program kirato.exe under Wine, as the Task
Scheduler starts it: from a job folder that holds a copy of the program and
its datafile. Needs a display (xvfb-run gives one)."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PROGRAM = None
EMULATOR = []

GAME = "[Header]\nTitle=Test\n[Data]\nPD,B1,1,0\n"
GAME_SGF = "(;GM[1]FF[4]AP[kirato:1.0]\nGN[%s]\nEV[Test]\n\n;B[pp])\n"
# Only a window that never closes comes near this.
GUARD_SECONDS = 120


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class WindowTest(unittest.TestCase):
    def setUp(self):
        if not os.environ.get("DISPLAY"):
            self.skipTest("no display: run under xvfb-run")
        self.job = tempfile.mkdtemp(prefix="kirato-job-")
        self.addCleanup(shutil.rmtree, self.job)

    def write(self, name, text):
        path = os.path.join(self.job, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", newline="\r\n") as f:
            f.write(text)

    def test_jobs_that_close_by_themselves(self):
        """Each case: the program's name in the job folder, its datafile,
        its command line, and the SGF files and log it must leave."""
        ugf, sgf = windows_path(self.job + "/ugf"), windows_path(self.job + "/sgf")
        job = "LOG=1\nOUT=%s\nIN=%s\nCLOSE\n" % (sgf, ugf)
        cases = [
            ("a job that ends in CLOSE", "kirato.exe", "kirato.txt", job, [],
             ["a.sgf"], "kirato.log"),
            ("a copy named after its job", "nightly.exe", "nightly.txt", job,
             [], ["a.sgf"], "nightly.log"),
            ("a program to run first, quoted, its option word dropped",
             "kirato.exe", "kirato.txt", job, ["my prep.bat", "-v"],
             ["a.sgf", "late.sgf"], "kirato.log"),
            ("no datafile: nothing to do", "kirato.exe", "other.txt", job, [],
             [], None),
        ]
        for name, program, datafile, text, arguments, outputs, log in cases:
            with self.subTest(name):
                shutil.rmtree(self.job)
                self.write("ugf/a.ugf", GAME)
                self.write(datafile, text)
                self.write("my prep.bat", "@copy ugf\\a.ugf ugf\\late.ugf\n")
                shutil.copy(PROGRAM, os.path.join(self.job, program))
                r = subprocess.run(
                    [*EMULATOR, os.path.join(self.job, program), *arguments],
                    cwd=self.job, capture_output=True,
                    timeout=GUARD_SECONDS)
                self.assertEqual(0, r.returncode, r.stderr)
                found = sorted(os.listdir(os.path.join(self.job, "sgf"))
                               if os.path.isdir(self.job + "/sgf") else [])
                self.assertEqual(outputs, found)
                for sgf_name in outputs:
                    with open(os.path.join(self.job, "sgf", sgf_name),
                              "rb") as f:
                        self.assertEqual((GAME_SGF % sgf_name).encode(),
                                         f.read())
                if log:
                    with open(os.path.join(self.job, log), "rb") as f:
                        self.assertIn(b"Files converted: %d\r\n"
                                      % len(outputs), f.read())

    def test_version_answers_on_standard_output(self):
        r = subprocess.run([*EMULATOR, PROGRAM, "--version"],
                           capture_output=True, timeout=GUARD_SECONDS)
        self.assertEqual(0, r.returncode)
        self.assertTrue(r.stdout.startswith(b"kirato 1.0\n"), r.stdout)


def main():
    global PROGRAM, EMULATOR
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--emulator", required=True)
    args, rest = parser.parse_known_args()
    PROGRAM = os.path.abspath(args.program)
    EMULATOR = [os.path.abspath(args.emulator)]
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
