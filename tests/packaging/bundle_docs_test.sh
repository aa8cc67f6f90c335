#!/usr/bin/env bash
# The pages of the Windows bundle, copied as tools/release.sh copies them
# (README.md and every file its pages reach by relative links): every link
# must resolve inside the copy. Then the check itself must catch a page gone
# missing (docs/contract.md, which README.md links) and a link that leaves the
# bundle.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
docs="/usr/bin/python3 $source_dir/tools/bundle_docs.py"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

$docs copy "$source_dir" "$scratch/bundle" README.md
$docs check "$scratch/bundle"
rm "$scratch/bundle/docs/contract.md"
if $docs check "$scratch/bundle" >/dev/null; then echo "FAILED: a missing page goes unseen"; exit 1; fi
mkdir "$scratch/out" && printf '[up](../README.md)\n' >"$scratch/out/page.md"
if $docs check "$scratch/out" >/dev/null; then echo "FAILED: a link out of the bundle goes unseen"; exit 1; fi
echo "ok"
