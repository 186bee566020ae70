#!/usr/bin/env python3
"""Makes trees of UGF records that look like a club's archive, for the
benchmarks and the reader tests.

  bench/make_tree.py DIR --files N [--seed 1] [--no-malformed]
  bench/make_tree.py --pathological FILE

The same arguments always give the same bytes: every record draws from a
random.Random of its own, seeded from the seed and its index, and nothing
reads the clock.

A tree holds records in folders one to three levels deep (DIR/2019/club-a/
round-3/...), mostly .ugf, some .ugi, with CR LF line ends. Games are mostly
19x19, some 13x13 and 9x9, with full headers, handicap stones on the star
points as added stones (move number 0), some passes, comments (several lines,
some with ']', '\\' and Shift-JIS or Latin-1 bytes) and labels. Every move is
legal Go (no suicide, no retaking a ko at once), so any board program can
replay it. One record in 200 is malformed on purpose: cut off inside a
move line, an illegal move line, an illegal board size, a coded record, an
empty file or random bytes.

--pathological writes one record of 9,999 moves and 9,999 comment entries
(as the converter counts them: the one 1,500-character line arrives in two
pieces), which converts successfully.

Import it to make single games: make_game(rng) and game_text(game), or
make_record(seed, index) for exactly what a tree holds at that index.
"""

import argparse
import os
import random
import sys

# --- the board -----------------------------------------------------------

EMPTY, BLACK, WHITE, EDGE = 0, 1, 2, 3
COLOUR_OF = {"B": BLACK, "W": WHITE}


class IllegalMove(Exception):
    pass


_NEIGHBOURS = {}


def _neighbours(size):
    """For every point of a board with a one-point edge around it, the four
    points beside it."""
    if size not in _NEIGHBOURS:
        w = size + 2
        _NEIGHBOURS[size] = [(p - 1, p + 1, p - w, p + w)
                             if 0 < p % w < w - 1 and 0 < p // w < w - 1
                             else () for p in range(w * w)]
    return _NEIGHBOURS[size]


class Board:
    """A Go board: captures, no suicide, no immediate retaking of a ko.

    Points are (column, row), both from 1, the row counted from the bottom
    as in UGF records."""

    def __init__(self, size):
        self.size = size
        self.w = size + 2
        self.cells = [EDGE] * (self.w * self.w)
        for row in range(1, size + 1):
            for col in range(1, size + 1):
                self.cells[row * self.w + col] = EMPTY
        self.nb = _neighbours(size)
        self.ko = None  # the point the next move may not take

    def index(self, point):
        col, row = point
        if not (1 <= col <= self.size and 1 <= row <= self.size):
            raise IllegalMove("off the board: %r" % (point,))
        return row * self.w + col

    def point(self, index):
        return index % self.w, index // self.w

    def _dead_group(self, start):
        """The stones of the group at start when it has no liberty, else
        None (found out as soon as one liberty is seen)."""
        cells = self.cells
        colour = cells[start]
        seen = {start}
        stack = [start]
        nb = self.nb
        while stack:
            for q in nb[stack.pop()]:
                c = cells[q]
                if c == EMPTY:
                    return None
                if c == colour and q not in seen:
                    seen.add(q)
                    stack.append(q)
        return seen

    def place(self, colour, point):
        """An added stone: no captures, no ko."""
        p = self.index(point)
        if self.cells[p] != EMPTY:
            raise IllegalMove("added stone on a stone at %r" % (point,))
        self.cells[p] = colour
        self.ko = None

    def pass_move(self):
        self.ko = None

    def play_index(self, colour, p):
        """Plays at index p; returns the number of stones captured."""
        cells = self.cells
        if cells[p] != EMPTY:
            raise IllegalMove("point taken")
        if p == self.ko:
            raise IllegalMove("ko retaken at once")
        other = 3 - colour
        cells[p] = colour
        captured = []
        for q in self.nb[p]:
            if cells[q] == other:
                dead = self._dead_group(q)
                if dead:
                    for s in dead:
                        cells[s] = EMPTY
                    captured.extend(dead)
        if not captured and self._dead_group(p) is not None:
            cells[p] = EMPTY
            raise IllegalMove("suicide")
        self.ko = None
        if len(captured) == 1:
            # A lone stone whose only liberty is the stone just taken.
            around = [cells[q] for q in self.nb[p]]
            if colour not in around and around.count(EMPTY) == 1:
                self.ko = captured[0]
        return len(captured)

    def play(self, colour, point):
        return self.play_index(colour, self.index(point))

    def stones(self):
        """{(col, row): "B" or "W"} of every stone on the board."""
        out = {}
        for p, c in enumerate(self.cells):
            if c == BLACK or c == WHITE:
                out[self.point(p)] = "B" if c == BLACK else "W"
        return out


