#!/usr/bin/env python3
"""Converts the example games in tests/data/replay with kirato-cli and checks
the SGF with readers that share no code with the program: GNU Go replays the
moves, passes and handicap stones, and a small SGF reader below finds the
players, and every comment and label on its move, in the charset CA names."""
import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile
import unittest

from gtp_replay import gtp, gtp_vertex, read_ugf, sgf_point

ARGS = None


def read_sgf_nodes(text):
    """The nodes of a game without variations: a list of {property: values}."""
    nodes, i = [], 0
    while i < len(text):
        c = text[i]
        if c == ";":
            nodes.append({})
            name = None
        elif c.isupper():
            name = ""
            while text[i].isupper():
                name += text[i]
                i += 1
            nodes[-1][name] = []
            continue
        elif c == "[":
            value, i = "", i + 1
            while text[i] != "]":
                if text[i] == "\\":
                    i += 1
                value += text[i]
                i += 1
            nodes[-1][name].append(value)
        i += 1
    return nodes


def read_sgf_text(path):
    """The SGF's text in the charset its CA property names (ASCII without
    one)."""
    with open(path, "rb") as f:
        data = f.read()
    match = re.search(rb"CA\[([^]]*)\]", data)
    return data.decode(match.group(1).decode() if match else "ascii")


class ReplayTest(unittest.TestCase):
    def setUp(self):
        self.games = sorted(glob.glob(os.path.join(
            ARGS.source_dir, "tests", "data", "replay", "*.ugf")))
        self.assertGreaterEqual(len(self.games), 4)
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def convert(self, ugf):
        sgf = os.path.join(self.tmp.name, os.path.basename(ugf)[:-4] + ".sgf")
        run = subprocess.run([ARGS.cli, "convert", ugf, sgf],
                             capture_output=True, text=True)
        self.assertEqual(0, run.returncode, run.stdout + run.stderr)
        return sgf

    def test_gnugo_replays_every_move_and_stone(self):
        for ugf in self.games:
            with self.subTest(game=os.path.basename(ugf)):
                game, sgf = read_ugf(ugf), self.convert(ugf)
                _, size, history, _, black, white = gtp(
                    [f"loadsgf {sgf}", "query_boardsize", "move_history",
                     f"loadsgf {sgf} 1", "list_stones black",
                     "list_stones white"])
                if int(size) != game["size"]:
                    has_sz = "SZ[" in read_sgf_text(sgf)
                    self.fail(f"GNU Go sees a {size}-line board, the game has "
                              f"{game['size']}" +
                              ("" if has_sz else ": the SGF has no SZ"))
                played = [line.split() for line in history.splitlines()]
                expected = [[{"B": "black", "W": "white"}[color],
                             gtp_vertex(point)]
                            for _, color, point in game["moves"]]
                self.assertEqual(expected, played[::-1])
                for color, stones in (("B", black), ("W", white)):
                    self.assertEqual(
                        sorted(gtp_vertex(p) for c, p in game["added"]
                               if c == color and p), sorted(stones.split()))

    def test_players_comments_and_labels_stand_where_they_belong(self):
        for ugf in self.games:
            with self.subTest(game=os.path.basename(ugf)):
                game = read_ugf(ugf)
                nodes = read_sgf_nodes(read_sgf_text(self.convert(ugf)))
                for colour, name in game["players"].items():
                    self.assertEqual([name], nodes[0].get("P" + colour))
                numbers = [0] + [number for number, _, _ in game["moves"]]
                self.assertEqual(len(numbers), len(nodes))
                for number, node in zip(numbers, nodes):
                    comments = game["comments"].get(number)
                    self.assertEqual(["\n".join(comments)] if comments
                                     else None, node.get("C"), number)
                    labels = {f"{sgf_point(game['size'], c, r)}:{t}"
                              for c, r, t in game["labels"].get(number, ())}
                    self.assertEqual(labels, set(node.get("LB", ())), number)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--sgf-check")
    parser.add_argument("--source-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
