#!/usr/bin/env python3
"""Write a synthetic tree of manual pages for scale runs.

usage: make_synthetic.py DEST --pages N [--folders F] [--refs K] [--seed S]

N pages in F folders (vol00/man1 .. vol00/man8, vol01/man1, ...), each page about 5 KB
(2 to 9 KB) of man-macro text shaped like a real page: NAME, SYNOPSIS, DESCRIPTION with
option items, SEE ALSO. Each page holds K cross-references to other pages' titles, half
as ".BR title (n)," lines and half as inline "\\fBtitle (n)\\fR"; the text also holds the
font escapes and option names of real pages, which are looked up and match nothing.
One title in fifty repeats an earlier one, as a few do in a real tree. The same
arguments always give the same bytes. Prints the number of pages and bytes.
"""
import argparse
import os
import random
import sys

WORDS = (
    "the a file is to of and or in each output input when with line be by as are this "
    "that it from option default value name program may not if an for all on is can "
    "read write given used no only directory which byte list its at set character "
    "pattern error status standard one more than command first last mode user system"
).split()
SYLLABLES = "ka lo mi ne ru st pr ob tal vex zin fo ge dup chm ix sy ct da re ad mon".split()


def sentence(rnd):
    n = rnd.randint(8, 18)
    out = []
    for _ in range(n):
        r = rnd.random()
        if r < 0.05:
            out.append("\\fB\\-%s\\fR" % rnd.choice("abcdfhlnoqrstvx"))
        elif r < 0.09:
            out.append("\\fI%s\\fP" % rnd.choice(WORDS))
        else:
            out.append(rnd.choice(WORDS))
    text = " ".join(out)
    return text[0].upper() + text[1:] + "."


def paragraph(rnd):
    """About 400 bytes: a few sentences, one per line, as man pages are written."""
    lines = []
    size = 0
    while size < 350:
        s = sentence(rnd)
        lines.append(s)
        size += len(s) + 1
    kind = rnd.random()
    if kind < 0.3:
        head = '.IP "\\fB\\-%s\\fR \\fI%s\\fR"\n' % (rnd.choice("abcdfhlnoqrstvx"), rnd.choice(WORDS))
    elif kind < 0.4:
        head = ".SS %s %s\n" % (rnd.choice(WORDS).capitalize(), rnd.choice(WORDS))
    elif kind < 0.5:
        head = ".nf\n%s\n.fi\n" % rnd.choice(WORDS)
    else:
        head = ".PP\n"
    return head + "\n".join(lines) + "\n"


def make_titles(rnd, count):
    titles = []
    for i in range(count):
        if i > 0 and rnd.random() < 0.02:
            titles.append(titles[rnd.randrange(i)])
            continue
        name = "".join(rnd.choice(SYLLABLES) for _ in range(rnd.randint(1, 3)))
        suffix, k = "", i
        while True:
            suffix += "abcdefghijklmnopqrstuvwxyz0123456789"[k % 36]
            k //= 36
            if k == 0:
                break
        titles.append(name + suffix)
    return titles


def folder_of(index, pages, folders):
    f = index * folders // pages
    return "vol%02d/man%d" % (f // 8, f % 8 + 1), f % 8 + 1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dest")
    ap.add_argument("--pages", type=int, required=True)
    ap.add_argument("--folders", type=int, default=0, help="default: one per 1000 pages, at least 8")
    ap.add_argument("--refs", type=int, default=20)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    folders = a.folders or max(8, a.pages // 1000)
    folders = min(folders, a.pages)

    rnd = random.Random(a.seed)
    pool = [paragraph(rnd) for _ in range(400)]
    titles = make_titles(rnd, a.pages)
    places = [folder_of(i, a.pages, folders) for i in range(a.pages)]
    made = set()
    total = 0
    for i in range(a.pages):
        folder, section = places[i]
        title = titles[i]
        name = title if (folder, title) not in made else "%s-%d" % (title, i)
        made.add((folder, name))
        refs = [rnd.randrange(a.pages) for _ in range(a.refs)]
        inline, see_also = refs[: a.refs // 2], refs[a.refs // 2 :]
        size = rnd.randint(2000, 8500)
        parts = [
            '.\\" Synthetic page %d\n.TH %s %d "2024-01-01" "synthetic 1.0" "Synthetic Manual"\n'
            ".SH NAME\n%s \\- %s\n.SH SYNOPSIS\n.B %s\n[\\fB\\-%s\\fR] [\\fIfile\\fR ...]\n"
            ".SH DESCRIPTION\n" % (i, title, section, title, " ".join(rnd.choice(WORDS) for _ in range(6)), title,
                                   rnd.choice("abcdfhlnoqrstvx")),
        ]
        # Paragraphs of about 430 bytes up to the page's size; the inline references are
        # spread over them.
        count = max(1, (size - 400) // 430)
        for j in range(count):
            p = rnd.choice(pool)
            for t in inline[j::count]:
                p += "See also \\fB%s (%d)\\fR for the details.\n" % (titles[t], places[t][1])
            parts.append(p)
        parts.append('.SH "SEE ALSO"\n')
        for t in see_also:
            parts.append(".BR %s (%d),\n" % (titles[t], places[t][1]))
        data = "".join(parts).encode("ascii")
        path = os.path.join(a.dest, folder, "%s.%d" % (name, section))
        if i == 0 or places[i - 1][0] != folder:
            os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        total += len(data)
    print("%d pages, %d bytes in %d folders" % (a.pages, total, folders))


if __name__ == "__main__":
    sys.exit(main())