def star_points(size, handicap):
    """The usual handicap points, as (col, row) from the bottom left."""
    near = 4 if size >= 13 else 3
    far = size + 1 - near
    mid = (size + 1) // 2
    corners = [(far, far), (near, near), (near, far), (far, near)]
    if handicap <= 4:
        return corners[:handicap]
    sides = [(near, mid), (far, mid), (mid, near), (mid, far)]
    if handicap == 5:
        return corners + [(mid, mid)]
    if handicap == 6:
        return corners + sides[:2]
    if handicap == 7:
        return corners + sides[:2] + [(mid, mid)]
    if handicap == 8:
        return corners + sides
    return corners + sides + [(mid, mid)]


# --- words ---------------------------------------------------------------

SURNAMES = ["Aoki", "Berg", "Chen", "Dara", "Endo", "Fischer", "Gao",
            "Hoshino", "Ito", "Jansen", "Kato", "Lee", "Maruyama", "Novak",
            "Ota", "Park",
            "Quinn", "Rossi", "Sato", "Tanaka", "Ueda", "Volkov", "Wang",
            "Yamada", "Zhou", "O'Neill", "van Dijk"]
GIVEN = ["Ren", "Hanna", "Wei", "Mika", "Jonas", "Yuki", "Ana", "Tomas", "Li",
         "Sora", "Eva", "Kenji", "Marta", "Hiro"]
# Names and words as Japanese and European records hold them: Shift-JIS
# (whose second bytes may be '\', ']' or '[') and Latin-1.
JAPANESE = ["黒番", "白番", "好手", "悪手", "表", "ソ", "能力", "十段", "本因坊",
            "碁会所", "定石", "コウ", "死活", "形勢", "予想", "地", "厚み"]
JAPANESE_NAMES = ["山田太郎", "佐藤表", "十段戦", "伊藤ソラ", "能登"]
LATIN1 = ["Müller", "Ødegård", "Çelik", "Señor", "Château", "Þór", "Föhn",
          "Straße", "Björk ÿ"]
PLACES = ["Community hall", "Club room", "Online", "Tokyo", "Seoul", "Paris",
          "Town library", "University, room 3"]
EVENTS = ["Club Cup", "Autumn League", "Spring League", "Evening game",
          "Teaching game", "Open", "Lightning", "Pair go night"]
PHRASES = [
    "A calm opening.", "Black takes the last big point.",
    "White approaches at once.", "This is too slow.", "A good shape move.",
    "Black should have played at A.", "The fight starts here.",
    "White gives up two stones for thickness.", "Ko!", "Sente.",
    "A wide extension: [sic] 1:0 for black?", "Path C:\\games\\ugf",
    "Variation: a] b] c]", "Escaped \\] or not\\", "Score now: B 54, W 61.",
    "The centre is what matters.", "Black resigns soon after.",
    "Tesuji: the clamp.", "Overplay?", "Both sides are weak here (see [1]).",
    "'enough'", "100% sure", "so-called \"Korean\" style",
]
OPENING_NOTES = [
    "Game review by the club's teachers.", "Annotated after the game.",
    "Both players agreed to publish this record.",
    "Comments: [T] teacher, [S] student.",
    "Recorded from the demonstration board.",
]
CLUBS = ["club-a", "club-b", "club-c", "league", "online", "school", "pro",
         "teaching"]
LABEL_TEXTS = (list("ABCDEFGHIJKLMNOPQRSTUVWXYZ") + list("abcdefgh") +
               [str(i) for i in range(1, 20)])


