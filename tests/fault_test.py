"""Runs the built kirato-cli against a file system that fails: a full
device, unreadable records, a run killed half-way, folder link cycles and
damaged records. Whatever goes wrong, no output may look like a good one:
every SGF file left behind is complete and well-formed, a failed record
leaves no SGF file and no temporary file, and the messages and the summary
say what happened.

Faults come from a preloaded library (tests/fault_shim.cpp) that makes
open, read, write, close or rename fail for chosen paths; a small tmpfs,
where root may mount one, is a real device that fills up."""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

CLI = None        # a copy of kirato-cli dated two days back (see main)
SGF_CHECK = None
SHIM = None
PRELOAD = None    # the LD_PRELOAD value that loads the shim, or None
PRELOAD_PROBLEM = ""

PAST = time.time() - 86400  # the records' time: older than any output

# --- records ---------------------------------------------------------------

LETTERS = "ABCDEFGHIJKLMNOPQRS"


def make_record(seed, moves=60, comments=6):
    """A UGF record with a full header, added stones, moves, passes, and
    comment blocks with labels; the same seed gives the same bytes."""
    rng = random.Random(seed)
    lines = [
        "[Header]", "Lang=JPN", "Ver=1",
        "Title=Round %d, table %d" % (rng.randint(1, 9), rng.randint(1, 40)),
        "Place=Hall %d" % rng.randint(1, 5),
        "Date=2024/%02d/%02d" % (rng.randint(1, 12), rng.randint(1, 28)),
        "Size=19", "Hdcp=2,0.5",
        "PlayerB=Black %d,%dk" % (seed, rng.randint(1, 20)),
        "PlayerW=White %d,%dd" % (seed, rng.randint(1, 9)),
        "Winner=%s,%d.5" % (rng.choice("BW"), rng.randint(0, 30)),
        "Rule=JPN", "Ptime=1;60",
        "Comment=Seed %d: a ] and a \\ and a : in one line" % seed,
        "CoordinateType=IGS", "[Data]", "DD,B1,0,0", "PP,B1,0,0",
    ]
    for n in range(1, moves + 1):
        point = ("YY" if rng.random() < 0.03 else
                 rng.choice(LETTERS) + rng.choice(LETTERS))
        lines.append("%s,%s1,%d,0" % (point, "WB"[n % 2], n))
    lines.append("[Figure]")
    for _ in range(comments):
        n = rng.randint(0, moves)
        lines += [".Text,%d" % n,
                  "Move %d: %s" % (n, rng.choice(["good", "slow", "a] b",
                                                   "back\\slash"])),
                  "A second line for move %d." % n,
                  ".#,%d,%d,%s" % (rng.randint(1, 19), rng.randint(1, 19),
                                   rng.choice("ABC")),
                  ".EndText"]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


# --- running the program ---------------------------------------------------

def sanitizer_env():
    """The environment for kirato-cli: in a sanitizer build, a finding
    ends the program with status 86, which no test takes for a failed
    conversion (status 1)."""
    env = dict(os.environ)
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
        env[name] = ":".join(filter(None, [env.get(name), "exitcode=86"]))
    return env


def run_cli(*args, faults=None, timeout=60, stdout=subprocess.PIPE):
    """Runs kirato-cli; `faults` maps the shim's variables to values and
    loads the shim."""
    env = sanitizer_env()
    if faults is not None:
        env["LD_PRELOAD"] = PRELOAD
        env.update({k: str(v) for k, v in faults.items()})
    return subprocess.run([CLI, *args], stdout=stdout,
                          stderr=subprocess.PIPE, env=env, timeout=timeout)


def text_lines(data):
    return data.decode("utf-8", "surrogateescape").split("\n")[:-1]


SUMMARY_KEYS = ["Directories scanned", "Files up-to-date", "Files converted",
                "Files failed"]


def summary(scanned, uptodate, converted, failed):
    return ["", "*** summary ***"] + [
        "%s: %d" % (k, v) for k, v in
        zip(SUMMARY_KEYS, (scanned, uptodate, converted, failed))]


