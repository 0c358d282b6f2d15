#!/usr/bin/env python3
"""Mutation run: makes N single-edit mutants of the product code and counts how many the
tests catch.

usage: mutate.py [--seed S] [--count N] [--build DIR] [--slow corpus,suites|none]
                 [--only FILE[:LINE] ...] [--again OUTPUT] [--list]

The checkout is never edited. The files git tracks (as they stand in the working tree,
uncommitted changes included) and the untracked ones it does not ignore are copied to
DIR/src (default build-mutate/src), built in DIR/build, and every mutant is made there
and undone there, also when the run is interrupted. Each mutant is one edit of one line
of platform/ discovery/ driver/ classic/ model/ modern/ output/ helpproject/: a
comparison flipped, an integer constant off by one, && and || swapped, a statement
dropped, or a return at the head of a function. Then it is rebuilt incrementally and
the fast tests run (the unit tests, then the end-to-end tests but the corpus one), each
stage with a time limit, so that a mutant that loops is killed and counted as killed.
The survivors go on to the slow tests: the corpus comparison, then tests/suites/*.sh.
At the end: killed, survived and uncompiled counts, and each survivor's edit.
"""
import argparse
import filecmp
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
PRODUCT = ("platform", "discovery", "driver", "classic", "model", "modern", "output", "helpproject", "helpfile")
NOT_BUILT = {"platform/win32.cpp"}  # compiled for Windows only: no test here could see it
COMPARISONS = {"<": ["<=", ">="], "<=": ["<", ">"], ">": [">=", "<="], ">=": [">", "<"],
               "==": ["!="], "!=": ["=="]}
KEYWORDS = {"return", "break", "continue", "case", "default", "else", "do", "goto", "using",
            "typedef", "namespace", "template", "static_assert", "delete", "throw"}


# ---- Sites: where a mutant may be made -------------------------------------------------