def _sjis(word):
    return word.encode("shift_jis")


def _latin1(word):
    return word.encode("latin-1")


def comment_line(rng):
    """One line of a comment, never starting with '.', '[' or a blank."""
    kind = rng.random()
    if kind < 0.15:
        words = [_sjis(rng.choice(JAPANESE)) for _ in range(rng.randint(1, 4))]
        text = b"".join(words)
        if rng.random() < 0.5:
            text += b" " + rng.choice(PHRASES).encode()
    elif kind < 0.22:
        text = b"%s: %s" % (_latin1(rng.choice(LATIN1)),
                            rng.choice(PHRASES).encode())
    else:
        text = b" ".join(rng.choice(PHRASES).encode()
                         for _ in range(rng.randint(1, 3)))
    if rng.random() < 0.05:
        text += b"  "  # trailing blanks, as hand-edited files have
    return text


def player_name(rng):
    r = rng.random()
    if r < 0.15:
        return _sjis(rng.choice(JAPANESE_NAMES))
    if r < 0.22:
        return _latin1(rng.choice(LATIN1))
    return ("%s %s" % (rng.choice(SURNAMES), rng.choice(GIVEN))).encode()


def rank(rng):
    r = rng.random()
    if r < 0.5:
        return "%dk" % rng.randint(1, 20)
    if r < 0.92:
        return "%dd" % rng.randint(1, 7)
    return "%dp" % rng.randint(1, 9)


def slug(name):
    out = "".join(c for c in name.decode("latin-1").split(" ")[0].lower()
                  if "a" <= c <= "z")
    return out or "player"


# --- a game --------------------------------------------------------------

class Game:
    """One record's content. Points are (col, row) from the bottom left;
    None is a pass."""

    def __init__(self):
        self.size = 19
        self.handicap = 0
        self.komi = "6.5"
        self.black = b""
        self.white = b""
        self.header = []      # (key, value bytes) in file order
        self.added = []       # (colour, point)
        self.moves = []       # (number, colour, point or None)
        self.blocks = []      # (number, [comment lines], [(col, row, text)])
        self.data_style = ("B1", "W2")
        self.pass_letter = b"YY"
        self.year = 2020
        self.date_slug = "2020-01-01"


_NEAR = {}


def _near_table(size, reach):
    """For every point, the points at most reach lines away in both
    directions."""
    key = (size, reach)
    if key not in _NEAR:
        w = size + 2
        table = {}
        for row in range(1, size + 1):
            for col in range(1, size + 1):
                rows = range(max(1, row - reach), min(size, row + reach) + 1)
                cols = range(max(1, col - reach), min(size, col + reach) + 1)
                table[row * w + col] = [r * w + c for r in rows for c in cols
                                        if (r, c) != (row, col)]
        _NEAR[key] = table
    return _NEAR[key]


def _opening_points(size):
    lo, hi = (3, 4) if size >= 13 else (3, 3)
    return [(c, r) for c in range(1, size + 1) for r in range(1, size + 1)
            if (min(c, size + 1 - c) in (lo, hi) and
                min(r, size + 1 - r) in (lo, hi))]


