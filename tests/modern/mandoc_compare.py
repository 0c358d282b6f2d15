#!/usr/bin/env python3
"""Measures the modern pages against mandoc's text of the same sources: the words of each
page, troff leftovers, HTML parse errors and, with --links, the references made links.

Words compare as multisets, text and not layout: recall is the share of mandoc's words
that our page has, precision the share of ours that mandoc has. A leftover is a word of
ours, not mandoc's, that is roff source shown as text.
"""
import argparse, gzip, hashlib, importlib.util, os, re, string, subprocess, sys, tempfile
from collections import Counter
from html.parser import HTMLParser
from multiprocessing import Pool
from urllib.parse import unquote

TOOL_TIMEOUT = 1800   # seconds for the whole conversion; beyond that it counts as a crash
MANDOC_TIMEOUT = 120  # seconds for one page
BLOCKS = set("p div pre h1 h2 h3 h4 h5 h6 dl dt dd ul ol li table thead tbody tfoot tr td th "
             "caption header footer section main nav blockquote hr br article aside figure "
             "figcaption details summary address".split())
HIDDEN = {"head", "title", "script", "style", "template"}  # "title": a head without its tag
MACROS = set("""TH SH SS PP LP P TP TQ IP HP RS RE nf fi EX EE br sp B I SM SB BI BR IB IR RB
    RI UR UE MT ME SY YS OP PD AT UC MR ds as de am if ie el nr so ig ft ps vs in ti ll na ad
    hy nh ne ce ta tr rm rn als while do cc c2 ec eo TS TE T& Dd Dt Os Sh Ss Nm Nd Xr Bl El It
    Fl Ar Op Pp Bd Ed D1 Dl Ql Dq Sq Pq Qq Oo Oc Ev Va Vt Fn Fo Fc Fa Fd Ft Er Cm Ic Pa Lk Mt
    Sy Li Ns Sx Bf Ef Bk Ek Lb Rv Bx Nx Ox Fx Bsx Dx Aq Ao Ac Bq Bo Bc Brq Bro Brc Eo Ec Xo Xc
    Cd Dv Ap Rs Re Ud Ux St""".split())
SPACES = "\u00a0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a" \
         "\u2028\u2029\u202f\u205f\u3000" + "".join(map(chr, range(0x2500, 0x2580)))  # table rules
NORMAL = str.maketrans({**{c: " " for c in SPACES}, "\u2010": "-", "\u2011": "-", "\u2212": "-",
                        "\u2018": "'", "\u2019": "'", "\u201c": '"', "\u201d": '"'})
REFERENCE = re.compile(r"(?<![\w.:+@-])([A-Za-z0-9_][\w.:+@-]*)\(([0-9][A-Za-z0-9]{0,9})\)")
# The same with a blank before the parenthesis: mandoc shows `.BR name (2)` in a table's
# T{ block that way. Not counted as a reference, but a link there is not a stray one.
SPACED_REFERENCE = re.compile(r"(?<![\w.:+@-])([A-Za-z0-9_][\w.:+@-]*) \(([0-9][A-Za-z0-9]{0,9})\)")
SECTION = re.compile(r"\.([0-9][^.]*)$")
NAME_DASH = re.compile(r"\s[-\u2013\u2014]+\s")  # "ls - list", and mdoc's "ls — list"
FOLD = str.maketrans(string.ascii_uppercase, string.ascii_lowercase)  # case as files see it


# ---- The tree: which files are pages, of what kind, written where ----------------------

stem = lambda source: source[:-3] if source.endswith(".gz") else source
html_path = lambda source: stem(source)[:stem(source).rfind(".")] + ".htm"  # man1/ls.htm of man1/ls.1.gz
page_name = lambda source: tuple(os.path.basename(stem(source)).rsplit(".", 1))  # (printf, 3p) of printf.3p.gz


