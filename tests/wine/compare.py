#!/usr/bin/env python3
"""Runs the Linux build and the Windows build (under Wine) on the same input trees and
checks that the two write the same files, byte for byte, and print the same console bytes.

The trees are made in a new folder under the first --work-in folder that can hold one, and
removed at the end; WINEPREFIX and WINEDEBUG come from the environment. Exit status 0 when
every case agrees, 1 when one does not, 77 when no --work-in folder can hold a tree.

Why the trees are made the way they are:
- Both programs take a folder's entries in one order of their own (names compared with
  their letters as capitals), whatever order the file system lists them in: each tree is
  made in the reverse of that order for Linux, in that order for Windows (a tmpfs lists
  entries in the order they were made, or its reverse).
- Names are plain ASCII that Windows accepts, no two in a folder differing only in letter
  case: no other name has one spelling that both programs would see.
- The Windows runtime's standard output is a text stream: each LF reaches the pipe as
  CR LF, the one difference accepted. Standard error names paths in each platform's own
  spelling; it is compared with Windows' backslashes read as '/' and each side's case
  folder taken out, after the same LF to CR LF step.
- A folder that exists under the output folder in another letter case is used as it is
  by Windows, while Linux makes a second one beside it: that case compares each file at
  the path Windows must use.
"""
import argparse, os, shutil, subprocess, sys, tempfile

HIDDEN_SYSTEM = b"0x6"  # Wine keeps DOS attributes in this extended attribute


def windows_key(name):  # the order in which Wine (like NTFS) lists a folder
    return name.upper().encode("ascii")


# ---- Input trees ----------------------------------------------------------------------
# A tree maps '/'-separated relative paths to bytes (a file) or None (a folder, which
# may be empty). Folders on the way to a file need not be named.

def page(title, section, body=b""):
    return b".TH " + title + b" " + section + b" 2024-05-01 tolbrik\n" + body


def crlf(text):
    return text.replace(b"\n", b"\r\n")


def big_crlf_page():
    """A page of CR LF lines over 200 KiB, with CR LF pairs and lone CRs placed across
    the 4 KiB and 64 KiB boundaries at which stream buffers refill."""
    out = bytearray(crlf(page(b"BIG", b"1", b".SH NAME\nbig \\- a long page\n.SH TEXT\n")))
    n = 0
    while len(out) < 210 * 1024:
        n += 1
        out += crlf(b".B LS\nline %d of a long page %s\n" % (n, b"x" * (n % 97)))
    for boundary in (4096, 65536, 131072, 196608):
        # A CR LF pair split by the boundary, then a lone CR on it a little further on.
        out[boundary - 1:boundary + 1] = b"\r\n"
        out[boundary + 99:boundary + 101] = b"\rq"
    return bytes(out)


