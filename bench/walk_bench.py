#!/usr/bin/env python3
"""Side-by-side timing of a whole job with kirato-cli.

Generates a tree of UGF records, then in each round, in turn:
  copy      cp -r of the input tree (the cost of just moving the bytes)
  convert   kirato-cli converting every record into a fresh folder
  uptodate  kirato-cli again over the same output (nothing to do)
and prints the median of each and their ratios. Also prints the peak memory
of a conversion of the small and of the large tree: it must not grow with
the number of files. These machines are noisy: read the ratios, not the
times.

usage: bench/walk_bench.py [--cli build/default/kirato-cli] [--files 2000]
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import tempfile
import time

LETTERS = "ABCDEFGHIJKLMNOPQRS"


def record(i, moves):
    lines = ["[Header]", "Title=Bench %d" % i, "Size=19", "Hdcp=0,6.5",
             "PlayerB=Black,3d", "PlayerW=White,2k", "Winner=B,C", "[Data]"]
    for m in range(1, moves + 1):
        p = (m * 7 + i) % 361
        lines.append("%s%s,%s1,%d,0" % (LETTERS[p % 19], LETTERS[p // 19],
                                        "BW"[m % 2], m))
    lines.append("[Figure]")
    for m in range(1, moves + 1, 10):
        lines += [".Text,%d" % m, "Comment on move %d: a ]tricky[ one" % m,
                  ".#,4,4,A", ".EndText"]
    return "\r\n".join(lines) + "\r\n"


def make_tree(root, files, moves):
    for i in range(files):
        folder = os.path.join(root, "set%02d" % (i % 20))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "g%05d.ugf" % i), "w") as f:
            f.write(record(i, moves))


def timed(cmd):
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def peak_rss_kib(cmd):
    """Peak resident memory of one run of cmd, in KiB. GNU time measures it
    from a small process: a child forked from Python would report Python's
    own memory as its high-water mark."""
    out = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], check=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         text=True).stderr
    return int(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", default="build/default/kirato-cli")
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--moves", type=int, default=200)
    ap.add_argument("--rounds", type=int, default=5)
    args = ap.parse_args()
    cli = os.path.abspath(args.cli)

    with tempfile.TemporaryDirectory(prefix="kirato-bench-") as tmp:
        ugf = os.path.join(tmp, "ugf")
        make_tree(ugf, args.files, args.moves)
        job = os.path.join(tmp, "job.txt")
        out = os.path.join(tmp, "sgf")
        with open(job, "w") as f:
            f.write("OUT=%s\nIN=%s\n" % (out, ugf))

        times = {"copy": [], "convert": [], "uptodate": []}
        for _ in range(args.rounds):
            shutil.rmtree(os.path.join(tmp, "copy"), ignore_errors=True)
            times["copy"].append(timed(["cp", "-r", ugf,
                                        os.path.join(tmp, "copy")]))
            shutil.rmtree(out, ignore_errors=True)
            times["convert"].append(timed([cli, job]))
            # Outputs written in the same second as the program file would
            # not count as newer: push them into the future.
            later = time.time() + 60
            for name in os.listdir(out):
                os.utime(os.path.join(out, name), (later, later))
            times["uptodate"].append(timed([cli, job]))

        med = {k: statistics.median(v) for k, v in times.items()}
        print("%d records of %d moves, %d rounds, medians:"
              % (args.files, args.moves, args.rounds))
        for k in ("copy", "convert", "uptodate"):
            print("  %-9s %8.3f s" % (k, med[k]))
        print("  convert / copy      = %.2f" % (med["convert"] / med["copy"]))
        print("  uptodate / convert  = %.3f" % (med["uptodate"] / med["convert"]))
        print("  records per second (convert, median) = %.0f"
              % (args.files / med["convert"]))

        small_ugf = os.path.join(tmp, "small")
        make_tree(small_ugf, max(1, args.files // 10), args.moves)
        small_job = os.path.join(tmp, "small.txt")
        with open(small_job, "w") as f:
            f.write("OUT=%s\nIN=%s\n" % (os.path.join(tmp, "sgf-small"),
                                         small_ugf))
        shutil.rmtree(out, ignore_errors=True)
        big = peak_rss_kib([cli, job])
        small = peak_rss_kib([cli, small_job])
        print("  peak memory: %d records %d KiB, %d records %d KiB (ratio %.2f)"
              % (args.files // 10, small, args.files, big, big / small))


if __name__ == "__main__":
    main()