def parse_summary(lines):
    """The four counters of the summary that ends `lines`."""
    tail = lines[-6:]
    if tail[:2] != ["", "*** summary ***"]:
        raise AssertionError("no summary at the end: %r" % tail)
    counts = []
    for key, line in zip(SUMMARY_KEYS, tail[2:]):
        prefix = key + ": "
        if not line.startswith(prefix):
            raise AssertionError("bad summary line %r" % line)
        counts.append(int(line[len(prefix):]))
    return tuple(counts)


CONVERT_LINE = re.compile(r"^convert (\(FOUT\) )?(\S+) -> (\S+)$")


def convert_lines(lines):
    """(input, output, converted) for every convert line, in order."""
    found = []
    for line in lines:
        m = CONVERT_LINE.match(line)
        if m:
            found.append((m.group(2), m.group(3), m.group(1) is None))
    return found


def sgf_check(paths):
    """sgf-check's verdict on `paths` (all of them at once): (ok, why)."""
    if not paths:
        return True, ""
    r = subprocess.run([SGF_CHECK, *paths], capture_output=True, text=True)
    return r.returncode == 0, r.stderr


class Folder:
    def __init__(self, test):
        tmp = tempfile.TemporaryDirectory(prefix="kirato-fault-")
        test.addCleanup(tmp.cleanup)
        self.root = tmp.name

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def write(self, rel, data, mtime=PAST):
        p = self.path(rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)
        if mtime is not None:
            os.utime(p, (mtime, mtime))
        return p

    def read(self, rel):
        with open(self.path(rel), "rb") as f:
            return f.read()

    def datafile(self, out, inp, name="job.txt"):
        p = self.path(name)
        with open(p, "w") as f:
            f.write("OUT=%s\nIN=%s\n" % (out, inp))
        return p


def output_files(folder):
    """(SGF files, other files) of an output folder, each name -> bytes;
    "other" are the temporary files, which a walk never takes as records."""
    sgf, other = {}, {}
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        with open(os.path.join(folder, name), "rb") as f:
            (sgf if name.endswith(".sgf") else other)[name] = f.read()
    return sgf, other


class FaultCase(unittest.TestCase):
    def setUp(self):
        self.d = Folder(self)

    def need_shim(self):
        if PRELOAD is None:
            self.fail("the fault library cannot be used: " + PRELOAD_PROBLEM)

    def assertOutputsGood(self, folder, reference=None):
        """Every SGF file in `folder` passes sgf-check (and equals the
        reference's when given), and no temporary file is left."""
        sgf, other = output_files(folder)
        ok, why = sgf_check([os.path.join(folder, n) for n in sgf])
        self.assertTrue(ok, why)
        self.assertEqual({}, other, "files left beside the SGF files")
        if reference is not None:
            for name, data in sgf.items():
                self.assertEqual(reference[name], data, name)
        return sgf

    def reference(self, ugf):
        """What a run without faults writes for the tree `ugf`."""
        out = self.d.path("reference")
        r = run_cli(self.d.datafile(out, ugf, name="reference.txt"))
        self.assertEqual(0, r.returncode, r.stdout)
        return self.assertOutputsGood(out)


# --- a full device ---------------------------------------------------------

