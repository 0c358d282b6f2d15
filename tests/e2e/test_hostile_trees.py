"""Hostile trees: whatever lies under the input folder or stands in the way of the output,
the program does not crash, loses no page it could convert, names every failure on
standard error with its path and reason, and exits with status 1 exactly when something
failed.

Each test builds its trees in a fresh parent folder and checks the whole run: the exit
status (never a signal), standard output and standard error line by line, every page
that could be converted (its HTML file exists), the project file's list of pages, and
that nothing outside the output folder changed.

The tests run as root in CI, where permission bits stop nothing. Failures are made real
by other means: a file standing where a folder must be made, a folder where a help file
must be, a link to /dev/full, paths beyond the system's limits, and, for unreadable
folders and files, the program run as the unprivileged user nobody through setpriv.
"""
import errno, hashlib, os, shutil, stat, subprocess, tempfile, unittest

from tolbrik_e2e import (BANNER, NO_TITLE, compile_chm, exe, need, project_files, read_bytes, skip_loudly,
                         write_tree)

TAIL = b"</body></html>"
PATH_MAX, NAME_MAX = 4096, 255  # the system's limits


def failure(what, path, code):
    """The line that names a file the program could not read, create or write."""
    return b"tolbrik: cannot %s %s: %s\n" % (what, path, os.strerror(code).encode())


def walk_failure(path, code):
    return b"tolbrik: %s: %s\n" % (path, os.strerror(code).encode())


def page(title, *lines):
    """A manual page: its title line, then `lines`, each ended by a line feed."""
    return b".TH " + title + b" 1\n" + b"".join(line + b"\n" for line in lines)


def head(title):
    """The fixed head of every HTML page as it reaches the disk (CR LF line ends)."""
    for raw, entity in ((b"&", b"&amp;"), (b"<", b"&lt;"), (b">", b"&gt;"), (b'"', b"&quot;")):
        title = title.replace(raw, entity)
    return (b'<html lang="ru"><head>\r\n<meta content="text/html;charset=windows-1251" '
            b'http-equiv="Content-Type">\r\n\t<title>' + title + b"</title>\r\n</head><body>\r\n")


def html_name(source):
    """A page's HTML path for its source path (both with '/')."""
    return source[:source.rfind(b".")] + b".htm"


def snapshot(top, leave_out=None):
    """Everything under `top` but `leave_out`, links not followed, through folder descriptors
    (so paths beyond the system's limit are seen too): path -> ("link", target), ("file",
    size, digest) or ("other", type)."""
    seen = {}
    for folder, folders, files, fd in os.fwalk(top):
        for name in folders + files:
            key = os.path.normpath(os.path.join(os.path.relpath(folder, top), name))
            if leave_out is not None and (key == leave_out or key.startswith(leave_out + b"/")):
                continue
            info = os.stat(name, dir_fd=fd, follow_symlinks=False)
            if stat.S_ISLNK(info.st_mode):
                seen[key] = ("link", os.readlink(name, dir_fd=fd))
            elif stat.S_ISREG(info.st_mode):
                with os.fdopen(os.open(name, os.O_RDONLY, dir_fd=fd), "rb") as f:
                    seen[key] = ("file", info.st_size, hashlib.sha256(f.read()).hexdigest())
            else:
                seen[key] = ("other", stat.S_IFMT(info.st_mode))
    return seen


BASE = {
    b"top.1": page(b"TOP", b".BR ls (1)"),
    b"man1/ls.1": page(b"ls", b".BR cp (1)"),
    b"man1/cp.1": page(b"cp"),
    b"man3/printf.3": page(b"printf", b".B ls"),
}


def with_base(extra):
    return {**BASE, **extra}


