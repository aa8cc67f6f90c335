#!/usr/bin/env python3
# File: bundle_docs.py
#
# The pages a release bundle ships, and the check that their links hold.
#
#   bundle_docs.py copy SOURCE BUNDLE PAGE...
#       Copies each PAGE (a path inside the source tree, such as README.md)
#       into BUNDLE at the same path, then every file a copied page links to
#       by a relative link, page after page, so that no link of a shipped page
#       leads out of the bundle.
#   bundle_docs.py check BUNDLE...
#       Every relative link of every Markdown page in each BUNDLE (a folder,
#       or a .zip, .whl, .nupkg or .tar.gz file) must name a file inside it. Prints
#       one line per broken link; exits 1 if there is any.
#
# Links are Markdown's inline ones, [text](target "title"), and reference
# definitions, [name]: target, outside fenced code blocks. Addresses with a
# scheme (https:, mailto:) and links within the page (#anchor) are not
# followed; a target's own #anchor and ?query are dropped.
import os
import posixpath
import re
import shutil
import sys
import tarfile
import zipfile

INLINE = re.compile(r"\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*<?([^\s>]+)>?", re.M)
FENCE = re.compile(r"^ {0,3}(```|~~~).*?^ {0,3}\1", re.M | re.S)


def links(text):
    """The relative file targets of a Markdown page, anchors dropped."""
    text = FENCE.sub("", text)
    for target in INLINE.findall(text) + REFERENCE.findall(text):
        if target.startswith("#") or re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", target):
            continue
        yield re.split(r"[#?]", target, maxsplit=1)[0]


def targets(page, text):
    """(link, the path it names, relative to the bundle's top, or None when
    it leaves the bundle) for each link of `page`."""
    for link in links(text):
        path = posixpath.normpath(posixpath.join(posixpath.dirname(page), link))
        yield link, None if path == ".." or path.startswith("../") or path.startswith("/") else path


def copy(source, bundle, pages):
    queue, seen = list(pages), set()
    while queue:
        page = posixpath.normpath(queue.pop(0))
        if page in seen:
            continue
        seen.add(page)
        destination = os.path.join(bundle, page)
        os.makedirs(os.path.dirname(destination) or ".", exist_ok=True)
        shutil.copyfile(os.path.join(source, page), destination)
        if page.endswith(".md"):
            with open(destination, encoding="utf-8") as f:
                queue += [path for _, path in targets(page, f.read()) if path]


def contents(bundle):
    """{path inside the bundle: a function reading its bytes} for every file
    of a folder, a zip (or NuGet package) or a tarball."""
    if os.path.isdir(bundle):
        found = {}
        for top, _, names in os.walk(bundle):
            for name in names:
                path = os.path.join(top, name)
                found[os.path.relpath(path, bundle).replace(os.sep, "/")] = \
                    lambda path=path: open(path, "rb").read()
        return found
    if bundle.endswith((".zip", ".nupkg", ".whl")):
        archive = zipfile.ZipFile(bundle)
        return {n: (lambda n=n: archive.read(n)) for n in archive.namelist() if not n.endswith("/")}
    archive = tarfile.open(bundle)
    return {posixpath.normpath(m.name): (lambda m=m: archive.extractfile(m).read())
            for m in archive.getmembers() if m.isfile()}


def check(bundle):
    """The broken links of the bundle's pages, one line each."""
    files = contents(bundle)
    broken = []
    for page in sorted(p for p in files if p.endswith(".md")):
        for link, path in sorted(set(targets(page, files[page]().decode("utf-8")))):
            if path not in files:
                broken.append("%s: %s links %s, which the bundle does not hold" % (bundle, page, link))
    return broken


def main(arguments):
    if len(arguments) >= 4 and arguments[0] == "copy":
        copy(arguments[1], arguments[2], arguments[3:])
        return 0
    if len(arguments) >= 2 and arguments[0] == "check":
        broken = [line for bundle in arguments[1:] for line in check(bundle)]
        print("\n".join(broken) if broken else "every relative link resolves inside its bundle")
        return 1 if broken else 0
    sys.stderr.write("usage: bundle_docs.py copy SOURCE BUNDLE PAGE... | check BUNDLE...\n")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
