#!/usr/bin/env bash
# File: nuget_package.sh
#
# The NuGet package as a .NET user meets it: packs it from this build's
# library (linux-x64 only), installs it with nuget from a local folder feed,
# offline, into a scratch folder, builds PackageHost.cs with mcs against the
# installed assembly and runs it with mono against the installed native
# library, both loaded where the package put them.
#
# Usage: nuget_package.sh <python3> <mcs> <mono> <nuget> <version>
#                         <libzqcrypt.so> <rsa_md5_signatures.txt> <scratch folder>
set -euo pipefail
python=$1 mcs=$2 mono=$3 nuget=$4 version=$5 library=$6 vectors=$7 scratch=$8
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$scratch"
mkdir -p "$scratch/config"
trap 'rm -rf "$scratch"' EXIT
"$python" "$here/../nuget/pack_nuget.py" --mcs "$mcs" --version "$version" --output "$scratch/feed" \
  linux-x64="$library" >/dev/null
# nuget keeps its settings and cache under the XDG folders: the scratch ones.
XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/config" \
  "$nuget" install ZqCrypt -Version "$version" -Source "$scratch/feed" -OutputDirectory "$scratch/packages" \
  -NonInteractive -NoCache
package="$scratch/packages/ZqCrypt.$version"
"$mcs" -nologo -warnaserror+ -r:System.Core.dll -r:"$package/lib/net45/ZqCrypt.dll" \
  -out:"$scratch/PackageHost.exe" "$here/PackageHost.cs"
MONO_PATH="$package/lib/net45" LD_LIBRARY_PATH="$package/runtimes/linux-x64/native" \
  "$mono" "$scratch/PackageHost.exe" "$vectors" "$version"
