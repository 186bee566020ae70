#!/usr/bin/env python3
"""Reads kirato's SGF with two readers that share no code with it, and
checks that they find what the UGF records hold.

kirato-cli converts the example job's records, a sample of games from
bench/make_tree.py (and one record of each malformed kind) in one run. Then
  - @sabaki/sgf parses every SGF and @sabaki/go-board replays its main line,
    refusing overwritten points, suicide and retaken kos
    (tests/readers/replay.js);
  - GNU Go loads every SGF over GTP and gives its move list and final board;
and both must agree with this test's own reading of the record: the moves,
the handicap stones, the final position (replayed on bench/make_tree.py's
board), every comment and label on its node, board size and players.
Records a careful reader refuses must fail and leave no output.

To check a whole benchmark tree outside the test suite:
  tests/readers_test.py --cli build/default/kirato-cli --tree DIR
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

from gtp_replay import (column_row, gtp_column_row, gtp_session, gtp_vertex,
                        read_record, read_review, sgf_point)

ARGS = None
HERE = os.path.dirname(os.path.abspath(__file__))
REPLAY_JS = os.path.join(HERE, "readers", "replay.js")
SAMPLE_SEED = 1
SAMPLE_GAMES = 40
SERVER_GAMES = 12
CONVERT_LINE = re.compile(r"^convert (\(FOUT\) )?(.*) -> (.*)$")


def load_make_tree(source_dir):
    sys.path.insert(0, os.path.join(source_dir, "bench"))
    import make_tree  # noqa: E402  (found on the path just added)
    return make_tree


def records_under(root):
    """The records the program converts under root with FORMATS=ALL, as it
    walks: hidden folders skipped, extensions in any letter case."""
    found = []
    for folder, dirs, names in os.walk(root):
        dirs[:] = [d for d in dirs if not d.startswith(".")]
        found += [os.path.join(folder, n) for n in names
                  if os.path.splitext(n)[1].lower() in (".ugf", ".ugi",
                                                        ".gib", ".ngf")]
    return sorted(found)


def output_name(record):
    return os.path.splitext(os.path.basename(record))[0] + ".sgf"


def convert(cli, inputs, out_dir, workdir):
    """Runs one datafile over the input folders; returns {record: True when
    converted, False when failed} from the program's convert lines."""
    job = os.path.join(workdir, "readers-job.txt")
    with open(job, "w") as f:
        f.write("FORMATS=ALL\nOUT=%s\n" % out_dir)
        for folder in inputs:
            f.write("IN=%s\n" % folder)
    run = subprocess.run([cli, job], capture_output=True, timeout=3600)
    if run.returncode not in (0, 1):
        raise AssertionError("kirato-cli exited with %d: %s" % (
            run.returncode, run.stderr.decode("latin-1")))
    states = {}
    for line in run.stdout.decode("latin-1").splitlines():
        m = CONVERT_LINE.match(line)
        if m:
            states[m.group(2)] = m.group(1) is None
    return states


def sabaki_read(paths):
    """{path: what replay.js found} for every SGF file."""
    if not paths:
        return {}
    modules = os.path.join(HERE, "readers", "node_modules")
    if not os.path.isdir(modules):
        raise AssertionError("the SGF readers are not installed: run "
                             "scripts/deps.sh test (npm ci --prefix "
                             "tests/readers)")
    run = subprocess.run(["node", REPLAY_JS], input="\n".join(paths) + "\n",
                         capture_output=True, text=True, timeout=3600)
    if run.returncode != 0:
        raise AssertionError("replay.js failed: " + run.stderr)
    found = [json.loads(line) for line in run.stdout.splitlines()]
    return {f["file"]: f for f in found}


def gnugo_read(paths):
    """{path: {"error", "size", "history", "black", "white"}} as GNU Go
    loads each SGF file."""
    commands = []
    for p in paths:
        commands += ["loadsgf " + p, "query_boardsize", "move_history",
                     "list_stones black", "list_stones white"]
    answers = gtp_session(commands, timeout=3600) if commands else []
    found = {}
    for i, p in enumerate(paths):
        (ok, loaded), (_, size), (_, history), (_, black), (_, white) = \
            answers[5 * i:5 * i + 5]
        if not ok:
            found[p] = {"error": loaded}
            continue
        found[p] = {
            "error": None,
            "size": int(size),
            # GNU Go lists the last move first.
            "history": [tuple(line.split()) for line in history.splitlines()
                        if line.strip()][::-1],
            "black": {gtp_column_row(v) for v in black.split()},
            "white": {gtp_column_row(v) for v in white.split()},
        }
    return found


