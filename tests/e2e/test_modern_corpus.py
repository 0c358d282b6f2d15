"""This machine's manual pages converted with -modern, measured against mandoc's rendering
of the same sources by tests/modern/mandoc_compare.py: the words of a sample of man pages,
and of every page with a table and every mdoc page, troff leftovers, HTML errors, tables,
the references made links, and the run itself; and the example page of equations, word
for word.
"""
import os, shutil, subprocess, sys, tempfile, unittest

from tolbrik_e2e import exe, need, real_pages, source

SAMPLE = 2000
# (kinds, sample, recall, precision, share of pages without troff leftovers, more); --links:
# 95 % of the references that name a page of the tree made links, none from anything else.
CHECKS = [("man", SAMPLE, "0.995,0.99,0.99", ["--links"]), ("tbl,mdoc", 0, "0.99,0.98,0.97", [])]


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
        equations = os.path.join(work, "equations", "man7")
        os.makedirs(equations)
        shutil.copy(os.path.join(source(), "examples", "man7", "tolbrik-equations.7"), equations)
        compare = os.path.join(source(), "tests", "modern", "mandoc_compare.py")
        for number, (kinds, sample, limits, extra) in enumerate(CHECKS + [("man", 0, "1,1,1", [])]):
            sampled = ["--sample", str(sample)] if sample else []
            # The tree is converted once; the second check reads what the first wrote.
            tree = ["--input", corpus, "--output", os.path.join(work, "out")] + ["--no-run"] * (number == 1)
            done = subprocess.run([sys.executable, compare, "--tolbrik", exe(), "--kinds", kinds, "--check", limits] +
                                  (tree if number < len(CHECKS) else ["--input", os.path.dirname(equations)]) +
                                  sampled + extra + cache, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
            self.assertEqual(done.returncode, 0, "\n" + done.stdout.decode("utf-8", "replace"))

if __name__ == "__main__":
    unittest.main()
