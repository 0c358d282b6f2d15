"""The help project as its consumers see it: the program converts a tree, chmcmd compiles
tolbrik.hhp into tolbrik.chm, and chmls reads the compiled file back. Every page must be
in the compiled file, in the contents under its folders and in the index, with its title
as name and its HTML path as local path.
"""
import html, os, re, shutil, subprocess, tempfile, unittest
from collections import Counter

from tolbrik_e2e import (chm_extract, chm_names, compile_chm, exe, expected_contents, expected_pages, fold,
                         index_entries, need, project_files, read_bytes, read_sitemap, real_pages, write_tree)

REAL_PAGES = 3000


def broken_links(outdir, files):
    """The (page, href) pairs whose target is not one of the pages written, letter case
    aside (as in a compiled file and on Windows)."""
    written = {fold(os.path.normpath(f.replace("\\", "/"))) for f in files}
    broken = []
    for page in (f.replace("\\", "/") for f in files):
        text = read_bytes(os.path.join(outdir, page)).decode("latin-1")
        targets = ((href, os.path.join(os.path.dirname(page), html.unescape(href).replace("\\", "/")))
                   for href in re.findall(r'<a href="([^"]*)">', text))
        broken += [(page, href) for href, target in targets if fold(os.path.normpath(target)) not in written]
    return broken


