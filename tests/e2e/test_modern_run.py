"""The modern run end to end: compressed and 8-bit pages read as their UTF-8 twins,
hostile pages cut or refused while every other page is written, the help file as chmls
sees it, and the same output from one thread as from several.
"""
import gzip, html, os, re, shutil, subprocess, sys, tempfile, unittest

from tolbrik_e2e import (chm_extract, chm_names, exe, fold, need, read_bytes,
                         read_sitemap, real_pages, source, write_tree)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "modern"))
from mandoc_compare import html_error  # noqa: E402  (the strict HTML5 check)

PAGE = (".TH T 1 2026-12-07 tolbrik\n.SH NAME\nt \\- %s\n.SH DESCRIPTION\n%s\n"
        ".SH SEE ALSO\n.BR ls (1),\n\\fBcp\\fP(1)\n")
RUSSIAN = "Команда выводит \"список\" файлов каталога; ещё раз: съешь же этих мягких булок."
WESTERN = "Die Größe übermäßig langer Zeilen; déjà vu à côté; configuração da ligação."
POLISH = "Zażółć gęślą jaźń; źdźbło, łódź i żółw."


def body(data):
    """A page without its head: what a reader sees, heading ids too, whatever folder it
    lies in."""
    return data[data.index(b"<body>"):]


