#!/usr/bin/env python3
"""Writes records that the generated trees of make_tree.py never hold, for
comparing two builds of kirato-cli byte for byte: reviews, charsets,
labels, odd header keys, long and broken lines.

  bench/make_special.py DIR [--source-dir REPO]

DIR/same/ receives records whose SGF, messages and trace lines must not
change between the builds compared; DIR/changed/ those that show the
program's intended changes of output (a byte order mark, labels off the
board, komi written as SGF numbers). The repository's example records and
fuzz seeds join DIR/same/.
"""

import argparse
import os
import shutil

SJIS = "cp932"


def sjis(text):
    return text.encode(SJIS)


HEAD = b"[Header]\nSize=9\n[ReviewNode]\n"
MOVES = b"[Data]\nCC,B,1\nGG,W,2\nGC,B,3\n"

# name -> bytes; each a record of its own.
SAME = {
    # Reviews: variations, nesting, comments, and each kind of problem.
    "review-variations.ugi": HEAD +
    b"NODE,1,0,0,0\nNODE,2,1,3,3\nNODE,3,2,7,7\nVARIATION,\n NODE,9,1,5,5\n"
    b" NODE,8,2,4,4\nVARIATIONEND,\nNODE,4,1,7,3\nNODE,5,0,0,0\n" + MOVES,
    "review-nested.ugi": HEAD +
    b"NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATION,\n"
    b"NODE,7,1,20,20\nVARIATIONEND,\nNODE,8,1,4,4\nVARIATIONEND,\n"
    b"NODE,3,2,7,7\nNODE,4,1,7,3\n" + MOVES,
    "review-root-and-end.ugi": HEAD +
    b"NODE,1,0,0,0\nVARIATION,\nNODE,9,1,5,5\nVARIATIONEND,\nNODE,2,1,3,3\n"
    b"NODE,3,2,7,7\nNODE,4,1,7,3\nVARIATION,\nNODE,8,2,4,4\nVARIATIONEND,\n"
    + MOVES,
    "review-comments.ugi": HEAD +
    b"NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATIONEND,\n"
    b"NODE,3,2,7,7\nNODE,4,1,7,3\nNODE,5,0,0,0\n"
    b"[ReviewComment]\n.Comment,1\n\n A 2k?: hi  \n\n B: hello\n\n"
    b".Comment,2\nc:]\\\n.Comment,9\nvar\n.Comment,3\nreview\n.comment,2\n"
    b"again\n.Comment,5\nend\n" + MOVES +
    b"[Figure]\n.Text,2\nfig\n.#,1,1,X\n",
    "review-added-stones.ugi": HEAD + b"NODE,1,0,0,0\n"
    b"[ReviewComment]\n.Comment,1\nroot\n"
    b"[Data]\nEE,B,0\nCC,B,1\n[Figure]\n.Text,0\nzero\n",
    "review-mismatch.ugi": HEAD +
    b"NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATIONEND,\n"
    b"NODE,3,2,7,6\nVARIATION,\nNODE,8,1,4,4\nVARIATIONEND,\nNODE,4,1,7,3\n"
    b"[ReviewComment]\n.Comment,2\nkept\n.Comment,3\nlost\n" + MOVES,
    "review-unclosed.ugi": HEAD +
    b"NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATION,\n"
    b"NODE,8,1,4,4\n" + MOVES,
    "review-unreadable.ugi": HEAD +
    b"NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nNODE,8,1\n"
    b"NODE,7,2,4,4\nVARIATIONEND,\nNODE,3,2,7,7\n" + MOVES,
    "review-after-last.ugi": HEAD +
    b"NODE,2,1,3,3\nNODE,3,2,7,7\nNODE,4,1,7,3\nNODE,5,2,1,1\n" + MOVES,
    "review-stray.ugi": HEAD +
    b"VARIATIONEND,\nMARK,1\n[ReviewComment]\n\ntext\n.Comment\nlost\n"
    b".Comment,77\nx\n" + MOVES,
    "review-deep.ugi": HEAD + b"NODE,1,0,0,0\nNODE,2,1,1,1\n" +
    b"".join(b"VARIATION,\nNODE,%d,2,2,1\n" % (10 + 2 * i) for i in range(300))
    + b"".join(b"NODE,%d,1,3,1\nVARIATIONEND,\n" % (11 + 2 * i)
               for i in reversed(range(300))) +
    b"[ReviewComment]\n.Comment,608\ndeep\n[Data]\nAA,B,1\n",
    # Charsets.
    "sjis-lang.ugf": b"[Header]\r\nLang=SJIS\r\nPlayerB=" + sjis("ソゾ") + b"," +
    sjis("七段") + b"\r\n[Data]\r\nPD,B1,1\r\n[Figure]\r\n.Text,1\r\n" +
    sjis("表") + b"]\r\n.#,1,1," + sjis("十") + b"\r\n",
    "sjis-guessed.ugf": b"[Header]\nTitle=" + sjis("表") + b"\n",
    "sjis-bad.ugf": b"[Header]\nLang=Shift_JIS\nTitle=a\nPlace=\x85\x40\x83\n",
    "eucjp.ugf": b"[Header]\nTitle=\xc9\xbd\nLang=euc-jp\n",
    "utf8.ugf": "[Header]\nTitle=表 Cup\nPlayerW=山田,七段\n".encode(),
    "utf8-bad.ugf": b"[Header]\rLang=utf8\rTitle=\x95\x5c\r",
    "lang-outside.ugf": b"[Figure]\nLang=EUC-JP\n[Header]\nTitle=\x95\x5c\n",
    "long-utf8.ugf": b"[Header]\nTitle=x" + "表".encode() * 400,
    "high-before-section.ugf": b"\x83\x5c\n[Header]\nTitle=T\n",
    "ascii-lang.ugf": b"[Header]\nLang=SJIS\nTitle=a]b\n",
    # Lines and bytes.
    "nul.ugf": b"[Header]\nTitle=a\0b\n[Figure]\n.Text,0\n\0\n",
    "ctrl-z.ugf": b"[Header]\r\nTitle=T\r\n\x1a[Data]\r\nPD,B,1\r\n",
    "cr-only.ugf": b"[Header]\rTitle=T\r[Data]\rPD,B1,1\r",
    "long-line.ugf": b"[Header]\nTitle=" + b"x" * 1494 + b"\n",
    "flood.ugf": b"[Header]\n" + b"y" * (1023 * 25) + b"\nSize=1\n",
    "sections.ugf": b"Title=Nope\n  [header] trailing\nTitle=A\n[Remote]\n"
    b"Title=B\n\t[DATA]x\nPD,B1,1\n\n",
    "no-section.ugf": b"Title=Ignored\nPD,B1,1\n",
    "empty.ugf": b"",
    "datafile.ugf": b"OUT=/sgf\nIN=/ugf\n[x]\n",
    # Header keys, odd and repeated.
    "keys.ugf": b"[Header]\nTitles=X\nVersion=2\nFoo\nTit=X\nCommentator=Kim\n"
    b"Commentato=x\nCoded=1\nComment=a\nComment=c]\nPlayerC=Carl,2k\n"
    b"Player\nPlayer;=x\nPlayerW\nplayerb=x,\xb2d\nRules=Chinese\n"
    b"Ptime=1;90\nDate=2006-01-15,10:00,2006-01-16\nSize=13x13\n"
    b"Winner=W,+6,5\nHdcp=2 ,,6.5\nHdcp=3,0.5\nDate=soon\nSize=x\n"
    b"Place=a:b]c\\d\nCopyright=(c) me\nWriter=w\nTitle=, , Cup\n",
    "players.ugf": b"[Header]\nPlayerB=Black,5dan?\nPlayerW=White, 3k*\n"
    b"PlayerB=Black,4 da]n\nPlayerW=K.Yamashita,Gosei,0,\n"
    b"PlayerB=B,  ,3d\n",
    "results.ugf": b"[Header]\nWinner=B,3]5\nWinner=o\nWinner=X\n",
    "size-27.ugf": b"[Header]\nTitle=A\nSize=27\nTitle=B\n",
    "coded.ugf": b"[Header]\nCrypt=plain_ugf\n",
    "coordinates.ugf": b"[Header]\nCoordinateType=IG\n",
    "huge-numbers.ugf": b"[Header]\nHdcp=" + b"9" * 100 + b",6.5\nPtime=;" +
    b"9" * 100 + b"\n",
    # Moves and notes.
    "moves.ugf": b"[Header]\nSize=9\n[Data]\nPP,B,0\nDD,B,0\nQP,W,1\n"
    b"Y,B,2\nAK,B,3\nPD, B,\t5\nYZ,W,7\nPD,B\nAA,B,4\nDD,B,4\nQP,W,0\n"
    b"[Figure]\n.Text,0\nzero\n.#,1,1,Z\n.Text,4\n.#,2,2,O\none\n"
    b".Text,7\nlost\n.TEXT, 5\nfive\n.ENDTEXT\nstray\n",
    "move-limits.ugf": b"[Data]\nAW,B,1\nAX,W,2\nPD,b,5\n",
    "labels.ugf": b"[Data]\nQP,W,1\n[Figure]\n.Text,1\n.#,1,1,X\nx\n"
    b".#,19,19,B\n.#,1,1,A,B\n.#,1,1,\n.#, 1,1,A\n.Text,2\nz\n",
    "pass-added.ugf": b"[Data]\nPP,B,0\nY,B,0\nDD,B,0\n",
    "many-moves.ugf": b"[Data]\n" + b"AA,B,1\n" * 10000,
    "many-comments.ugf": b"[Figure]\n.Text,1\n" + b"c\n" * 10000,
}