class HelpProjectTest(unittest.TestCase):
    maxDiff = 20000

    def setUp(self):
        need(self, ("chmcmd", "fp-utils"), ("chmls", "fp-utils"))
        self.work = tempfile.mkdtemp(prefix="tolbrik-help-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def check_help_project(self, indir):
        """Converts `indir`, checks the three files, compiles them and reads the compiled
        file back. Returns the pages found."""
        outdir = os.path.join(self.work, "out")
        os.makedirs(outdir)
        done = subprocess.run([exe(), "-indir:" + indir, "-outdir:" + outdir], cwd=outdir, capture_output=True)
        self.assertEqual((done.returncode, done.stderr), (0, b""))

        pages = expected_pages(indir)
        self.assertTrue(pages, "no page in " + indir)
        contents = expected_contents(pages)
        # A page with an empty title has no keyword.
        index = sorted((title, html.replace("\\", "/")) for title, _, html in pages if title)

        # The three files as written: the project file lists the HTML paths unescaped,
        # in table order; the sitemaps parse into the expected tree and keywords.
        files = project_files(read_bytes(os.path.join(outdir, "tolbrik.hhp")))
        self.assertEqual(files, [html for _, _, html in pages])
        self.assertEqual(read_sitemap(read_bytes(os.path.join(outdir, "tolbrik.hhc"))), (contents, []))
        items, problems = read_sitemap(read_bytes(os.path.join(outdir, "tolbrik.hhk")), outlined=False)
        self.assertEqual((index_entries(items), problems), (index, []))

        # The compiler accepts the project and finds every file that a page links to.
        status, log = compile_chm(outdir)
        self.assertEqual(status, 0, log)
        complaints = [line for line in log.splitlines()
                      if line.startswith(("Warning", "Error")) or "couldn't find it on disk" in line]
        self.assertEqual(complaints, [])

        chm = os.path.join(outdir, "tolbrik.chm")
        stored = chm_names(chm)
        self.assertEqual([f for f in files if "/" + f.replace("\\", "/") not in stored], [])
        # Every page has a file of its own, letter case aside, and every link of every
        # page leads to one of them.
        self.assertEqual(len({fold(f) for f in files}), len(files))
        self.assertEqual(broken_links(outdir, files), [])

        self.assertEqual(read_sitemap(chm_extract("extracttoc", chm, os.path.join(self.work, "toc"))),
                         (contents, []))

        # A compiled file regards neither the letter case of its names nor that of its
        # keywords: pages whose HTML paths differ only in case become one topic there, and
        # keywords that differ only in case one keyword, spelled as one of them. So the
        # keywords are compared without regard to case, and pages sharing a topic apart:
        # each of those must still have a keyword.
        items, problems = read_sitemap(chm_extract("extractindex", chm, os.path.join(self.work, "index")), False)
        self.assertEqual(problems, [])
        read_back = [(fold(keyword), fold(local)) for keyword, local in index_entries(items)]
        wanted = [(fold(keyword), fold(local)) for keyword, local in index]
        shared = {local for local, count in Counter(local for _, local in wanted).items() if count > 1}
        self.assertEqual(sorted(pair for pair in read_back if pair[1] not in shared),
                         sorted(pair for pair in wanted if pair[1] not in shared))
        self.assertEqual(shared - {local for _, local in read_back}, set())
        return pages

    def check_tree(self, files):
        """Writes {relative path: bytes} as the input tree and checks its help project."""
        root = os.path.join(self.work, "in")
        write_tree(root, files)
        return self.check_help_project(root)

    def test_folders_links_letter_case_and_odd_titles(self):
        # Most real pages quote their title; titles and folder names may hold & < > ",
        # tabs, control bytes and troff escapes, or be empty.
        pages = self.check_tree({
            "intro.7": b".TH intro 7\n.SH NAME\nintro \\- the pages of this tree\n.SH SEE ALSO\n.BR ls (1)\n",
            "man1/ls.1": b".TH ls 1\n.SH NAME\nls\n.SH SEE ALSO\n.BR cp (1),\n.BR printf (3),\n.BR intro (7)\n",
            "man1/cp.1": b".TH cp 1\r\n.SH NAME\r\ncp\r\n.I ls\r\n",
            "MAN1/mv.1": b".TH mv 1\n.B cp\n",
            "man3/printf.3": b".\\\" a comment first\n.TH printf 3\n.SH NAME\nprintf\n",
            "a/b/c/deep.1": b".TH deep 1\n.B printf\n",
            "a/b/flat.1": b".TH flat 1\n",
            "a../x.1": b".TH dots 1\n.B deep\n",
            "man8/ld.so.8": b".TH ld.so 8\n.B ls\n",
            "ru/pr.1": b".TH \xcf\xf0\xe8\xec\xe5\xf0 1\n.B ls\n",
            "README": b"not a page\n",
            "man1/notes.1": b"no title line\n",
            "odd/empty.1": b".TH  1\n",
            "odd/tab.1": b".TH a\tb 1\n",
            "odd/control.1": b".TH a\x01b 1\n",
            "odd/alone.1": b".TH alone\n.SH NAME\n",
            "odd/escape.1": b".TH GIT\\-ADD 1\n",
            "man1/quoted.1": b'.TH "LS" "1" "2024-01-01"\n.SH NAME\nls\n.BR "cp" (1)\n',
            "R&D/and.1": b".TH a&b 1\n",
            "R&D/lt.1": b".TH <x> 1\n",
            "R&D/all.1": b'.TH "q&<>" 1\n',
            "R&D/entity.1": b".TH &amp; 1\n",
            'x"y/<a>.1': b".TH gt> 1\n",
        })
        self.assertEqual(len(pages), 21)

    def test_names_that_clash(self):
        # Pages whose HTML names would be one, exactly or but for letter case: each keeps
        # a file of its own, and links reach it there; a page found through a dotted
        # folder links from where its file is.
        pages = self.check_tree({
            "man1/ls.1": b".TH ls 1\n.B cp\n",
            "man1/ls.1b": b".TH lsb 1\n.B ls\n",
            "man1/ls.8": b".TH ls8 8\n.B lsb\n",
            "man1/ls.1b.htm.1": b".TH taken 1\n.B ls8\n",
            "man1/cp.1": b".TH cp 1\n.B ls8\n",
            "man3/error.3": b".TH error 3\n.B Error\n",
            "man3/Error.3pm": b".TH Error 3pm\n.B error\n",
            "man.1/ls": b".TH dotted 1\n.B cp\n",
        })
        self.assertEqual([html for _, _, html in pages],
                         ["man.htm", "man1\\cp.htm", "man1\\ls.htm", "man1\\ls.1b.htm",
                          "man1\\ls.1b.htm.htm", "man1\\ls.8.htm", "man3\\error.htm",
                          "man3\\Error.3pm.htm"])
        self.assertIn(b'<a href="man1\\cp.htm">cp</a>',
                      read_bytes(os.path.join(self.work, "out", "man.htm")))

    def test_real_pages(self):
        root = os.path.join(self.work, "in")
        real_pages(self, root, REAL_PAGES, REAL_PAGES // 2)
        names = sorted(os.path.relpath(os.path.join(folder, name), root)
                       for folder, _, found in os.walk(root) for name in found)
        # The first pages in name order all lie in man1; spread some of them over more
        # folders, deeper ones and one spelled in capitals, so that the contents tree has
        # something to show.
        places = ["", "man1/more", "deep/er/still", "MAN1", "deep/other", None, None]
        for number, name in enumerate(names):
            place = places[number % 7]
            target = place is not None and os.path.join(root, place, os.path.basename(name))
            if target and not os.path.exists(target):
                os.makedirs(os.path.dirname(target), exist_ok=True)
                os.rename(os.path.join(root, name), target)
        pages = self.check_help_project(root)
        self.assertGreater(len(pages), REAL_PAGES // 2)


if __name__ == "__main__":
    unittest.main()