class ModernRunTest(unittest.TestCase):
    maxDiff = 4000

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tolbrik-modern-run-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def run_modern(self, files, name="in", *extra, timeout=120):
        """Writes `files` as a tree and converts it; returns (result, output folder)."""
        indir, outdir = os.path.join(self.work, name), os.path.join(self.work, name + "-out")
        write_tree(indir, files)
        os.makedirs(outdir, exist_ok=True)
        done = subprocess.run([exe(), "-modern", "-indir:" + indir, "-outdir:" + outdir] + list(extra),
                              cwd=self.work, capture_output=True, timeout=timeout, check=False)
        return done, outdir

    def pages(self, outdir):
        return {os.path.relpath(os.path.join(folder, n), outdir): read_bytes(os.path.join(folder, n))
                for folder, _, names in os.walk(outdir) for n in names if n.endswith(".htm")}

    def test_compressed_and_8bit_pages_read_as_their_utf8_twins(self):
        russian = (PAGE % ("команда", RUSSIAN)).encode()
        western = (PAGE % ("Größe", WESTERN)).encode()
        polish = (PAGE % ("łódź", POLISH)).encode()
        plain = {"man1/ru.1": russian, "man1/de.1": western, "man1/ls.1": PAGE.encode() % (b"ls", b"x"),
                 "man1/cp.1.gz": gzip.compress(PAGE.encode() % (b"cp", b"y"))}
        # The same tree compressed, one page in two gzip members: the same bytes out.
        packed = {k if k.endswith(".gz") else k + ".gz": v if k.endswith(".gz") else
                  gzip.compress(v[:40]) + gzip.compress(v[40:]) for k, v in plain.items()}
        done, plain_out = self.run_modern(plain, "plain")
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        done, packed_out = self.run_modern(packed, "packed")
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        self.assertEqual(self.pages(plain_out), self.pages(packed_out))
        # 8-bit twins, by a folder's code set or language or by the letters alone, and a
        # UTF-8 page with a stray Latin-1 byte.
        twins = {"utf8/man1/ru.1": russian, "ru.KOI8-R/man1/ru.1": russian.decode().encode("koi8_r"),
                 "koi/man1/ru.1": russian.decode().encode("koi8_r"),
                 "win/man1/ru.1": russian.decode().encode("cp1251"),
                 "utf8/man1/de.1": western, "latin/man1/de.1": western.decode().encode("latin-1"),
                 "de.ISO8859-1/man1/de.1": western.decode().encode("latin-1"),
                 "stray/man1/de.1": western.replace("ß".encode(), b"\xdf", 1),
                 "utf8/man1/pl.1": polish, "pl_PL/man1/pl.1": polish.decode().encode("iso8859_2")}
        done, out = self.run_modern(twins, "twins")
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        written = self.pages(out)
        for path in twins:
            page = os.path.join(*path.split("/"))[:-2] + ".htm"
            twin = os.path.join("utf8", "man1", os.path.basename(page))
            self.assertEqual(body(written[page]), body(written[twin]), path)
        self.assertIn(RUSSIAN.encode(), written[os.path.join("koi", "man1", "ru.htm")])

    def test_damaged_and_hostile_pages_leave_the_rest_written(self):
        page = lambda name, text: (".TH %s 1\n.SH NAME\n%s \\- %s\n%s" % (name.upper(), name, name, text)).encode()
        bomb = "".join(".ds s%d \\*[s%d]\\*[s%d]\\*[s%d]\\*[s%d]\n" % (i + 1, i, i, i, i) for i in range(12))
        trap = os.path.join(self.work, "ran")
        files = {
            "man1/fine.1": page("fine", "Just text.\n"),
            "man1/broken.1.gz": gzip.compress(page("broken", "x" * 500))[:-30],
            "man1/self.1": page("self", ".de a\n.a\n..\n.a\n"),
            "man1/mutual.1": page("mutual", ".de a\n.b\n..\n.de b\n.a\n..\n.a\n"),
            "man1/bomb.1": page("bomb", ".ds s0 xxxxxxxxxxxxxxxx\n" + bomb + "\\*[s12]\n"),
            "man1/loop.1": page("loop", ".while 1 \\{\\\n.nop x\n.\\}\n"),
            "man1/quiet.1": page("quiet", ".nr x 0\n.while 1 .nr x +1\n"),
            "man1/out.1": page("out", ".so ../../etc/passwd\n.so /etc/passwd\n"
                              ".sy touch {0}\n.pso touch {0}\n.open f {0}\n.write f x\n.close f\n"
                              ".opena g {0}\n.writem g x\n".format(trap)),
            # The start page lists every name a page goes by beside it, its section as the
            # title line spells it, under a bar of the names' initials.
            "man1/caps.1x": b".TH CAPS 1X\n.SH NAME\ncaps, Upper, _under, caps \\- in capitals\n",
            "man1/lower.1x": b".so man1/caps.1x\n",
            "man1/alias.1": b".so man1/fine.1\n", "man1/crlf.1": b".so man1/fine.1\r\n",
            "man1/packed.1.gz": gzip.compress(page("packed", "")), "man1/zipped.1": b".so man1/packed.1\n",
            "man1/gone.1": b".\\\" an alias of nothing\n.so man1/nothing.1\n",
            # A page whose file cannot be made (a folder has its name) leaves the start page,
            # the contents and the index, its alias and its section's group with it.
            "man5/blocked.5": page("blocked", ""), "man1/to-blocked.1": b".so man5/blocked.5\n",
        }
        os.makedirs(os.path.join(self.work, "in-out", "man5", "blocked.htm"))
        done, out = self.run_modern(files, "in", timeout=60)
        self.assertEqual(done.returncode, 1)
        native = os.path.join(self.work, "in", "man1") + os.sep
        self.assertEqual(sorted(done.stderr.decode().replace(native, "").replace(self.work + os.sep, "").splitlines()), [
            "tolbrik: bomb.1:13: cut: a line longer than 1024 KiB",
            "tolbrik: cannot create in-out/man5/blocked.htm: Is a directory",
            "tolbrik: cannot read broken.1.gz: damaged compressed file: it ends too soon",
            "tolbrik: gone.1: .so man1/nothing.1: no such page in the input folder",
            "tolbrik: loop.1:6: cut: the page makes more than 16 MiB of text",
            "tolbrik: mutual.1:10: macros called more than 64 deep: the calls left out",
            "tolbrik: out.1:4: .so ../../etc/passwd: refused: it leads outside the input folder",
            "tolbrik: out.1:5: .so /etc/passwd: refused: it leads outside the input folder",
            "tolbrik: quiet.1:5: cut: the page makes more than 16 MiB of text",
            "tolbrik: self.1:7: macros called more than 64 deep: the calls left out",
        ])
        self.assertFalse(os.path.exists(trap), "a request ran a program or wrote a file")
        written = sorted(self.pages(out))
        self.assertEqual(written, ["index.htm"] + [os.path.join("man1", n + ".htm") for n in (
            "bomb", "caps", "fine", "loop", "mutual", "out", "packed", "quiet", "self")])
        self.assertLess(os.path.getsize(os.path.join(out, "man1", "loop.htm")), 4 << 20)
        listed = read_bytes(os.path.join(out, "tolbrik.hhp")).decode().split("[FILES]")[1]
        self.assertEqual(sorted(listed.split()), sorted(["[INFOTYPES]", "index.htm", "tolbrik.css"] +
                                                        [w.replace(os.sep, "\\") for w in written[1:]]))
        for name in ("index.htm", "tolbrik.hhc", "tolbrik.hhk"):
            text = read_bytes(os.path.join(out, name)).decode("utf-8" if name == "index.htm" else "cp1252")
            self.assertEqual([w for w in ("blocked", "section-5", "5 File Formats") if w in text], [], name)
            self.assertIn("fine(1)", text)
        start = read_bytes(os.path.join(out, "index.htm")).decode()
        start = re.sub(" \u2014 .*(?=</li>)", "", start[start.index("<nav"):start.index("</ul>", start.index("<nav"))])
        bar = " ".join('<a href="#section-1-%s">%s</a>' % (c.lower() if c != "#" else "other", c) for c in "#ABCFLMOPQSUZ")
        line = lambda at, page, name, to="": '<li%s><a href="man1/%s.htm">%s</a>%s</li>' % (
            at and ' id="section-1-%s"' % at, page, name, to and " \u2192 " + to)
        self.assertEqual(start.splitlines(), ['<nav class="letters">%s</nav>' % bar, '<ul class="pages">',
            line("other", "caps", "_under(1X)", "caps(1X)"), line("a", "fine", "alias(1)", "fine(1)"),
            line("b", "bomb", "bomb(1)"), line("c", "caps", "caps(1X)"), line("", "fine", "crlf(1)", "fine(1)"),
            line("f", "fine", "fine(1)"), line("l", "loop", "loop(1)"), line("", "caps", "lower(1X)", "caps(1X)"),
            line("m", "mutual", "mutual(1)"), line("o", "out", "out(1)"), line("p", "packed", "packed(1)"),
            line("q", "quiet", "quiet(1)"), line("s", "self", "self(1)"), line("u", "caps", "Upper(1X)", "caps(1X)"),
            line("z", "packed", "zipped(1)", "packed(1)")])

    def test_warnings_are_named_and_leave_the_status_alone(self):
        done, _ = self.run_modern({"man1/w.1": b".Dd May 1, 2020\n.Dt W 1\n.Sh NAME\n.Nm w\n.Nd w\n.Pp x\n"})
        self.assertEqual((done.returncode, done.stderr.decode().replace(self.work + os.sep, "")), (0, "tolbrik: %s:6: "
                         "warning: arguments of a macro that takes none there, left out: .Pp x\n" % os.path.join("in", "man1", "w.1")))

    def test_help_file_links_and_pages_as_their_readers_see_them(self):
        need(self, ("chmls", "fp-utils"))
        examples = os.path.join(source(), "examples")
        tree = {os.path.relpath(os.path.join(f, n), examples).replace(os.sep, "/"): read_bytes(os.path.join(f, n))
                for f, _, names in os.walk(examples) for n in names}
        tree["man1/tolbrik-alias.1"] = b".so man1/tolbrik.1\n"
        done, out = self.run_modern(tree, "examples")
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        pages = self.pages(out)
        self.assertEqual({p: html_error(d) for p, d in pages.items() if html_error(d)}, {})
        # Every link leads to a page of the tree, letter case aside.
        for page, data in pages.items():
            for href in re.findall(rb'<a href="([^"#:]+)"', data):
                target = os.path.normpath(os.path.join(os.path.dirname(page), html.unescape(href.decode())))
                self.assertIn(fold(target), {fold(p) for p in pages}, "%s links %s" % (page, href))
        self.assertIn(b'<a href="../man5/tolbrik-css.htm">', pages[os.path.join("man7", "tolbrik-modern.htm")])

        chm = os.path.join(out, "tolbrik.chm")
        self.assertEqual({"/" + p.replace(os.sep, "/") + "l" for p in pages} - chm_names(chm), set())
        items, problems = read_sitemap(chm_extract("extracttoc", chm, os.path.join(self.work, "toc")), False)
        self.assertEqual(problems, [])
        names, level = set(), list(items)
        while level:
            item = level.pop()
            names.add(item.first("name").encode("latin-1").decode("cp1252"))
            level += item.children
        # The help file is English, as most of its pages: Russian is spelt in Latin letters.
        self.assertLessEqual({"1 User Commands", "5 File Formats", "ru.KOI8-R", "tolbrik(1) \u2014 preobrazuet derevo "
                              "stranic spravki UNIX v stranicy HTML i proekt spravki"}, names)
        # chmls names an index entry by its keyword, then by its page's title.
        items, problems = read_sitemap(chm_extract("extractindex", chm, os.path.join(self.work, "index")), False)
        keywords = {(item.first("name"), fold(item.first("local"))) for item in items}
        for page in pages:
            if page != "index.htm":
                self.assertIn(fold(page.replace(os.sep, "/")) + "l", {local for _, local in keywords}, page)
        self.assertIn(("tolbrik-alias(1)", "man1/tolbrik.html"), keywords)
        # With -nochm the start page and the stylesheet are still written.
        done, bare = self.run_modern(tree, "bare", "-nochm")
        names = set(os.listdir(bare))
        self.assertEqual((names & {"index.htm", "tolbrik.css"}, {n for n in names if ".hh" in n or ".chm" in n}),
                         ({"index.htm", "tolbrik.css"}, set()))

    def test_one_thread_or_several_write_the_same(self):
        corpus = os.path.join(self.work, "corpus")
        real_pages(self, corpus, 400, 200)
        write_tree(corpus, {"man1/unreadable.1": b".TH U 1\n", "man1/bad.1.gz": b"\x1f\x8bnot gzip",
                            "man1/notitle.1": b"no title line\n"})
        os.chmod(os.path.join(corpus, "man1", "unreadable.1"), 0)
        runs = {}
        for mode in ([], ["-modern"]):
            for jobs in ([], ["-jobs:1"], ["-jobs:3"]):
                outdir = os.path.join(self.work, "out%s%s" % ("".join(mode), "".join(jobs)))
                os.makedirs(outdir)
                done = subprocess.run([exe(), "-indir:" + corpus, "-outdir:" + outdir] + mode + jobs,
                                      cwd=self.work, capture_output=True, check=False)
                chm = os.path.join(outdir, "tolbrik.chm")
                runs.setdefault(tuple(mode), []).append((done.returncode, done.stdout, done.stderr.replace(
                    outdir.encode(), b"OUT"), self.pages(outdir), os.path.exists(chm) and read_bytes(chm)))
        for mode, results in runs.items():
            self.assertEqual([r[:3] for r in results], [results[0][:3]] * 3, mode)
            self.assertTrue(results[0][3:] == results[1][3:] == results[2][3:], mode)
        self.assertIn(b"bad.1.gz", runs[("-modern",)][0][2])  # messages in page order


if __name__ == "__main__":
    unittest.main()
