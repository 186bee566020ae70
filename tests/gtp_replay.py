"""What the tests that replay converted games share: a reading of the UGF
records of their own, points in UGF, SGF and GTP terms, and GNU Go driven
over GTP."""

import re
import shutil
import subprocess

GTP_COLUMNS = "ABCDEFGHJKLMNOPQRSTUVWXYZ"  # GTP has no column I
BLANKS = " \t\n\v\f\r"  # the only whitespace of UGF text
PIECE = 1023  # the longest piece of a line the converter reads at once
MOST = 9999   # moves, and comment entries, a record may hold
SECTIONS = ("[Header]", "[Data]", "[Figure]", "[ReviewNode]",
            "[ReviewComment]")
# The charsets a Lang line may name, as Python calls them.
LANG_CODECS = {"sjis": "cp932", "shift_jis": "cp932", "shift-jis": "cp932",
               "cp932": "cp932", "utf8": "utf-8", "utf-8": "utf-8",
               "euc-jp": "euc_jp", "gb2312": "gbk", "gbk": "gbk",
               "euc-kr": "euc_kr", "ksc": "euc_kr", "big5": "big5"}
# Single bytes that Windows' own table makes characters of (U+0080 and
# private-use ones) while CP932 as the C library reads it has none there:
# the converter writes U+FFFD for them.
CP932_NO_CHARACTER = {0x80: 0xFFFD, 0xF8F0: 0xFFFD, 0xF8F1: 0xFFFD,
                      0xF8F2: 0xFFFD, 0xF8F3: 0xFFFD}


def _lines(text):
    """The lines of text and whether a line end closed each. Lines end in
    CR LF or LF, or in CR alone when the text holds no LF at all."""
    if "\n" not in text and "\r" in text:
        lines = text.split("\r")
    else:
        lines = text.replace("\r\n", "\n").split("\n")
    ended = [True] * (len(lines) - 1) + [False]
    if lines[-1] == "":
        lines, ended = lines[:-1], ended[:-1]
    return zip(lines, ended)


def _pieces(text):
    """The text as the converter reads it: a line of PIECE bytes of UTF-8
    or more (its line end counted) comes in pieces, each cut before the
    character the limit would split."""
    for line, has_end in _lines(text):
        data = line.encode("utf-8")
        while len(data) >= PIECE:
            cut = PIECE
            while (len(data) > PIECE and cut > PIECE - 3
                   and data[cut] & 0xC0 == 0x80):
                cut -= 1
            yield data[:cut].decode("utf-8")
            data = data[cut:]
            if not data and not has_end:
                break
        else:
            yield data.decode("utf-8")


def decode_record(data):
    """The record's text as the converter decodes it: up to a Ctrl-Z,
    without NUL bytes, in the charset its header's Lang line names, else
    UTF-8 when it is valid UTF-8, else CP932; bytes that are no character
    there become U+FFFD. None for input without a UGF section."""
    data = data.split(b"\x1a", 1)[0].replace(b"\0", b"")
    section, lang, record = "", "", False
    for line, _ in _lines(data.decode("latin-1")):
        work = line.lstrip(BLANKS)
        if work.startswith("["):
            if _starts(section, "[Header]"):
                break  # the first header section names the charset
            section = work
            record = record or any(_starts(work, s) for s in SECTIONS)
        elif _starts(section, "[Header]") and _starts(work, "Lang"):
            lang = work.partition("=")[2].strip(BLANKS)
    if not record:
        return None
    codec = LANG_CODECS.get(lang.lower())
    if codec is None:
        try:
            return data.decode("utf-8")
        except UnicodeDecodeError:
            codec = "cp932"
    text = data.decode(codec, errors="replace")
    return text.translate(CP932_NO_CHARACTER) if codec == "cp932" else text


def _digits(text, pos):
    end = pos
    while end < len(text) and "0" <= text[end] <= "9":
        end += 1
    return (int(text[pos:end]) if end > pos else None), end


def _after_comma(text, pos):
    comma = text.find(",", pos)
    return len(text) if comma < 0 else comma + 1


def _skip_blanks(text, pos):
    while pos < len(text) and text[pos] in BLANKS:
        pos += 1
    return pos


def _starts(text, key):
    """Case-blind prefix test on ASCII keys, folding ASCII letters only."""
    head = text[:len(key)]
    return head.isascii() and head.lower() == key.lower()


