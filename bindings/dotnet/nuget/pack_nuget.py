#!/usr/bin/env python3
# File: pack_nuget.py
#
# Writes ZqCrypt.VERSION.nupkg: the wrapper of ../ZqCrypt.cs compiled with
# Mono's mcs into lib/net45/ZqCrypt.dll, with its XML documentation
# lib/net45/ZqCrypt.xml, and each native library given under
# runtimes/<rid>/native/, where .NET (Core) hosts look for it. The package is
# the zip nuget pack writes (the .nuspec, [Content_Types].xml, _rels/.rels and
# the core-properties part), but written here byte for byte the same on every
# run: nuget pack stamps the time, random relationship ids and part names, and
# the build machine's system into it, and Debian's nuget (2.8) predates the
# <license> and <repository> elements. mcs itself is deterministic: the same
# sources and output name give the same assembly.
#
# Usage: pack_nuget.py --version X.Y.Z --output DIR [--repository URL]
#                      [--commit SHA] [--mcs PATH] RID=LIBRARY...
#   RID       win-x86 or win-x64 (LIBRARY is zqcrypt.dll), linux-x64,
#             linux-x86 or linux-arm64 (libzqcrypt.so); give the ones that
#             exist. A library built for another machine than its RID's
#             (read from its header, as the Python wheels are tagged) is
#             refused.
# Entries carry SOURCE_DATE_EPOCH as their time (2000-01-01 without it).
import argparse
import hashlib
import os
import re
import stat
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "python", "backend"))
sys.dont_write_bytecode = True  # nothing written beside the Python package's sources
from zqcrypt_build import platform_tag  # noqa: E402  (the standard library alone)

# Each runtime identifier's native file and the wheel tag of its machine.
NATIVES = {"win-x86": ("zqcrypt.dll", "win32"), "win-x64": ("zqcrypt.dll", "win_amd64"),
           "linux-x64": ("libzqcrypt.so", "linux_x86_64"), "linux-x86": ("libzqcrypt.so", "linux_i686"),
           "linux-arm64": ("libzqcrypt.so", "linux_aarch64")}
FRAMEWORK = "net45"  # mcs builds against Mono's 4.5 profile: mscorlib 4.0

ASSEMBLY_INFO = """\
[assembly: System.Reflection.AssemblyTitle("ZqCrypt")]
[assembly: System.Reflection.AssemblyVersion("{version}.0")]
[assembly: System.Reflection.AssemblyInformationalVersion("{version}")]
[assembly: System.Runtime.Versioning.TargetFramework(".NETFramework,Version=v4.5")]
"""

RELS = ('<?xml version="1.0" encoding="utf-8"?>'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Type="http://schemas.microsoft.com/packaging/2010/07/manifest" '
        'Target="/ZqCrypt.nuspec" Id="R{manifest_id}" />'
        '<Relationship Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" '
        'Target="/{properties}" Id="R{properties_id}" /></Relationships>')

PROPERTIES = ('<?xml version="1.0" encoding="utf-8"?>'
              '<coreProperties xmlns:dc="http://purl.org/dc/elements/1.1/" '
              'xmlns:dcterms="http://purl.org/dc/terms/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
              'xmlns="http://schemas.openxmlformats.org/package/2006/metadata/core-properties">'
              '<dc:creator>{authors}</dc:creator><dc:description>{description}</dc:description>'
              '<dc:identifier>ZqCrypt</dc:identifier><version>{version}</version>'
              '<keywords>{tags}</keywords><lastModifiedBy>pack_nuget.py</lastModifiedBy></coreProperties>')


def manifest(version, repository, commit):
    """The .nuspec with its fields filled in; without a repository address
    the lines that need one are left out."""
    with open(os.path.join(HERE, "ZqCrypt.nuspec"), encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"<!--.*?-->\n", "", text, flags=re.S)
    if not repository:
        text = "".join(line for line in text.splitlines(True) if "$repository$" not in line)
    if not commit:
        text = text.replace(' commit="$commit$"', "")
    return text.replace("$version$", version).replace("$repository$", repository or "").replace("$commit$", commit or "")