class FullDeviceTest(FaultCase):
    def layout(self, names):
        for i, name in enumerate(names):
            self.d.write("ugf/%s.ugf" % name, make_record(i, moves=80))
        ugf, sgf = self.d.path("ugf"), self.d.path("sgf")
        return ugf, sgf, self.d.datafile(sgf, ugf)

    def test_faults_while_the_output_is_written(self):
        self.need_shim()
        ugf, sgf, job = self.layout(["g"])
        good = self.reference(ugf)["g.sgf"]
        size = len(good)
        nospace = "No space left on device"
        # (what, shim variables, error text or None when the file is good,
        #  an out-of-date SGF file there before the run)
        cases = [
            ("full before the first byte", {"KIRATO_FAULT_ENOSPC_AFTER": 0},
             nospace, False),
            ("full after one byte", {"KIRATO_FAULT_ENOSPC_AFTER": 1},
             nospace, True),
            ("full in the middle", {"KIRATO_FAULT_ENOSPC_AFTER": size // 2},
             nospace, False),
            ("one byte short", {"KIRATO_FAULT_ENOSPC_AFTER": size - 1},
             nospace, True),
            ("full exactly at the end", {"KIRATO_FAULT_ENOSPC_AFTER": size},
             None, True),
            ("room to spare", {"KIRATO_FAULT_ENOSPC_AFTER": size + 1},
             None, False),
            ("close reports an error",
             {"KIRATO_FAULT_EIO_CLOSE": os.path.join(sgf, ".")},
             "Input/output error", True),
            ("rename fails", {"KIRATO_FAULT_EIO_RENAME": "g.sgf"},
             "Input/output error", False),
        ]
        g_in, g_out = os.path.join(ugf, "g.ugf"), os.path.join(sgf, "g.sgf")
        for what, faults, error, old in cases:
            with self.subTest(what):
                shutil.rmtree(sgf, ignore_errors=True)
                if old:
                    self.d.write("sgf/g.sgf", b"(;old", mtime=PAST - 60)
                r = run_cli(job, faults=dict(faults,
                                             KIRATO_FAULT_WRITE_PATH=sgf))
                lines = text_lines(r.stdout)
                if error is None:
                    self.assertEqual((0, ["convert %s -> %s" % (g_in, g_out)]
                                      + summary(1, 0, 1, 0)),
                                     (r.returncode, lines))
                    self.assertEqual({"g.sgf": good},
                                     self.assertOutputsGood(sgf))
                    continue
                # A write error fails the record and the run, and counts
                # under files failed.
                self.assertEqual(
                    (1, ["Cannot write '%s': %s" % (g_out, error),
                         "convert (FOUT) %s -> %s" % (g_in, g_out)]
                     + summary(1, 0, 0, 1)), (r.returncode, lines))
                # An older SGF file that could not be replaced stays as it
                # was; it is older than its record, so the next run retries.
                self.assertEqual((["g.sgf"] if old else [], True),
                                 (os.listdir(sgf), r.stderr == b""))
                if old:
                    self.assertEqual(b"(;old", self.d.read("sgf/g.sgf"))
                # Once there is room again, the record is converted.
                r = run_cli(job)
                self.assertEqual((0, summary(1, 0, 1, 0)),
                                 (r.returncode, text_lines(r.stdout)[-6:]))
                self.assertEqual({"g.sgf": good}, self.assertOutputsGood(sgf))

    def test_outputs_that_cannot_reach_the_disk_fail_the_run(self):
        """The outputs are synced before the summary (a single conversion
        before its line); a failure there fails the run."""
        self.need_shim()
        ugf, sgf, job = self.layout(["g"])
        g_in, g_out = os.path.join(ugf, "g.ugf"), os.path.join(sgf, "g.sgf")
        cases = [
            ("datafile", [job],
             ["convert %s -> %s" % (g_in, g_out),
              "Cannot write the SGF files to disk: Input/output error"]
             + summary(1, 0, 1, 0)),
            ("one record", ["convert", g_in, g_out],
             ["Cannot write '%s': Input/output error" % g_out,
              "convert (FOUT) %s -> %s" % (g_in, g_out)]),
        ]
        for what, args, lines in cases:
            with self.subTest(what):
                r = run_cli(*args, faults={"KIRATO_FAULT_EIO_SYNC": 1})
                self.assertEqual((1, lines),
                                 (r.returncode, text_lines(r.stdout)))

    def test_log_on_a_full_device(self):
        """A log cut short is named once, the run fails, and the records
        are converted all the same."""
        self.need_shim()
        ugf, sgf, job = self.layout(["a", "b"])
        with open(job, "w") as f:
            f.write("LOG=9\nOUT=%s\nIN=%s\n" % (sgf, ugf))
        log = os.path.join(self.d.root, "job.log")
        r = run_cli(job, faults={"KIRATO_FAULT_ENOSPC_AFTER": 100,
                                 "KIRATO_FAULT_WRITE_PATH": log})
        lines = text_lines(r.stdout)
        self.assertEqual(1, r.returncode)
        self.assertEqual(["Cannot write logfile '%s', error: No space left "
                          "on device" % log], [l for l in lines
                                               if "logfile" in l])
        self.assertEqual(summary(1, 0, 2, 0), lines[-6:])
        self.assertEqual(100, os.path.getsize(log))
        self.assertOutputsGood(sgf)

    def test_without_proc(self):
        """An unnamed file is linked into place by its descriptor, or where
        the kernel refuses that, by its path through /proc; in a chroot
        without /proc on such a kernel, outputs, new and replaced, take
        hidden names instead. Each way gives the same files."""
        self.need_shim()
        ugf, sgf, job = self.layout(["a", "b", "c"])
        good = self.reference(ugf)
        for faults in ({"KIRATO_FAULT_NO_PROC": 1},
                       {"KIRATO_FAULT_NO_FLINK": 1},
                       {"KIRATO_FAULT_NO_PROC": 1,
                        "KIRATO_FAULT_NO_FLINK": 1}):
            with self.subTest(faults=sorted(faults)):
                shutil.rmtree(sgf, ignore_errors=True)
                self.d.write("sgf/b.sgf", b"(;old", mtime=PAST - 60)
                r = run_cli(job, faults=faults)
                self.assertEqual((0, summary(1, 0, 3, 0)),
                                 (r.returncode, text_lines(r.stdout)[-6:]))
                self.assertEqual(good, self.assertOutputsGood(sgf, good))
                one = os.path.join(self.d.root, "one.sgf")
                r = run_cli("convert", os.path.join(ugf, "a.ugf"), one,
                            faults=faults)
                self.assertEqual(0, r.returncode, r.stdout)
                self.assertEqual(
                    good["a.sgf"].replace(b"GN[a.sgf]", b"GN[one.sgf]"),
                    self.d.read("one.sgf"))

    def test_device_fills_up_during_a_run(self):
        self.need_shim()
        names = ["a", "b", "c", "d", "e"]
        ugf, sgf, job = self.layout(names)
        good = self.reference(ugf)
        room = len(good["a.sgf"]) + len(good["b.sgf"]) + 100
        # One thread: which records find the disk full depends on the order
        # in which they are written.
        r = run_cli("-j", "1", job,
                    faults={"KIRATO_FAULT_ENOSPC_AFTER": room,
                            "KIRATO_FAULT_WRITE_PATH": sgf})
        self.assertEqual(1, r.returncode)
        expected = []
        for n in names:
            src, dst = os.path.join(ugf, n + ".ugf"), os.path.join(sgf,
                                                                  n + ".sgf")
            if n in "ab":
                expected.append("convert %s -> %s" % (src, dst))
            else:
                expected += ["Cannot write '%s': No space left on "
                             "device" % dst, "convert (FOUT) %s -> %s"
                             % (src, dst)]
        self.assertEqual(expected + summary(1, 0, 2, 3), text_lines(r.stdout))
        self.assertEqual(["a.sgf", "b.sgf"],
                         sorted(self.assertOutputsGood(sgf, good)))
        # The next run skips what is done and converts the rest.
        r = run_cli(job)
        self.assertEqual((0, summary(1, 2, 3, 0)),
                         (r.returncode, text_lines(r.stdout)[-6:]))
        self.assertEqual(good, self.assertOutputsGood(sgf))

    def test_output_that_cannot_be_created(self):
        self.need_shim()
        ugf, sgf, job = self.layout(["a", "b"])
        r = run_cli(job, faults={"KIRATO_FAULT_EACCES_OPEN": "b.sgf"})
        a_in, a_out = os.path.join(ugf, "a.ugf"), os.path.join(sgf, "a.sgf")
        b_in, b_out = os.path.join(ugf, "b.ugf"), os.path.join(sgf, "b.sgf")
        self.assertEqual((1, ["convert %s -> %s" % (a_in, a_out),
                              "Cannot write '%s': Permission denied" % b_out,
                              "convert (FOUT) %s -> %s" % (b_in, b_out)]
                          + summary(1, 0, 1, 1)),
                         (r.returncode, text_lines(r.stdout)))
        self.assertEqual(["a.sgf"], sorted(self.assertOutputsGood(sgf)))

    def test_small_filesystem_fills_up(self):
        if shutil.which("mount") is None:
            self.skipTest("no mount program")
        mnt = self.d.path("small")
        os.makedirs(mnt)
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs",
                            mnt], capture_output=True, text=True)
        if r.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: %s"
                          % (r.stderr.strip() or "exit status %d"
                             % r.returncode))
        self.addCleanup(subprocess.run, ["umount", "-l", mnt],
                        capture_output=True)
        count = 40
        for i in range(count):
            self.d.write("ugf/g%02d.ugf" % i, make_record(i, moves=150,
                                                          comments=20))
        ugf, sgf = self.d.path("ugf"), os.path.join(mnt, "sgf")
        good = self.reference(ugf)
        self.assertGreater(sum(map(len, good.values())), 64 * 1024)
        job = self.d.datafile(sgf, ugf)

        r = run_cli(job)
        lines = text_lines(r.stdout)
        self.assertEqual(1, r.returncode, lines)
        done = self.assertOutputsGood(sgf, good)
        converted = set()
        for src, dst, ok in convert_lines(lines):
            name = os.path.basename(dst)
            self.assertEqual(ok, name in done, dst)
            if ok:
                converted.add(name)
            else:
                self.assertIn("Cannot write '%s': No space left on "
                              "device" % dst, lines)
        # Each record is converted or counts as failed, whether its
        # temporary file could not even be made (no line) or could not be
        # written completely (a "(FOUT)" line); nothing is both or lost.
        scanned, uptodate, nconverted, failed = parse_summary(lines)
        self.assertEqual((1, 0, len(converted)),
                         (scanned, uptodate, nconverted))
        self.assertEqual(count, nconverted + failed)
        self.assertTrue(0 < len(converted) < count, len(converted))

        # With room again, the next run adds exactly what is missing.
        subprocess.run(["mount", "-o", "remount,size=4m", mnt], check=True)
        r = run_cli(job)
        self.assertEqual((0, summary(1, len(converted), count - len(converted),
                                     0)),
                         (r.returncode, text_lines(r.stdout)[-6:]))
        self.assertEqual(good, self.assertOutputsGood(sgf))