def read_ugf(path):
    """The game as the record states it:
      size, added [(colour, point or None)], moves [(number, colour, point or
      None)], comments {number: [line]}, labels {number: [(col, row, text)]},
      players {"B"/"W": name}, ranks {"B"/"W": rank}, review [line],
      review_comments [line], error (why a careful reader refuses the record,
      or None).
    Points are the record's two letters ("PD": column P from the left, row D
    from the bottom); text is decoded as by decode_record."""
    game = {"size": 19, "added": [], "moves": [], "comments": {},
            "labels": {}, "players": {}, "ranks": {}, "review": [],
            "review_comments": [], "error": None}
    with open(path, "rb") as f:
        text = decode_record(f.read())
    if text is None:
        game["error"] = "no UGF section"
        return game
    section, block, entries, labelled = None, -1, 0, set()
    records = 0
    for piece in _pieces(text):
        work = piece.rstrip("\r\n").lstrip(BLANKS)
        if work.startswith("["):
            section = None
        for name in ("[Header]", "[Data]", "[Figure]", "[ReviewNode]",
                     "[ReviewComment]"):
            if _starts(work, name):
                section = name
                break
        else:
            line = work.rstrip(BLANKS)
            if section == "[Header]":
                game["error"] = _header_line(game, line)
            elif section == "[Data]":
                if records >= MOST:
                    game["error"] = "more than %d moves" % MOST
                else:
                    game["error"] = _data_line(game, line)
                    records += 1
            elif section == "[ReviewNode]":
                game["review"].append(line)
            elif section == "[ReviewComment]":
                game["review_comments"].append(line)
            elif section == "[Figure]":
                if entries >= MOST:
                    game["error"] = "more than %d comment entries" % MOST
                elif _starts(line, ".Text"):
                    number, _ = _digits(line, _skip_blanks(
                        line, _after_comma(line, 0)))
                    block = block if number is None else number
                elif _starts(line, ".EndText"):
                    block = -1
                elif block < 0:
                    pass
                elif not line.startswith("."):
                    game["comments"].setdefault(block, []).append(line)
                    entries += 1
                elif line.startswith(".#"):
                    label = _label_line(game["size"], line)
                    if label:
                        game["labels"].setdefault(block, []).append(label)
                        entries += block not in labelled
                        labelled.add(block)
        if game["error"]:
            break
    return game


def read_review(game):
    """The review of a well-formed record: ({k: comment} for the main line,
    0 the root and k move k; [variation]), a variation being {"path": the
    moves before it, "moves": its own, "comments": theirs}, moves as "B[pd]"
    (a pass "B[]"). A block after node N is an alternative from N."""
    texts, current = {}, None
    for line in game["review_comments"]:
        if _starts(line, ".Comment"):
            current, _ = _digits(line, _after_comma(line, 0))
        elif current is not None and (line or current in texts):
            texts[current] = texts.get(current, "") + line + "\n"
    texts = {k: v.rstrip("\n") for k, v in texts.items()}
    size, main, variations = game["size"], {}, []
    blocks = [([], None)]  # per open block: moves up to its node, variation
    for line in game["review"]:
        if _starts(line, "VARIATIONEND"):
            blocks.pop()
        elif _starts(line, "VARIATION"):
            variations.append({"path": list(blocks[-1][0]), "moves": [],
                               "comments": []})
            blocks.append((list(blocks[-1][0]), variations[-1]))
        elif _starts(line, "NODE"):
            node, colour, x, y = (int(f) for f in line.split(",")[1:5])
            path, variation = blocks[-1]
            if colour:
                on_board = 1 <= x <= size and 1 <= y <= size
                path.append("BW"[colour - 1] + "[%s]" % (
                    sgf_point(size, x, y) if on_board else ""))
            if variation is None:  # a node without stone: the one before
                if node in texts:
                    main[len(path)] = "\n".join(
                        t for t in (main.get(len(path)), texts[node]) if t)
            elif colour:
                variation["moves"].append(path[-1])
                variation["comments"].append(texts.get(node))
    return main, variations