def compile_wrapper(mcs, version, folder):
    info = os.path.join(folder, "AssemblyInfo.cs")
    with open(info, "w", encoding="utf-8") as f:
        f.write(ASSEMBLY_INFO.format(version=version))
    output = os.path.join(folder, "ZqCrypt.dll")
    documentation = os.path.join(folder, "ZqCrypt.xml")
    subprocess.run([mcs, "-nologo", "-warnaserror+", "-target:library", "-out:" + output,
                    "-doc:" + documentation, os.path.join(HERE, "..", "ZqCrypt.cs"), info], check=True)
    with open(output, "rb") as f, open(documentation, "rb") as g:
        return f.read(), g.read()


def field(text, name):
    match = re.search(r"<%s>(.*?)</%s>" % (name, name), text, re.S)
    return match.group(1) if match else ""


def main():
    parser = argparse.ArgumentParser(description="Writes the ZqCrypt NuGet package, reproducibly.")
    parser.add_argument("--version", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--repository", default="")
    parser.add_argument("--commit", default="")
    parser.add_argument("--mcs", default="mcs")
    parser.add_argument("natives", nargs="+", metavar="RID=LIBRARY")
    args = parser.parse_args()
    if not re.fullmatch(r"\d+\.\d+\.\d+", args.version):
        parser.error("version %r is not X.Y.Z" % args.version)

    # The native libraries, each read and checked before anything is built.
    natives = {}  # the package's name of each -> its bytes
    for native in sorted(args.natives):
        rid, _, path = native.partition("=")
        if rid not in NATIVES or not path:
            parser.error("%r: expected RID=LIBRARY with RID one of %s" % (native, ", ".join(NATIVES)))
        name = "runtimes/%s/native/%s" % (rid, NATIVES[rid][0])
        if name in natives:
            parser.error("%s: given twice" % rid)
        try:
            with open(path, "rb") as f:
                binary = f.read()
        except OSError as error:
            parser.error("%s: %s" % (path, error.strerror))
        try:
            built = platform_tag(binary)
        except RuntimeError:
            built = "no machine of the package's"
        if built != NATIVES[rid][1]:
            parser.error("%s: built for %s, not %s (%s)" % (path, built, rid, NATIVES[rid][1]))
        natives[name] = binary

    parts = []  # (name, bytes), in the package's order
    nuspec = manifest(args.version, args.repository, args.commit).encode("utf-8")
    parts.append(("ZqCrypt.nuspec", nuspec))
    with tempfile.TemporaryDirectory() as folder:
        assembly, documentation = compile_wrapper(args.mcs, args.version, folder)
    # The XML documentation beside the assembly, where IDEs look for it.
    parts.append(("lib/%s/ZqCrypt.dll" % FRAMEWORK, assembly))
    parts.append(("lib/%s/ZqCrypt.xml" % FRAMEWORK, documentation))
    parts += natives.items()

    # The names nuget pack draws at random come from the contents instead.
    digest = hashlib.sha256(b"".join(data for _, data in parts)).hexdigest()
    properties = "package/services/metadata/core-properties/%s.psmdcp" % digest[:32]
    text = nuspec.decode("utf-8")
    parts.append((properties, PROPERTIES.format(
        authors=field(text, "authors"), description=field(text, "description"),
        version=args.version, tags=field(text, "tags")).encode("utf-8")))
    parts.insert(0, ("_rels/.rels", RELS.format(
        manifest_id=digest[32:48].upper(), properties_id=digest[48:64].upper(),
        properties=properties).encode("utf-8")))
    extensions = sorted({name.rsplit(".", 1)[1] for name, _ in parts} - {"rels", "psmdcp"})
    parts.append(("[Content_Types].xml", (
        '<?xml version="1.0" encoding="utf-8"?>'
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml" />'
        + "".join('<Default Extension="%s" ContentType="application/octet" />' % e for e in extensions)
        + '<Default Extension="psmdcp" '
        'ContentType="application/vnd.openxmlformats-package.core-properties+xml" /></Types>').encode("utf-8")))

    stamp = time.gmtime(max(int(os.environ.get("SOURCE_DATE_EPOCH", "946684800")), 315532800))[:6]
    os.makedirs(args.output, exist_ok=True)
    package = os.path.join(args.output, "ZqCrypt.%s.nupkg" % args.version)
    with zipfile.ZipFile(package, "w") as archive:
        for name, data in parts:
            entry = zipfile.ZipInfo(name, stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = (stat.S_IFREG | 0o644) << 16  # a regular file, rw-r--r--
            archive.writestr(entry, data, compresslevel=9)
    print(package)


if __name__ == "__main__":
    sys.exit(main())
