"""This machine's manual pages converted with -modern, measured against mandoc's rendering
of the same sources by tests/modern/mandoc_compare.py: the words of a sample of man pages,
troff leftovers, HTML errors, and the run itself. Alone:
    python3 -m unittest test_modern_corpus.ModernCorpusTest.test_man_pages_read_as_mandoc_renders_them
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from tolbrik_e2e import exe, need, skip_loudly, source

SAMPLE = 2000
LIMITS = "0.995,0.99,0.99"  # recall, precision, share of pages without troff leftovers


class ModernCorpusTest(unittest.TestCase):

    def test_man_pages_read_as_mandoc_renders_them(self):
        tool = os.path.join(source(), "..", "shared", "tools", "make-man-corpus")
        if not os.access(tool, os.X_OK):
            skip_loudly(self, "no corpus maker at " + tool)
        need(self, ("mandoc", "mandoc"))
        work = tempfile.mkdtemp(prefix="tolbrik-modern-")
        self.addCleanup(shutil.rmtree, work, True)
        corpus = os.path.join(work, "in")
        made = subprocess.run([tool, corpus], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              check=False)
        if made.returncode != 0:
            skip_loudly(self, "no manual pages: " + made.stdout.decode("utf-8", "replace"))

        compare = os.path.join(source(), "tests", "modern", "mandoc_compare.py")
        done = subprocess.run([sys.executable, compare, "--tolbrik", exe(), "--input", corpus,
                               "--output", os.path.join(work, "out"), "--kinds", "man",
                               "--sample", str(SAMPLE), "--check", LIMITS],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
        self.assertEqual(done.returncode, 0, "\n" + done.stdout.decode("utf-8", "replace"))


if __name__ == "__main__":
    unittest.main()
