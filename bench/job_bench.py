#!/usr/bin/env python3
"""Whole jobs timed side by side, medians of several rounds.

Makes a tree of UGF records with bench/make_tree.py, then in every round,
one after the other on the same tree:
  copy       cp -r of the input tree: the floor, reading and writing the bytes
  convert-jN kirato-cli -j N converting every record into an empty folder,
             for each N of --jobs; it puts what it wrote on stable storage
             before its summary, which cp -r does not
  base-jN    the same with --baseline-cli, another build of kirato-cli (say
             one without that sync), so that the cost of a change is a ratio
             of medians taken side by side
  copy+sync  cp -r followed by sync -f on the copy: the floor with the same
             guarantee
  walk       find over the input tree, reading the status of every file
  uptodate   kirato-cli again, every output up to date
  window-cli kirato-cli on the job the window runs (its datafile, default
             threads), into an empty folder
  window     the window program kirato on Qt's offscreen platform, same job
  wine-cli, wine-window
             the same two under Wine, with the Windows programs (--wine-cli,
             --wine-window, --wine scripts/wine-run.sh)
and prints each median with the ratios the targets speak of. Then the CPU
time of parsing and formatting alone (bench/parse_corpus over the records
held in memory), the peak memory of kirato-cli -j 4 over a small, the full
and a large tree, and the time of one pathological record. The machine is
shared and noisy: read the ratios.

usage: bench/job_bench.py --cli PATH [--baseline-cli PATH] [--dialog PATH]
                          [--parse PATH]
                          [--wine-cli PATH --wine-window PATH --wine PATH]
                          [--files 20000] [--jobs 1,2,4]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, **kw)


def timed(cmd, ok_codes=(0,), **kw):
    """Wall time of one run of cmd. Whatever the previous step wrote is
    flushed first, so that no step pays for another's write-back."""
    os.sync()
    start = time.perf_counter()
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, **kw)
    elapsed = time.perf_counter() - start
    if r.returncode not in ok_codes:
        sys.exit("%s exited with %d" % (cmd[0], r.returncode))
    return elapsed


def peak_rss_kib(cmd):
    """Peak resident memory of one run, in KiB, measured by GNU time from a
    small process of its own."""
    r = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       text=True)
    return int(r.stderr.strip().splitlines()[-1])


def make_tree(root, files, seed, malformed):
    cmd = [sys.executable, os.path.join(HERE, "make_tree.py"), root,
           "--files", str(files), "--seed", str(seed)]
    if not malformed:
        cmd.append("--no-malformed")
    run(cmd, stderr=subprocess.DEVNULL)
    # Records older than anything the runs write, so that the second run
    # finds every output up to date even within the same second.
    past = time.time() - 3600
    for folder, _, names in os.walk(root):
        for name in names:
            os.utime(os.path.join(folder, name), (past, past))


def write_job(path, out, ugf, close=False):
    with open(path, "w") as f:
        f.write("OUT=%s\nIN=%s\n" % (out, ugf))
        if close:
            f.write("CLOSE\n")


def windows_path(path):
    """A path as Windows programs under Wine see it, through drive Z:."""
    return "Z:" + path.replace("/", "\\")


def job_folder(tmp, program, out, ugf, windows=False):
    """A job folder as a user makes one: the program beside its datafile,
    which ends with CLOSE so that the window closes itself. On Linux a link
    to the program; for Wine a copy, as the Windows release zip has it, and
    Windows paths. Returns the program in the folder and the datafile."""
    folder = os.path.join(tmp, "wine-job" if windows else "dialog-job")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "kirato.exe" if windows else "kirato")
    if windows and not os.path.exists(path):
        shutil.copy(program, path)
    elif not windows and not os.path.lexists(path):
        os.symlink(program, path)
    datafile = os.path.join(folder, "kirato.txt")
    if windows:
        out, ugf = windows_path(out), windows_path(ugf)
    write_job(datafile, out, ugf, close=True)
    return path, datafile