# --- records that cannot be read -------------------------------------------

class UnreadableInputTest(FaultCase):
    def test_unreadable_record_fails_alone(self):
        self.need_shim()
        d = self.d
        for name in "abc":
            d.write("ugf/%s.ugf" % name, make_record(ord(name)))
        size = len(d.read("ugf/b.ugf"))
        ugf, sgf = d.path("ugf"), d.path("sgf")
        job = d.datafile(sgf, ugf)
        good = self.reference(ugf)

        def line(n, ok=True):
            return "convert %s%s -> %s" % ("" if ok else "(FOUT) ",
                                           os.path.join(ugf, n + ".ugf"),
                                           os.path.join(sgf, n + ".sgf"))
        read_error = ["Cannot read '%s': Input/output error"
                      % os.path.join(ugf, "b.ugf"), line("b", False)]
        # (what, shim variables, lines about b, summary, exit status)
        cases = [
            ("open refused", {"KIRATO_FAULT_EACCES_OPEN": "b.ugf"},
             ["Cannot read '%s': Permission denied"
              % os.path.join(ugf, "b.ugf"), line("b", False)],
             (1, 0, 2, 1), 1),
        ] + [
            ("read fails after %d bytes" % n,
             {"KIRATO_FAULT_EIO_READ": "b.ugf",
              "KIRATO_FAULT_EIO_READ_AFTER": n}, read_error, (1, 0, 2, 1), 1)
            for n in (0, 1, 300, size - 1)
        ] + [
            # A record whose size is known is read with one call: an error
            # that would come only after its last byte is never met.
            ("read fails after the first read",
             {"KIRATO_FAULT_EIO_READ": "b.ugf"}, [line("b")], (1, 0, 3, 0), 0),
            ("read fails after all %d bytes" % size,
             {"KIRATO_FAULT_EIO_READ": "b.ugf",
              "KIRATO_FAULT_EIO_READ_AFTER": size}, [line("b")], (1, 0, 3, 0),
             0),
        ]
        for what, faults, b_lines, counts, status in cases:
            with self.subTest(what):
                shutil.rmtree(sgf, ignore_errors=True)
                r = run_cli(job, faults=faults)
                self.assertEqual(
                    (status, [line("a")] + b_lines + [line("c")]
                     + summary(*counts)),
                    (r.returncode, text_lines(r.stdout)))
                if status == 0 and b_lines:
                    self.assertEqual(good, self.assertOutputsGood(sgf))
                    continue
                self.assertEqual(["a.sgf", "c.sgf"],
                                 sorted(self.assertOutputsGood(sgf, good)))
                r = run_cli(job)
                self.assertEqual([line("b")] + summary(1, 2, 1, 0),
                                 text_lines(r.stdout))
                self.assertEqual(good, self.assertOutputsGood(sgf))

    def test_single_conversion_of_an_unreadable_record(self):
        self.need_shim()
        src = self.d.write("in/g.ugf", make_record(7))
        out = self.d.path("g.sgf")
        cases = [
            ("open", {"KIRATO_FAULT_EACCES_OPEN": "g.ugf"},
             lambda target: ["Cannot read '%s': Permission denied" % src,
                             "convert (FOUT) %s -> %s" % (src, target)]),
            ("read", {"KIRATO_FAULT_EIO_READ": "g.ugf",
                      "KIRATO_FAULT_EIO_READ_AFTER": 100},
             lambda target: ["Cannot read '%s': Input/output error"
                             % src, "convert (FOUT) %s -> %s" % (src, target)]),
        ]
        for what, faults, messages in cases:
            for target in (out, "-"):
                with self.subTest(what, target=target):
                    r = run_cli("convert", src, target, faults=faults)
                    self.assertEqual(1, r.returncode)
                    self.assertFalse(os.path.exists(out))
                    if target == "-":  # the messages go to standard error
                        self.assertEqual(b"", r.stdout)
                    self.assertEqual(
                        messages(target),
                        text_lines(r.stdout) + text_lines(r.stderr))