def expected_game(game, make_tree):
    """What the SGF must hold: moves [(colour, SGF value)], root stones,
    node notes and the final position, from the record as read by
    gtp_replay.read_ugf. Problems of the record itself go to "record"."""
    size = game["size"]
    numbers = [n for n, _, _ in game["moves"]]
    exp = {"size": size, "record": [], "moves": [], "gtp": [], "nodes": [],
           "black": set(), "white": set(), "captured": 0,
           # Moves numbered 1, 2, 3... make one node each, in that order.
           "by_node": numbers == list(range(1, len(numbers) + 1))}
    board = make_tree.Board(size)
    root = {"AB": set(), "AW": set()}
    for colour, point in game["added"]:
        if point is None:
            continue
        root["A" + colour].add(sgf_point(size, *column_row(point)))
        try:
            board.place(make_tree.COLOUR_OF[colour], column_row(point))
        except make_tree.IllegalMove as e:
            exp["record"].append("added stone %s: %s" % (point, e))
    for number, colour, point in game["moves"]:
        exp["gtp"].append(("black" if colour == "B" else "white",
                           gtp_vertex(point)))
        if point is None:
            exp["moves"].append((colour, ""))
            board.pass_move()
            continue
        exp["moves"].append((colour, sgf_point(size, *column_row(point))))
        try:
            exp["captured"] += board.play(make_tree.COLOUR_OF[colour],
                                          column_row(point))
        except make_tree.IllegalMove as e:
            exp["record"].append("move %d %s %s: %s"
                                 % (number, colour, point, e))
    for point, colour in board.stones().items():
        exp["black" if colour == "B" else "white"].add(point)

    review, exp["variations"] = read_review(game)

    def notes(number):
        # A review's comment follows the record's own after an empty line.
        lines = game["comments"].get(number)
        text = "\n\n".join(t for t in ("\n".join(lines or ()),
                                        review.get(number)) if t)
        labels = sorted("%s:%s" % (sgf_point(size, c, r), t)
                        for c, r, t in game["labels"].get(number, ()))
        return text or None, labels

    exp["nodes"].append((root,) + notes(0))
    for number, _, _ in game["moves"]:
        exp["nodes"].append(({"AB": set(), "AW": set()},) + notes(number))
    return exp


def board_of_rows(rows):
    """Rows from the top ("X" black, "O" white) as two sets of (col, row),
    row counted from the bottom."""
    black, white = set(), set()
    for y, line in enumerate(rows):
        for x, c in enumerate(line):
            if c != ".":
                (black if c == "X" else white).add((x + 1, len(rows) - y))
    return black, white


def compare(game, exp, sab, gnu):
    """Everything in which a reader's view differs from the record."""
    problems = ["sabaki: " + p for p in sab["problems"]]
    if sab["problems"] and not sab["nodes"]:
        return problems
    root = sab["root"]
    if root.get("SZ", "19") != str(exp["size"]):
        problems.append("sabaki: SZ[%s], the record has size %d"
                        % (root.get("SZ"), exp["size"]))
    for colour, name in sorted(game["players"].items()):
        if root.get("P" + colour) != name:
            problems.append("sabaki: P%s[%r], the record has %r"
                            % (colour, root.get("P" + colour), name))
    for colour, rank in sorted(game["ranks"].items()):
        if root.get(colour + "R") != rank:
            problems.append("sabaki: %sR[%r], the record has %r"
                            % (colour, root.get(colour + "R"), rank))
    moves = [tuple(n["move"]) for n in sab["nodes"] if n["move"]]
    if moves != exp["moves"]:
        problems.append("sabaki: moves differ: %s" % first_difference(
            exp["moves"], moves))
    if sorted(map(json.dumps, sab["variations"])) != sorted(
            map(json.dumps, exp["variations"])):
        problems.append("sabaki: variations %s, the review has %s"
                        % (sab["variations"], exp["variations"]))
    black, white = board_of_rows(sab["board"])
    if (black, white) != (exp["black"], exp["white"]):
        problems.append("sabaki: final position differs: %s"
                        % position_difference(exp, black, white))
    if exp["by_node"]:
        if len(sab["nodes"]) != len(exp["nodes"]):
            problems.append("sabaki: %d nodes, the record makes %d"
                            % (len(sab["nodes"]), len(exp["nodes"])))
        for i, (node, (stones, comment, labels)) in enumerate(
                zip(sab["nodes"], exp["nodes"])):
            for ident in ("AB", "AW"):
                if set(node[ident]) != stones[ident]:
                    problems.append("sabaki: node %d: %s %s, the record has %s"
                                    % (i, ident, sorted(node[ident]),
                                       sorted(stones[ident])))
            if node["C"] != comment:
                problems.append("sabaki: node %d: comment %r, the record has "
                                "%r" % (i, node["C"], comment))
            if sorted(node["LB"]) != labels:
                problems.append("sabaki: node %d: labels %s, the record has %s"
                                % (i, sorted(node["LB"]), labels))

    if gnu["error"]:
        problems.append("GNU Go: loadsgf refused: " + gnu["error"])
        return problems
    if gnu["size"] != exp["size"]:
        problems.append("GNU Go: board size %d, the record has %d"
                        % (gnu["size"], exp["size"]))
    if gnu["history"] != exp["gtp"]:
        problems.append("GNU Go: moves differ (%d played, %d in the record): "
                        "%s" % (len(gnu["history"]), len(exp["gtp"]),
                           first_difference(exp["gtp"], gnu["history"])))
    if (gnu["black"], gnu["white"]) != (exp["black"], exp["white"]):
        problems.append("GNU Go: final position differs: %s"
                        % position_difference(exp, gnu["black"], gnu["white"]))
    return problems