def classify(data):
    """('alias', target) or (kind, None), kind 'mdoc', 'tbl', 'man' or None (no page)."""
    content = [line.strip() for line in data.split(b"\n")]
    content = [line for line in content if line and not line.startswith((b'.\\"', b"'\\\""))]
    if len(content) == 1 and re.match(rb"\.so\s", content[0]):
        return "alias", content[0][3:].strip().decode("utf-8", "replace")
    has = lambda names: re.search(rb"^\.[ \t]*(%s)(\s|$)" % names, data, re.M)
    if has(rb"Dd|Dt"):
        return "mdoc", None
    return ("tbl" if has(rb"TS") else "man") if has(rb"TH") else None, None


def scan_tree(root):
    """{source: (kind, alias target)} of every page under `root` (paths relative to it,
    with '/'), and the sources whose HTML name a page before them took (case aside)."""
    pages, taken, renamed = {}, set(), set()
    walk_key = lambda name: (os.fsencode(name).upper(), os.fsencode(name))
    for folder, dirs, files in os.walk(root):  # in the converter's order, case aside
        dirs.sort(key=walk_key)
        for name in sorted(files, key=walk_key):
            source = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
            if not SECTION.search(stem(name)):
                continue
            try:
                with open(os.path.join(folder, name), "rb") as f:
                    data = f.read()
                pages[source] = classify(gzip.decompress(data) if name.endswith(".gz") else data)
            except (OSError, EOFError, gzip.BadGzipFile):
                pages[source] = ("unreadable", None)
            if pages[source][0] in ("man", "tbl", "mdoc"):
                if html_path(source).translate(FOLD) in taken:
                    renamed.add(source)
                taken.add(html_path(source).translate(FOLD))
            elif pages[source][0] is None:
                del pages[source]
    return pages, renamed


# ---- Texts: mandoc's rendering and our page's -----------------------------------------

