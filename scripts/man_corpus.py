#!/usr/bin/env python3
"""man_corpus.py DEST [--source DIR] [--limit N] [--copies K] [--languages]: a tree of this
machine's manual pages to convert, for the tests, the suites and the benchmark.

Every regular file under SOURCE/man1 .. SOURCE/man9 (SOURCE: /usr/share/man by default)
is copied to DEST with the same layout; a compressed page (.gz, .bz2, .xz) is written
decompressed under its name without that ending (ls.1.gz becomes ls.1). Links are
skipped, so each page is there once. With --languages the translations come too
(SOURCE/ru/man1 … as DEST/ru/man1 …). --limit keeps the first N pages in name order;
--copies K writes the whole tree K times, under DEST/copy1 .. DEST/copyK, for runs at
scale. Prints the number of files and bytes written; exits 1 when there are no pages.
"""
import argparse
import bz2
import gzip
import lzma
import os
import shutil
import sys

OPENERS = {".gz": gzip.open, ".bz2": bz2.open, ".xz": lzma.open}


def is_section(name):
    return name.startswith("man") and name[3:4].isdigit()


def page_paths(source, languages):
    """The pages under `source` as relative paths, sorted: the section folders first, then
    (with `languages`) each language's section folders."""
    names = sorted(os.listdir(source))
    tops = [name for name in names if is_section(name)]
    for name in names if languages else []:
        folder = os.path.join(source, name)
        if not is_section(name) and os.path.isdir(folder) and not os.path.islink(folder):
            tops += [os.path.join(name, sub) for sub in sorted(os.listdir(folder)) if is_section(sub)]
    found = []
    for top in tops:
        for folder, subfolders, names in os.walk(os.path.join(source, top)):
            subfolders.sort()
            for name in sorted(names):
                path = os.path.join(folder, name)
                if not os.path.islink(path) and os.path.isfile(path):
                    found.append(os.path.relpath(path, source))
    return found


def copy_page(source, target):
    """Copies one page, decompressed; returns its size, or None (said on stderr) when the
    page cannot be read."""
    ending = os.path.splitext(source)[1]
    try:
        if ending in OPENERS:
            with OPENERS[ending](source, "rb") as packed, open(target, "wb") as out:
                shutil.copyfileobj(packed, out)
        else:
            shutil.copyfile(source, target)
    except (OSError, EOFError, lzma.LZMAError) as e:
        print("man_corpus: skipped %s: %s" % (source, e), file=sys.stderr)
        if os.path.exists(target):
            os.remove(target)
        return None
    return os.path.getsize(target)


def make_corpus(dest, source="/usr/share/man", limit=0, copies=1, languages=False):
    """Writes the tree; returns (files, bytes) written."""
    pages = page_paths(source, languages)
    if limit:
        pages = pages[:limit]
    count = size = 0
    for copy in range(1, copies + 1):
        base = dest if copies == 1 else os.path.join(dest, "copy%d" % copy)
        for relative in pages:
            stem, ending = os.path.splitext(relative)
            target = os.path.join(base, stem if ending in OPENERS else relative)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            written = copy_page(os.path.join(source, relative), target)
            if written is not None:
                count += 1
                size += written
    return count, size


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("dest")
    parser.add_argument("--source", default="/usr/share/man")
    parser.add_argument("--limit", type=int, default=0)
    parser.add_argument("--copies", type=int, default=1)
    parser.add_argument("--languages", action="store_true")
    args = parser.parse_args()
    if not os.path.isdir(args.source):
        sys.exit("man_corpus: no folder %s" % args.source)
    count, size = make_corpus(args.dest, args.source, args.limit, max(args.copies, 1), args.languages)
    if count == 0:
        sys.exit("man_corpus: no manual pages under %s" % args.source)
    print("%d files, %d bytes in %s" % (count, size, args.dest))


if __name__ == "__main__":
    main()
