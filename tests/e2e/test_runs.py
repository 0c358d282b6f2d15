"""Whole runs in the ordinary cases: what the program prints and writes, and its status,
for the help text, a tree without pages, a tree where only some candidates are pages,
and folders left to their defaults or named relative to the working folder.
"""
import os, shutil, subprocess, tempfile, unittest

from tolbrik_e2e import BANNER, NO_TITLE, exe, write_tree

PAGE = b".TH PAGE 1\n.SH NAME\npage \\- a page\n"
PROJECT = ["tolbrik.hhc", "tolbrik.hhk", "tolbrik.hhp"]


def listing(root):
    """Every entry under `root`, folders with a trailing '/', sorted."""
    return sorted(os.path.relpath(os.path.join(folder, name), root) + ("/" if name in folders else "")
                  for folder, folders, files in os.walk(root) for name in folders + files)


class RunTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tolbrik-run-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def run_in(self, cwd, *args):
        done = subprocess.run([exe(), *args], cwd=cwd, capture_output=True, timeout=120, check=False)
        return done.returncode, done.stdout, done.stderr

    def test_help_and_version_print_their_text_and_do_nothing_else(self):
        write_tree(self.work, {"ls.1": PAGE})
        for spellings, starts in (([["-?"], ["-indir:.", "-?", "-nochm"], ["-?", "-outdir:" + self.work + "/out"],
                                    ["-h"], ["--help", "-modern"], ["/?"]], BANNER),
                                  ([["-version"], ["-modern", "--version"]], b"tolbrik ")):
            outputs = {self.run_in(self.work, *args) for args in spellings}
            self.assertEqual(len(outputs), 1, spellings)
            status, out, err = outputs.pop()
            self.assertEqual((status, err, listing(self.work)), (0, b"", ["ls.1"]))
            self.assertTrue(out.startswith(starts) and len(out) > len(starts), out)
        self.assertRegex(self.run_in(self.work, "--version")[1], rb"^tolbrik [0-9]+\.[0-9]+(\.[0-9]+)?\n$")

    def test_no_file_found(self):
        # Empty folders, a missing one and a file: the page in the working folder is no input.
        write_tree(self.work, {"stray.1": PAGE, "empty/": None, "hollow/inner/": None})
        for name in ("empty", "hollow", "missing", "stray.1"):
            self.assertEqual(self.run_in(self.work, "-indir:" + os.path.join(self.work, name), "-outdir:out"),
                             (0, BANNER + b"No files found to process", b""), name)
        self.assertEqual(listing(self.work), ["empty/", "hollow/", "hollow/inner/", "stray.1"])

    def test_only_pages_are_written(self):
        indir = os.path.join(self.work, "in")
        write_tree(indir, {"p3.1": b"no title line\n", "p1.1": b"no title line\n",
                           "p2.1": b".TH SECOND 2\n.SH NAME\nsecond\n", "README": PAGE})
        untitled = BANNER + NO_TITLE + b"p1.1\n" + NO_TITLE + b"p3.1\n"
        out = os.path.join(self.work, "out")
        self.assertEqual(self.run_in(self.work, "-indir:" + indir, "-outdir:" + out), (0, untitled, b""))
        self.assertEqual(listing(out), ["p2.htm"] + PROJECT)
        with open(os.path.join(out, "tolbrik.hhk"), "rb") as f:
            self.assertIn(b'"SECOND"', f.read())
        self.assertEqual(self.run_in(self.work, "-indir:" + indir, "-nochm", "-outdir:" + out + "2")[0], 0)
        self.assertEqual(listing(out + "2"), ["p2.htm"])
        # No page at all: nothing is written, not even the output folder.
        write_tree(indir, {"p2.1": b"no title line\n"})
        self.assertEqual(self.run_in(self.work, "-indir:" + indir, "-outdir:" + out + "3"),
                         (0, untitled.replace(b"p3.1", b"p2.1\n" + NO_TITLE + b"p3.1"), b""))
        self.assertFalse(os.path.exists(out + "3"))

    def test_folders_default_to_the_working_folder(self):
        write_tree(self.work, {"ls.1": PAGE, "man1/cat.1": PAGE})
        self.assertEqual(self.run_in(self.work), (0, BANNER, b""))
        self.assertEqual(listing(self.work), sorted(["ls.1", "ls.htm", "man1/", "man1/cat.1", "man1/cat.htm"] + PROJECT))
        # A relative input folder, with or without a separator: the results still go to the
        # working folder.
        for n, input_folder in enumerate(("-indir:in", "-indir:in/", "-indir:in\\")):
            cwd = os.path.join(self.work, str(n))
            write_tree(cwd, {"in/sub/page.1": PAGE})
            self.assertEqual(self.run_in(cwd, input_folder)[0], 0)
            self.assertEqual(listing(cwd), sorted(["in/", "in/sub/", "in/sub/page.1", "sub/", "sub/page.htm"] + PROJECT))


if __name__ == "__main__":
    unittest.main()