def first_difference(want, got):
    for i, (a, b) in enumerate(zip(want, got)):
        if tuple(a) != tuple(b):
            return "move %d is %s, the record has %s" % (i + 1, b, a)
    return "%d moves, the record has %d" % (len(got), len(want))


def position_difference(exp, black, white):
    return "black %s/%s, white %s/%s" % (
        sorted(black - exp["black"]), sorted(exp["black"] - black),
        sorted(white - exp["white"]), sorted(exp["white"] - white))


def check(cli, inputs, workdir, make_tree):
    """Converts the input folders in one run and checks every record.
    Returns ({record: [problem]}, {record: game as read}, [tree problem])."""
    out_dir = os.path.join(workdir, "sgf")
    states = convert(cli, inputs, out_dir, workdir)
    records = [r for folder in inputs for r in records_under(folder)]
    games = {r: read_record(r) for r in records}
    problems = {r: [] for r in records}
    tree = []
    names = {}
    for r in records:
        names.setdefault(output_name(r), []).append(r)
    for name, same in names.items():
        if len(same) > 1:
            tree.append("%s is the SGF name of %d records: %s"
                        % (name, len(same), ", ".join(same)))

    readable = {}
    for r in records:
        sgf = os.path.join(out_dir, output_name(r))
        state = states.get(r)
        if state is None:
            problems[r].append("kirato-cli printed no convert line for it")
        elif games[r]["error"]:
            if state:
                problems[r].append("converted, though the record is refused "
                                   "(%s)" % games[r]["error"])
            if os.path.exists(sgf):
                problems[r].append("failed but left %s" % sgf)
        elif not state:
            problems[r].append("conversion failed")
        elif not os.path.exists(sgf):
            problems[r].append("converted but %s is missing" % sgf)
        else:
            readable[r] = sgf
    expected_files = {output_name(r) for r in readable}
    if os.path.isdir(out_dir):
        for name in sorted(os.listdir(out_dir)):
            if name not in expected_files:
                tree.append("stray file in the output folder: " + name)

    sgfs = sorted(readable.values())
    sab, gnu = sabaki_read(sgfs), gnugo_read(sgfs)
    for r, sgf in readable.items():
        exp = expected_game(games[r], make_tree)
        problems[r] += ["the record itself: " + p for p in exp["record"]]
        problems[r] += compare(games[r], exp, sab[sgf], gnu[sgf])
    return problems, games, tree


# --- the test suite ------------------------------------------------------

SMALL_SGF = {
    # What replay.js must notice in SGF that is broken in one way.
    "overwrite": ("(;SZ[9];B[ee];W[ee])", "Overwrite prevented"),
    "suicide": ("(;SZ[9]AB[ba][ab];W[aa])", "Suicide prevented"),
    "ko": ("(;SZ[9]AB[ba][ab][bc]AW[ca][db][cc][bb];B[cb];W[bb])",
           "Ko prevented"),
    "off the board": ("(;SZ[9];B[jj])", "off the board"),
    "two trees": ("(;SZ[9];B[ee])(;SZ[9];B[ee])", "2 game trees"),
    "variation": ("(;SZ[9];B[ee](;W[cc])(;W[ee]))", "Overwrite prevented"),
    "two comments": ("(;SZ[9];B[ee]C[a]C[b])", "C has 2 values"),
    "both colours": ("(;SZ[9];B[ee]W[cc])", "both B and W"),
    "stone on stone": ("(;SZ[9]AB[ee]AW[ee])", "lands on a stone"),
    "not SGF": ("(;SZ[9];B[ee]}", "not read"),
}


class ReadersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.make_tree = mt = load_make_tree(ARGS.source_dir)
        cls.tmp = tempfile.TemporaryDirectory(prefix="kirato-readers-")
        work = cls.tmp.name
        generated = os.path.join(work, "generated")
        cls.sample = []
        for i in range(SAMPLE_GAMES):
            rel, data, kind = mt.make_record(SAMPLE_SEED, i, malformed=False)
            cls.sample.append(write(os.path.join(generated, rel), data))
        cls.malformed = {}
        for k, kind in enumerate(mt.MALFORMED_KINDS):
            data = mt.malformed_text(mt.record_rng(SAMPLE_SEED, 10 ** 6 + k),
                                     kind)
            cls.malformed[kind] = write(os.path.join(
                generated, "malformed", "%s.ugf" % kind), data)
        # Games of the Korean and Chinese servers' formats beside them.
        cls.servers = []
        for i in range(SAMPLE_GAMES, SAMPLE_GAMES + SERVER_GAMES):
            rel, data, kind = mt.make_record(SAMPLE_SEED, i, malformed=False,
                                             formats=("gib", "ngf"))
            cls.servers.append(write(os.path.join(generated, "servers", rel),
                                     data))
        cls.examples = os.path.join(ARGS.source_dir, "examples")
        cls.problems, cls.games, cls.tree = check(
            ARGS.cli, [cls.examples, generated], work, mt)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_output_folder_holds_only_finished_games(self):
        self.assertEqual([], self.tree)

    def test_examples_read_alike_in_both_readers(self):
        examples = records_under(self.examples)
        self.assertGreaterEqual(len(examples), 3)
        for record in examples:
            with self.subTest(record=os.path.relpath(record, self.examples)):
                self.assertEqual([], self.problems[record])

    def test_generated_games_read_alike_in_both_readers(self):
        formats = {os.path.splitext(r)[1].lower() for r in self.servers}
        self.assertTrue({".gib", ".ngf"} <= formats, formats)
        for record in self.sample + self.servers:
            with self.subTest(record=os.path.basename(record)):
                self.assertIsNone(self.games[record]["error"])
                self.assertEqual([], self.problems[record])

    def test_malformed_records_fail_cleanly(self):
        # Empty files and random bytes hold no section at all: they are no
        # records and are refused too.
        refused = {"truncated": True, "illegal-move": True,
                   "illegal-size": True, "coded": True, "empty": True,
                   "binary": True}
        self.assertEqual(set(refused), set(self.malformed))
        for kind, record in self.malformed.items():
            with self.subTest(kind=kind):
                game = self.games[record]
                self.assertEqual(refused[kind], game["error"] is not None,
                                 game["error"])
                self.assertEqual([], self.problems[record])
                if not refused[kind]:
                    self.assertEqual([], game["moves"])

    def test_sample_has_what_club_records_have(self):
        # The sample is only worth as much as what it holds.
        games = [self.games[r] for r in self.sample]
        raw = b"".join(read_bytes(r) for r in self.sample)
        comments = [line for g in games for lines in g["comments"].values()
                    for line in lines]
        held = {
            "19x19": any(g["size"] == 19 for g in games),
            "13x13": any(g["size"] == 13 for g in games),
            "9x9": any(g["size"] == 9 for g in games),
            "handicap": any(g["added"] for g in games),
            "pass": any(p is None for g in games for _, _, p in g["moves"]),
            "capture": any(expected_game(g, self.make_tree)["captured"]
                           for g in games),
            "150 moves": any(len(g["moves"]) >= 150 for g in games),
            "labels": any(g["labels"] for g in games),
            "multi-line comment": any(len(c) > 1 for g in games
                                      for c in g["comments"].values()),
            "']' in a comment": any("]" in c for c in comments),
            "'\\' in a comment": any("\\" in c for c in comments),
            "high byte in a comment": any(max(c, default="\0") >= "\x80"
                                          for c in comments),
            "note on move 0 of an even game": any(
                0 in g["comments"] and not g["added"] for g in games),
            ".ugi record": any(r.endswith(".ugi") for r in self.sample),
            "CR LF": b"\r\n" in raw,
        }
        self.assertEqual([], [k for k, v in held.items() if not v])

    def test_replay_script_reports_broken_sgf(self):
        with tempfile.TemporaryDirectory() as tmp:
            paths = {}
            for name, (text, _) in SMALL_SGF.items():
                paths[name] = write(os.path.join(
                    tmp, name.replace(" ", "-") + ".sgf"), text.encode())
            found = sabaki_read(sorted(paths.values()))
            for name, (_, message) in SMALL_SGF.items():
                with self.subTest(case=name):
                    problems = found[paths[name]]["problems"]
                    self.assertTrue(any(message in p for p in problems),
                                    problems)

    def test_comparison_notices_a_wrong_sgf(self):
        # One sample game with comments and labels, its SGF spoilt in one
        # way each: both the comparison and the readers must say so.
        record = next(r for r in self.sample
                      if self.games[r]["labels"] and
                      len(self.games[r]["comments"]) > 2 and
                      not self.problems[r])
        sgf_dir = os.path.join(self.tmp.name, "sgf")
        good = read_bytes(os.path.join(sgf_dir, output_name(record)))
        spoilt = {
            "comment on the next move": re.sub(
                rb"\]C\[((?:[^]\\]|\\.)*)\]\n\n;([BW])\[(..)\]",
                rb"]\n\n;\2[\3]C[\1]", good, count=1),
            "label lost": re.sub(rb"LB\[(?:[^]\\]|\\.)*\]", b"LB", good,
                                 count=1),
            "one move elsewhere": re.sub(rb";W\[(.)(.)\]",
                                         lambda m: b";W[" + m.group(2) +
                                         m.group(1) + b"]", good, count=3),
            "last move missing": good[:good.rindex(b"\n;")] + b")\n",
            "rank changed": re.sub(rb"\n([BW])R\[", rb"\n\1R[9", good, count=1),
            "row counted from the top": re.sub(
                rb";([BW])\[(.)(.)\]",
                lambda m: b";" + m.group(1) + b"[" + m.group(2) +
                bytes([ord("a") + ord("a") + self.games[record]["size"] - 1 -
                       m.group(3)[0]]) + b"]", good),
        }
        game = self.games[record]
        exp = expected_game(game, self.make_tree)
        paths = {}
        for name, text in spoilt.items():
            self.assertNotEqual(good, text, name)
            paths[name] = write(os.path.join(self.tmp.name, "spoilt",
                                             name.replace(" ", "-") + ".sgf"),
                                text)
        sab = sabaki_read(sorted(paths.values()))
        gnu = gnugo_read(sorted(paths.values()))
        for name, path in paths.items():
            with self.subTest(spoilt=name):
                self.assertNotEqual([], compare(game, exp, sab[path],
                                                gnu[path]))


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


