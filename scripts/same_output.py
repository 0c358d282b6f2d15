#!/usr/bin/env python3
"""same_output.py [--against REV] [--corpus DIR] [--work DIR]: whether the program built
from the working tree writes the same bytes as the one built from REV (default HEAD).

Both programs convert the same inputs: examples/, a corpus of this machine's manual pages
(made with man_corpus.py --languages unless --corpus names one) and the fuzz regression
inputs of the page targets (each as a page of its own). Each input is converted in the classic run (with
-chm) and with -modern, each with -jobs:1 and with the default jobs. Every file written,
standard output, standard error and the exit status must be the same. Prints each
difference it finds and exits 1 when there is one. Builds, corpus and outputs go under
--work (build-same/), and a revision's build is kept there for the next comparison
(`git worktree prune` after removing the folder).
"""
import argparse
import filecmp
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build(source, folder):
    """Builds the program of `source` in `folder`; returns its path."""
    subprocess.run(["cmake", "-S", source, "-B", folder, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", folder, "-j", str(os.cpu_count() or 2), "--target", "tolbrik"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(folder, "tolbrik")


def reference(rev, work):
    """The program of revision `rev`, built in a worktree under `work`."""
    commit = subprocess.run(["git", "-C", HERE, "rev-parse", "--verify", rev + "^{commit}"], check=True,
                            capture_output=True, text=True).stdout.strip()
    tree = os.path.join(work, "reference-" + commit[:12])
    if not os.path.isdir(tree):
        subprocess.run(["git", "-C", HERE, "worktree", "add", "--detach", "--force", tree, commit],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return build(tree, tree + "-build")


def fuzz_tree(work):
    """The fuzz regression inputs of the page targets as pages: their first byte (which
    chooses a target's options) off, regression/<target>/<input> as man1/<target>-<input>.1."""
    tree = os.path.join(work, "fuzz-pages")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(os.path.join(tree, "man1"))
    regression = os.path.join(HERE, "fuzz", "regression")
    for target in ("convert", "identify", "modern"):
        for name in sorted(os.listdir(os.path.join(regression, target))):
            with open(os.path.join(regression, target, name), "rb") as source:
                page = source.read()[1:]
            with open(os.path.join(tree, "man1", f"{target}-{name}.1"), "wb") as out:
                out.write(page)
    return tree


def differences(a, b, path=""):
    """The paths under which folders `a` and `b` differ."""
    found = []
    compared = filecmp.dircmp(a, b)
    for name in compared.left_only + compared.right_only:
        found.append(f"{path}{name}: only in one run")
    for name in compared.common_files:
        if not filecmp.cmp(os.path.join(a, name), os.path.join(b, name), shallow=False):
            found.append(f"{path}{name}: differs")
    for name in compared.common_dirs:
        found += differences(os.path.join(a, name), os.path.join(b, name), f"{path}{name}/")
    return found


def run(program, source, output, options):
    shutil.rmtree(output, ignore_errors=True)
    os.makedirs(output)
    done = subprocess.run([program, f"-indir:{source}", f"-outdir:{output}"] + options, capture_output=True,
                          env=dict(os.environ, SOURCE_DATE_EPOCH="1700000000"))
    return done.returncode, done.stdout, done.stderr


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--against", default="HEAD", help="the revision to compare with")
    parser.add_argument("--corpus", help="a tree of pages to convert besides examples/")
    parser.add_argument("--work", default=os.path.join(HERE, "build-same"),
                        help="where the builds, the corpus and the outputs go (build-same/, kept for the next run)")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)

    before = reference(args.against, work)
    after = build(HERE, os.path.join(work, "build"))
    corpus = args.corpus
    if corpus is None:
        corpus = os.path.join(work, "corpus")
        if not os.path.isdir(corpus):
            subprocess.run([sys.executable, os.path.join(HERE, "scripts", "man_corpus.py"), corpus, "--languages"],
                           check=True)
    inputs = {"examples": os.path.join(HERE, "examples"), "corpus": corpus, "fuzz": fuzz_tree(work)}
    runs = {"classic": ["-chm"], "modern": ["-modern"]}
    jobs = {"jobs1": ["-jobs:1"], "jobs": []}

    failures = 0
    for input_name, source in inputs.items():
        for run_name, options in runs.items():
            for jobs_name, more in jobs.items():
                label = f"{input_name} {run_name} {jobs_name}"
                results = []
                for side, program in (("before", before), ("after", after)):
                    output = os.path.join(work, "out", side)
                    results.append(run(program, source, output, options + more))
                found = differences(os.path.join(work, "out", "before"), os.path.join(work, "out", "after"))
                for what, a, b in zip(("status", "standard output", "standard error"), results[0], results[1]):
                    if a != b:
                        found.append(f"{what} differs")
                print(f"{label}: {'same' if not found else f'{len(found)} differences'}", flush=True)
                for line in found[:20]:
                    print(f"  {line}")
                failures += bool(found)
    shutil.rmtree(os.path.join(work, "out"), ignore_errors=True)
    print("same output" if failures == 0 else f"{failures} of the runs differ")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
