"""This machine's manual pages converted with -modern, measured against mandoc's rendering
of the same sources by tests/modern/mandoc_compare.py: the words of a sample of man pages,
and of every page with a table and every mdoc page, troff leftovers, HTML errors, tables,
the references made links, and the run itself; and the example page of equations, word
for word.
"""
import os, shutil, subprocess, sys, tempfile, unittest

from tolbrik_e2e import exe, need, real_pages, source

SAMPLE = 2000
# --check: recall, precision, share of pages without troff leftovers; --links: 95 % of the references that name a
# page of the tree made links, none from anything else. The second check reads what the first wrote.
CHECKS = [["--kinds", "man", "--sample", str(SAMPLE), "--check", "0.995,0.99,0.99", "--links"],
          ["--kinds", "tbl,mdoc", "--check", "0.99,0.98,0.97", "--no-run"]]


class ModernCorpusTest(unittest.TestCase):

    def test_pages_read_as_mandoc_renders_them(self):
        need(self, ("mandoc", "mandoc"))
        work = tempfile.mkdtemp(prefix="tolbrik-modern-")
        self.addCleanup(shutil.rmtree, work, True)
        # A run that repeats this test many times (scripts/mutate.py) makes the corpus once
        # and keeps mandoc's texts of it.
        corpus = os.environ.get("TOLBRIK_CORPUS") or os.path.join(work, "in")
        cache = ["--cache", os.environ["TOLBRIK_MANDOC_CACHE"]] if os.environ.get("TOLBRIK_MANDOC_CACHE") else []
        if not os.path.isdir(corpus):
            real_pages(self, corpus, at_least=SAMPLE)

        # Last, the example page of equations: word for word as mandoc's text of it.
        equations = os.path.join(work, "equations")
        os.makedirs(os.path.join(equations, "man7"))
        shutil.copy(os.path.join(source(), "examples", "man7", "tolbrik-equations.7"), os.path.join(equations, "man7"))
        compare = os.path.join(source(), "tests", "modern", "mandoc_compare.py")
        for check in [["--input", corpus, "--output", os.path.join(work, "out")] + c for c in CHECKS] + [
                ["--input", equations, "--kinds", "man", "--check", "1,1,1"]]:
            done = subprocess.run([sys.executable, compare, "--tolbrik", exe()] + check + cache,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
            self.assertEqual(done.returncode, 0, "\n" + done.stdout.decode("utf-8", "replace"))


if __name__ == "__main__":
    unittest.main()
