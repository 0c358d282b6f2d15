"""The help file tolbrik writes, as its readers read it: every stored file the same bytes
in libmspack, chmlib, 7-Zip and chmls; every page reading as its page on disk; the
search finding each word where it stands; the same bytes from any number of threads;
and a help file that cannot be written named, with every page still written.
"""
import html, os, posixpath, random, re, shutil, struct, subprocess, tempfile, unittest

from tolbrik_e2e import (exe, header_problems, read_bytes, read_help_file, real_pages, search_words, source,
                         topics_of, write_tree)

chm_reset_table = "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable"

PAGE = ".TH %s %s\n.SH NAME\n%s \\- %s\n.SH DESCRIPTION\n%s\n"


def edge_tree():
    """Pages that take the storage to its edges: one longer than many reset intervals,
    with long repeats and text that does not repeat; enough pages with long names for
    several listing chunks and two levels of index chunks above them; twins of one name
    in two language folders."""
    rng = random.Random(7)
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(1, 12))) for _ in range(3000)]
    long_text = "\n".join(" ".join(rng.choice(words) for _ in range(12)) for _ in range(6000))
    tree = {"man1/long.1": (PAGE % ("LONG", "1", "long", "a long page", long_text + "\n.nf\n" +
                                    ("the same line again and again\n" * 3000) + ".fi\n")).encode()}
    stem = "a-very-long-name-" * 12
    for k in range(700):
        tree["man3/%s%03d.3" % (stem, k)] = (PAGE % ("P%d" % k, "3", "%s%03d" % (stem, k), "page %d" % k,
                                                       "Text of page %d, see \\fBlong\\fP(1)." % k)).encode()
    # A name a viewer would read as the start of a path inside another help file.
    tree["man3/Edge::Case.3"] = (PAGE % ("EDGE", "3", "Edge::Case", "a module", "See \\fBEdge::Other\\fP(3).")).encode()
    tree["man3/Edge::Other.3"] = (PAGE % ("EDGE", "3", "Edge::Other", "another", "See \\fBEdge::Case\\fP(3).")).encode()
    tree["de/man1/twin.1"] = (PAGE % ("TWIN", "1", "twin", "Gr\u00f6\u00dfe \u2014 \u201c\u0436\u0443\u043a\u201d", "Stra\u00dfe")).encode()
    tree["man1/twin.1"] = (PAGE % ("TWIN", "1", "twin", "the English twin", "street")).encode()
    return tree


def text_of(data, encoding):
    """What a page reads as: its bytes decoded, its references resolved, its links
    without what the help file changes in them ('.html' for '.htm', '/' for '\\', '=3a'
    for ':')."""
    def link(m):
        path = m.group(2).replace("\\", "/").replace("%3A", ":").replace("=3a", ":")
        return '%s="%s%s' % (m.group(1), path[:-1] if path.endswith(".html") else path, m.group(3))
    return re.sub(r'(href|value)="(?![a-z]+://|mailto:)([^"#]*)([#"])', link, html.unescape(data.decode(encoding, "replace")))


def words_of(text):
    """The words of a page's title and visible text, lower case, numbered as the index
    numbers them: letters, digits and '_', an element within a line of text no break;
    `text` as stored, its references not yet resolved."""
    title = re.search(r"<title>(.*?)</title>", text, re.S)
    body = re.sub(r"<head>.*?</head>|<(script|style)\b.*?</\1>|<!--.*?-->", " ", text, flags=re.S | re.I)
    body = re.sub(r"<(?!/?(a|abbr|b|big|cite|code|em|font|i|kbd|q|s|samp|small|span|strong|sub|sup|tt|u|var)\b)"
                  r"[^>]*>", " ", body)
    text = html.unescape((title.group(1) if title else "") + " " + re.sub(r"<[^>]*>", "", body))
    return list(enumerate(w.lower() for w in re.findall(r"\w+", text) if len(w) <= 99))


def system_entries(data):
    """{code: data} of a system file."""
    entries, p = {}, 4
    while p < len(data):
        code, size = struct.unpack_from("<HH", data, p)
        entries[code], p = data[p + 4:p + 4 + size], p + 4 + size
    return entries