def mandoc_text(path, cache):
    """mandoc's text of the page at `path` without overstrike, cached by path, mtime and
    size; None when mandoc prints nothing."""
    st = os.stat(path)
    key = hashlib.sha1(("%s\0%d\0%d" % (path, st.st_mtime_ns, st.st_size)).encode()).hexdigest()
    cached = os.path.join(cache, key[:2], key) if cache else None
    if cached and os.path.exists(cached):
        with open(cached, encoding="utf-8") as f:
            return f.read() or None
    try:  # .so paths start at the top of the page's tree, the parent of its folder
        done = subprocess.run(["mandoc", "-Tutf8", "-O", "width=1000", path],
                              cwd=os.path.dirname(os.path.dirname(path)), capture_output=True,
                              timeout=MANDOC_TIMEOUT, check=False)
        text = re.sub(r".\x08", "", done.stdout.decode("utf-8", "replace"))
    except subprocess.TimeoutExpired:
        text = ""
    if cached:
        os.makedirs(os.path.dirname(cached), exist_ok=True)
        with open(cached + ".%d" % os.getpid(), "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(cached + ".%d" % os.getpid(), cached)
    return text or None


class BodyText(HTMLParser):
    """A page's body text, a blank around each block; its relative links as (href, text).
    An external link reads as a terminal shows it: its text, then its address in angle
    brackets (the address alone when it is the text); a link without text (a heading's to
    itself) reads as nothing. A list's item starts with the marker a browser shows."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts, self.links, self.anchor, self.external, self.hidden = [], [], None, None, 0
        self.lists = []  # the marker of each list open, innermost last: a count for <ol>

    def handle_starttag(self, tag, attrs):
        self.hidden = 0 if tag == "body" else self.hidden + (tag in HIDDEN)
        self.parts.append(" " if tag in BLOCKS else "")
        if tag in ("ul", "ol"):
            marker = re.search(r"list-style-type: '(\S+)", dict(attrs).get("style") or "")
            self.lists.append(0 if tag == "ol" else marker.group(1) if marker else "\u2022")
        if tag == "li" and self.lists:
            if isinstance(self.lists[-1], int):
                self.lists[-1] += 1
            self.parts.append("%s " % ("%d." % self.lists[-1] if isinstance(self.lists[-1], int) else self.lists[-1]))
        href = dict(attrs).get("href") if tag == "a" else None
        if href is not None and not re.match(r"[A-Za-z][\w+.-]*:|#|/", href):
            self.anchor = (href, len(self.parts))
        elif href is not None:
            self.external = (re.sub(r"^mailto:", "", href), len(self.parts))

    def handle_endtag(self, tag):
        self.hidden -= tag in HIDDEN and self.hidden > 0
        if tag in ("ul", "ol") and self.lists:
            self.lists.pop()
        if tag == "a" and self.anchor:
            self.links.append((self.anchor[0], "".join(self.parts[self.anchor[1]:])))
            self.anchor = None
        if tag == "a" and self.external:
            (address, start), self.external = self.external, None
            shown = "".join(self.parts[start:]).strip()
            if shown == address:
                self.parts[start:] = ["<%s>" % address]
            elif shown:
                self.parts.append(" <%s>" % address)
        self.parts.append(" " if tag in BLOCKS else "")

    def handle_data(self, data):
        if not self.hidden:
            self.parts.append(data)


words = lambda text: text.translate(NORMAL).split()


def html_error(data):
    """The first fault of the page as HTML5 in UTF-8 ('line:column code'), or None."""
    try:
        data.decode("utf-8")
    except UnicodeDecodeError as error:
        return "not UTF-8 at byte %d" % error.start
    parser = load_html5lib().HTMLParser(strict=True)
    try:
        parser.parse(data)
    except Exception as error:  # strict mode raises at the first error, in several types
        if not parser.errors:
            return "%s: %s" % (type(error).__name__, error)
        (line, column), code, _ = parser.errors[0]
        return "%s:%s %s" % (line, column, code)
    return None


def leftover(word):
    """Whether a word is roff source: an escape, or a request or macro name."""
    bare = word[1:] if word[:1] in ".'" else word
    return "\\" in word or bare.rstrip(",.;:") in MACROS


def table_starts(source):
    """The .TS lines of a page's source, outside comments and .ig blocks, each to be one
    table of the page; then its mdoc column lists, which are tables too."""
    tables, lists, ignoring = 0, 0, None
    for line in source.split(b"\n"):
        if ignoring is not None:
            ignoring = None if re.match(rb"[.'][ \t]*%s(\s|$)" % re.escape(ignoring), line) else ignoring
            continue
        start = re.match(rb"[.'][ \t]*ig(?:[ \t]+(\S+))?", line)
        if start:
            ignoring = start.group(1) or b"."
        tables += bool(re.match(rb"[.'][ \t]*TS(\s|$)", line))
        lists += bool(re.match(rb"[.'][ \t]*Bl\s.*-column", line))
    return tables, lists


def name_names(text):
    """The names in the NAME section of mandoc's text (the first section where none is
    NAME, as in a translated page): what stands before the dash, split on commas."""
    sections = []
    for line in text.split("\n")[1:]:  # after the header line; headings stand flush left
        if line[:1].strip():
            sections.append((line.strip(), []))
        elif sections:
            sections[-1][1].append(line)
    body = next((b for h, b in sections if h == "NAME"), sections[0][1] if sections else [])
    parts = NAME_DASH.split(" ".join(words(" ".join(body))), 1)
    names = [n.strip() for n in parts[0].split(",")] if len(parts) == 2 else []
    return [n for n in names if re.fullmatch(r"[\w.:+@-]+", n)]


def compare_page(job):
    """What the report needs of one page (only its NAME names when it is not compared);
    runs in a worker process."""
    source, root, outdir, cache, compared, links = job
    text = mandoc_text(os.path.join(root, source), cache)
    result = {"source": source, "names": name_names(text) if text and links else []}
    path = os.path.join(outdir, html_path(source))
    if not compared or text is None or not os.path.isfile(path):
        return dict(result, skip=compared and ("no HTML file" if text else "no mandoc text"))
    with open(path, "rb") as f:
        data = f.read()
    reader = BodyText()
    reader.feed(data.decode("utf-8", "replace"))
    reader.close()
    theirs, ours = Counter(words(text)), Counter(words("".join(reader.parts)))
    extra = ours - theirs
    result.update(theirs=sum(theirs.values()), ours=sum(ours.values()),
                  common=sum((theirs & ours).values()), missing=theirs - ours, extra=extra,
                  leftovers=Counter({w: n for w, n in extra.items() if leftover(w)}),
                  html_error=html_error(data))
    with open(os.path.join(root, source), "rb") as f:
        raw = f.read()
    result["tables"] = (*table_starts(gzip.decompress(raw) if source.endswith(".gz") else raw),
                        len(re.findall(rb"<table[\s>]", data)))
    urls = set(re.findall(r"<(\S+)>", text))  # a .UR link, whose URL mandoc shows as <URL>
    folder = os.path.dirname(html_path(source))
    result["anchors"] = [(" ".join(words(t)), os.path.normpath(os.path.join(
        folder, unquote(h.split("#")[0].split("?")[0]))).replace(os.sep, "/").translate(FOLD))
        for h, t in reader.links if h not in urls]
    # The header and footer lines name the page itself: no reference there.
    body = "\n".join(text.strip("\n").split("\n")[1:-1])
    result["references"] = [(m.group(1).rstrip("."), m.group(2))
                            for m in REFERENCE.finditer(" ".join(words(body)))]
    result["spaced"] = ["%s(%s)" % (m.group(1).rstrip("."), m.group(2))
                        for m in SPACED_REFERENCE.finditer(" ".join(words(body)))]
    return result


def load_html5lib():
    """html5lib, where need be from Debian's package folder, installing the package."""
    folder = "/usr/lib/python3/dist-packages"
    sys.path += [folder] if folder not in sys.path else []
    if importlib.util.find_spec("html5lib") is None:
        need = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "need.sh")
        subprocess.run([need, folder + "/html5lib", "python3-html5lib"], stdout=subprocess.DEVNULL, check=False)
        importlib.invalidate_caches()
    import html5lib
    return html5lib


