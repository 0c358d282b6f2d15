"""viewer.py --wine LOADER --exe TOLBRIK --examples DIR: the help file that tolbrik
writes of DIR opened in Wine's help viewer (hh.exe) on a virtual display, its trace
read: the viewer must take the system file's default topic and window, and list every
entry of the contents and every keyword of the index. Exit 0 passed, 1 failed.
"""
import argparse, os, re, shutil, signal, subprocess, sys, tempfile, time


def names(sitemap):
    return sorted(re.findall(r'name="Name" value="([^"]*)"', sitemap))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--exe", required=True)
    ap.add_argument("--examples", required=True)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="tolbrik-viewer-")
    try:
        subprocess.run([a.exe, "-modern", "-indir:" + a.examples, "-outdir:" + work], capture_output=True, check=True)
        display = subprocess.Popen(["Xvfb", ":57", "-screen", "0", "1024x768x24"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        time.sleep(2)
        env = dict(os.environ, DISPLAY=":57", WINEDEBUG="+htmlhelp")
        with open(os.path.join(work, "trace"), "wb") as trace:
            viewer = subprocess.Popen([a.wine, "hh.exe", "Z:" + os.path.join(work, "tolbrik.chm").replace("/", "\\")],
                                      env=env, stdout=trace, stderr=trace, start_new_session=True)
            # The viewer runs until it is closed: its trace is read once the index is in.
            for _ in range(60):
                time.sleep(1)
                with open(trace.name, "rb") as f:
                    if f.read().count(b"fill_index_tree") >= 1 and viewer.poll() is None:
                        time.sleep(3)
                        break
            os.killpg(viewer.pid, signal.SIGKILL)
        display.kill()
        log = open(os.path.join(work, "trace"), "rb").read().decode("latin-1")
        contents = open(os.path.join(work, "tolbrik.hhc"), "rb").read().decode("latin-1")
        index = open(os.path.join(work, "tolbrik.hhk"), "rb").read().decode("latin-1")
        shown = sorted(re.findall(r'parse_sitemap_object <param name="Name" value="([^"]*)">', log))
        keywords = re.findall(r'fill_index_tree tree debug: L"([^"]*)"', log)
        problems = []
        if 'Default topic is "index.html' not in log:
            problems.append("the default topic was not read")
        if not re.search(r'GetChmString offset \w+ => "tolbrik\.hhk"', log):
            problems.append("the window's index file was not read")
        if shown != names(contents):
            problems.append("contents: %d entries shown, %d in the file" % (len(shown), len(names(contents))))
        if sorted(keywords) != names(index):
            problems.append("index: %d keywords shown, %d in the file" % (len(keywords), len(names(index))))
        for p in problems:
            print("viewer.py: " + p, file=sys.stderr)
        print("hh.exe: %d contents entries, %d index keywords%s" % (len(shown), len(keywords), "" if not problems
                                                                     else "; FAILED"))
        return 1 if problems else 0
    finally:
        shutil.rmtree(work, True)


if __name__ == "__main__":
    sys.exit(main())