def play_moves(rng, size, added, count):
    """A legal sequence of count moves (or fewer, when both players pass)
    after the added stones: [(colour, point or None)]. Moves come near the
    last ones, openings on the third and fourth lines, and no player fills
    an eye of his own."""
    board = Board(size)
    for colour, point in added:
        board.place(COLOUR_OF[colour], point)
    w = size + 2
    cells, nb = board.cells, board.nb
    near = _near_table(size, 2)
    opening = [r * w + c for c, r in _opening_points(size)]
    everywhere = [r * w + c for r in range(1, size + 1)
                  for c in range(1, size + 1)]
    colour = "W" if added else "B"
    moves, recent = [], []
    passes_in_a_row = 0
    # A pass now and then in the middle of a game, as when a player tenukis
    # a dead group on a server that asks for it.
    stray_pass = rng.randrange(30, count) if rng.random() < 0.08 else -1
    rnd = rng.random  # indexing by rnd() is several times faster than choice
    n_open, n_all = len(opening), len(everywhere)
    while len(moves) < count:
        c = COLOUR_OF[colour]
        played = None
        if len(moves) != stray_pass:
            for attempt in range(40):
                if len(moves) < 8 and attempt < 10:
                    p = opening[int(rnd() * n_open)]
                elif recent and attempt < 25 and rnd() < 0.75:
                    around = near[recent[int(rnd() * len(recent))]]
                    p = around[int(rnd() * len(around))]
                else:
                    p = everywhere[int(rnd() * n_all)]
                if cells[p] != EMPTY:
                    continue
                a, b, d, e = nb[p]
                if ((cells[a] == c or cells[a] == EDGE) and
                        (cells[b] == c or cells[b] == EDGE) and
                        (cells[d] == c or cells[d] == EDGE) and
                        (cells[e] == c or cells[e] == EDGE)):
                    continue  # an eye of his own
                try:
                    board.play_index(c, p)
                except IllegalMove:
                    continue
                played = p
                break
        if played is None:
            board.pass_move()
            moves.append((colour, None))
            passes_in_a_row += 1
            if passes_in_a_row == 2:
                break
        else:
            moves.append((colour, board.point(played)))
            recent = [recent[-1], played] if recent else [played]
            passes_in_a_row = 0
        colour = "W" if colour == "B" else "B"
    return moves


def make_game(rng):
    """A whole game with header, moves and figure blocks."""
    g = Game()
    r = rng.random()
    g.size = 19 if r < 0.8 else (13 if r < 0.92 else 9)
    top = {19: 9, 13: 5, 9: 4}[g.size]
    if rng.random() < 0.2:
        g.handicap = rng.randint(2, top)
        g.komi = rng.choice(["0.5", "0", "0.5"])
    else:
        g.komi = rng.choice(["6.5", "6.5", "5.5", "7.5", "7"])
    g.added = [("B", p) for p in star_points(g.size, g.handicap)]
    lo, hi = {19: (150, 300), 13: (80, 170), 9: (40, 80)}[g.size]
    played = play_moves(rng, g.size, g.added, rng.randint(lo, hi))
    if rng.random() < 0.25 and played[-1][1] is not None:
        last = played[-1][0]
        first = "W" if last == "B" else "B"
        played += [(first, None), (last, None)]
    g.moves = [(n, colour, point)
               for n, (colour, point) in enumerate(played, start=1)]
    g.data_style = rng.choice([("B1", "W2"), ("B1", "W1"), ("B2", "W2")])
    g.pass_letter = rng.choice([b"YY", b"YA", b"YZ", b"Y"])

    g.black, g.white = player_name(rng), player_name(rng)
    year = rng.randint(2010, 2026)
    month, day = rng.randint(1, 12), rng.randint(1, 28)
    date = b"%d/%02d/%02d" % (year, month, day)
    if rng.random() < 0.15:
        date += b",%02d:%02d,%d/%02d/%02d" % (rng.randint(9, 20),
                                              rng.choice([0, 30]), year,
                                              month, day + 1)
    event = rng.choice(EVENTS).encode()
    if rng.random() < 0.1:
        event = _sjis("第%d回 " % rng.randint(1, 60)) + event
    g.year = year
    g.date_slug = "%d-%02d-%02d" % (year, month, day)
    if rng.random() < 0.5:
        result = b"%s,C" % rng.choice([b"B", b"W"])
    elif rng.random() < 0.9:
        result = b"%s,%d.5" % (rng.choice([b"B", b"W"]), rng.randint(0, 30))
    else:
        result = rng.choice([b"W,T", b"D", b"B,2"])
    h = g.header
    if rng.random() < 0.5:
        h += [("Lang", b"JPN"), ("Ver", b"1")]
    h.append(("Title", event + b", round %d" % rng.randint(1, 9)))
    h.append(("Place", rng.choice(PLACES).encode()))
    h.append(("Date", date))
    h.append(("Size", b"%d" % g.size))
    h.append(("Hdcp", b"%d,%s" % (g.handicap, g.komi.encode())))
    h.append(("PlayerB", g.black + b"," + rank(rng).encode()))
    h.append(("PlayerW", g.white + b"," + rank(rng).encode()))
    h.append(("Winner", result))
    h.append(("Rule", rng.choice([b"JPN", b"JPN", b"CH", b"AR"])))
    h.append(("Ptime", b"%d;%d" % (rng.randint(0, 3),
                                   rng.choice([10, 30, 60, 90]))))
    h.append(("Moves", b"%d" % len(g.moves)))
    h.append(("Writer", rng.choice([b"Club recorder", b"kirato bench",
                                    _sjis("記録係")])))
    if rng.random() < 0.5:
        h.append(("Copyright", rng.choice([b"(c) the club", b"free to share",
                                           _sjis("日本棋院")])))
    if rng.random() < 0.4:
        h.append(("Comment", comment_line(rng)))
    r = rng.random()
    if r < 0.3:
        h.append(("Crypt", b"PLAIN_UGF"))
    elif r < 0.4:
        h.append(("Coded", b"PLAIN_UGF"))
    r = rng.random()
    if r < 0.6:
        h.append(("CoordinateType", b"IGS"))
    elif r < 0.7:
        h.append(("CoordinateType", b"JPN"))

    # Figure blocks: about one move in eight of a commented game, some with
    # labels, an opening note on move 0 in some games.
    if rng.random() < 0.75:
        numbers = []
        if rng.random() < 0.2:
            numbers.append(0)
        share = rng.choice([0.04, 0.12, 0.3])
        numbers += [n for n, _, _ in g.moves if rng.random() < share]
        for n in numbers:
            lines = [comment_line(rng)
                     for _ in range(rng.choice([1, 1, 2, 3, 4]))]
            if n == 0:
                lines[0] = rng.choice(OPENING_NOTES).encode()
            if len(lines) >= 3 and rng.random() < 0.2:
                lines.insert(1, b"")  # a paragraph break
            labels = []
            if rng.random() < 0.2:
                taken = set()
                for _ in range(rng.randint(1, 4)):
                    pt = (rng.randint(1, g.size), rng.randint(1, g.size))
                    if pt not in taken:
                        taken.add(pt)
                        labels.append(pt + (rng.choice(LABEL_TEXTS).encode(),))
            if rng.random() < 0.1:
                lines = []  # a block of labels only, or of nothing
            if rng.random() < 0.08 and len(lines) > 1:
                # The same move's text in two blocks.
                g.blocks.append((n, lines[:1], labels[:1]))
                g.blocks.append((n, lines[1:], labels[1:]))
            else:
                g.blocks.append((n, lines, labels))
    return g