def _header_line(game, line):
    value = line.split("=", 1)[1].lstrip(BLANKS) if "=" in line else ""
    if _starts(line, "Size"):
        size, _ = _digits(value, 0)
        if size is not None:
            game["size"] = size
            if not 2 <= size <= 26:
                return "illegal board size %d" % size
    elif _starts(line, "CoordinateType"):
        if value[:3].lower() not in ("igs", "jpn"):
            return "unknown coordinate type %r" % value
    elif _starts(line, "Crypt"):
        if "PLAIN_UGF" not in value:
            return "coded record"
    elif _starts(line, "Player") and len(line) > 6:
        colour = line[6].upper()
        if colour in ("B", "W") and not value.startswith(","):
            fields = value.split(",", 2)
            game["players"][colour] = fields[0]
            rank = fields[1].lstrip(BLANKS).rstrip(BLANKS) \
                if len(fields) > 1 else ""
            # A rank in words is written as it stands, so is a plain one
            # such as 3d; other forms are rewritten and not compared.
            if rank and (not "0" <= rank[0] <= "9" or
                         re.fullmatch(r"[0-9]+[dkp]", rank)):
                game["ranks"][colour] = rank
            else:
                game["ranks"].pop(colour, None)
    return None


def _data_line(game, line):
    if line.startswith("Y"):
        point, pos = None, 0
    elif len(line) >= 2 and "A" <= line[0] <= "Z" and "A" <= line[1] <= "Z":
        point, pos = line[:2], 2
    else:
        return "illegal point in move line %r" % line
    pos = _skip_blanks(line, _after_comma(line, pos))
    if pos >= len(line) or line[pos] not in "BW":
        return "illegal colour in move line %r" % line
    colour = line[pos]
    number, _ = _digits(line, _skip_blanks(line, _after_comma(line, pos)))
    if not number:
        game["added"].append((colour, point))
    else:
        game["moves"].append((number, colour, point))
    return None


def _label_line(size, line):
    col, pos = _digits(line, _after_comma(line, 2))
    if col is None:
        return None
    row, pos = _digits(line, _after_comma(line, pos))
    if row is None:
        return None
    comma = line.find(",", pos)
    if comma < 0 or comma + 1 == len(line):
        return None
    if not (0x20 <= col + 96 <= 0x7e and 0x20 <= size - row + 97 <= 0x7e):
        return None
    return (col, row, line[comma + 1:])


def _server_game():
    return {"size": 19, "added": [], "moves": [], "comments": {},
            "labels": {}, "players": {}, "ranks": {}, "review": [],
            "review_comments": [], "error": None}