def code_of(line):
    """The line with string and character literals blanked and its // comment cut, so that
    what is found in it is code (same length, so columns still match)."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            quote = None if c == quote else quote
        elif c in "\"'":
            if c == "'" and i > 0 and line[i - 1].isalnum():  # a digit separator
                out.append(c)
            else:
                quote = c
                out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out).ljust(len(line))


STATEMENT = re.compile(r"^(\s*)(\+\+|--)?[A-Za-z_][\w:]*(\s*(\.|->)\s*\w+|\[[^\]]*\])*\s*"
                       r"(\(|=[^=]|\+=|-=|\*=|\|=|&=|<<=|>>=|\+\+|--)")
FUNCTION = re.compile(r"^(static\s+|inline\s+)*(void|bool)\s+[\w:]+\(.*\)\s*(const\s*)?\{\s*$")


def sites_of(path, lines):
    """(line number, kind, before, after) for every mutant the file allows."""
    found = []
    in_block_comment = in_raw_string = False
    for number, line in enumerate(lines, 1):
        text = line.rstrip("\n")
        if in_raw_string or ('R"(' in text and ')"' not in text.split('R"(', 1)[1]):
            # A raw string's lines are text (a stylesheet...), not code.
            in_raw_string = ')"' not in text if in_raw_string else True
            continue
        if in_block_comment:
            if "*/" not in text:
                continue
            in_block_comment = False
            continue
        stripped = text.strip()
        if stripped.startswith("/*") and "*/" not in stripped:
            in_block_comment = True
            continue
        if stripped.startswith("#") or stripped.startswith("//") or not stripped:
            continue
        code = code_of(text)

        def edit(start, end, new, kind):
            found.append((number, kind, text, text[:start] + new + text[end:]))

        for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", code):
            for new in COMPARISONS[m.group(1)]:
                edit(m.start(), m.end(), new, "comparison")
        for m in re.finditer(r"(?<![\w.])(\d+)(?=[uUlL]*\b)(?!\.\d|[xX])", code):
            value = int(m.group(1))
            for new in {value + 1, max(value - 1, 0)} - {value}:
                edit(m.start(), m.end(), str(new), "constant")
        for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", code):
            edit(m.start(), m.end(), "||" if m.group(1) == "&&" else "&&", "logic")
        s = STATEMENT.match(code)
        if (s and code.rstrip().endswith(";") and code.count("(") == code.count(")")
                and "{" not in code and "}" not in code and s.group(0).split()[0] not in KEYWORDS
                and not re.search(r"=\s*(delete|default)\s*;", code)):
            found.append((number, "dropped", text, s.group(1) + "// dropped"))
        f = FUNCTION.match(code)
        if f and not text.startswith((" ", "\t")):
            value = "return;" if f.group(2) == "void" else "return false;"
            found.append((number, "early return", text, text + " " + value))
    return found


def product_files(src):
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "--cached", "--others", "--exclude-standard"],
                            capture_output=True, text=True, check=True).stdout.split()
    return sorted(p for p in set(listed) if p.split("/")[0] in PRODUCT and p.endswith((".cpp", ".h"))
                  and p not in NOT_BUILT and os.path.isfile(os.path.join(src, p)))


# ---- The private tree and its build -----------------------------------------------------

def sync_tree(src):
    """Makes `src` hold the checkout's files, leaving those that did not change alone (so
    that the build there stays incremental)."""
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "--cached", "--others", "--exclude-standard", "-z"],
                            capture_output=True, check=True).stdout.decode().split("\0")
    keep = set(filter(None, listed))
    for folder, _, names in os.walk(src):  # what the checkout no longer has goes too
        for name in names:
            if os.path.relpath(os.path.join(folder, name), src) not in keep:
                os.remove(os.path.join(folder, name))
    for rel in keep:
        origin, copy = os.path.join(ROOT, rel), os.path.join(src, rel)
        if not os.path.isfile(origin) or os.path.islink(origin):
            continue
        if os.path.exists(copy) and filecmp.cmp(origin, copy, shallow=False):
            continue
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copyfile(origin, copy)  # a fresh time stamp, newer than what was built before
        shutil.copymode(origin, copy)


def run(command, cwd, timeout, log):
    """Runs `command` in its own process group, killed whole at the time limit. Returns
    the exit status, or None on timeout."""
    with open(log, "ab") as out:
        out.write(("\n$ %s\n" % " ".join(command)).encode())
        out.flush()
        process = subprocess.Popen(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return None
        except BaseException:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            raise


def stages(build, src, slow):
    """(name, command, cwd, fast) for each stage of the tests, in order."""
    ctest = ["ctest", "--test-dir", build, "--stop-on-failure", "-j", str(os.cpu_count() or 2)]
    listed = [("unit", ctest + ["-E", r"^e2e\."], src, True),
              ("e2e", ctest + ["-R", r"^e2e\.", "-E", "corpus"], src, True)]
    if "corpus" in slow:
        listed.append(("corpus", ctest + ["-R", "corpus"], src, False))
    if "suites" in slow:
        for suite in sorted(os.listdir(os.path.join(src, "tests", "suites"))):
            if suite.endswith(".sh"):
                listed.append((suite, ["bash", os.path.join("tests", "suites", suite), build], src, False))
    return listed


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=60)
    ap.add_argument("--build", default=os.path.join(ROOT, "build-mutate"))
    ap.add_argument("--slow", default="corpus,suites", help="corpus,suites or none")
    ap.add_argument("--only", action="append", help="mutants of this file (or file:line) alone; may be repeated")
    ap.add_argument("--again", help="the survivors a run printed (its output, a file) instead of a seeded choice")
    ap.add_argument("--list", action="store_true", help="list the chosen mutants and stop")
    args = ap.parse_args()
    build_root = os.path.abspath(args.build)
    src, build = os.path.join(build_root, "src"), os.path.join(build_root, "build")
    log = os.path.join(build_root, "mutate.log")
    sites = []  # read from the checkout: the private tree is made alike below
    for rel in product_files(ROOT):
        with open(os.path.join(ROOT, rel)) as f:
            lines = f.readlines()
        sites += [(rel,) + site for site in sites_of(rel, lines)]
    if args.only:
        wanted = [place.partition(":")[::2] for place in args.only]
        sites = [s for s in sites if any(s[0] == file and (not line or s[1] == int(line)) for file, line in wanted)]
    chosen = random.Random(args.seed).sample(sites, min(args.count, len(sites)))
    if args.again:  # a run's survivors again, after tests were added for them; found by their
        # edit, at the line nearest the one they had (lines may have moved since)
        def key(label):
            m = re.match(r"(\S+?):(\d+) (.*)", label.strip())
            return m.group(1) + " " + m.group(3), int(m.group(2))
        with open(args.again) as f:
            wanted = [key(line.split("survived: ", 1)[1]) for line in f if line.strip().startswith("survived: ")]
        labelled = [(key("%s:%d %s: %s -> %s" % (s[0], s[1], s[2], s[3].strip(), s[4].strip())), s) for s in sites]
        chosen = [min((abs(k[1] - line), s) for k, s in labelled if k[0] == text)[1]
                  for text, line in wanted if any(k[0] == text for k, _ in labelled)]
    print("mutate: seed %d, %d mutants of %d sites; log in %s" % (args.seed, len(chosen), len(sites), log))
    if args.list:
        for rel, number, kind, before, after in chosen:
            print("  %s:%d %s: %s -> %s" % (rel, number, kind, before.strip(), after.strip()))
        return 0

    os.makedirs(src, exist_ok=True)
    sync_tree(src)
    # SIGTERM ends the run as Ctrl-C does, through the same clean-up.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    open(log, "w").close()
    configure = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release"]
    make = ["cmake", "--build", build, "-j", str(os.cpu_count() or 2)]
    if run(configure, src, 600, log) != 0 or run(make, src, 3600, log) != 0:
        print("mutate: the unmutated tree does not build (see %s)" % log)
        return 2
    # The corpus test converts one corpus, made once, and keeps mandoc's texts of it.
    maker = os.path.join(ROOT, "scripts", "man_corpus.py")
    corpus = os.path.join(build_root, "corpus")
    if not os.path.isdir(corpus):
        run([sys.executable, maker, corpus], src, 1800, log)
    if os.path.isdir(corpus):
        os.environ.update(TOLBRIK_CORPUS=corpus, TOLBRIK_MANDOC_CACHE=os.path.join(build_root, "mandoc-cache"))
    plan = stages(build, src, args.slow.split(","))
    # The time limit of each stage: three times what it takes on the unmutated tree, and a
    # minute more. The unmutated tree must pass the fast stages and the corpus test.
    limits = {}
    for name, command, cwd, fast in plan:
        if name != "corpus" and not fast:
            limits[name] = 3600
            continue
        began = time.time()
        if run(command, cwd, 3600, log) != 0:
            print("mutate: the unmutated tree fails stage %s (see %s)" % (name, log))
            return 2
        limits[name] = 3 * (time.time() - began) + 60

    killed, survived, uncompiled = [], [], []
    try:
        for n, (rel, number, kind, before, after) in enumerate(chosen, 1):
            path = os.path.join(src, rel)
            with open(path) as f:
                original = f.read()
            lines = original.split("\n")
            assert lines[number - 1] == before, "%s:%d changed" % (rel, number)
            lines[number - 1] = after
            label = "%s:%d %s: %s -> %s" % (rel, number, kind, before.strip(), after.strip())
            began = time.time()
            try:
                with open(path, "w") as f:
                    f.write("\n".join(lines))
                if run(make, src, 1800, log) != 0:
                    uncompiled.append(label)
                    verdict = "uncompiled"
                else:
                    verdict = None
                    for name, command, cwd, fast in plan:
                        status = run(command, cwd, limits[name], log)
                        if status != 0:
                            verdict = "killed by %s%s" % (name, "" if status is not None else " (time limit)")
                            killed.append(label)
                            break
                    if verdict is None:
                        survived.append(label)
                        verdict = "SURVIVED"
            finally:
                with open(path, "w") as f:
                    f.write(original)
            print("[%d/%d] %s (%ds): %s" % (n, len(chosen), verdict, time.time() - began, label), flush=True)
    except KeyboardInterrupt:
        print("mutate: interrupted; the private tree is restored")
    finally:
        run(make, src, 1800, log)  # leaves the private build as the tree is

    counted = len(killed) + len(survived)
    print("\nmutate: seed %d: %d killed, %d survived, %d uncompiled; %.1f %% of the mutants that "
          "compile killed" % (args.seed, len(killed), len(survived), len(uncompiled),
                              100.0 * len(killed) / max(counted, 1)))
    for label in survived:
        print("  survived: " + label)
    return 0


if __name__ == "__main__":
    sys.exit(main())