def _point_letters(point):
    col, row = point
    return bytes([64 + col, 64 + row])


def game_lines(g):
    """The record's lines, without line ends."""
    lines = [b"[Header]"]
    lines += [key.encode() + b"=" + value for key, value in g.header]
    lines.append(b"[Data]")
    for colour, point in g.added:
        lines.append(b"%s,%s,0,0" % (_point_letters(point),
                                     g.data_style[0 if colour == "B" else 1]
                                     .encode()))
    seconds = 0
    for number, colour, point in g.moves:
        seconds = (seconds * 7 + number * 13) % 97
        where = g.pass_letter if point is None else _point_letters(point)
        lines.append(b"%s,%s,%d,%d" % (where,
                                       g.data_style[0 if colour == "B" else 1]
                                       .encode(), number, seconds))
    if g.blocks:
        lines.append(b"[Figure]")
        for number, text, labels in g.blocks:
            lines.append(b".Text,%d" % number)
            lines += text
            lines += [b".#,%d,%d,%s" % label for label in labels]
            lines.append(b".EndText")
    return lines


def game_text(g, newline=b"\r\n"):
    return newline.join(game_lines(g)) + newline


# --- the Korean and Chinese servers' formats -------------------------------

EDITIONS = [("Korea", "cp949", ["김철수", "박영훈", "이하늘", "최별", "한결"],
             ["타이젬", "바둑 교실"], ["자유 대국", "승강급 대국"]),
            ("China", "gb18030", ["王小明", "李四", "张伟", "棋手甲", "老师"],
             ["弈城", "野狐"], ["让先", "自由对局"]),
            ("Global", "utf-8", ["Kim Ha", "Park Jin", "Lee Sol", "Chen Yu"],
             ["Global server"], ["Free", "Rated"])]