def median_line(name, values):
    return "  %-9s median %8.3f s   (%s)" % (
        name, statistics.median(values),
        " ".join("%.3f" % v for v in values))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--baseline-cli",
                    help="another kirato-cli timed beside --cli (base-jN)")
    ap.add_argument("--dialog", help="the window program; skipped if absent")
    ap.add_argument("--parse", help="bench/parse_corpus; skipped if absent")
    ap.add_argument("--wine-cli", help="kirato-cli.exe, timed under Wine")
    ap.add_argument("--wine-window", help="kirato.exe, timed under Wine")
    ap.add_argument("--wine", help="what runs a Windows program: "
                    "scripts/wine-run.sh")
    ap.add_argument("--jobs", default="1,2,4",
                    help="the thread counts to time, comma-separated")
    ap.add_argument("--large", type=int, default=100000,
                    help="records of the large memory tree (0: none)")
    ap.add_argument("--files", type=int, default=20000)
    ap.add_argument("--small", type=int, default=1000)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--workdir", help="where the trees go (default: a temp folder)")
    args = ap.parse_args()
    cli = os.path.abspath(args.cli)
    base = os.path.abspath(args.baseline_cli) if args.baseline_cli else None
    jobs = [int(j) for j in args.jobs.split(",")]
    parse = os.path.abspath(args.parse) if args.parse else None
    dialog = os.path.abspath(args.dialog) if args.dialog else None
    if dialog and not os.path.exists(dialog):
        dialog = None
    wine = None
    if args.wine and args.wine_cli and args.wine_window:
        wine = [os.path.abspath(args.wine)]
        wine_cli = os.path.abspath(args.wine_cli)
        wine_window = os.path.abspath(args.wine_window)
        # Wine's session is opened once, outside the timed runs.
        run(wine)

    with tempfile.TemporaryDirectory(prefix="kirato-bench-",
                                     dir=args.workdir) as tmp:
        # The window program keeps its window open after a run with a failed
        # record, so the timed tree has only good records; the malformed ones
        # are converted, and must fail, in the memory runs below.
        ugf = os.path.join(tmp, "ugf")
        make_tree(ugf, args.files, args.seed, malformed=False)
        size = sum(os.path.getsize(os.path.join(d, n))
                   for d, _, ns in os.walk(ugf) for n in ns)
        # Every step writes into a folder of its own that is removed only at
        # the end: ext4 is slow to make files where thousands were just
        # deleted (it passes over recently freed inodes), which would charge
        # one step for the clean-up of another.
        # In memory the opposite holds: pages a virtual machine has never
        # used cost a fault in its host the first time, so outputs kept
        # from round to round would make every later round slower than the
        # first; there each round's outputs go when the round is done.
        outs = os.path.join(tmp, "outs")
        os.makedirs(outs)
        in_memory = subprocess.run(["stat", "-f", "-c", "%T", tmp],
                                   capture_output=True, text=True
                                   ).stdout.strip() == "tmpfs"
        job = os.path.join(tmp, "job.txt")
        stamp = os.path.join(tmp, "stamp")
        open(stamp, "w").close()
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

        conv = ["convert-j%d" % j for j in jobs]
        based = ["base-j%d" % j for j in jobs] if base else []
        times = {k: [] for k in ["copy", "copy+sync"] + conv + based + [
            "walk", "uptodate", "window-cli", "window", "wine-cli",
            "wine-window"]}
        for r in range(args.rounds):
            times["copy"].append(timed(["cp", "-r", ugf,
                                        os.path.join(outs, "copy-%d" % r)]))
            synced = os.path.join(outs, "copy-sync-%d" % r)
            times["copy+sync"].append(timed(["sh", "-c", 'cp -r "$1" "$2" && '
                                             'sync -f "$2"', "sh", ugf,
                                             synced]))
            for j, name in zip(jobs, conv):
                sgf = os.path.join(outs, "sgf-%d-%d" % (r, j))
                write_job(job, sgf, ugf)
                times[name].append(timed([cli, "-j", str(j), job]))
            for j, name in zip(jobs, based):
                write_job(job, os.path.join(outs, "base-%d-%d" % (r, j)), ugf)
                times[name].append(timed([base, "-j", str(j), job]))
            times["walk"].append(timed(["find", ugf, "-newer", stamp]))
            times["uptodate"].append(timed([cli, job]))
            if dialog:
                # The console program and the window, each on the window's
                # own datafile, each into a folder of its own.
                _, datafile = job_folder(
                    tmp, dialog, os.path.join(outs, "window-cli-%d" % r), ugf)
                times["window-cli"].append(timed([cli, datafile]))
                launcher, _ = job_folder(
                    tmp, dialog, os.path.join(outs, "window-%d" % r), ugf)
                times["window"].append(timed([launcher], env=env))
            if wine:
                _, datafile = job_folder(
                    tmp, wine_window, os.path.join(outs, "wine-cli-%d" % r),
                    ugf, windows=True)
                times["wine-cli"].append(
                    timed([*wine, wine_cli, windows_path(datafile)]))
                program, _ = job_folder(
                    tmp, wine_window, os.path.join(outs, "wine-window-%d" % r),
                    ugf, windows=True)
                times["wine-window"].append(timed([*wine, program]))
            if in_memory and r + 1 < args.rounds:
                for name in os.listdir(outs):
                    shutil.rmtree(os.path.join(outs, name))
        converted = sum(len(ns) for _, _, ns in os.walk(sgf))
        shutil.rmtree(outs)

        med = {k: statistics.median(v) for k, v in times.items() if v}

        def ratio(a, b):
            # Taken in each round between steps run side by side, then the
            # median: the machine's speed drifts between rounds.
            rs = sorted(x / y for x, y in zip(times[a], times[b]))
            return "%.2f (rounds %.2f to %.2f)" % (statistics.median(rs),
                                                   rs[0], rs[-1])

        print("%d records (%.1f MB, %.1f KB each) in nested folders, %d "
              "converted, %d rounds, %d cores"
              % (args.files, size / 1e6, size / 1e3 / args.files, converted,
                 args.rounds, os.cpu_count()))
        for k in times:
            if times[k]:
                print(median_line(k, times[k]))
        for j, name in zip(jobs, conv):
            print("  convert -j%-2d / copy = %s   (target: at most 1.0 on "
                  "disk, 0.6 in memory)" % (j, ratio(name, "copy")))
            print("  convert -j%-2d / copy+sync = %s"
                  % (j, ratio(name, "copy+sync")))
        for j, name, b in zip(jobs, conv, based):
            print("  convert -j%-2d / base -j%-2d = %s   (the cost of what "
                  "--cli adds to --baseline-cli)" % (j, j, ratio(name, b)))
        print("  uptodate / walk    = %s   (target: at most 1.0)"
              % (ratio("uptodate", "walk")))
        if "window" in med:
            print("  window / cli       = %s   (Qt, offscreen; target: at "
                  "most 1.2)" % (ratio("window", "window-cli")))
        if "wine-window" in med:
            print("  window / cli       = %s   (Win32 under Wine; target: "
                  "at most 1.2)" % (ratio("wine-window", "wine-cli")))
        if parse and os.path.exists(parse):
            r = subprocess.run([parse, ugf, "5"], check=True,
                               capture_output=True, text=True)
            for line in r.stdout.splitlines():
                print("  " + line)
            print("  (target: at most 5 us for a 5.4 KB record, about 1 GB/s)")

        # Memory, with malformed records among the good ones.
        rss = []
        sizes = [n for n in (args.small, args.files, args.large) if n > 0]
        for n in sizes:
            tree = os.path.join(tmp, "mem-%d" % n)
            make_tree(tree, n, args.seed + 1, malformed=True)
            mem_job = os.path.join(tmp, "mem-%d.txt" % n)
            write_job(mem_job, os.path.join(tmp, "mem-sgf-%d" % n), tree)
            rss.append(peak_rss_kib([cli, "-j", "4", mem_job]))
            shutil.rmtree(tree)
            shutil.rmtree(os.path.join(tmp, "mem-sgf-%d" % n))
        print("  peak memory with -j 4: %s (target: flat, under 16 MiB)"
              % ", ".join("%d records %.1f MiB" % (n, k / 1024)
                          for n, k in zip(sizes, rss)))

        patho = os.path.join(tmp, "pathological.ugf")
        run([sys.executable, os.path.join(HERE, "make_tree.py"),
             "--pathological", patho], stderr=subprocess.DEVNULL)
        out = os.path.join(tmp, "pathological.sgf")
        one = [timed([cli, "convert", patho, out]) for _ in range(7)]
        print("  pathological record (9,999 moves, 9,999 comment entries, a "
              "1,500-character line): median %.3f s of 7 (target: under 0.2)"
              % statistics.median(one))


if __name__ == "__main__":
    main()
