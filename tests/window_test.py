"""Starts the Windows window program kirato.exe under Wine, as the Task
Scheduler starts it: a copy of the program and its datafile in a job folder,
started from that folder or from another, and its exit status read as the
scheduler reads it. Needs a display (xvfb-run gives one)."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
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
        its command line, the folder it is started in, its exit status, and
        the SGF files and log it must leave."""
        ugf, sgf = windows_path(self.job + "/ugf"), windows_path(self.job + "/sgf")
        job = "LOG=1\nOUT=%s\nIN=%s\nCLOSE\n" % (sgf, ugf)
        relative = "LOG=1\nOUT=sgf\nIN=ugf\nCLOSE\n"
        elsewhere = tempfile.mkdtemp(prefix="kirato-start-")
        self.addCleanup(shutil.rmtree, elsewhere)
        cases = [
            ("a job that ends in CLOSE", "kirato.exe", "kirato.txt", job, [],
             self.job, 0, ["a.sgf"], "kirato.log"),
            ("a copy named after its job", "nightly.exe", "nightly.txt", job,
             [], self.job, 0, ["a.sgf"], "nightly.log"),
            ("a program to run first, quoted, its option word dropped",
             "kirato.exe", "kirato.txt", job, ["my prep.bat", "-v"],
             self.job, 0, ["a.sgf", "late.sgf"], "kirato.log"),
            # A task without a start folder starts in C:\windows\system32:
            # the job is found in its own folder all the same.
            ("started in another folder, relative paths and program",
             "kirato.exe", "kirato.txt", relative, ["my prep.bat"],
             elsewhere, 0, ["a.sgf", "late.sgf"], "kirato.log"),
            ("no datafile: nothing to do", "kirato.exe", "other.txt", job, [],
             self.job, 2, [], None),
        ]
        for (name, program, datafile, text, arguments, start, status,
             outputs, log) in cases:
            with self.subTest(name):
                shutil.rmtree(self.job)
                self.write("ugf/a.ugf", GAME)
                self.write(datafile, text)
                self.write("my prep.bat", "@copy ugf\\a.ugf ugf\\late.ugf\n")
                shutil.copy(PROGRAM, os.path.join(self.job, program))
                r = subprocess.run(
                    [*EMULATOR, os.path.join(self.job, program), *arguments],
                    cwd=start, capture_output=True,
                    timeout=GUARD_SECONDS)
                self.assertEqual(status, r.returncode, r.stderr)
                self.assertEqual([], os.listdir(elsewhere))
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

    def close_window(self, program, process):
        """Closes the program's window as its close box does, once it is
        there, and returns the program's exit status."""
        deadline = time.monotonic() + GUARD_SECONDS
        while process.poll() is None and time.monotonic() < deadline:
            subprocess.run([*EMULATOR, "taskkill", "/IM", program],
                           capture_output=True, timeout=GUARD_SECONDS)
            time.sleep(0.2)
        return process.wait(timeout=GUARD_SECONDS)

    def test_an_error_keeps_the_window_open_and_fails_the_run(self):
        """The window, closed by the user during the run or after it: the
        run is complete either way, and the scheduler sees status 1."""
        ugf, sgf = windows_path(self.job + "/ugf"), windows_path(self.job + "/sgf")
        names = ["g%03d.sgf" % i for i in range(300)]
        for name in names:
            self.write("ugf/%s.ugf" % name[:-4], GAME)
        for ending in ["FORCEERROR: the alarm\nCLOSE\n",
                       "COPY = a\nCLOSE\n"]:
            with self.subTest(ending):
                shutil.rmtree(os.path.join(self.job, "sgf"),
                              ignore_errors=True)
                self.write("closeme.txt", "LOG=1\nOUT=%s\nIN=%s\n%s"
                           % (sgf, ugf, ending))
                program = os.path.join(self.job, "closeme.exe")
                shutil.copy(PROGRAM, program)
                process = subprocess.Popen(
                    [*EMULATOR, program], cwd=self.job,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                self.assertEqual(1, self.close_window("closeme.exe", process))
                self.assertEqual(names,
                                 sorted(os.listdir(self.job + "/sgf")))
                with open(os.path.join(self.job, "closeme.log"), "rb") as f:
                    self.assertIn(b"Files converted: 300\r\n", f.read())

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