# ---- References ----------------------------------------------------------------------

def name_index(pages, names):
    """{lower-case name: [(section, whether it is a NAME name, order, the page it leads
    to)]} of every page in the converter's order: its file name, the names of its NAME
    section, or an alias's own name."""
    def final(source, hops=0):  # an alias may name another alias
        kind, target = pages.get(source, (None, None))
        if kind != "alias":
            return source if kind else None
        target = next((t for t in (target, target + ".gz") if t in pages), None)
        return final(target, hops + 1) if target and hops < 8 else None
    index = {}
    walk_key = lambda path: [(os.fsencode(p).upper(), os.fsencode(p)) for p in path.split("/")]
    for order, source in enumerate(sorted(pages, key=walk_key)):  # the converter's order
        goal, (name, section) = final(source), page_name(source)
        for alias in {name, *names.get(source, [])} if goal else ():
            index.setdefault(alias.lower(), []).append((section, alias != name, order, goal))
    return index


def resolve(index, page, name, section):
    """The page that `name(section)` names in `page` (a result), or None. The page's own
    name and section (as in its header) name the page itself, not another of that name."""
    if name.lower() in page["own"] and section.lower() == page_name(page["source"])[1].lower():
        return None
    found = [(s.lower() != section.lower(), not_file, order, goal)
             for s, not_file, order, goal in index.get(name.lower(), ())
             if s[:1] == section[:1] and goal != page["source"]]
    return min(found)[3] if found else None