# --- a run killed half-way -------------------------------------------------

class KilledRunTest(FaultCase):
    FOLDERS = [("y%d" % y, "club-%s" % c, "round-%d" % k)
               for y in range(4) for c in "abc" for k in range(4)]
    PER_FOLDER = 50  # 48 folders, 2,400 records

    def test_rerun_after_kill_gives_the_clean_result(self):
        d = self.d
        total = 0
        for parts in self.FOLDERS:
            for _ in range(self.PER_FOLDER):
                d.write("ugf/%s/r%04d.ugf" % ("/".join(parts), total),
                        make_record(total, moves=40, comments=3))
                total += 1
        folders = 1 + len({f[:depth] for f in self.FOLDERS
                           for depth in (1, 2, 3)})
        ugf = d.path("ugf")
        good = self.reference(ugf)
        self.assertEqual(total, len(good))

        # Kill when about this many records were reported converted;
        # should the run end before, try again.
        for kill_after in (20, total // 3, total * 3 // 4):
            with self.subTest(kill_after=kill_after):
                sgf = d.path("sgf-%d" % kill_after)
                job = d.datafile(sgf, ugf, name="job-%d.txt" % kill_after)
                for _ in range(5):
                    shutil.rmtree(sgf, ignore_errors=True)
                    if self.kill_after_lines(job, kill_after):
                        break
                else:
                    self.fail("the run always ended before the kill")
                done, left = output_files(sgf)
                ok, why = sgf_check([os.path.join(sgf, n) for n in done])
                self.assertTrue(ok, why)
                for name, data in done.items():
                    self.assertEqual(good[name], data, name)
                # Nothing but complete SGF files: what was being written
                # had no name yet.
                self.assertEqual({}, left)

                r = run_cli(job)
                self.assertEqual(
                    (0, summary(folders, len(done), total - len(done), 0)),
                    (r.returncode, text_lines(r.stdout)[-6:]))
                after, after_left = output_files(sgf)
                self.assertEqual(sorted(good), sorted(after))
                for name, data in good.items():
                    self.assertEqual(data, after[name], name)
                self.assertEqual({}, after_left)

    def kill_after_lines(self, job, lines):
        """Starts a run, kills it once about `lines` lines were printed;
        False when the run ended first."""
        log = self.d.path("stdout.txt")
        with open(log, "wb") as f:
            proc = subprocess.Popen([CLI, job], stdout=f,
                                    env=sanitizer_env())
        # A file, not a pipe, so the run never waits for this reader and
        # the kill finds it anywhere in its work.
        want = lines * len("convert %s/y0/club-a/round-0/r0000.ugf -> "
                           "%s/r0000.sgf\n" % (self.d.path("ugf"),
                                               self.d.path("sgf-0")))
        while proc.poll() is None and os.path.getsize(log) < want:
            time.sleep(0.001)
        proc.send_signal(signal.SIGKILL)
        proc.wait()
        return proc.returncode == -signal.SIGKILL


# --- folder link cycles ----------------------------------------------------

class LinkCycleTest(FaultCase):
    def test_cycles_end_and_every_record_is_converted_once(self):
        d = self.d
        for i, rel in enumerate(["a.ugf", "p/b.ugf", "p/deep/deeper/e.ugf",
                                 "q/c.ugf", "r/d.ugf"]):
            d.write("ugf/" + rel, make_record(i))
        ugf = d.path("ugf")
        links = {
            "p/up": "..",                  # the parent, an ancestor
            "p/root": ugf,                 # the walked folder, by full path
            "p/deep/deeper/top": "../../..",
            "q/to-r": "../r",              # two folders that point at
            "r/to-q": "../q",              # each other
            "s/self": "self",              # a link to itself
            "s/x": "y", "s/y": "x",        # two links to each other
            "s/loop.ugf": "loop.ugf",      # ... named like a record
        }
        for rel, target in links.items():
            os.makedirs(os.path.dirname(d.path("ugf", rel)), exist_ok=True)
            os.symlink(target, d.path("ugf", rel))
        sgf = d.path("sgf")
        r = run_cli(d.datafile(sgf, ugf), timeout=20)
        lines = text_lines(r.stdout)

        def conv(rel, name):
            return "convert %s/%s -> %s/%s" % (ugf, rel, sgf, name)
        # Each folder is entered once: q/to-r leads into r, which is walked
        # there and not again as r or as r/to-q. The self-link named like a
        # record cannot be read: it is named and fails the run.
        loop = "%s/s/loop.ugf" % ugf
        self.assertEqual([conv("a.ugf", "a.sgf"), conv("p/b.ugf", "b.sgf"),
                          conv("p/deep/deeper/e.ugf", "e.sgf"),
                          conv("q/c.ugf", "c.sgf"),
                          conv("q/to-r/d.ugf", "d.sgf"),
                          "Cannot read '%s': Too many levels of symbolic links"
                          % loop,
                          "convert (FOUT) %s -> %s/loop.sgf" % (loop, sgf)]
                         # ugf p p/deep p/deep/deeper q q/to-r s
                         + summary(7, 0, 5, 1), lines)
        self.assertEqual(1, r.returncode)
        self.assertEqual(["a.sgf", "b.sgf", "c.sgf", "d.sgf", "e.sgf"],
                         sorted(self.assertOutputsGood(sgf)))


# --- damaged records -------------------------------------------------------

# Bytes that mean something to a reader of records or of SGF.
SPECIAL = b"\x00\x1a\r\n[]\\,.=#:;()YZ0123456789"


def damaged_records(base, flips, seed):
    """`base` cut at every offset, then `flips` copies with one to eight
    bytes replaced, chosen by a random.Random(seed)."""
    records = [("cut%04d" % n, base[:n]) for n in range(len(base) + 1)]
    rng = random.Random(seed)
    for i in range(flips):
        data = bytearray(base)
        for _ in range(rng.randint(1, 8)):
            at = rng.randrange(len(data))
            data[at] = (rng.choice(SPECIAL) if rng.random() < 0.5
                        else rng.randrange(256))
        records.append(("flip%04d" % i, bytes(data)))
    return records


class DamagedInputTest(FaultCase):
    def test_cut_and_flipped_records(self):
        d = self.d
        base = make_record(3, moves=25, comments=4)
        records = damaged_records(base, flips=600, seed=20240611)
        for name, data in records:
            d.write("ugf/%s.ugf" % name, data)
        ugf, sgf = d.path("ugf"), d.path("sgf")
        r = run_cli(d.datafile(sgf, ugf), timeout=120)
        lines = text_lines(r.stdout)
        self.assertIn(r.returncode, (0, 1), "ended by signal %d after %r"
                      % (-r.returncode, lines[-1:]))
        outputs = self.assertOutputsGood(sgf)
        found = convert_lines(lines)
        # One line per record, and an SGF file exactly for those converted.
        self.assertEqual(sorted("%s.ugf" % n for n, _ in records),
                         sorted(os.path.basename(s) for s, _, _ in found))
        self.assertEqual(sorted(os.path.basename(o) for _, o, ok in found
                                if ok), sorted(outputs))
        self.assertEqual((1, 0, len(outputs), len(records) - len(outputs)),
                         parse_summary(lines))
        # Both kinds of outcome occur, or the damage was not damage.
        self.assertTrue(0 < len(outputs) < len(records), len(outputs))

    def test_damaged_records_to_standard_output(self):
        base = make_record(5, moves=12, comments=2)
        records = (damaged_records(base, flips=25, seed=7)[::13])
        outcomes = set()
        for name, data in records:
            with self.subTest(name):
                src = self.d.write("in/%s.ugf" % name, data)
                r = run_cli("convert", src, "-", timeout=20)
                self.assertIn(r.returncode, (0, 1))
                outcomes.add(r.returncode)
                if r.returncode == 1:
                    self.assertEqual(b"", r.stdout)
                    continue
                p = self.d.write("out/%s.sgf" % name, r.stdout)
                ok, why = sgf_check([p])
                self.assertTrue(ok, why)
        self.assertEqual({0, 1}, outcomes)


# --- setup -----------------------------------------------------------------

def find_preload(shim):
    """The LD_PRELOAD value for the shim and why it cannot be used. A
    program built with a shared sanitizer runtime wants that runtime
    loaded first, so it goes in front."""
    if not shim or not os.path.exists(shim):
        return None, "no fault library at %r" % shim
    preload = [os.path.abspath(shim)]
    ldd = subprocess.run(["ldd", CLI], capture_output=True, text=True)
    for line in ldd.stdout.splitlines():
        m = re.match(r"\s*(libasan\S*)\s+=>\s+(\S+)", line)
        if m:
            preload.insert(0, m.group(2))
    with tempfile.TemporaryDirectory() as tmp:
        mark = os.path.join(tmp, "loaded")
        env = dict(sanitizer_env(), LD_PRELOAD=" ".join(preload),
                   KIRATO_FAULT_LOADED=mark)
        r = subprocess.run([CLI, "--version"], capture_output=True, env=env)
        if r.returncode != 0 or not os.path.exists(mark):
            return None, ("preloading %s into kirato-cli failed (exit status "
                          "%d): %s" % (" ".join(preload), r.returncode,
                                       r.stderr.decode(errors="replace")[:300]))
    return " ".join(preload), None


def main():
    global CLI, SGF_CHECK, SHIM, PRELOAD, PRELOAD_PROBLEM
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--sgf-check", required=True)
    parser.add_argument("--shim", required=True)
    args, rest = parser.parse_known_args()
    # A copy dated two days back, so an SGF file written now is always
    # newer than the program and up-to-date decisions do not depend on
    # when the program was built.
    bindir = tempfile.TemporaryDirectory(prefix="kirato-fault-bin-")
    CLI = os.path.join(bindir.name, "kirato-cli")
    shutil.copy2(args.cli, CLI)
    old = time.time() - 2 * 86400
    os.utime(CLI, (old, old))
    SGF_CHECK = os.path.abspath(args.sgf_check)
    SHIM = args.shim
    PRELOAD, PRELOAD_PROBLEM = find_preload(SHIM)
    try:
        unittest.main(argv=[sys.argv[0]] + rest)
    finally:
        bindir.cleanup()


if __name__ == "__main__":
    main()
