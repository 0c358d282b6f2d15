#!/usr/bin/env python3
"""Whole-process benchmark of tolbrik; prints one markdown table.

usage: run_bench.py [--build DIR] [--copies K] [--runs R] [--synthetic N,N] [--refs K]
                    [--ram DIR] [--settle S] [--no-real] [--no-alternatives] [--no-inner]
                    [--no-help-file]

Trees (made once and kept under BUILD/bench-trees/):
  - the real corpus: every manual page of this machine, decompressed by
    scripts/man_corpus.py (--copies K repeats it K times);
  - synthetic trees from bench/make_synthetic.py: N pages, one folder per 1000 pages,
    K cross-references per page.
On every tree, in the same session and on the same bytes: tolbrik with the help project,
and `cp -r` of the tree (the floor: the same bytes read and written). On the real corpus
also what a user would script otherwise, one mandoc -Thtml process per page. Each figure
is the median of R runs after one warm-up run; the tools take turns within each round so
that a busy machine weighs on all of them alike. Before each run the file system is synced
(not timed); every run writes into a fresh folder, and all of them are removed at the end.
The real corpus is measured again in RAM: both modes on one thread and on every core,
against `cp -r` and mandoc given all pages in one process; then tolbrik -modern with its
help file against its pages alone followed by chmcmd compiling the same project. The synthetic trees are measured a second time in RAM
(--ram, /dev/shm by default), where the file system's cost per file does not grow with
the number of files, so that the program's own scaling shows. Then the inner loops run
under Google Benchmark.
"""
import argparse
import datetime
import fcntl
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def note(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def loud_skip(what, why):
    line = "!!!!!!!! SKIPPED: %s (%s) !!!!!!!!" % (what, why)
    print(line, file=sys.stderr, flush=True)
    return line


# ---- Trees -------------------------------------------------------------------------------


def tree_stats(tree):
    """(candidate pages, bytes of all files, folders): a candidate's last '.' is followed
    by a digit, as the tool's name test asks."""
    pages, size, folders = [], 0, set()
    for root, dirs, names in os.walk(tree):
        dirs.sort()
        for n in sorted(names):
            p = os.path.join(root, n)
            size += os.path.getsize(p)
            rel = os.path.relpath(p, tree)
            dot = rel.rfind(".")
            if dot >= 0 and rel[dot + 1 : dot + 2].isdigit():
                pages.append(rel)
                folders.add(os.path.dirname(rel))
    return pages, size, sorted(folders)


def cached_tree(trees, name, make):
    """The tree `name` under `trees`, made by `make(dest)` unless a finished one is there."""
    dest = os.path.join(trees, name)
    done = dest + ".done"
    if os.path.exists(done) and os.path.isdir(dest):
        return dest
    if os.path.exists(dest):
        shutil.rmtree(dest)
    note("making the tree %s ..." % name)
    make(dest)
    with open(done, "w") as f:
        f.write(datetime.datetime.now().isoformat() + "\n")
    return dest


def real_corpus(trees, copies):
    tool = os.path.join(REPO, "scripts", "man_corpus.py")
    name = "corpus" if copies == 1 else "corpus-x%d" % copies

    def make(dest):
        subprocess.run([sys.executable, tool, dest, "--copies", str(copies)], check=True, stdout=sys.stderr)

    return cached_tree(trees, name, make), None


def synthetic_tree(trees, pages, refs):
    name = "synthetic-%d-refs%d" % (pages, refs)

    def make(dest):
        subprocess.run([sys.executable, os.path.join(REPO, "bench", "make_synthetic.py"), dest,
                        "--pages", str(pages), "--refs", str(refs)], check=True, stdout=sys.stderr)

    return cached_tree(trees, name, make)


# ---- Output folders ------------------------------------------------------------------------

# On ext4 without a journal, the inode allocator passes over inodes freed less than 60 s
# ago (360 s while their table block is dirty), testing each one: right after a tree of
# many files was removed, creating files costs several times its usual price, for cp as
# for tolbrik. Runs therefore write fresh folders, nothing is removed until the end, and a
# run that follows a removal waits until it has aged.
SETTLE_SECONDS = 370


def remove_outputs(runs_dir, stamp):
    shutil.rmtree(runs_dir, ignore_errors=True)
    os.sync()
    with open(stamp, "w") as f:
        f.write("%f\n" % time.time())


def settle(stamp, seconds):
    try:
        with open(stamp) as f:
            removed = float(f.read().strip() or 0)
    except (OSError, ValueError):
        return
    wait = removed + seconds - time.time()
    if wait > 0:
        note("waiting %.0f s: files were removed %.0f s ago, and the file system makes new "
             "files slowly until freed inodes have aged (--settle 0 skips this)" % (wait, seconds - wait))
        time.sleep(wait)


# ---- Runs --------------------------------------------------------------------------------


class Runner:
    def __init__(self, runs_dir, discard=False):
        self.runs_dir = runs_dir
        self.discard = discard  # remove each output right after its run
        self.serial = 0
        os.makedirs(runs_dir, exist_ok=True)

    def fresh(self, label):
        self.serial += 1
        return os.path.join(self.runs_dir, "%04d-%s" % (self.serial, label))

    def run(self, argv):
        """Runs argv once after a sync; returns (wall seconds, peak RSS in KB, CPU seconds,
        exit status). The figures of the process come from /usr/bin/time, which starts it
        from a small process: a child of this interpreter would count the interpreter's
        own memory in its peak. For a shell loop the peak is that of the largest single
        process."""
        report = os.path.join(self.runs_dir, "time.txt")
        os.sync()
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-q", "-f", "%M %U %S %x", "-o", report] + argv,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        with open(report) as f:
            rss, user, system, code = f.read().split()[-4:]
        return wall, int(rss), float(user) + float(system), int(code) if status == 0 else status


def per_page_script(work, tool_line):
    """A shell loop that runs one process per page, as a user would write it."""
    path = os.path.join(work, tool_line.split()[0] + "-per-page.sh")
    with open(path, "w") as f:
        f.write('#!/usr/bin/env bash\n# usage: script IN OUT LIST\nin=$1 out=$2 list=$3\n'
                'cd "$in" || exit 1\n'
                'while IFS= read -r d; do mkdir -p "$out/$d"; done < "$list.folders"\n'
                'while IFS= read -r f; do %s "$f" > "$out/${f%%.*}.html" 2>/dev/null; done < "$list"\n'
                % tool_line)
    return path


def write_list(work, name, pages, folders):
    path = os.path.join(work, name + ".pages")
    with open(path, "w") as f:
        f.write("".join(p + "\n" for p in pages))
    with open(path + ".folders", "w") as f:
        f.write("".join((d or ".") + "\n" for d in folders))
    return path


def measure_trees(runner, work, entries, tools, runs):
    """Runs each tool on each tree once to warm up, then `runs` rounds in which every tool
    runs on every tree in turn: trees measured side by side see the machine in the same
    state, which matters for a comparison between them (the scaling figures) on a machine
    whose speed drifts. `entries` is a list of (label, tree). Returns one
    ({tool: [(wall, rss, cpu, status), ...]}, pages, bytes, folders) per entry."""
    prepared = []
    for label, tree in entries:
        pages, size, folders = tree_stats(tree)
        full_list = write_list(work, label, pages, folders)
        warm_list = write_list(work, label + "-warm", pages[:500],
                               sorted({os.path.dirname(p) for p in pages[:500]}))
        prepared.append((label, tree, pages, size, folders, full_list, warm_list,
                         {name: [] for name, _ in tools}))
    for round_ in range(runs + 1):
        for label, tree, _, _, _, full_list, warm_list, results in prepared:
            for name, command in tools:
                out = runner.fresh("%s-%s" % (label, name.split()[0].strip(",")))
                warm = round_ == 0
                argv = command(tree, out, warm_list if warm else full_list)
                note("%s %s: %s run%s" % (label, name, "warm-up" if warm else "round %d" % round_,
                                         " (first 500 pages)" if warm and name in PER_PAGE else ""))
                result = runner.run(argv)
                if runner.discard:
                    shutil.rmtree(out, ignore_errors=True)
                if not warm:
                    results[name].append(result)
    return [(results, len(pages), size, len(folders))
            for _, _, pages, size, folders, _, _, results in prepared]


PER_PAGE = ("mandoc -Thtml, one process per page",)


ONE_PROCESS = "mandoc -Thtml, all pages in one process"
# The modern conversion alone, its pages and start page; the help file has rows of its own.
MODERN = "tolbrik -modern -nochm"
HELP_FILE = "tolbrik -modern, pages and help file"
CHMCMD = "tolbrik -modern -nochm, then chmcmd with search"


def help_file_rows(exe, tree, place, runs, pages, size):
    """tolbrik -modern writing its own help file, against the pages written without one
    and the project compiled by chmcmd (timed once: it takes minutes), on the same tree."""
    if shutil.which("chmcmd") is None:
        return [], [], [loud_skip(CHMCMD, "chmcmd (fp-utils) is not installed")]
    runner = Runner(os.path.join(place, "runs-help"))
    timed = {HELP_FILE: [], MODERN: []}
    sizes = {}
    for round_ in range(runs + 1):
        for name, extra in ((HELP_FILE, []), (MODERN, ["-nochm"])):
            out = runner.fresh(name.split(",")[0].replace(" ", ""))
            note("help file: %s %s" % (name, "warm-up" if round_ == 0 else "round %d" % round_))
            result = runner.run([exe, "-modern", *extra, "-indir:" + tree + "/", "-outdir:" + out + "/"])
            if round_:
                timed[name].append(result)
            if extra == [] and round_ == runs:
                sizes[HELP_FILE] = os.path.getsize(os.path.join(out, "tolbrik.chm"))
                os.remove(os.path.join(out, "tolbrik.chm"))
                project = out  # the same project, for chmcmd
                continue
            shutil.rmtree(out, ignore_errors=True)
    note("help file: chmcmd on the project (one run) ...")
    compiled = runner.run(["bash", "-c", 'cd "$0" && exec chmcmd tolbrik.hhp', project])
    sizes[CHMCMD] = os.path.getsize(os.path.join(project, "tolbrik.chm"))
    shutil.rmtree(project, ignore_errors=True)
    ours, bare = median_of(timed[HELP_FILE], 0), median_of(timed[MODERN], 0)
    theirs = bare + compiled[0]
    rows = ["| %s | real, in RAM | %s | %.0f | %s | %s | %.1f | %.1f MB | help file %.1f MB |" % (
                HELP_FILE, "{:,}".format(pages), size / 1e6, seconds(ours), rate(pages / ours), size / 1e6 / ours,
                median_of(timed[HELP_FILE], 1) / 1024, sizes[HELP_FILE] / 1e6),
            "| %s | real, in RAM | %s | %.0f | %s | %s | %.1f | %.1f MB | help file %.1f MB |" % (
                CHMCMD, "{:,}".format(pages), size / 1e6, seconds(theirs), rate(pages / theirs), size / 1e6 / theirs,
                compiled[1] / 1024, sizes[CHMCMD] / 1e6)]
    notes = ["Help file, whole real corpus: tolbrik -modern %s against %s + chmcmd %s (one run): %.0f × as fast, "
             "target at least 40: %s; %.1f MB against chmcmd's %.1f MB, target no larger: %s." % (
                 seconds(ours), seconds(bare), seconds(compiled[0]), theirs / ours,
                 "met" if theirs >= 40 * ours else "MISSED", sizes[HELP_FILE] / 1e6, sizes[CHMCMD] / 1e6,
                 "met" if sizes[HELP_FILE] <= sizes[CHMCMD] else "MISSED")]
    return rows, notes, []


def ram_corpus_tools(exe, work):
    """Both modes on one thread and on every core, `cp -r`, and mandoc given every page in
    one process (its own fastest use), where mandoc is installed."""
    def tolbrik(*extra):
        return lambda tree, out, _list: [exe, "-indir:" + tree + "/", "-outdir:" + out + "/", *extra]

    tools = [("tolbrik", tolbrik()), ("tolbrik, -jobs:1", tolbrik("-jobs:1")),
             (MODERN, tolbrik("-modern", "-nochm")), (MODERN + ", -jobs:1", tolbrik("-modern", "-nochm", "-jobs:1")),
             ("cp -r", lambda tree, out, _list: ["cp", "-r", tree, out])]
    if shutil.which("mandoc") is None:
        return tools, [loud_skip(ONE_PROCESS, "mandoc is not installed")]
    script = os.path.join(work, "mandoc-one-process.sh")
    with open(script, "w") as f:
        f.write('#!/usr/bin/env bash\n# usage: script IN OUT LIST\ncd "$1" || exit 1\nmkdir -p "$2"\n'
                'mapfile -t pages < "$3"\nmandoc -Thtml -- "${pages[@]}" > "$2/all.html" 2>/dev/null\n')
    tools.append((ONE_PROCESS, lambda tree, out, page_list: ["bash", script, tree, out, page_list]))
    return tools, []


def ram_corpus_notes(results):
    """What the runs in RAM show against their targets, and the speed-up per thread."""
    wall = {name: median_of(res, 0) for name, res in results.items()}
    floor = wall["cp -r"]
    threads = os.cpu_count() or 1
    notes = [
        "In RAM, classic on every core: %.2f × `cp -r`; target below 1: %s." % (
            wall["tolbrik"] / floor, "met" if wall["tolbrik"] < floor else "MISSED"),
        "In RAM, -modern (without its help file) on every core: %.2f × `cp -r`; target at most 1.5: %s." % (
            wall[MODERN] / floor, "met" if wall[MODERN] <= 1.5 * floor else "MISSED"),
        "In RAM, -modern (without its help file) on one thread: %.2f × `cp -r`; target at most 2.5: %s." % (
            wall[MODERN + ", -jobs:1"] / floor,
            "met" if wall[MODERN + ", -jobs:1"] <= 2.5 * floor else "MISSED"),
    ]
    for mode in ("tolbrik", MODERN):
        speedup = wall[mode + ", -jobs:1"] / wall[mode]
        notes.append("%s on %d threads (the default here) runs %.2f × as fast as on one: %.2f more "
                     "per added thread." % (mode, threads, speedup, (speedup - 1) / max(threads - 1, 1)))
    if ONE_PROCESS in wall:
        notes.append("%s: %.2f × `cp -r`, %.2f × %s." % (
            ONE_PROCESS, wall[ONE_PROCESS] / floor, wall[ONE_PROCESS] / wall[MODERN], MODERN))
    return notes


def tools_for(exe, work, alternatives):
    def tolbrik(tree, out, _list):
        return [exe, "-indir:" + tree + "/", "-outdir:" + out + "/"]

    def copy(tree, out, _list):
        return ["cp", "-r", tree, out]

    # The whole-tree tools warm up on the whole tree, which warms the page cache for the
    # per-page loops too; those warm up on the first 500 pages.
    tools = [("tolbrik", tolbrik), ("cp -r", copy)]
    skipped = []
    if alternatives:
        for (name, binary, line) in (
            (PER_PAGE[0], "mandoc", "mandoc -Thtml"),
        ):
            if shutil.which(binary) is None:
                skipped.append(loud_skip(name, "%s is not installed" % binary))
                continue
            script = per_page_script(work, line)

            def per_page(tree, out, page_list, script=script):
                return ["bash", script, tree, out, page_list]

            tools.append((name, per_page))
    return tools, skipped


# ---- Inner loops -------------------------------------------------------------------------


def inner_loops(bench_exe):
    if not os.access(bench_exe, os.X_OK):
        return None, loud_skip("inner-loop benchmarks", "%s was not built" % bench_exe)
    note("inner loops (Google Benchmark, median of 3 repetitions) ...")
    done = subprocess.run([bench_exe, "--benchmark_format=json", "--benchmark_repetitions=3",
                           "--benchmark_report_aggregates_only=true"],
                          check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    medians = {}
    for b in json.loads(done.stdout)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            medians[b["run_name"]] = b
    return medians, None


# ---- Formatting --------------------------------------------------------------------------


def seconds(s):
    return "%.2f s" % s if s >= 0.1 else "%.1f ms" % (s * 1e3)


def per_unit(ns):
    if ns >= 1e6:
        return "%.2f ms" % (ns / 1e6)
    if ns >= 1e3:
        return "%.1f µs" % (ns / 1e3)
    return "%.0f ns" % ns


def rate(x):
    if x >= 1e6:
        return "{:,.1f} M".format(x / 1e6)
    return "{:,.0f}".format(x)


def median_of(results, index):
    return statistics.median(r[index] for r in results)


def machine_line(work):
    model = ""
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    fs = "?"
    try:
        best = ""
        with open("/proc/mounts") as f:
            for line in f:
                parts = line.split()
                if os.path.realpath(work).startswith(parts[1]) and len(parts[1]) > len(best):
                    best, fs = parts[1], parts[2]
    except OSError:
        pass
    return "%d cores (%s), %.0f GB RAM, Linux %s, work folder on %s" % (
        os.cpu_count() or 0, model or platform.machine(), memory, platform.release(), fs)


def ram_folder(base, sizes, trees, refs):
    """A fresh folder for the runs in RAM under `base`, or None when `base` is not there
    or lacks room for the largest synthetic tree, one output and a margin."""
    if not base or not sizes or not os.path.isdir(base):
        return None
    largest = synthetic_tree(trees, max(sizes), refs)
    need = 3 * sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(largest) for f in fs)
    info = os.statvfs(base)
    if info.f_bavail * info.f_frsize < need:
        return None
    folder = os.path.join(base, "tolbrik-bench-%d" % os.getpid())
    os.makedirs(folder)
    return folder


def scaling_notes(per_page, sizes, where):
    notes = []
    for n in sizes:
        cost, rss, cpu, floor_cost = per_page[n]
        notes.append("Cost per page at {:,} synthetic pages{}: {:.1f} µs, of which {:.1f} µs CPU time "
                     "(`cp -r`: {:.1f} µs); peak memory {:.1f} MB.".format(
                         n, where, cost * 1e6, cpu * 1e6, floor_cost * 1e6, rss / 1024))
    if len(sizes) < 2:
        return notes
    small, large = min(sizes), max(sizes)
    growth = per_page[large][0] / per_page[small][0]
    def times(a, b):
        return "%.2f ×" % (a / b) if b > 0 else "n/a"  # CPU time of a tiny tree may read 0

    notes.append("Scaling{}: cost per page at {:,} is {:.2f} × the cost at {:,} (CPU time per page: "
                 "{}; `cp -r`: {}); target at most 1.2: {}.".format(
                     where, large, growth, small, times(per_page[large][2], per_page[small][2]),
                     times(per_page[large][3], per_page[small][3]), "met" if growth <= 1.2 else "MISSED"))
    if not where:
        extra = (per_page[large][1] - per_page[small][1]) * 1024 / (large - small)
        notes.append("Peak memory grows by {:.0f} bytes per added page from {:,} to {:,} pages: the "
                     "page's text, held from identification to conversion (up to an eighth of the "
                     "machine's memory, at most 1 GiB), its file-list entry, title, page record and index "
                     "entry (which holds its title and path again, so that a link is looked up in one "
                     "place).".format(extra, small, large))
    return notes


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(REPO, "build-bench"))
    ap.add_argument("--copies", type=int, default=1)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--synthetic", default="10000,100000")
    ap.add_argument("--refs", type=int, default=20)
    ap.add_argument("--no-real", action="store_true")
    ap.add_argument("--no-alternatives", action="store_true")
    ap.add_argument("--no-inner", action="store_true")
    ap.add_argument("--no-help-file", action="store_true",
                    help="leave out the help file's rows (chmcmd takes minutes on the real corpus)")
    ap.add_argument("--no-disk", action="store_true",
                    help="synthetic trees in RAM only (quick scaling checks)")
    ap.add_argument("--ram", default="/dev/shm",
                    help="a RAM file system for a second scaling pass ('' skips it)")
    ap.add_argument("--settle", type=int, default=SETTLE_SECONDS,
                    help="seconds to wait after a removal of many files (default %(default)s)")
    a = ap.parse_args()

    build = os.path.abspath(a.build)
    exe = os.path.join(build, "tolbrik")
    trees = os.path.join(build, "bench-trees")
    work = os.path.join(build, "bench-work")
    runs_dir = os.path.join(work, "runs")
    os.makedirs(trees, exist_ok=True)
    os.makedirs(work, exist_ok=True)
    # One benchmark at a time per build folder: two would share the trees, the output
    # folders and the machine.
    lock = open(os.path.join(work, "lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        note("another benchmark is running in %s; waiting for it to end ..." % build)
        fcntl.flock(lock, fcntl.LOCK_EX)
    stamp = os.path.join(work, "last-removal")
    if os.path.exists(runs_dir):
        note("removing the outputs of an earlier, unfinished run ...")
        remove_outputs(runs_dir, stamp)
    settle(stamp, a.settle)
    os.makedirs(runs_dir)
    runner = Runner(runs_dir)
    load_start = os.getloadavg()[0]
    started = datetime.datetime.now(datetime.timezone.utc)

    rows, notes, skipped = [], [], []
    header = ("| Measurement | Tree | Pages | MB | Time (median) | Pages/s | MB/s | Peak memory "
              "| Ratio |\n|---|---|--:|--:|--:|--:|--:|--:|--:|")

    def whole_rows(label, results, pages, size, into):
        floor = median_of(results["cp -r"], 0)
        for name, res in results.items():
            wall = median_of(res, 0)
            ratio = "1.00 (floor)" if name == "cp -r" else "%.2f × cp -r" % (wall / floor)
            into.append("| %s | %s | %s | %.0f | %s | %s | %.1f | %.1f MB | %s |" % (
                name, label, "{:,}".format(pages), size / 1e6, seconds(wall), rate(pages / wall),
                size / 1e6 / wall, median_of(res, 1) / 1024, ratio))
        return floor

    corpus_text = []

    # Synthetic trees, for scaling: on the disk, and in RAM where the file system's own
    # cost per file does not change with the number of files. The pass in RAM goes first,
    # while the machine holds no outputs yet: after the disk passes, which leave over a
    # million files in the caches, its large tree was seen to run up to 40 % slower, which
    # its small tree did not show.
    sizes = [int(n) for n in a.synthetic.split(",") if n]
    ram = ram_folder(a.ram, sizes, trees, a.refs)
    if ram is None and sizes and a.ram:
        skipped.append(loud_skip("scaling runs in RAM", "%s is missing or has too little room" % a.ram))

    def synthetic_pass(where, place_runner, copy_root, into, pass_notes):
        entries = []
        for n in sizes:
            tree = synthetic_tree(trees, n, a.refs)
            if copy_root is not None:
                note("copying the synthetic tree of {:,} pages into {} ...".format(n, copy_root))
                copy = os.path.join(copy_root, os.path.basename(tree))
                shutil.rmtree(copy, ignore_errors=True)
                shutil.copytree(tree, copy)
                tree = copy
            entries.append(("synthetic-%d" % n, tree))
        tools, _ = tools_for(exe, work, False)
        measured = measure_trees(place_runner, work, entries, tools, a.runs)
        per_page = {}
        for n, (_, tree), (results, pages, size, folders) in zip(sizes, entries, measured):
            if copy_root is not None:
                shutil.rmtree(tree, ignore_errors=True)
            whole_rows("synthetic {:,}{}".format(n, where), results, pages, size, into)
            per_page[n] = (median_of(results["tolbrik"], 0) / pages, median_of(results["tolbrik"], 1),
                           median_of(results["tolbrik"], 2) / pages, median_of(results["cp -r"], 0) / pages)
            if not where:
                corpus_text.append("synthetic: {:,} pages in {} folders, {} cross-references per page, "
                                   "{:.1f} KB per page".format(pages, folders, a.refs, size / pages / 1e3))
        pass_notes.extend(scaling_notes(per_page, sizes, where))

    ram_rows, ram_notes = [], []
    if ram is not None and sizes:
        synthetic_pass(", in RAM", Runner(os.path.join(ram, "runs"), discard=True), ram, ram_rows, ram_notes)
        shutil.rmtree(ram, ignore_errors=True)

    # The real corpus.
    if not a.no_real:
        tree, why = real_corpus(trees, a.copies)
        if tree is None:
            skipped.append(loud_skip("real corpus", why))
        else:
            tools, skipped_tools = tools_for(exe, work, not a.no_alternatives)
            skipped += skipped_tools
            label = "real" if a.copies == 1 else "real ×%d" % a.copies
            [(results, pages, size, folders)] = measure_trees(runner, work, [("real", tree)], tools, a.runs)
            floor = whole_rows(label, results, pages, size, rows)
            ours = median_of(results["tolbrik"], 0)
            corpus_text.append("real: this machine's manual pages (scripts/man_corpus.py%s), %s files, "
                               "%.0f MB, %d folders" % ("" if a.copies == 1 else " --copies %d" % a.copies,
                                                        "{:,}".format(pages), size / 1e6, folders))
            notes.append("Full real corpus with the help project: %s, %.2f × `cp -r` (%s); target at "
                         "most 2: %s." % (seconds(ours), ours / floor, seconds(floor),
                                          "met" if ours <= 2 * floor else "MISSED"))
            for name in PER_PAGE:
                if name in results:
                    notes.append("%s takes %.1f × as long as tolbrik on the same tree." % (
                        name, median_of(results[name], 0) / ours))
    # The real corpus once more in RAM, where the disk's noise is out of the way: the two
    # modes on one thread and on every core, against cp -r and mandoc in one process.
    if not a.no_real and a.ram and os.path.isdir(a.ram):
        tree, why = real_corpus(trees, a.copies)
        if tree is not None:
            place = os.path.join(a.ram, "tolbrik-bench-real-%d" % os.getpid())
            note("copying the real corpus into %s ..." % place)
            copy = os.path.join(place, "corpus")
            shutil.copytree(tree, copy)
            tools, skipped_tools = ram_corpus_tools(exe, work)
            skipped += skipped_tools
            [(results, pages, size, _)] = measure_trees(Runner(os.path.join(place, "runs"), discard=True), work,
                                                          [("real-ram", copy)], tools, a.runs)
            whole_rows("real, in RAM", results, pages, size, rows)
            notes.extend(ram_corpus_notes(results))
            if not a.no_help_file:
                help_rows, help_notes, help_skipped = help_file_rows(exe, copy, place, a.runs, pages, size)
                rows += help_rows
                notes += help_notes
                skipped += help_skipped
            shutil.rmtree(place, ignore_errors=True)
    if sizes and not a.no_disk:
        synthetic_pass("", runner, None, rows, notes)
    rows.extend(ram_rows)
    notes.extend(ram_notes)

    # Inner loops.
    if not a.no_inner:
        medians, why = inner_loops(os.path.join(build, "bench", "tolbrik_bench"))
        if medians is None:
            skipped.append(why)
        else:
            for arg in ("10000", "100000"):
                b = medians.get("convert_page_in_memory/" + arg)
                if b:
                    rows.append("| convert one page, memory to memory (inner loop) | 5 KB page, 20 links, "
                                "table of {:,} | 1 | {:.3f} | {} | {} | {:.1f} | – | – |".format(
                                    int(arg), b["page_bytes"] / 1e6, per_unit(b["cpu_time"]),
                                    rate(b["items_per_second"]), b["bytes_per_second"] / 1e6))
            for arg in ("1000", "10000", "100000"):
                indexed = medians.get("find_title_indexed/" + arg)
                linear = medians.get("find_title_linear/" + arg)
                if indexed and linear:
                    rows.append("| title lookup, indexed (inner loop) | table of {:,} | – | – | {} | {} | – | – "
                                "| table-order scan {:.0f} × slower |".format(
                                    int(arg), per_unit(indexed["cpu_time"]),
                                    rate(indexed["items_per_second"]),
                                    linear["cpu_time"] / indexed["cpu_time"]))
            b = medians.get("relative_path_of_link")
            if b:
                rows.append("| relative path of a link (inner loop) | – | – | – | {} | {} | – | – | – |".format(
                    per_unit(b["cpu_time"]), rate(b["items_per_second"])))

    note("removing the outputs of the runs ...")
    remove_outputs(runs_dir, stamp)

    print("Date: %s · Machine: %s · Load average %.1f at the start, %.1f at the end" % (
        started.strftime("%Y-%m-%d %H:%M UTC"), machine_line(work), load_start, os.getloadavg()[0]))
    print()
    print("Corpus: " + "; ".join(corpus_text) if corpus_text else "Corpus: none")
    print()
    print("Whole-process rows: median of %d runs after one warm-up run (the page cache cannot be "
          "dropped: every tree is read warm); the tools take turns in each round, and so do the "
          "synthetic sizes; each run "
          "writes a fresh output folder after a sync (in RAM, each output is removed right after "
          "its run). Peak memory is the largest resident set of "
          "the process (for the per-page loops, of the largest single process). Inner loops: CPU "
          "time per operation, median of 3 Google Benchmark repetitions." % a.runs)
    print()
    print(header)
    for row in rows:
        print(row)
    print()
    for line in notes + skipped:
        print("- " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