# Records whose SGF is meant to differ from the earlier program's.
CHANGED = {
    "bom.ugf": b"\xef\xbb\xbf[Header]\nSize=9\nPlayerB=" +
    "山田".encode() + b",2d\n[Data]\nCC,B,1\n",
    "bom-sjis-lang.ugf": b"\xef\xbb\xbf[Header]\nLang=SJIS\nTitle=" +
    "表".encode() + b"\n",
    "labels-off-board.ugf": b"[Header]\nSize=9\n[Data]\nCC,B,1\n[Figure]\n"
    b".Text,1\n.#,10,1,A\nx\n.#,1,1,B\n.#,0,1,C\n.#,1,12,D\n.#,9,9,E\n",
    "komi-forms.ugf": b"[Header]\nHdcp=0,5.\n",
    "komi-half.ugf": b"[Header]\nHdcp=0,.5\n",
    "komi-negative.ugf": b"[Header]\nHdcp=2,-.5\n",
}


def write(folder, records):
    os.makedirs(folder, exist_ok=True)
    for name, data in records.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("--source-dir",
                    default=os.path.dirname(os.path.dirname(
                        os.path.abspath(__file__))))
    args = ap.parse_args()
    same = os.path.join(args.dir, "same")
    write(same, SAME)
    write(os.path.join(args.dir, "changed"), CHANGED)
    shutil.copytree(os.path.join(args.source_dir, "examples", "ugf"),
                    os.path.join(same, "examples"))
    seeds = os.path.join(args.source_dir, "fuzz", "corpus", "convert_game")
    for name in sorted(os.listdir(seeds)):
        with open(os.path.join(seeds, name), "rb") as f:
            data = f.read()
        # A fuzz seed's first byte picks the trace level; the rest is the
        # record.
        write(os.path.join(same, "fuzz-seeds"), {name + ".ugf": data[1:]})
    print("make_special: %d records alike, %d changed on purpose"
          % (len(SAME), len(CHANGED)))


if __name__ == "__main__":
    main()