def _server_text(data, hint):
    """A GIB or NGF record's text: UTF-8 when it is, else the charset of
    the client's edition (the records these tests make say it)."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode({"China": "gb18030"}.get(hint, "cp949"))


def _short_rank(text):
    """"15K" -> "15k", "9DP" -> "9p", "3D*" -> "3d?", "1급" -> "1k",
    "2段" -> "2d"."""
    words = {"K": "k", "D": "d", "P": "p", "DP": "p", "급": "k", "级": "k",
             "級": "k", "단": "d", "段": "d"}
    m = re.fullmatch(r"(\d{1,2})(DP|[KDP]|급|级|級|단|段)(\*?)",
                     text.strip().upper())
    if not m:
        return None
    return m.group(1) + words[m.group(2)] + ("?" if m.group(3) else "")


def _handicap_points(size, count):
    """The stones of a handicap as UGF letters: the corners, then the sides
    and the centre."""
    near = 4 if size >= 13 else 3
    far, mid = size + 1 - near, (size + 1) // 2
    corners = [(far, far), (near, near), (near, far), (far, near)]
    sides = [(near, mid), (far, mid), (mid, near), (mid, far)]
    points = corners[:min(count, 4)]
    if count > 4:
        points += sides[:(count - count % 2) - 4 if count >= 6 else 0]
        if count % 2:
            points.append((mid, mid))
    return [chr(64 + c) + chr(64 + r) for c, r in points]


def read_gib(path):
    """A GIB record as read_ugf reads a UGF one: players and ranks from the
    header, the handicap from its INI line, STO moves counted from the top
    left, SKI passes."""
    game = _server_game()
    with open(path, "rb") as f:
        data = f.read()
    hint = re.search(rb"\\\[GIBOKIND=(\w+)", data)
    text = _server_text(data, hint.group(1).decode() if hint else "")
    for key, value in re.findall(r"\\\[(\w+)=(.*?)\\\]", text):
        if key in ("GAMEBLACKNAME", "GAMEWHITENAME"):
            colour = key[4]
            name, _, rank = value.rpartition("(")
            game["players"][colour] = name.strip()
            game["ranks"][colour] = _short_rank(rank.rstrip(")"))
    number = 0
    for line in text.splitlines():
        fields = line.split()
        if fields[:1] == ["INI"]:
            game["added"] = [("B", p) for p in
                             _handicap_points(19, int(fields[3]))]
        elif fields[:1] == ["STO"]:
            number += 1
            x, y = int(fields[4]), int(fields[5])
            game["moves"].append((number, "B" if fields[3] == "1" else "W",
                                  chr(65 + x) + chr(65 + 18 - y)))
        elif fields[:1] == ["SKI"]:
            number += 1
            last = game["moves"][-1][1] if game["moves"] else "B"
            game["moves"].append((number, "W" if last == "B" else "B", None))
    return game


def read_ngf(path):
    """An NGF record, either variant, as read_ugf reads a UGF one. No field
    names its charset: names are compared only where the text is UTF-8
    (the converter's guess between CP949 and GB18030 has tests of its own),
    ranks always."""
    game = _server_game()
    with open(path, "rb") as f:
        data = f.read()
    try:
        lines, named = data.decode("utf-8").splitlines(), True
    except UnicodeDecodeError:
        lines, named = data.decode("latin-1").splitlines(), False
    if lines[0].startswith("GI"):
        head = [line[2:] for line in lines if line.startswith("GI")][:9]
        players, size, handicap = head[1:3], head[6], head[7]
        moves = [line for line in lines if line.startswith("PM")]
    else:
        players, size, handicap = [lines[2], lines[3]], lines[1], lines[5]
        moves = lines[12:]
    game["size"] = size = int(size)
    for colour, line in zip("WB", players):
        name, _, rank = line.strip().rpartition(" ")
        if named:
            game["players"][colour] = name.strip()
        game["ranks"][colour] = _short_rank(rank)
    if int(handicap) >= 2:
        game["added"] = [("B", p) for p in
                         _handicap_points(size, int(handicap))]
    for number, line in enumerate(moves, start=1):
        point = line[5:7]
        game["moves"].append((number, line[4], None if point == "AA" else
                              chr(64 + ord(point[0]) - 65) +
                              chr(64 + size + 1 - (ord(point[1]) - 65))))
    return game


def read_record(path):
    """read_ugf, read_gib or read_ngf, as the name's extension says."""
    ext = path.rpartition(".")[2].lower()
    return {"gib": read_gib, "ngf": read_ngf}.get(ext, read_ugf)(path)


def column_row(point):
    """"PD" -> (16, 4): column from the left, row from the bottom."""
    return ord(point[0]) - 64, ord(point[1]) - 64


def gtp_vertex(point):
    """UGF column letters run A.. from the left, row letters A.. from the
    bottom."""
    if point is None:
        return "PASS"
    return GTP_COLUMNS[ord(point[0]) - 65] + str(ord(point[1]) - 64)


def gtp_column_row(vertex):
    """"Q16" -> (16, 16)."""
    return GTP_COLUMNS.index(vertex[0].upper()) + 1, int(vertex[1:])


def sgf_point(size, col, row):
    """1-based column and row counted from the bottom, as SGF letters."""
    return chr(96 + col) + chr(97 + size - row)


def gnugo_program():
    program = shutil.which("gnugo") or shutil.which("gnugo", path="/usr/games")
    if program is None:
        raise AssertionError("GNU Go is missing: install the Debian package "
                             "gnugo (apt-get install gnugo)")
    return program


def gtp_session(commands, timeout=600):
    """Runs the commands in one GNU Go over GTP; returns (ok, answer) for
    each, answer without its '=' or '?'."""
    out = subprocess.run([gnugo_program(), "--mode", "gtp"], input="\n".join(
        commands + ["quit"]) + "\n", capture_output=True, text=True,
        encoding="latin-1", timeout=timeout, check=True).stdout
    answers = [a.strip() for a in out.split("\n\n") if a.strip()]
    if len(answers) < len(commands):
        raise AssertionError("GNU Go answered %d of %d commands"
                             % (len(answers), len(commands)))
    return [(a.startswith("="), a[1:].strip())
            for a in answers[:len(commands)]]


def gtp(commands):
    """Runs GNU Go over GTP; returns the answer to each command, which must
    all succeed."""
    answers = gtp_session(commands, timeout=120)
    for command, (ok, answer) in zip(commands, answers):
        if not ok:
            raise AssertionError(f"GNU Go refused {command!r}: {answer}")
    return [answer for _, answer in answers]