GIB_RESULTS = {"B+R": 3, "W+R": 4, "B+T": 7, "W+T": 8}


def _gib_rank(rank):
    """A rank as these clients write it: "15K", "3D", "9P"."""
    return rank.upper()


def _tenths(text):
    whole, _, part = text.partition(".")
    return int(whole) * 10 + (int(part[:1]) if part else 0)


def gib_text(g, rng):
    """The game as a GIB record of a random edition, 19x19 only: the
    handicap as the client's INI line, moves as STO lines counted from the
    top left, passes as SKI lines."""
    edition, charset, names, places, kinds = rng.choice(EDITIONS)
    black, white = rng.choice(names), rng.choice(names)
    result = rng.choice(list(GIB_RESULTS) + ["B+%d.5" % rng.randint(0, 20),
                                             "W+%d.5" % rng.randint(0, 20)])
    code = GIB_RESULTS.get(result, 0 if result[0] == "B" else 1)
    margin = 0 if code > 1 else _tenths(result[2:])
    komi = _tenths(g.komi)
    main_time, byoyomi, periods = (rng.choice([600, 1200, 1800]),
                                   rng.choice([20, 30, 60]),
                                   rng.choice([3, 5]))
    y, m, d = (int(x) for x in g.date_slug.split("-"))
    header = [
        ("GIBOKIND", edition),
        ("GAMEBLACKNAME", "%s (%s)" % (black, _gib_rank(rank(rng)))),
        ("GAMEWHITENAME", "%s (%s)" % (white, _gib_rank(rank(rng)))),
        ("GAMEDATE", "%d-%2d-%2d-%2d-%2d-%2d" % (y, m, d, rng.randint(0, 23),
                                               rng.randint(0, 59),
                                               rng.randint(0, 59))),
        ("GAMEPLACE", rng.choice(places)),
        ("GAMENAME", rng.choice(kinds)),
        ("GAMEINFOMAIN", "GBKIND:1,GTYPE:1,GCDT:%d,GTIME:%d-%d-%d,GRLT:%d,"
         "ZIPSU:%d,DUM:%d,GONGJE:%d,TCNT:%d,AUSZ:0" % (
             g.handicap, main_time, byoyomi, periods, code, margin,
             komi if g.handicap else 0, 0 if g.handicap else komi,
             len(g.moves))),
        ("GAMETAG", "S1,R1,D0,G%d,W%d,Z%d,T%d-%d-%d,C%d:%02d:%02d:10:00" % (
            komi, code, margin, byoyomi, periods, main_time, y, m, d)),
    ]
    lines = ["\\HS"] + ["\\[%s=%s\\]" % kv for kv in header] + ["\\HE",
                                                               "\\GS"]
    lines += ["2 1 0", "119 0 &4", "INI 0 1 %d &4" % g.handicap]
    for number, colour, point in g.moves:
        if point is None:
            lines.append("SKI 0 %d" % number)
        else:
            col, row = point
            lines.append("STO 0 %d %d %d %d" % (number, 1 if colour == "B"
                                                else 2, col - 1, g.size - row))
    lines.append("\\GE")
    return ("\r\n".join(lines) + "\r\n").encode(charset)