class HostileTreesTest(unittest.TestCase):
    maxDiff = 20000

    def setUp(self):
        self.parent = os.fsencode(tempfile.mkdtemp(prefix="tolbrik-hostile-"))
        self.addCleanup(shutil.rmtree, self.parent, True)
        self.input = os.path.join(self.parent, b"in")
        self.output = os.path.join(self.parent, b"out")
        os.mkdir(self.input)
        os.mkdir(self.output)
        self.program = os.fsencode(exe())

    # ---- running and checking --------------------------------------------------------------

    def run_tool(self, *args, cwd=None, user=None):
        """(status, stdout, stderr) of a run, as the unprivileged `user` if one is named."""
        command = [self.program] + [os.fsencode(a) for a in args]
        if user is not None:
            command = [b"setpriv", b"--reuid=nobody", b"--regid=nogroup", b"--clear-groups"] + command
        done = subprocess.run(command, cwd=cwd or self.output, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300, check=False)
        self.assertTrue(0 <= done.returncode < 128,
                        "the program crashed (status %d): %r" % (done.returncode, done.stderr[-3000:]))
        return done.returncode, done.stdout, done.stderr

    def convert(self, outdir=None, user=None):
        """Converts the input folder; checks that nothing outside the output folder changed."""
        outdir = outdir or self.output
        leave_out = os.path.relpath(outdir, self.parent)
        before = snapshot(self.parent, leave_out)
        result = self.run_tool(b"-indir:" + self.input, b"-outdir:" + outdir,
                               cwd=self.output, user=user)
        self.assertEqual(snapshot(self.parent, leave_out), before,
                         "something outside the output folder changed")
        return result

    def check_run(self, result, status, errors=(), pages=(), unwritten=(), untitled=()):
        """Checks a run: status, standard output (the banner, a line per `untitled`), the lines
        of standard error (in any order), the HTML file of every page of `pages` but those in
        `unwritten`, and the project file's list: the pages written, and nothing else."""
        code, out, err = result
        self.assertEqual(sorted(err.splitlines(keepends=True)), sorted(errors))
        self.assertEqual(code, status)
        self.assertEqual(out, BANNER + b"".join(NO_TITLE + name.replace(b"/", b"\\") + b"\n" for name in untitled))
        written = [html_name(p) for p in pages if p not in unwritten]
        for name in written:
            data = read_bytes(self.out_path(name))
            self.assertTrue(data.startswith(b'<html lang="ru"><head>\r\n') and data.endswith(TAIL), name)
        listed = project_files(read_bytes(self.out_path(b"tolbrik.hhp")))
        self.assertEqual(sorted(listed), sorted(n.replace(b"/", b"\\").decode("latin-1") for n in written))

    def out_path(self, relative):
        return os.path.join(self.output, relative)

    # ---- the output stands in the way ---------------------------------------------------------

    def test_output_folder_that_cannot_be_created(self):
        # A file stands where the folders man1 and man1/sub of the output must be made.
        tree = with_base({b"man1/sub/deep.1": page(b"deep")})
        write_tree(self.input, tree)
        write_tree(self.output, {b"man1": b"a file, not a folder\n"})
        unwritten = [b"man1/ls.1", b"man1/cp.1", b"man1/sub/deep.1"]
        self.check_run(self.convert(), 1, [failure(b"create", self.out_path(html_name(p)), errno.ENOTDIR)
                                           for p in unwritten], pages=list(tree), unwritten=unwritten)
        self.assertEqual(read_bytes(self.out_path(b"man1")), b"a file, not a folder\n")
        # The output folder is a file: no page can be written, so no help project either.
        code, out, err = self.convert(outdir=self.out_path(b"man1"))
        self.assertEqual(sorted(err.splitlines(keepends=True)), sorted(
            failure(b"create", self.out_path(b"man1/" + html_name(p)), errno.ENOTDIR) for p in tree))
        self.assertEqual((code, out, read_bytes(self.out_path(b"man1"))), (1, BANNER, b"a file, not a folder\n"))

    def test_disk_full_while_writing(self):
        # The files open, but every write fails: a small page (failing when it is closed), a
        # page larger than the write buffers (failing while it is written) and the contents
        # file. Each is named once. A folder stands where the index file must be: the
        # project file is still written, and lists the pages written.
        if not os.path.exists("/dev/full"):
            skip_loudly(self, "no /dev/full here")
        large = page(b"large", *[b"line %d of a large page" % n for n in range(20000)])
        write_tree(self.input, with_base({b"man1/large.1": large}))
        os.makedirs(self.out_path(b"man1"))
        for name in (b"man1/ls.htm", b"man1/large.htm", b"tolbrik.hhc"):
            os.symlink(b"/dev/full", self.out_path(name))
        os.makedirs(self.out_path(b"tolbrik.hhk"))
        self.check_run(self.convert(), 1, [
            failure(b"write", self.out_path(name), errno.ENOSPC)
            for name in (b"man1/ls.htm", b"man1/large.htm", b"tolbrik.hhc")
        ] + [failure(b"create", self.out_path(b"tolbrik.hhk"), errno.EISDIR)], pages=list(BASE) + [b"man1/large.1"], unwritten=[b"man1/ls.1", b"man1/large.1"])
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/full").st_mode))

    # ---- the input cannot be read --------------------------------------------------------------

    def test_unreadable_folder_and_file(self):
        """Run as an unprivileged user, the walk passes over a folder it may not read and
        identification over a file it may not open; both are named, the rest converted."""
        user = None
        if os.geteuid() == 0:
            if not shutil.which("setpriv"):
                skip_loudly(self, "setpriv is not here to run the program as nobody")
            user = "nobody"
        write_tree(self.input, with_base({b"secret/hidden.1": page(b"hidden"),
                                             b"man1/locked.1": page(b"locked"),
                                             b"zz/after.1": page(b"after")}))
        # The program, its folders and the output must be open to that user.
        program = os.path.join(self.parent, b"bin", b"tolbrik")
        os.makedirs(os.path.dirname(program))
        shutil.copy(self.program, program)
        self.program = program
        for folder, folders, files in os.walk(self.parent):
            os.chmod(folder, 0o755)
            for name in files:
                os.chmod(os.path.join(folder, name), 0o755)
        os.chmod(self.output, 0o777)
        os.chmod(os.path.join(self.input, b"secret"), 0)
        os.chmod(os.path.join(self.input, b"man1/locked.1"), 0)
        if user is not None:
            probe = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                    self.program, "-?"], cwd=self.output,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
            if probe.returncode != 0:
                skip_loudly(self, "cannot run the program as nobody: %r" % probe.stderr[-500:])
        self.check_run(self.convert(user=user), 1, [
            walk_failure(os.path.join(self.input, b"secret"), errno.EACCES),
            failure(b"read", os.path.join(self.input, b"man1/locked.1"), errno.EACCES),
        ], pages=list(BASE) + [b"zz/after.1"])

        # An input folder that cannot be read at all is named too; nothing is written.
        shutil.rmtree(self.output)
        os.mkdir(self.output, 0o777)
        os.chmod(self.output, 0o777)
        os.chmod(self.input, 0)
        self.assertEqual(self.convert(user=user), (1, BANNER + b"No files found to process",
                                                   walk_failure(self.input, errno.EACCES)))
        self.assertEqual(os.listdir(self.output), [])

    def test_link_loops(self):
        # Links that lead to themselves or to each other cannot be looked at; links back to
        # a folder on the way down are not entered; a link to a sibling folder is followed.
        write_tree(self.input, BASE)
        for link, target in ((b"self", b"self"), (b"ping", b"pong"), (b"pong", b"ping"),
                             (b"man1/up", b".."), (b"man1/here", b"."),
                             (b"man3/root", self.input), (b"alias", b"man3")):
            os.symlink(target, os.path.join(self.input, link))
        back = b": not entered: it leads back into a folder being walked\n"
        self.check_run(self.convert(), 1, [walk_failure(os.path.join(self.input, link), errno.ELOOP)
                                           for link in (b"self", b"ping", b"pong")] +
                       [b"tolbrik: " + os.path.join(self.input, link) + back
                        for link in (b"man1/up", b"man1/here", b"man3/root", b"alias/root")],
                       pages=list(BASE) + [b"alias/printf.3"])

    # ---- input and output in one folder -----------------------------------------------------

    def test_input_folder_is_the_output_folder(self):
        """The default: both folders are the working folder. A second run converts the same
        pages again, takes none of its own output for input, and no input file changes."""
        tree = with_base({b"README": b"not a page\n", b"man1/broken.5": b"no title line\n",
                             b"man8/ld.so.8": page(b"ld.so", b".B ls")})
        write_tree(self.input, tree)
        pages = list(BASE) + [b"man8/ld.so.8"]
        outputs = {os.path.join(b"in", name) for name in
                   [html_name(p) for p in pages] + [b"tolbrik.hhc", b"tolbrik.hhk", b"tolbrik.hhp"]}
        self.output = self.input
        before = snapshot(self.parent)

        first = self.run_tool(cwd=self.input)
        self.check_run(first, 0, [], pages=pages, untitled=[b"man1/broken.5"])
        after_first = snapshot(self.parent)
        self.assertEqual({k: v for k, v in after_first.items() if k not in outputs}, before)
        self.assertEqual(set(after_first) - set(before), outputs)

        second = self.run_tool(cwd=self.input)
        self.assertEqual(second, first)
        self.assertEqual(snapshot(self.parent), after_first)

    # ---- names and contents ---------------------------------------------------------------

    def test_names_and_text_in_utf8_and_windows_1251(self):
        utf8_folder, utf8_name, utf8_title = (w.encode() for w in ("папка", "страница", "Страница"))
        cp_folder, cp_name, cp_title = (w.encode("cp1251") for w in ("папка", "стр", "Страница"))
        utf8_page = utf8_folder + b"/" + utf8_name + b".1"
        cp_page = cp_folder + b"/" + cp_name + b".1"
        write_tree(self.input, {
            utf8_page: page(utf8_title, b".BR " + cp_title + b" (1)"),
            cp_page: page(cp_title, b".BR " + utf8_title + b" (1)"),
        })
        self.check_run(self.convert(), 0, [], pages=[utf8_page, cp_page])
        for page_path, title, folder, name, target in ((utf8_page, utf8_title, cp_folder, cp_name, cp_title),
                                                       (cp_page, cp_title, utf8_folder, utf8_name, utf8_title)):
            self.assertEqual(read_bytes(self.out_path(html_name(page_path))), head(title) + b' <a href="..\\' +
                             folder + b"\\" + name + b'.htm">' + target + b"</a> (1) " + TAIL)

    def test_long_lines_nul_bytes_and_deep_trees(self):
        size, nuls, deep = 1 << 20, b"\0" * 65536, b"d/" * 200 + b"deep.1"
        write_tree(self.input, with_base({
            b"big.1": page(b"BIG", b"a" * size),
            b"bigfont.1": page(b"BIGFONT", b".B ls (1) " + b"x" * size),
            b"zero.1": nuls, b"nulpage.1": b".TH NUL 1\n" + nuls, deep: page(b"DEEP", b".B TOP"),
        }))
        self.check_run(self.convert(), 0, [], pages=list(BASE) + [b"big.1", b"bigfont.1", b"nulpage.1", deep],
                       untitled=[b"zero.1"])
        self.assertEqual(read_bytes(self.out_path(b"big.htm")), head(b"BIG") + b" " + b"a" * size + b" " + TAIL)
        # The font request's argument runs through about 4000 line buffers: no byte is lost.
        font = read_bytes(self.out_path(b"bigfont.htm"))
        self.assertEqual(font[len(head(b"BIGFONT")):].count(b"x"), size)
        self.assertTrue(font.startswith(head(b"BIGFONT") + b' <b><a href="man1\\ls.htm">ls</a> (1) x'))
        self.assertTrue(font.endswith(b"x </b> " + TAIL))
        # The last line has no line end: it is written as it is, and nothing follows it.
        self.assertEqual(read_bytes(self.out_path(b"nulpage.htm")), head(b"NUL") + b" " + nuls + TAIL)
        self.assertEqual(read_bytes(self.out_path(html_name(deep))),
                         head(b"DEEP") + b' <b><a href="' + b"..\\" * 200 + b'top.htm">TOP</a> </b> ' + TAIL)

    def test_names_of_255_bytes(self):
        fits = b"n" * 251 + b".123"               # its HTML name has 255 bytes as well
        too_long = b"m" * 253 + b".1"             # its HTML name would have 257
        in_long_folder = b"f" * NAME_MAX + b"/p.1"
        write_tree(self.input, with_base({fits: page(b"fits"), too_long: page(b"long"),
                                             in_long_folder: page(b"p")}))
        self.check_run(self.convert(), 1, [failure(b"create", self.out_path(html_name(too_long)), errno.ENAMETOOLONG)],
                       pages=list(BASE) + [fits, too_long, in_long_folder], unwritten=[too_long])
        # The page that could not be written is left out of the whole help project, so the
        # help compiler can still build it.
        for name in (b"tolbrik.hhc", b"tolbrik.hhk"):
            self.assertNotIn(b"m" * 253 + b".htm", read_bytes(self.out_path(name)))
        need(self, ("chmcmd", "fp-utils"))
        status, printed = compile_chm(self.output)
        self.assertEqual(status, 0, printed)

    def test_paths_beyond_the_system_limit(self):
        """Folders nested until their full path passes PATH_MAX: the first one that cannot
        be named is reported and passed over; every page above it is converted."""
        # Input and output folder names of equal length, so that a page's HTML path is as
        # long as its source path plus 2 bytes.
        os.rmdir(self.input)
        os.rmdir(self.output)
        self.input = os.path.join(self.parent, b"src")
        self.output = os.path.join(self.parent, b"dst")
        os.mkdir(self.input)
        os.mkdir(self.output)
        write_tree(self.input, BASE)
        # Folders of 250 bytes, the last one that fits cut so that its page's path has
        # 4000 bytes; the next one's path passes the limit.
        names = []
        length = len(self.input)
        while length + 251 + 9 < 4000:
            names.append(b"d" * 250)
            length += 251
        names.append(b"e" * (4000 - length - 1 - len(b"/p.1")))
        names += [b"g" * 250, b"h" * 10]
        pages, fd = [], os.open(self.input, os.O_RDONLY)
        try:
            for depth, name in enumerate(names):
                os.mkdir(name, dir_fd=fd)
                inner = os.open(name, os.O_RDONLY, dir_fd=fd)
                os.close(fd)
                fd = inner
                page_fd = os.open(b"p.1", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
                os.write(page_fd, page(b"P%d" % depth))
                os.close(page_fd)
                pages.append(b"/".join(names[:depth + 1]) + b"/p.1")
        finally:
            os.close(fd)
        too_long = os.path.join(self.input, b"/".join(names[:-1]))
        self.assertGreaterEqual(len(too_long), PATH_MAX)
        self.assertLess(len(os.path.join(self.output, html_name(pages[-3]))), PATH_MAX)
        self.check_run(self.convert(), 1, [walk_failure(too_long, errno.ENAMETOOLONG)], pages=list(BASE) + pages[:-2])


if __name__ == "__main__":
    unittest.main()
