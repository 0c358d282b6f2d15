"""Helpers shared by the end-to-end suites: the built program, input trees, the help
compiler (chmcmd) and its reader (chmls), and a model of what a run must produce.

Paths inside the help project use backslashes; the model keeps them that way, and only
turns them into '/' where it compares them with what chmls reports.
"""
import os, shutil, struct, subprocess, sys, unittest
from html.parser import HTMLParser


BANNER = "преобразователь MAN -> HTML. запусти с -? для справки\n".encode("cp866")
NO_TITLE = "Заголовок MAN не найден в файле: ".encode("cp866")  # then the candidate's path


def exe():  # the built program, as ctest hands it over
    return os.environ["TOLBRIK_EXE"]


def source():  # the repository's root folder
    return os.environ.get("TOLBRIK_SOURCE") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def skip_loudly(test, reason):
    """Skips `test` after a line that cannot be missed; under CI=true the test fails."""
    print("\n!!!!!!!! SKIPPED: %s: %s !!!!!!!!" % (test.id(), reason), file=sys.stderr, flush=True)
    if os.environ.get("CI") == "true":
        test.fail("skipped under CI=true, which counts as a failure: " + reason)
    raise unittest.SkipTest(reason)


def need(test, *pairs):
    """Makes sure the commands are there, installing their Debian packages through
    scripts/need.sh; pairs are (command, package). Skips loudly when that fails."""
    if not all(shutil.which(cmd) for cmd, _ in pairs):
        subprocess.run([os.path.join(source(), "scripts", "need.sh")] + [a for pair in pairs for a in pair],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    missing = [cmd for cmd, _ in pairs if not shutil.which(cmd)]
    if missing:
        skip_loudly(test, "missing %s (scripts/need.sh could not install it)" % ", ".join(missing))


def real_pages(test, dest, limit=0, at_least=1, languages=False):
    """Makes a tree of this machine's manual pages at `dest` (scripts/man_corpus.py, the
    first `limit` of them when given); skips loudly when it holds fewer than `at_least`."""
    command = [sys.executable, os.path.join(source(), "scripts", "man_corpus.py"), dest]
    command += ["--limit", str(limit)] if limit else []
    command += ["--languages"] if languages else []
    made = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    count = sum(len(names) for _, _, names in os.walk(dest))
    if made.returncode != 0 or count < at_least:
        skip_loudly(test, "too few manual pages on this machine (%d): %s"
                    % (count, made.stdout.decode("utf-8", "replace").strip()))


def write_tree(root, files):
    """Writes {relative path with '/': bytes, or None for a folder} under `root`, making
    folders as needed; the paths are str or, with a bytes `root`, bytes."""
    for relative, data in files.items():
        path = os.path.join(root, relative)
        os.makedirs(path if data is None else os.path.dirname(path), exist_ok=True)
        if data is not None:
            with open(path, "wb") as f:
                f.write(data)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


# ---- The model: which files are pages, under which titles, in which order ---------------

WINDOW = 260       # identification looks at a page through a window of this many bytes
TITLE_LIMIT = 127  # the longest title kept


def walk(root, prefix=""):
    """Every file under `root`, depth first in the listing order (names compared with their
    ASCII letters as capitals, then byte by byte), as paths relative to `root` joined by
    backslashes. A name that holds a backslash or a line feed cannot be listed."""
    found = []
    with os.scandir(root) as listing:
        for entry in sorted(listing, key=lambda e: (os.fsencode(e.name).upper(), os.fsencode(e.name))):
            if "\\" in entry.name or "\n" in entry.name:
                continue
            found += walk(entry.path, prefix + entry.name + "\\") if entry.is_dir() else [prefix + entry.name]
    return found


def page_title(data):
    """The title of a page held in `data` (bytes as on disk), or None when no line begins
    with ".TH ". Text is read as a text stream: CR LF is one line end and Ctrl-Z ends the
    file. A line longer than the window is looked at in window-sized pieces."""
    data = data.split(b"\x1a", 1)[0].replace(b"\r\n", b"\n")
    pos = 0
    while pos < len(data):
        window = data[pos:pos + WINDOW]
        if window.startswith(b".TH "):
            end = 4
            while end < len(window) and window[end] not in b" \n":
                end += 1
            return window[4:end].split(b"\0", 1)[0][:TITLE_LIMIT]
        line_feed = window.find(b"\n")
        if line_feed >= 0:
            pos += line_feed + 1
        elif len(window) == WINDOW:
            pos += WINDOW
        else:
            return None
    return None


def html_paths(source_paths):
    """The HTML path of each page, in table order: the source path up to its last '.' and
    ".htm"; where a page before it has that path already (letter case aside), the whole
    source path and ".htm", then with 2, 3 ... before ".htm"."""
    taken, paths = set(), []
    for source_path in source_paths:
        path = source_path[:source_path.rfind(".")] + ".htm"
        if fold(path) in taken:
            path, number = source_path + ".htm", 2
            while fold(path) in taken:
                path, number = "%s%d.htm" % (source_path, number), number + 1
        taken.add(fold(path))
        paths.append(path)
    return paths


def expected_pages(root):
    """[(title, source path, HTML path)] of every page under `root`, in the order of the
    page table. Titles are str decoded as Latin-1, so that every byte stays one
    character."""
    pages = []
    for relative in walk(root):
        dot = relative.rfind(".")
        title = dot >= 0 and relative[dot + 1:dot + 2].isdigit() and page_title(
            read_bytes(os.path.join(root, *relative.split("\\"))))
        if title is not None and title is not False:
            pages.append((title.decode("latin-1"), relative))
    return [(title, path, html) for (title, path), html in zip(pages, html_paths(p for _, p in pages))]


def fold(name):
    """Folder names match without regard to ASCII letter case."""
    return "".join(c.lower() if "A" <= c <= "Z" else c for c in name)


def expected_contents(pages):
    """The contents tree of `pages` as `outline` gives it: a folder heading each time a
    folder is entered from the page before, and every page as an entry under its folders."""
    lines, current = [], []
    for title, source_path, html in pages:
        folders = source_path.split("\\")[:-1]
        common = 0
        while common < min(len(folders), len(current)) and fold(folders[common]) == fold(current[common]):
            common += 1
        lines += ["  " * depth + repr(folder) for depth, folder in enumerate(folders[common:], common)]
        lines.append("  " * len(folders) + repr(title) + " -> " + html.replace("\\", "/"))
        current = folders
    return lines


# ---- Sitemap files: the contents and index files, and what chmls extracts --------------

class Item:
    def __init__(self):
        self.params = []    # (lower-case parameter name, value), in file order
        self.children = []  # the list that follows the item, if any

    def first(self, name):
        return next((v for n, v in self.params if n == name), None)


class SitemapReader(HTMLParser):
    """Reads a sitemap into a list of Items. A <UL> right after an item holds that item's
    children, as the contents format has it."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root, self.lists, self.item, self.problems = [], [], None, []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "ul":
            if self.lists and not self.lists[-1]:
                self.problems.append("a list opens without an item before it")
            self.lists.append(self.lists[-1][-1].children if self.lists and self.lists[-1] else
                              [] if self.lists else self.root)
        elif tag == "object":
            self.item = Item() if (attrs.get("type") or "").lower() == "text/sitemap" else None
            if self.item is not None:
                (self.lists[-1] if self.lists else self.problems).append(
                    self.item if self.lists else "an item outside every list")
        elif tag == "param" and self.item is not None:
            self.item.params.append(((attrs.get("name") or "").lower(), attrs.get("value") or ""))

    def handle_endtag(self, tag):
        if tag == "ul" and not self.lists:
            self.problems.append("a list closes that was never opened")
        elif tag == "ul":
            self.lists.pop()
        elif tag == "object":
            self.item = None


def read_sitemap(data, outlined=True):
    """Parses sitemap bytes; returns (its outline, or its items, and its problems)."""
    reader = SitemapReader()
    reader.feed(data.decode("latin-1"))
    reader.close()
    if reader.lists:
        reader.problems.append("%d list(s) left open" % len(reader.lists))
    return outline(reader.root) if outlined else reader.root, reader.problems


def outline(items, depth=0):
    """The tree as lines "indent name -> local", with '/' between folders of the local
    path, so that two trees compare line by line. An empty name reads like a missing one,
    since chmls leaves empty names out."""
    lines = []
    for item in items:
        local = item.first("local")
        lines.append("  " * depth + repr(item.first("name") or "") +
                     ("" if local is None else " -> " + local.replace("\\", "/")))
        lines += outline(item.children, depth + 1)
    return lines


def index_entries(items):
    """Sorted (keyword, local path with '/') pairs of an index: one per Local parameter.
    chmls names each keyword twice, first as it converts the stored Unicode text (where
    bytes beyond ASCII turn into '?'), then with the bytes the sitemap gave; the keyword
    is therefore an item's last Name."""
    pairs = []
    for item in items:
        keyword = ([value for name, value in item.params if name == "name"] or [""])[-1]
        pairs += [(keyword, value.replace("\\", "/")) for name, value in item.params if name == "local"]
    return sorted(pairs)


def project_files(data):
    """The lines of the project file's [FILES] section."""
    text = data.decode("latin-1").replace("\r\n", "\n")
    section = text.split("\n[FILES]\n", 1)[1].split("\n\n[INFOTYPES]\n", 1)[0]
    return section.split("\n")


# ---- The help compiler and its reader --------------------------------------------------

def compile_chm(outdir):
    """Runs chmcmd on the project in `outdir`; returns (status, everything it printed)."""
    done = subprocess.run(["chmcmd", "--verbosity", "5", "tolbrik.hhp"], cwd=outdir,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    return done.returncode, done.stdout.decode("latin-1")


def chmls(*args):
    done = subprocess.run(["chmls"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    assert done.returncode == 0, "chmls %s failed (%d): %s" % (" ".join(args), done.returncode, done.stdout)
    return done.stdout


def chm_names(chm):
    """Every name stored in the compiled file, as chmls lists it ("/man1/ls.htm")."""
    listing = chmls("-p", "-n", "list", chm).decode("latin-1").splitlines()
    return {line for line in listing if line.startswith("/")}


def chm_extract(command, chm, target):
    """The contents (extracttoc) or index (extractindex) as chmls reads it back."""
    chmls(command, chm, target)
    return read_bytes(target)


# ---- The compiled help file as its readers see it ---------------------------------------

# The readers (Debian packages): libmspack through tests/readers/mspack_read, chmlib's
# tools, 7-Zip and chmls. Each extracts every file into a folder of its own.
READERS = [("extract_chmLib", "libchm-bin"), ("enum_chmLib", "libchm-bin"), ("test_chmLib", "libchm-bin"),
           ("7z", "p7zip-full"), ("chmls", "fp-utils")]


def run_reader(*command):
    done = subprocess.run(list(command), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    assert done.returncode == 0, "%s failed (%d): %s" % (command, done.returncode, done.stdout[-2000:])
    return done.stdout.decode("latin-1")


def files_under(root):
    """{'/name': bytes} of every file under `root`."""
    return {"/" + os.path.relpath(os.path.join(folder, n), root).replace(os.sep, "/"): read_bytes(os.path.join(folder, n))
            for folder, _, names in os.walk(root) for n in names}


def read_help_file(test, chm, work):
    """Every stored file as each reader extracts it: {reader: {'/name': bytes}}, the
    internal '::' files and empty ones (not every reader writes them) left out; 7-Zip's
    test and chmlib's listing must pass too."""
    need(test, *READERS)
    seen = {}
    for reader, command in [("libmspack", [os.environ["TOLBRIK_MSPACK_READ"], chm]), ("chmlib", ["extract_chmLib", chm]),
                            ("7-Zip", ["7z", "x", "-y", "-o%s", chm]), ("chmls", ["chmls", "extractall", chm])]:
        folder = os.path.join(work, reader)
        run_reader(*[c % folder if "%s" in c else c for c in command] + ([] if reader == "7-Zip" else [folder]))
        seen[reader] = {name: data for name, data in files_under(folder).items() if data and not name.startswith("/::")}
    test.assertIn("Everything is Ok", run_reader("7z", "t", chm))
    listed = {line.split()[-1] for line in run_reader("enum_chmLib", chm).splitlines() if line.strip().startswith(("0", "1"))}
    test.assertLessEqual(set(seen["libmspack"]), listed)
    # A name in the last listing chunk is found through the index chunks.
    last = max(seen["libmspack"], key=lambda n: n.lower())
    test.assertIn("extracting to", run_reader("test_chmLib", chm, last, os.path.join(work, "last")))
    return seen


def header_problems(chm, reset_table):
    """What the header and the reset table of a help file get wrong that no reader minds
    but the format's own writer would not write."""
    data = read_bytes(chm)
    problems = []
    version, length, _, _, _ = struct.unpack_from("<IIIII", data, 4)
    guids = data[0x18:0x38].hex()
    if (data[:4], version, length, guids) != (b"ITSF", 3, 0x60, "10fd017caa7bd0119e0c00a0c922e6ec"
                                                          "11fd017caa7bd0119e0c00a0c922e6ec"):
        problems.append("file header")
    if struct.unpack_from("<IIQ", data, 0x60) != (0x1FE, 0, len(data)):
        problems.append("the length in the first header section")
    depth, root, first, last, _, chunks = struct.unpack_from("<IiIIiI", data, 0x78 + 0x18)
    if (root == -1) != (depth == 1) or first != 0 or struct.unpack_from("<Q", data, 0x50)[0] != 0x54 + 4096 * chunks:
        problems.append("directory header: depth %d, root %d, first %d, %d chunks" % (depth, root, first, chunks))
    frames, uncompressed = struct.unpack_from("<I", reset_table, 4)[0], struct.unpack_from("<Q", reset_table, 16)[0]
    if frames != (uncompressed + 32767) // 32768 or uncompressed % 32768 in (0, 32767):
        problems.append("reset table: %d frames for %d bytes" % (frames, uncompressed))
    return problems


def cstring(data, at):
    return data[at:data.index(b"\0", at)]


def topics_of(files):
    """[(title bytes or None, stored name)] of the help file's topics."""
    strings, topics, urltbl, urlstr = (files[n] for n in ("/#STRINGS", "/#TOPICS", "/#URLTBL", "/#URLSTR"))
    found = []
    for i in range(len(topics) // 16):
        _, title, address = struct.unpack_from("<III", topics, 16 * i)
        _, topic, where = struct.unpack_from("<III", urltbl, address)
        assert topic == i, (topic, i)
        found.append((None if title == 0xFFFFFFFF else cstring(strings, title), "/" + cstring(urlstr, where + 8).decode()))
    return found


def search_words(data):
    """{(word bytes, in titles): [(topic, [locations])]} from a full-text index, read leaf
    by leaf from the first as viewers read it."""
    def varint(p):
        value = shift = 0
        while True:
            b = data[p]
            value, shift, p = value | (b & 0x7F) << shift, shift + 7, p + 1
            if b < 0x80:
                return value, p

    def sr(bits, p, root):
        ones = 0
        while bits[p]:
            ones, p = ones + 1, p + 1
        p += 1
        n = root + max(ones - 1, 0)
        value = int("".join(map(str, bits[p:p + n])) or "0", 2) + ((1 << (root + ones - 1)) if ones else 0)
        return value, p + n

    root, depth = struct.unpack_from("<IH", data, 0x14)
    roots = data[0x1F], data[0x21], data[0x23]
    node = root
    for _ in range(depth - 1):  # down the first entries to the first leaf
        node = struct.unpack_from("<I", data, node + 2 + 1 + data[node + 2])[0]
    words = {}
    while True:
        following, free = struct.unpack_from("<I", data, node)[0], struct.unpack_from("<H", data, node + 6)[0]
        p, previous = node + 8, b""
        while p < node + 4096 - free:
            length, prefix = data[p], data[p + 1]
            word = previous[:prefix] + data[p + 2:p + 1 + length]
            title, (documents, p) = data[p + 1 + length], varint(p + 2 + length)
            offset = struct.unpack_from("<I", data, p)[0]
            size, p = varint(p + 6)
            bits = [(b >> (7 - k)) & 1 for b in data[offset:offset + size] for k in range(8)]
            at, topic, hits = 0, 0, []
            for _ in range(documents):
                delta, at = sr(bits, at, roots[0])
                count, at = sr(bits, at, roots[1])
                topic, location, locations = topic + delta, 0, []
                for _ in range(count):
                    step, at = sr(bits, at, roots[2])
                    location += step
                    locations.append(location)
                hits.append((topic, locations))
                at = (at + 7) // 8 * 8
            words[(word, bool(title))] = hits
            previous = word
        if following == 0:
            return words
        node = following