def ngf_text(g, rng):
    """The game as a plain NGF record, in CP949: fields by line number,
    moves as PM lines with the point counted from 'B' and mirrored."""
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    names = EDITIONS[0][2]
    white = "%-12s%s" % (rng.choice(names), rank(rng).upper())
    black = "%-12s%s" % (rng.choice(names), rank(rng).upper())
    winner = rng.choice(["Black", "White"])
    result = rng.choice(["%s wins by %d.5!" % (winner, rng.randint(0, 20)),
                         "%s wins by resign!" % winner,
                         "%s wins by time!" % winner])
    # Whole points only: an even game's half point is understood.
    komi = g.komi.split(".")[0]
    lines = [rng.choice(EVENTS), str(g.size), white, black,
             "http://go.example.org", str(g.handicap), "0", komi,
             "%s [%02d:%02d]" % (g.date_slug.replace("-", ""),
                                 rng.randint(0, 23), rng.randint(0, 59)),
             "5", result, str(len(g.moves))]
    for number, colour, point in g.moves:
        pair = "AA" if point is None else (letters[point[0]] +
                                            letters[g.size + 1 - point[1]])
        lines.append("PM%s%s%s%s%s" % (letters[number // 26 % 26],
                                       letters[number % 26], colour, pair,
                                       pair[::-1]))
    return ("\r\n".join(lines) + "\r\n").encode("cp949")


# --- malformed records ---------------------------------------------------

MALFORMED_KINDS = ("truncated", "illegal-move", "illegal-size", "coded",
                   "empty", "binary")


def malformed_text(rng, kind, g=None):
    """A record that is broken in the given way. The first four are refused
    by a careful reader; an empty file and random bytes hold no game."""
    if kind == "empty":
        return b""
    if kind == "binary":
        return rng.randbytes(rng.randint(200, 4000))
    g = g or make_game(rng)
    lines = game_lines(g)
    first = lines.index(b"[Data]") + 1
    end = lines.index(b"[Figure]") if b"[Figure]" in lines else len(lines)
    # Lines of moves on the board: a pass line would still read as a pass
    # with a wrong point.
    data = [i for i in range(first, end) if lines[i][:1] != b"Y"]
    k = data[len(data) // 3 + rng.randrange(len(data) // 3)]
    if kind == "truncated":
        # Cut inside a move line, before its colour.
        line = lines[k]
        cut = line[:rng.choice([1, line.index(b",") + 1])]
        return b"\r\n".join(lines[:k] + [cut])
    if kind == "illegal-move":
        line = lines[k]
        broken = rng.choice([line[:1] + b"4" + line[2:],
                             line[:2].lower() + line[2:],
                             line[:3] + b"X" + line[4:]])
        lines[k] = broken
    elif kind == "illegal-size":
        size_at = next(i for i, line in enumerate(lines)
                       if line.startswith(b"Size="))
        lines[size_at] = b"Size=%d" % rng.choice([0, 1, 27, 30, 52])
    elif kind == "coded":
        head_end = lines.index(b"[Data]")
        lines.insert(head_end, b"Crypt=UGF_CODED_%d" % rng.randint(1, 3))
        for i in range(head_end + 2, len(lines)):
            lines[i] = bytes(65 + (b * 7 + i) % 26 for b in lines[i])
    else:
        raise ValueError("unknown kind %r" % kind)
    return b"\r\n".join(lines) + b"\r\n"


# --- trees ---------------------------------------------------------------

def record_rng(seed, index):
    return random.Random("kirato-tree:%d:%d" % (seed, index))


def make_record(seed, index, malformed=True, formats=("ugf",)):
    """(relative path, bytes, malformed kind or None) of record `index` in
    the tree of `seed`. With GIB or NGF among the formats, 19x19 games
    take turns among them; the UGF records stay what they were."""
    rng = record_rng(seed, index)
    g = make_game(rng)
    kind = None
    fmt = "ugf"
    if g.size == 19 and len(formats) > 1:
        pick = random.Random("kirato-format:%d:%d" % (seed, index))
        fmt = formats[pick.randrange(len(formats))]
    # Exactly one record in 200 is malformed, the kinds taking turns.
    slot = index + seed * 37
    if malformed and slot % 200 == 0:
        kind = MALFORMED_KINDS[slot // 200 % len(MALFORMED_KINDS)]
        data = malformed_text(rng, kind, g)
        fmt = "ugf"
    elif fmt == "gib":
        data = gib_text(g, random.Random("kirato-gib:%d:%d" % (seed, index)))
    elif fmt == "ngf":
        data = ngf_text(g, random.Random("kirato-ngf:%d:%d" % (seed, index)))
    else:
        data = game_text(g)
    depth = rng.choice([1, 2, 2, 3, 3])
    parts = [str(g.year), rng.choice(CLUBS),
             "round-%d" % rng.randint(1, 9)][:depth]
    ext = ".ugi" if rng.random() < 0.1 else ".ugf"
    if fmt != "ugf":
        ext = "." + (fmt.upper() if index % 10 == 3 else fmt)
    name = "%s-%s-%s-%05d%s" % (g.date_slug, slug(g.black), slug(g.white),
                                index, ext)
    return os.path.join(*parts, name), data, kind


def _write_records(job):
    """Writes records [start, stop) of a tree; returns (bytes, malformed,
    folders)."""
    root, start, stop, seed, malformed, formats = job
    total = bad = 0
    made = set()
    for i in range(start, stop):
        rel, data, kind = make_record(seed, i, malformed, formats)
        path = os.path.join(root, rel)
        folder = os.path.dirname(path)
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        with open(path, "wb") as f:
            f.write(data)
        total += len(data)
        bad += kind is not None
    return total, bad, made


def write_tree(root, files, seed=1, malformed=True, jobs=None,
               formats=("ugf",)):
    """Writes the tree, in parallel processes when there is more than one
    processor: each record depends only on the seed and its index, so the
    bytes are the same either way. Returns (files, bytes, malformed,
    folders)."""
    jobs = jobs or os.cpu_count() or 1
    chunk = 250
    work = [(root, start, min(files, start + chunk), seed, malformed, formats)
            for start in range(0, files, chunk)]
    if jobs > 1 and len(work) > 1:
        import multiprocessing
        with multiprocessing.Pool(min(jobs, len(work))) as pool:
            results = pool.map(_write_records, work)
    else:
        results = [_write_records(w) for w in work]
    folders = set()
    for _, _, made in results:
        folders |= made
    return (files, sum(r[0] for r in results), sum(r[1] for r in results),
            len(folders))


def pathological_text(seed=1):
    """9,999 moves, 9,999 comment entries, one line of 1,500 characters.
    The converter takes at most 9,999 of each and reads a line in pieces of
    at most 1,023 bytes, so the long line counts as two entries and the
    record ends with the last of them: any figure line after it would be
    one too many."""
    rng = random.Random("kirato-pathological:%d" % seed)
    lines = [b"[Header]", b"Title=Pathological", b"Size=19", b"Hdcp=0,6.5",
             b"PlayerB=Long,1d", b"PlayerW=Game,1d", b"[Data]"]
    letters = b"ABCDEFGHIJKLMNOPQRS"
    for n in range(1, 10000):
        lines.append(b"%c%c,%s,%d,0" % (rng.choice(letters),
                                        rng.choice(letters),
                                        b"B1" if n % 2 else b"W2", n))
    lines.append(b"[Figure]")
    long_line = (b"A very long comment line ] \\ " * 60)[:1500]
    assert len(long_line) == 1500
    lines += [b".Text,1", long_line]
    entries = 2
    n = 1
    while entries < 9999:
        n = n % 9999 + 1
        lines.append(b".Text,%d" % n)
        for _ in range(min(rng.randint(1, 3), 9999 - entries)):
            lines.append(b"Note %d on move %d: ]\\ %s" % (entries, n,
                                                        _sjis("好手")))
            entries += 1
    return b"\r\n".join(lines) + b"\r\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("dir", nargs="?", help="the folder to make the tree in")
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--no-malformed", action="store_true",
                    help="only records that convert")
    ap.add_argument("--jobs", type=int, default=0,
                    help="processes to write with (default: one a processor)")
    ap.add_argument("--formats", default="ugf",
                    help="record formats of the 19x19 games, comma-separated "
                    "(ugf,gib,ngf); default ugf")
    ap.add_argument("--pathological", metavar="FILE",
                    help="write the one pathological record instead")
    args = ap.parse_args()
    if args.pathological:
        data = pathological_text(args.seed)
        with open(args.pathological, "wb") as f:
            f.write(data)
        print("make_tree: 1 file, %d bytes, 0 malformed (pathological: 9999 "
              "moves, 9999 comment entries)" % len(data), file=sys.stderr)
        return 0
    if not args.dir:
        ap.error("name a folder, or --pathological FILE")
    formats = tuple(f.strip().lower() for f in args.formats.split(","))
    files, total, bad, folders = write_tree(args.dir, args.files, args.seed,
                                            not args.no_malformed, args.jobs,
                                            formats)
    print("make_tree: %d files, %d bytes, %d malformed, in %d folders"
          % (files, total, bad, folders), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