def link_counts(index, results, renamed):
    """Counts of references and links, with samples of the faults. A page that got another
    name is no target, since that name is the converter's choice."""
    counts, samples = Counter(), {"unlinked": [], "linked wrong": [], "links from no reference": [],
                                  "links the harness finds no page for": []}
    for r in results:
        r["own"] = {page_name(r["source"])[0].lower(), *(n.lower() for n in r["names"])}
        refs = [("%s(%s)" % (n, s), resolve(index, r, n, s)) for n, s in r["references"]]
        want = Counter((t, html_path(goal).translate(FOLD)) for t, goal in refs
                       if goal and goal not in renamed)
        have = Counter(r["anchors"])
        missed, extra = want - have, have - want
        missed_texts, extra_texts = (Counter(t for t, _ in c.elements()) for c in (missed, extra))
        stray = extra_texts - Counter(t for t, _ in refs) - Counter(r.get("spaced", []))
        counts.update(references=len(refs), resolvable=sum(want.values()),
                      right=sum((want & have).values()),
                      wrong=sum((missed_texts & extra_texts).values()),
                      unlinked=sum((missed_texts - extra_texts).values()),
                      unresolvable=sum((extra_texts - missed_texts - stray).values()),
                      stray=sum(stray.values()))
        samples["unlinked"] += [(r["source"], t) for t in missed_texts - extra_texts]
        samples["linked wrong"] += [(r["source"], "%s -> %s" % link) for link in extra
                                    if link[0] in missed_texts]
        samples["links from no reference"] += [(r["source"], t) for t in stray]
        samples["links the harness finds no page for"] += [
            (r["source"], "%s -> %s" % link) for link in extra if link[0] in extra_texts - missed_texts - stray]
    return counts, samples


# ---- The run and its report -----------------------------------------------------------

def run_tool(exe, root, outdir):
    """(exit status, or what happened instead; standard error lines)."""
    try:
        done = subprocess.run([exe, "-modern", "-nochm", "-indir:" + root, "-outdir:" + outdir],
                              cwd=outdir, capture_output=True, timeout=TOOL_TIMEOUT, check=False)
        return done.returncode, done.stderr.decode("utf-8", "replace").splitlines()
    except (OSError, subprocess.TimeoutExpired) as error:
        return type(error).__name__, []


def print_words(pages):
    """The words missed, added and left over most often across the corpus."""
    for key in ("missing", "extra", "leftovers"):
        total = sum((r[key] for r in pages), Counter())
        print("\n%s words: %d, in %d pages; most frequent: %s" % (key, sum(total.values()), sum(
            bool(r[key]) for r in pages), ", ".join("%s %d" % item for item in total.most_common(25))))