class HelpFileTest(unittest.TestCase):
    maxDiff = 3000

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tolbrik-help-file-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def convert(self, indir, name, *options, env=None):
        outdir = os.path.join(self.work, name)
        os.makedirs(outdir, exist_ok=True)
        done = subprocess.run([exe(), "-indir:" + indir, "-outdir:" + outdir] + list(options), cwd=self.work,
                              capture_output=True, timeout=600, check=False, env=env)
        return done, outdir

    def check_help_file(self, outdir, encoding, page_encoding):
        """Every reader extracts the same files; the pages read as on disk; the topics
        are the pages with their titles; the index finds every word where it stands."""
        chm = os.path.join(outdir, "tolbrik.chm")
        seen = read_help_file(self, chm, os.path.join(self.work, "read-" + os.path.basename(outdir)))
        files = seen["libmspack"]
        reset_table = read_bytes(os.path.join(self.work, "read-" + os.path.basename(outdir), "libmspack",
                                              *chm_reset_table.split("/")))
        self.assertEqual(header_problems(chm, reset_table), [])
        for reader, extracted in seen.items():
            self.assertEqual(extracted.keys(), files.keys(), reader)
            self.assertEqual([n for n in files if extracted[n] != files[n]], [], reader)
        pages = {"/" + os.path.relpath(os.path.join(f, n), outdir).replace(os.sep, "/"): read_bytes(os.path.join(f, n))
                 for f, _, names in os.walk(outdir) for n in names if n.endswith(".htm")}
        stored_names = {n[:-1].replace("=3a", ":"): n for n in files if n.endswith(".html")}
        self.assertEqual(set(stored_names), set(pages))
        for name, data in pages.items():
            stored = files[stored_names[name]]
            self.assertTrue(stored.isascii(), name)
            self.assertEqual(text_of(stored, "ascii"), text_of(data, page_encoding), name)
        # Every link to a page or the stylesheet, and every entry of the contents and the
        # index, leads to a stored file (a page's own links, .UR targets, go where they go).
        for name, data in files.items():
            targets = re.findall(rb'href="(?![a-z]+://|mailto:)([^"#]+\.(?:html|css))[#"]', data) if name.endswith(".html") else \
                re.findall(rb'name="Local" value="([^"]+)"', data) if name.endswith((".hhc", ".hhk")) else []
            folder = posixpath.dirname(name) if name.endswith(".html") else "/"
            self.assertEqual([t for t in targets if posixpath.normpath(posixpath.join(folder, t.decode())) not in files],
                             [], name)
        topics = topics_of(files)
        self.assertEqual(sorted(local for _, local in topics), sorted(stored_names.values()))
        index = {}
        for (word, title), hits in search_words(files["/$FIftiMain"]).items():
            for topic, locations in hits:
                index.setdefault(topic, set()).update((word.decode(encoding), l) for l in locations)
        for number, (title, local) in enumerate(topics):
            text = files[local].decode("ascii")
            if title.isascii():
                self.assertEqual(title.decode(), html.unescape(re.search(r"<title>(.*?)</title>", text).group(1)), local)
            # Where a page is ASCII, every word where it stands; elsewhere a letter may
            # be spelt with more than one, and only the ASCII words are sure to be there.
            found = index.get(number, set())
            if html.unescape(text).isascii():
                self.assertEqual({(w, n) for n, w in words_of(text)}, found, local)
            else:
                self.assertLessEqual({w for _, w in words_of(text) if w.isascii()}, {w for w, _ in found}, local)
        return files

    def test_readers_read_every_file_and_the_search_every_word(self):
        indir = os.path.join(self.work, "in")
        real_pages(self, indir, 300, 150)
        write_tree(indir, edge_tree())
        examples = os.path.join(source(), "examples")
        shutil.copytree(examples, os.path.join(indir, "examples"))
        done, modern = self.convert(indir, "modern", "-modern")
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        files = self.check_help_file(modern, "cp1252", "utf-8")
        system = system_entries(files["/#SYSTEM"])
        self.assertEqual((system[2], system[3], system[0], system[1]),
                         (b"index.html\0", b"Manual pages\0", b"tolbrik.hhc\0", b"tolbrik.hhk\0"))
        self.assertEqual(struct.unpack_from("<IIII", system[4]), (0x409, 0, 1, 1))
        index = read_bytes(os.path.join(modern, "tolbrik.hhk")).decode("cp1252")
        self.assertIn('value="twin(1) [de]"', index)
        self.assertIn('value="twin(1)"', index)
        contents = read_bytes(os.path.join(modern, "tolbrik.hhc")).decode("cp1252")
        self.assertEqual(re.findall(r'"(twin\(1\)[^"]*)"', contents),
                         ["twin(1) \u2014 the English twin", "twin(1) \u2014 Gr\u00f6\u00dfe \u2014 \u201czhuk\u201d"])
        # The classic run's help file: Russian, its pages read in the code page they declare.
        done, classic = self.convert(os.path.join(indir, "examples"), "classic", "-chm")
        self.assertEqual(done.returncode, 0, done.stderr)
        files = self.check_help_file(classic, "cp1251", "cp1251")
        system = system_entries(files["/#SYSTEM"])
        self.assertEqual((system[3], struct.unpack_from("<I", system[4])[0]), ("\u0421\u0442\u0440\u0430\u043d\u0438\u0446\u044b "
                         "\u0441\u043f\u0440\u0430\u0432\u043a\u0438\0".encode("cp1251"), 0x419))

    def test_the_same_tree_gives_the_same_bytes_and_failures_are_named(self):
        indir = os.path.join(source(), "examples")
        env = dict(os.environ, SOURCE_DATE_EPOCH="1000000000")
        runs = [self.convert(indir, "run%d" % k, "-modern", *jobs, env=env) for k, jobs in
                enumerate([[], ["-jobs:1"], ["-jobs:3"]])]
        chms = {read_bytes(os.path.join(out, "tolbrik.chm")) for _, out in runs}
        self.assertEqual(len(chms), 1)
        chm = chms.pop()
        self.assertEqual(struct.unpack_from("<I", chm, 0x10)[0], 1000000000)
        # Without the variable, the newest page's time: a run later gives the same bytes.
        later = [self.convert(indir, "later%d" % k, "-modern")[1] for k in range(2)]
        self.assertEqual(*[read_bytes(os.path.join(out, "tolbrik.chm")) for out in later])
        # -nochm leaves out the help file with the project.
        done, bare = self.convert(indir, "bare", "-modern", "-nochm")
        self.assertEqual([n for n in os.listdir(bare) if n.startswith("tolbrik.")], ["tolbrik.css"])
        # A help file that cannot be written: one line, status 1, everything else written.
        os.makedirs(os.path.join(self.work, "blocked", "tolbrik.chm"))
        for options in (["-modern"], ["-chm"]):
            done, blocked = self.convert(indir, "blocked", *options)
            self.assertEqual((done.returncode, done.stderr.decode().replace(self.work, "W")),
                             (1, "tolbrik: cannot write W/blocked/tolbrik.chm: Is a directory\n"))
            self.assertTrue(os.path.exists(os.path.join(blocked, "man1", "tolbrik.htm")))
            self.assertTrue(os.path.exists(os.path.join(blocked, "tolbrik.hhk")))


if __name__ == "__main__":
    unittest.main()