# --- a whole tree, outside the test suite --------------------------------

def check_tree(cli, root, source_dir, keep=None):
    """Converts every record under root and checks each in both readers;
    prints the problems and a summary. 0 when there are none."""
    make_tree = load_make_tree(source_dir)
    if keep and os.path.isdir(keep) and os.listdir(keep):
        sys.exit("%s is not empty: outputs found there would count as up to "
                 "date" % keep)
    with tempfile.TemporaryDirectory(prefix="kirato-readers-") as tmp:
        problems, games, tree = check(cli, [os.path.abspath(root)],
                                      keep or tmp, make_tree)
    for r, p in sorted(problems.items()):
        if p:
            print(os.path.relpath(r, root))
            print("".join("  %s\n" % line for line in p), end="")
    for line in tree:
        print("tree: " + line)
    good = [games[r] for r, p in problems.items() if not p]
    converted = [g for g in good if not g["error"]]
    print("%d records: %d converted and read alike by @sabaki/sgf + "
          "@sabaki/go-board and GNU Go (%d moves, %d nodes with comments or "
          "labels, %d records without any move), %d refused as the record "
          "deserves, %d with problems"
          % (len(games), len(converted),
             sum(len(g["moves"]) for g in converted),
             sum(len(set(g["comments"]) | set(g["labels"]))
                 for g in converted),
             sum(1 for g in converted if not g["moves"]),
             len(good) - len(converted),
             sum(1 for p in problems.values() if p)))
    return 1 if tree or any(problems.values()) else 0


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--sgf-check")
    parser.add_argument("--source-dir",
                        default=os.path.dirname(HERE))
    parser.add_argument("--tree", help="check every record of this folder "
                        "instead of running the tests")
    parser.add_argument("--keep", help="with --tree: convert into this "
                        "folder and keep it")
    ARGS, rest = parser.parse_known_args()
    ARGS.cli = os.path.abspath(ARGS.cli)
    if ARGS.tree:
        sys.exit(check_tree(ARGS.cli, ARGS.tree, ARGS.source_dir, ARGS.keep))
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
