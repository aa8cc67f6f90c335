#!/usr/bin/env python3
# File: bundle_docs.py
#
# The pages a release bundle ships, and the check that their links hold.
#
#   bundle_docs.py copy SOURCE BUNDLE PAGE...
#       Copies each PAGE (a path inside the source tree, such as README.md)
#       into BUNDLE at the same path, then every file a copied page links to
#       by a relative link, page after page, so that no link of a shipped page
#       leads out of the bundle. Stops with one line, exit status 1, at a link
#       to a file SOURCE does not hold, to a folder, or out of SOURCE.
#   bundle_docs.py check BUNDLE...
#       Every relative link of every Markdown page in each BUNDLE (a folder,
#       or a .zip, .whl, .nupkg or .tar.gz file) must name a file inside it. Prints
#       one line per broken link; exits 1 if there is any.
#
# Links are Markdown's inline ones, [text](target "title") (a title in "",
# '' or (); a <target> may hold spaces), reference definitions,
# [name]: target, and the href and src attributes of raw HTML tags, outside
# code (fenced, indented, spans) and HTML comments. Addresses with a scheme
# (https:, mailto:) and links within the page (#anchor) are not followed; a
# target's own #anchor and ?query are dropped, its backslash escapes and
# %xx escapes decoded. A target that names a folder (docs/) holds when the
# bundle holds a file inside it; copy refuses one, as it copies files.
import html
import os
import posixpath
import re
import shutil
import sys
import tarfile
import urllib.parse
import zipfile

FENCE = re.compile(r" {0,3}(`{3,}|~{3,})")
INDENTED = re.compile(r"(?: {4}|\t)")
LIST_ITEM = re.compile(r" {0,3}(?:[-+*]|[0-9]{1,9}[.)])(?:\s|$)")
CODE_SPAN = re.compile(r"(?<!`)(`+)(?!`).+?(?<!`)\1(?!`)", re.S)
COMMENT = re.compile(r"<!--.*?-->", re.S)
OPENING = re.compile(r"\]\(\s*")
ANGLED = re.compile(r"<((?:\\.|[^<>\\\n])*)>")
CLOSING = re.compile(r"""(?:\s+(?:"(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*'|\((?:\\.|[^()\\])*\)))?\s*\)""")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*(?:<((?:\\.|[^<>\\\n])*)>|(\S+))", re.M)
TAG = re.compile(r"<[A-Za-z][A-Za-z0-9-]*\s[^>]*>")
ATTRIBUTE = re.compile(r"""\s(?:href|src)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>]+))""", re.I)
ESCAPE = re.compile(r"\\([!-/:-@[-`{-~])")


class Refused(Exception):
    """A page copy cannot ship as it is: the message says why, in one line."""


def prose(text):
    """The page without what cannot hold a link: fenced and indented code
    blocks, code spans and HTML comments, each replaced by nothing."""
    kept, fence, previous, listed = [], None, "blank", False
    for line in text.split("\n"):
        if fence:
            if re.match(r" {0,3}%s{%d,}\s*$" % (re.escape(fence[0]), len(fence)), line):
                fence = None
            continue
        opening = FENCE.match(line)
        if opening:
            fence, previous = opening.group(1), "code"
            continue
        if not line.strip():
            previous = "blank"
        elif INDENTED.match(line) and previous in ("blank", "code") and not listed:
            previous = "code"
            continue
        else:
            listed = bool(LIST_ITEM.match(line)) or (listed and (INDENTED.match(line) or previous == "text"))
            previous = "text"
        kept.append(line)
    paragraphs = re.split(r"\n[ \t]*\n", "\n".join(kept))
    return COMMENT.sub("", "\n\n".join(CODE_SPAN.sub("", p) for p in paragraphs))


def bare(text, at):
    """The end of the destination without <> that starts at text[at]: the
    first space, control character or unbalanced ')'."""
    depth = 0
    while at < len(text) and ord(text[at]) > 0x20:
        if text[at] == "\\":
            at += 1
        elif text[at] == "(":
            depth += 1
        elif text[at] == ")":
            if depth == 0:
                break
            depth -= 1
        at += 1
    return min(at, len(text))


def inline(text):
    """The destinations of the page's inline links and images."""
    for opening in OPENING.finditer(text):
        at = opening.end()
        angled = ANGLED.match(text, at)
        if angled:
            target, at = angled.group(1), angled.end()
        else:
            end = bare(text, at)
            target, at = text[at:end], end
        if CLOSING.match(text, at):
            yield ESCAPE.sub(r"\1", target)


def raw(text):
    """The targets of a page's links, their backslash (Markdown) or entity
    (HTML) escapes decoded."""
    yield from inline(text)
    for angled, plain in REFERENCE.findall(text):
        yield ESCAPE.sub(r"\1", angled or plain)
    for tag in TAG.findall(text):
        for quoted, single, plain in ATTRIBUTE.findall(tag):
            yield html.unescape(quoted or single or plain)


def links(text):
    """The relative file targets of a Markdown page, anchors dropped and
    escapes decoded."""
    for target in raw(prose(text)):
        target = target.strip()
        if not target or target.startswith("#") or re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", target):
            continue
        path = urllib.parse.unquote(re.split(r"[#?]", target, maxsplit=1)[0])
        if path:
            yield path


def targets(page, text):
    """(link, the path it names, relative to the bundle's top, or None when
    it leaves the bundle) for each link of `page`."""
    for link in links(text):
        path = posixpath.normpath(posixpath.join(posixpath.dirname(page), link))
        yield link, None if path == ".." or path.startswith("../") or path.startswith("/") else path


def copy(source, bundle, pages):
    """Copies the pages and every file they reach; Refused when a link names
    no file of the source tree, or one outside it."""
    queue, seen = [("", page, posixpath.normpath(page)) for page in pages], set()
    while queue:
        parent, link, page = queue.pop(0)
        if page in seen:
            continue
        seen.add(page)
        origin = None if page is None else os.path.join(source, page)
        why = ("leads out of the bundle" if origin is None else
               "is a folder: a bundle ships files, link one of them" if os.path.isdir(origin) else
               None if os.path.isfile(origin) else "is not in " + source)
        if why:
            raise Refused("%s links %s, which %s" % (parent, link, why) if parent else "%s %s" % (link, why))
        destination = os.path.join(bundle, page)
        os.makedirs(os.path.dirname(destination) or ".", exist_ok=True)
        shutil.copyfile(origin, destination)
        if page.endswith(".md"):
            with open(destination, encoding="utf-8") as f:
                queue += [(page, link, path) for link, path in targets(page, f.read())]


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
            held = path is not None and (path in files or path == "." or
                                         any(name.startswith(path + "/") for name in files))  # a folder
            if not held:
                broken.append("%s: %s links %s, which the bundle does not hold" % (bundle, page, link))
    return broken


def main(arguments):
    if len(arguments) >= 4 and arguments[0] == "copy":
        try:
            copy(arguments[1], arguments[2], arguments[3:])
        except Refused as refused:
            sys.stderr.write("bundle_docs.py: %s\n" % refused)
            return 1
        return 0
    if len(arguments) >= 2 and arguments[0] == "check":
        broken = [line for bundle in arguments[1:] for line in check(bundle)]
        print("\n".join(broken) if broken else "every relative link resolves inside its bundle")
        return 1 if broken else 0
    sys.stderr.write("usage: bundle_docs.py copy SOURCE BUNDLE PAGE... | check BUNDLE...\n")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