def mixed_tree():
    """The tree of the option cases: letter case in folder names, CR LF sources, a
    folder named like a page, hidden files and folders, names with blanks and
    punctuation, a Ctrl-Z, a candidate without a title line, deep folders."""
    see_also = b".SH SEE ALSO\n.BR LS (1),\n.BR CAT (1),\n.BR CONFIG (5),\n.B INNER\nand\n.I DEEP\n"
    return {
        "intro.7": page(b"INTRO", b"7", b".SH NAME\nintro \\- the pages of this tree\n" + see_also),
        "README": b"not a page: no dot in the name\n",
        "notes.txt": b".TH NOTES 1\nnot a page: no digit after the last dot\n",
        ".hidden.1": page(b"HIDDEN", b"1", b".SH NAME\nhidden \\- a dot name\n" + see_also),
        "..twodots.1": page(b"TWODOTS", b"1", b".SH NAME\ntwodots\n.BR LS (1)\n"),
        "zero.1": b"",
        "notitle.2": b".SH NAME\nno title line here\n",
        "lateTH.1": b".SH NAME\n\x1a.TH LATE 1\ntext after a Ctrl-Z is never read\n",
        "Man1/ls.1": crlf(page(b"LS", b"1", b".SH NAME\nls \\- list\n.SH DESCRIPTION\n"
                               b".B ls\nlists; see\n.BR CAT (1)\nand \\fBCONFIG\\fR.\n"
                               b".SS Options\n.TP\n.B \\-l\nlong\n.PP\n" + see_also)),
        "Man1/cat.1": page(b"CAT", b"1", b".SH NAME\ncat\r \\- a lone CR stays\n.SH SEE ALSO\n"
                                        b".BR LS (1)\nwith CR CR LF:\r\r\n.B INTRO\r\n"),
        "Man1/ctrlz.1": page(b"CTRLZ", b"1", b".SH NAME\nctrlz \\- ends at the Ctrl-Z\n"
                                             b".B LS\n\x1a.SH LOST\n.B CAT\nnever read\n"),
        "Man1/g++.1": page(b"G++", b"1", b".SH NAME\ng++ \\- punctuation in a name\n.BR LS (1)\n"),
        "Man1/x [y] z.1": page(b"XYZ", b"1", b".SH NAME\nblanks and brackets\n.B G++\n"),
        "Man1/hs.1": page(b"HS", b"1", b".SH NAME\nhs \\- hidden and system attributes\n.B LS\n"),
        "Man1/big.1": big_crlf_page(),
        "MAN5/config.5": crlf(page(b"CONFIG", b"5", b".SH NAME\nconfig\n.SH FILES\n.I /etc/x\n"
                                                    b".SH SEE ALSO\n.BR LS (1)\n")),
        "MAN5/config.5.bak": b".TH CONFIGBAK 5\nnot a page: a letter after the last dot\n",
        "man.1/inner.1": page(b"INNER", b"1", b".SH NAME\ninner \\- in a folder named like a page\n"
                                             b".BR LS (1)\n.BR CONFIG (5)\n"),
        ".attic/old.8": page(b"OLD", b"8", b".SH NAME\nold \\- in a folder with a dot name\n.B INTRO\n"),
        "Hidden/kept.8": page(b"KEPT", b"8", b".SH NAME\nkept \\- in a hidden folder\n.B LS\n"),
        "empty": None,
        "deep/a/B/c/D/page.3x": crlf(page(b"DEEP", b"3x", b".SH NAME\ndeep\n.SH SEE ALSO\n"
                                                         b".BR LS (1),\n.BR INNER (1)\n")),
        "deep/a/B/zz.9": page(b"ZZ", b"9", b".SH NAME\nzz\n.I DEEP\n"),
        "UPPER.1": page(b"UPPER", b"1", b".SH NAME\nUPPER \\- a capital file name\n.B ls\n.B LS\n"),
    }


MIXED_HIDDEN = ["Man1/hs.1", "Hidden"]


def under(prefix, tree):
    return {prefix + "/" + rel: data for rel, data in tree.items()}


def read_tree(folder):  # a folder on disk as a tree
    files, dirs = snapshot(folder)
    return {**{d.replace(os.sep, "/"): None for d in dirs}, **{p.replace(os.sep, "/"): b for p, b in files.items()}}


# ---- Making trees in the Windows order ------------------------------------------------

def children_of(tree):  # folder -> {name: is_folder}, '' being the top
    children = {"": {}}
    for rel, data in tree.items():
        parts = rel.split("/")
        for i, name in enumerate(parts):
            is_folder = i < len(parts) - 1 or data is None
            names = children.setdefault("/".join(parts[:i]), {})
            names[name] = names.get(name, False) or is_folder
            if is_folder:
                children.setdefault("/".join(parts[:i + 1]), {})
    return children


def materialize(tree, root, reverse, hidden=()):
    """Creates `tree` under `root`, every folder's entries made in the Windows order, or
    in its reverse."""
    children = children_of(tree)
    os.makedirs(root)

    def make(folder):
        names = sorted(children.get(folder, {}), key=windows_key, reverse=reverse)
        for name in names:
            rel = (folder + "/" + name).lstrip("/")
            path = os.path.join(root, rel)
            if children[folder][name]:
                os.mkdir(path)
            else:
                with open(path, "wb") as f:
                    f.write(tree[rel])
        for name in sorted(names, key=windows_key):
            if children[folder][name]:
                make((folder + "/" + name).lstrip("/"))

    make("")
    try:
        for rel in hidden:
            os.setxattr(os.path.join(root, rel), "user.DOSATTRIB", HIDDEN_SYSTEM)
        return True
    except OSError:
        return False


# ---- Runs -----------------------------------------------------------------------------