def report(args, run, tree, skipped, pages, links):
    """Prints the report; returns why the check fails (nothing when it passes)."""
    status, errors = run
    theirs, ours = sum(r["theirs"] for r in pages), sum(r["ours"] for r in pages)
    common, clean = sum(r["common"] for r in pages), sum(not r["leftovers"] for r in pages)
    recall, precision = common / max(theirs, 1), common / max(ours, 1)
    share = clean / max(len(pages), 1)
    broken = [r for r in pages if r["html_error"]]
    print("tolbrik: status %s, %d stderr lines" % (status, len(errors)))
    print("".join("  | %s\n" % line for line in errors[:10]), end="")
    print("tree: %s" % ", ".join("%d %s" % (n, k) for k, n in sorted(tree.items())))
    print("pages compared: %d; skipped: %s" % (len(pages), ", ".join(
        "%d %s" % (n, why) for why, n in sorted(skipped.items())) or "none"))
    print("recall %.4f  precision %.4f  (words: mandoc %d, ours %d, common %d)"
          % (recall, precision, theirs, ours, common))
    print("clean pages: %d (%.2f %%)\nHTML errors: %d pages" % (clean, 100 * share, len(broken)))
    print("".join("  %s: %s\n" % (r["source"], r["html_error"]) for r in broken[:8]), end="")
    tables = [r for r in pages if r["tables"][0] + r["tables"][1] != r["tables"][2]]
    print("tables not one to a .TS line (or column list): %d pages" % len(tables))
    print("".join("  %s: %d .TS, %d column lists, %d tables\n" % (r["source"], *r["tables"])
                  for r in tables[:8]), end="")
    print_words(pages)
    rules = []
    if links:
        counts, samples = links
        right = counts["right"] / max(counts["resolvable"], 1)
        print("\nreferences: %(references)d, resolvable %(resolvable)d, linked right %(right)d, "
              "linked wrong %(wrong)d, unlinked %(unlinked)d; links from a reference that does "
              "not resolve: %(unresolvable)d, from no reference: %(stray)d" % counts)
        for title, found in samples.items():
            print("%s (sample):" % title)
            print("".join("  %s: %s\n" % pair for pair in found[:20]), end="")
        rules += [(right < 0.95, "%.2f %% of resolvable references linked right" % (100 * right)),
                  (counts["stray"] > 0, "%d links from no reference" % counts["stray"])]
    if not args.check:
        return []
    want = [float(x) for x in args.check.split(",")]
    rules += [(not pages, "no page compared"),
              (recall < want[0], "recall %.4f < %g" % (recall, want[0])),
              (precision < want[1], "precision %.4f < %g" % (precision, want[1])),
              (share < want[2], "clean %.4f < %g" % (share, want[2])),
              (broken, "%d pages with HTML errors" % len(broken)),
              (tables, "%d pages with tables not one to a .TS line or column list" % len(tables)),
              (skipped["no HTML file"], "%d pages without HTML" % skipped["no HTML file"]),
              (status not in (0, 1, "not run"), "tolbrik crashed (status %s)" % status)]
    failures = [text for failed, text in rules if failed]
    print("\ncheck: " + ("; ".join(failures) or "passed"))
    return failures


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for flag, options in (("--tolbrik", {"required": True}), ("--input", {"required": True}),
                          ("--output", {}), ("--no-run", {"action": "store_true"}),
                          ("--kinds", {"default": "man"}), ("--sample", {"type": int}),
                          ("--cache", {}),
                          ("--check", {}), ("--links", {"action": "store_true"})):
        ap.add_argument(flag, **options)
    args = ap.parse_args(argv)
    if args.no_run and not args.output:
        ap.error("--no-run compares what --output holds")
    load_html5lib()
    root = os.path.abspath(args.input)
    with tempfile.TemporaryDirectory(prefix="mandoc-compare-") as temporary:
        outdir = os.path.abspath(args.output or temporary)
        os.makedirs(outdir, exist_ok=True)
        exe = os.path.abspath(args.tolbrik) if os.sep in args.tolbrik else args.tolbrik
        run = ("not run", []) if args.no_run else run_tool(exe, root, outdir)
        pages, renamed = scan_tree(root)
        kinds = set(args.kinds.split(","))
        chosen = sorted(s for s, (kind, _) in pages.items() if kind in kinds)
        chosen = chosen[::max(1, round(len(chosen) / args.sample))] if args.sample else chosen
        compared = set(chosen) - renamed
        named = {s for s, (kind, _) in pages.items() if kind in ("man", "tbl", "mdoc")}
        jobs = [(s, root, outdir, args.cache, s in compared, args.links)
                for s in sorted(compared | (named if args.links else set()))]
        with Pool(os.cpu_count()) as pool:
            results = list(pool.imap(compare_page, jobs, chunksize=4))
    skipped = Counter({"name taken by another page": len(set(chosen) & renamed)})
    skipped.update(r["skip"] for r in results if r.get("skip"))
    done = [r for r in results if r["source"] in compared and not r.get("skip")]
    links = None
    if args.links:
        index = name_index(pages, {r["source"]: r["names"] for r in results})
        links = link_counts(index, done, renamed)
    tree = Counter(kind for kind, _ in pages.values())
    failures = report(args, run, tree, +skipped, done, links)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
