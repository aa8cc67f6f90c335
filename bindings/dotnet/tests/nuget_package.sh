#!/usr/bin/env bash
# File: nuget_package.sh
#
# The NuGet package as a .NET user meets it: packs it from this build's
# library as linux-x64, with stand-ins for the other runtimes' libraries where
# their toolchains are installed (tests/packaging/stand_in_libraries.sh),
# installs it with nuget from a local folder feed,
# offline, into a scratch folder, builds PackageHost.cs with mcs against the
# installed assembly and runs it with mono, without LD_LIBRARY_PATH: the
# assembly must find the package's native library by itself. Also checks
# that every entry of the package is a regular file (zipinfo's -rw-r--r--),
# that each library lies under its runtimes/<rid>/native/ and that the host
# picks linux-x64's among them, that a library of another machine than its
# runtime's, a folder and a runtime named twice are
# refused, and that the XML documentation sits beside the assembly. Then a build
# output that keeps the package's layout (bin/Debug/runtimes/), with a broken
# copy two folders up: the one beside the assembly must be loaded, also from a
# shadow-copied assembly; and with no good copy, the exception must name the
# broken one and the loader's reason.
#
# Usage: nuget_package.sh <python3> <mcs> <mono> <nuget> <version>
#                         <libzqcrypt.so> <rsa_md5_signatures.txt> <scratch folder>
set -euo pipefail
python=$1 mcs=$2 mono=$3 nuget=$4 version=$5 library=$6 vectors=$7 scratch=$8
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$scratch"
mkdir -p "$scratch/config"
trap 'rm -rf "$scratch"' EXIT
natives=(linux-x64="$library")
while read -r rid _ path; do
  natives+=("$rid=$path")
done < <(bash "$here/../../../tests/packaging/stand_in_libraries.sh")
# refused <message> RID=LIBRARY...: packing them must stop with the message.
refused() {
  local said=$1
  shift
  if "$python" "$here/../nuget/pack_nuget.py" --mcs "$mcs" --version "$version" --output "$scratch/feed" \
       "$@" 2>"$scratch/error" || ! grep -qF "$said" "$scratch/error"; then
    echo "FAILED: packing $* did not stop with \"$said\":" >&2; cat "$scratch/error" >&2; exit 1
  fi
}
refused "built for linux_x86_64, not linux-arm64" linux-arm64="$library"
refused "$scratch: Is a directory" linux-x64="$scratch"
refused "linux-x64: given twice" linux-x64="$library" linux-x64="$library"
"$python" "$here/../nuget/pack_nuget.py" --mcs "$mcs" --version "$version" --output "$scratch/feed" \
  "${natives[@]}" >/dev/null
"$python" - "$scratch/feed/ZqCrypt.$version.nupkg" "${natives[@]%%=*}" <<'PYTHON'
import stat, sys, zipfile
entries = zipfile.ZipFile(sys.argv[1]).infolist()
odd = [i.filename for i in entries if not stat.S_ISREG(i.external_attr >> 16)]
natives = {"runtimes/%s/native/%s" % (rid, "zqcrypt.dll" if rid.startswith("win") else "libzqcrypt.so")
           for rid in sys.argv[2:]}
missing = natives - {i.filename for i in entries}
sys.exit("entries without the regular-file type: %s" % odd if odd else
         "libraries not in the package: %s" % sorted(missing) if missing else 0)
PYTHON
# nuget keeps its settings and cache under the XDG folders: the scratch ones.
XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/config" \
  "$nuget" install ZqCrypt -Version "$version" -Source "$scratch/feed" -OutputDirectory "$scratch/packages" \
  -NonInteractive -NoCache
package="$scratch/packages/ZqCrypt.$version"
"$mcs" -nologo -warnaserror+ -r:System.Core.dll -r:"$package/lib/net45/ZqCrypt.dll" \
  -out:"$scratch/PackageHost.exe" "$here/PackageHost.cs"
[ -s "$package/lib/net45/ZqCrypt.xml" ] || { echo "no lib/net45/ZqCrypt.xml in the package" >&2; exit 1; }
MONO_PATH="$package/lib/net45" env -u LD_LIBRARY_PATH "$mono" "$scratch/PackageHost.exe" "$vectors" "$version"

debug="$scratch/proj/bin/Debug" junk="$scratch/proj/runtimes/linux-x64/native/libzqcrypt.so"
mkdir -p "$debug" "$(dirname "$junk")"
cp -r "$package/lib/net45/ZqCrypt.dll" "$package/runtimes" "$scratch/PackageHost.exe" "$debug/"
echo junk >"$junk"
env -u LD_LIBRARY_PATH "$mono" "$debug/PackageHost.exe" "$vectors" "$version"
env -u LD_LIBRARY_PATH "$mono" "$debug/PackageHost.exe" "$vectors" "$version" shadow "$scratch/shadow"
rm -r "$debug/runtimes"
if env -u LD_LIBRARY_PATH "$mono" "$debug/PackageHost.exe" "$vectors" "$version" >/dev/null 2>"$scratch/error" ||
   ! grep -qF "$junk: file too short" "$scratch/error"; then
  echo "FAILED: no library to load, and the exception does not say why:" >&2; head -3 "$scratch/error" >&2; exit 1
fi
echo "ok: the library beside the assembly, shadow copies, the failure's reasons"