class Case:
    """One run of both programs. In `args`, {DB} is the case folder as each platform spells
    an absolute path (Z:\\dev\\shm\\... and /dev/shm/...), {DF} the same with '/', {DR} the
    same from the current drive's root with backslashes (\\dev\\shm\\...). `folded`: a folder
    exists under the output folder in another letter case. `writes`: whether the run must
    write files (None: either way), so that a case cannot pass by both writing nothing."""

    def __init__(self, name, tree, args, cwd="", hidden=(), folded=False, writes=True):
        self.name, self.tree, self.args, self.cwd = name, tree, args, cwd
        self.hidden, self.folded, self.writes = hidden, folded, writes


def spell(template, folder, windows):
    backslashed = folder.replace("/", "\\")
    drive = "Z:" if windows else ""
    return (template.replace("{DB}", drive + (backslashed if windows else folder))
            .replace("{DF}", drive + folder).replace("{DR}", backslashed))


def run(command, cwd):
    """Runs `command`; returns its exit status, standard output and standard error. The
    two streams go to files, not pipes: Wine's own helper processes, which outlive the
    program by a few seconds, inherit them, and a pipe would not end before they do."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=300)
        return (done.returncode, *(f.seek(0) or f.read() for f in (out, err)))


def snapshot(folder):  # ({relative path: bytes} of the files, {relative path} of the folders)
    files, dirs = {}, set()
    for root, subdirs, names in os.walk(folder):
        dirs.update(os.path.relpath(os.path.join(root, name), folder) for name in subdirs)
        for name in names:
            with open(os.path.join(root, name), "rb") as f:
                files[os.path.relpath(os.path.join(root, name), folder)] = f.read()
    return files, dirs


def fold_onto_existing(path, existing):
    """`path` spelt the way Windows resolves it: each leading component that names a
    folder which existed before the run, in any letter case, takes that folder's
    spelling."""
    parts = path.split(os.sep)
    for i in range(len(parts)):
        prefix = os.sep.join(parts[:i + 1]).upper()
        if prefix in existing:
            parts[:i + 1] = existing[prefix].split(os.sep)
    return os.sep.join(parts)


def describe(label, a, b):
    i = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    return "%s: %d bytes vs %d, first difference at byte %d: %r vs %r" % (
        label, len(a), len(b), i, a[max(0, i - 40):i + 40], b[max(0, i - 40):i + 40])


def compare_case(case, linux_root, windows_root, linux_exe, windows_command):
    """Runs the case in its two copies; returns (problems, files written, files compared)."""
    problems, results = [], {}
    for side, root, command in (("linux", linux_root, [linux_exe]),
                                ("windows", windows_root, windows_command)):
        windows = side == "windows"
        folder = os.path.join(root, case.name)
        args = [spell(a, folder, windows) for a in case.args]
        cwd = os.path.join(folder, case.cwd)
        results[side] = run(command + args, cwd) + snapshot(folder) + (args,)

    l_status, l_out, l_err, l_files, l_dirs, l_args = results["linux"]
    w_status, w_out, w_err, w_files, w_dirs, w_args = results["windows"]
    if l_status != w_status:
        problems.append("exit status: Linux %d, Windows %d" % (l_status, w_status))
    if w_out != l_out.replace(b"\n", b"\r\n"):
        problems.append(describe("standard output (Linux with LF as CR LF vs Windows)",
                                 l_out.replace(b"\n", b"\r\n"), w_out))
    l_err = l_err.replace(os.path.join(linux_root, case.name).encode(), b"<case>")
    w_err = w_err.replace(b"\\", b"/").replace(b"Z:" + os.path.join(windows_root, case.name).encode(),
                                                b"<case>").replace(
        os.path.join(windows_root, case.name).encode(), b"<case>")
    if w_err != l_err.replace(b"\n", b"\r\n"):
        problems.append(describe("standard error (Linux with LF as CR LF vs Windows with / for \\)",
                                 l_err.replace(b"\n", b"\r\n"), w_err))

    if case.folded:
        existing = {rel.replace("/", os.sep).upper(): rel.replace("/", os.sep)
                    for rel in children_of(case.tree) if rel}
        l_files = {fold_onto_existing(p, existing): data for p, data in l_files.items()}
        l_dirs = {fold_onto_existing(p, existing) for p in l_dirs}
    for path in sorted(set(l_files) | set(w_files)):
        if path not in w_files or path not in l_files:
            problems.append("only %s wrote %s" % ("Linux" if path in l_files else "Windows", path))
        elif l_files[path] != w_files[path]:
            problems.append(describe(path, l_files[path], w_files[path]))
    problems += ["folder %s only on %s" % (path, "Linux" if path in l_dirs else "Windows")
                 for path in sorted(l_dirs ^ w_dirs)]

    before = {rel.replace("/", os.sep): data for rel, data in case.tree.items() if data is not None}
    written = [p for p, data in w_files.items() if before.get(p) != data]
    if case.writes is not None and bool(written) != case.writes:
        problems.append("the run was to write %s, and wrote %d files"
                        % ("files" if case.writes else "nothing", len(written)))
    if problems:
        problems.insert(0, "arguments: Linux %r, Windows %r" % (l_args, w_args))
    return problems, len(written), len(w_files)


def cases(source, corpus):
    mixed = mixed_tree()
    existing_same_case = under("in", mixed)
    existing_same_case.update({
        "out/Man1": None,                      # exists already, same spelling as the input
        "out/MAN5/config.htm": b"stale page, overwritten\n",
        "out/tolbrik.hhc": b"stale contents file, overwritten\n",
        "out/keep.txt": b"not touched\n",
    })
    existing_other_case = under("in", mixed)
    existing_other_case.update({"out/MAN1": None, "out/Deep/A": None})
    examples = read_tree(os.path.join(source, "examples"))
    listed = [
        Case("abs-backslash", under("in", mixed), ["-indir:{DB}\\in", "-outdir:{DB}\\out"],
             hidden=["in/" + h for h in MIXED_HIDDEN]),
        Case("abs-backslash-trailing", under("in", mixed), ["-indir:{DB}\\in\\", "-outdir:{DB}\\out\\"]),
        Case("forward-slashes", under("in", mixed), ["-outdir:{DF}/out", "-indir:{DF}/in"]),
        Case("forward-slashes-trailing", under("in", mixed), ["-indir:{DF}/in/", "-outdir:{DF}/out/"]),
        Case("relative", under("in", mixed), ["-indir:in", "-outdir:out\\html\\"]),
        # Output folders named with both kinds of slash, and from the drive's root, once
        # with the output tree there already and once without it.
        Case("mixed-separators-existing", dict(under("in", mixed), **{"out/x": None}),
             ["-indir:./in/", "-outdir:out/x\\y"]),
        Case("mixed-separators-missing", under("in", mixed), ["-indir:in", "-outdir:out/x\\y"],
             writes=None),
        Case("drive-root-existing", dict(under("in", mixed), **{
            "out/" + rel: None for rel in children_of(mixed) if rel}),
             ["-indir:{DR}\\in\\", "-outdir:{DR}\\out"]),
        Case("drive-root-missing", under("in", mixed), ["-indir:{DR}\\in", "-outdir:{DR}\\out"],
             writes=None),
        Case("blank-in-folder-names", under("my pages", mixed), ["-indir:my pages", "-outdir:my out\\"]),
        Case("defaults", under("in", mixed), [], cwd="in"),
        Case("output-inside-input", under("in", mixed), ["-indir:{DB}\\in\\", "-outdir:{DB}\\in\\html"]),
        Case("nochm", under("in", mixed), ["-nochm", "-indir:in", "-outdir:out"]),
        Case("existing-output-folders", existing_same_case, ["-indir:in\\", "-outdir:out"]),
        Case("existing-output-folder-other-case", existing_other_case, ["-indir:in", "-outdir:out"],
             folded=True),
        # "-noch?" would become "-nochm", the name of a file in the working folder, if
        # the start-up expanded wildcards.
        Case("no-wildcard-expansion", dict(under("in", mixed), **{"-nochm": b""}),
             ["-indir:in", "-outdir:out", "-noch?"]),
        Case("help", {"in/a.1": page(b"A", b"1")}, ["-indir:in", "-?", "-outdir:out"], writes=False),
        Case("help-slash", {"in/a.1": page(b"A", b"1")}, ["-indir:in", "/?", "-outdir:out"], writes=False),
        Case("version", {"in/a.1": page(b"A", b"1")}, ["-indir:in", "--version", "-outdir:out"], writes=False),
        Case("only-empty-folders", {"in/a": None, "in/b/c": None}, ["-indir:in", "-outdir:out"],
             writes=False),
        Case("missing-input-folder", {"out": None}, ["-indir:{DB}\\missing", "-outdir:out"],
             writes=False),
        Case("no-pages", {"in/x.1": b"no title\n", "in/y.txt": page(b"Y", b"1"), "in/s/z.5": b""},
             ["-indir:in", "-outdir:out"], writes=False),
        Case("examples", under("in", examples), ["-indir:{DB}\\in", "-outdir:{DB}\\out"]),
        # Pages whose HTML names would be one: each keeps a file of its own.
        Case("clashes", {"in/man1/ls.1": page(b"ls", b"1", b".B lsb\n"),
                         "in/man1/ls.1b": page(b"lsb", b"1", b".B ls\n"),
                         "in/man1/ls.8": page(b"ls8", b"8", b".B ls\n"),
                         "in/man3/error.3": page(b"error", b"3", b".B Error\n"),
                         "in/man3/Error.3pm": page(b"Error", b"3pm", b".B error\n"),
                         "in/man.1/ls": page(b"dotted", b"1", b".B ls\n")},
             ["-indir:in", "-outdir:out"]),
    ]
    if corpus:
        listed.append(Case("corpus", under("in", read_tree(corpus)), ["-indir:{DF}/in", "-outdir:{DF}/out"]))
    # The modern run on the same trees: HTML5 pages, links, the help project by section,
    # on several threads, compressed and 8-bit pages among the examples.
    for case in [c for c in listed if c.name in ("abs-backslash", "examples", "clashes", "corpus")]:
        listed.append(Case("modern-" + case.name, case.tree, case.args + ["-modern"], hidden=case.hidden))
    listed.append(Case("modern-one-thread", under("in", examples), ["-indir:in", "-outdir:out", "-modern", "-jobs:1"]))
    return listed


def main():
    ap = argparse.ArgumentParser()
    for flag in ("--linux", "--windows", "--wine", "--source"):
        ap.add_argument(flag, required=True)
    ap.add_argument("--work-in", required=True, action="append", dest="work_in")
    ap.add_argument("--corpus")
    ap.add_argument("--label", default="windows")
    a = ap.parse_args()
    a.linux, a.windows = os.path.abspath(a.linux), os.path.abspath(a.windows)
    # Each program reads a tree of its own, written a moment apart: the help file's time
    # is fixed, not that of the newest page, which may fall in another second.
    os.environ["SOURCE_DATE_EPOCH"] = "1700000000"
    for parent in a.work_in:
        try:
            os.makedirs(parent, exist_ok=True)
            location = tempfile.mkdtemp(prefix="tolbrik-wine-", dir=parent)
            break
        except OSError as e:
            print("%s: cannot make a folder there (%s)" % (parent, e))
    else:
        print("!!! none of %s can hold a tree: nothing compared" % a.work_in)
        return 77
    print("%s: trees under %s" % (a.label, location))
    try:
        return compare_all(a, location)
    finally:
        shutil.rmtree(location, ignore_errors=True)


def compare_all(a, location):
    all_cases = cases(a.source, a.corpus)
    failed = total_written = total_files = 0
    trees, attributes_note = set(), ""
    roots = {"linux": os.path.join(location, "linux"), "windows": os.path.join(location, "windows")}
    for case in all_cases:
        for side, root in roots.items():
            if not materialize(case.tree, os.path.join(root, case.name), side == "linux", case.hidden):
                attributes_note = "; hidden and system attributes could not be set there"
        problems, written, files = compare_case(case, roots["linux"], roots["windows"], a.linux, [a.wine, a.windows])
        for root in roots.values():
            shutil.rmtree(os.path.join(root, case.name), ignore_errors=True)
        trees.add(tuple(sorted((k, v) for k, v in case.tree.items() if not k.startswith("out/"))))
        if problems:
            failed += 1
            print("FAIL %s:\n  %s" % (case.name, "\n  ".join(problems[:40])))
        else:
            total_written += written
            total_files += files
            print("ok   %-36s %4d files written, %4d files compared" % (case.name, written, files))
    print("%s: %d cases on %d distinct input trees, %d failed; in the cases that agree, %d files"
          " written by each program are byte for byte the same (%d files in all, inputs"
          " included), and so are the console bytes, LF being CR LF on Windows%s"
          % (a.label, len(all_cases), len(trees), failed, total_written, total_files, attributes_note))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
