#!/usr/bin/env bash
# The pages of the Windows bundle, copied as tools/release.sh copies them
# (README.md and every file its pages reach by relative links): every link
# must resolve inside the copy. Then the check itself must catch a page gone
# missing (docs/contract.md, which README.md links) and a link that leaves the
# bundle. Then one page per row of the table below: copy must bring the file
# the row names (or, for "-", nothing: what looks like a link is not one) and
# the check must pass; for "refused", copy must stop with one line.
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

source="$scratch/source" && mkdir -p "$source/docs"
touch "$source/docs/"{b.md,c.md,"sp ace.md",d.md,i.png,"e.md)"}
while IFS='|' read -r want page; do
  rm -rf "$scratch/row" && printf '%b\n' "$page" >"$source/page.md"
  if [ "$want" = refused ]; then
    if $docs copy "$source" "$scratch/row" page.md 2>"$scratch/error" || [ "$(wc -l <"$scratch/error")" != 1 ]; then
      echo "FAILED: copy of '$page' not refused in one line:"; cat "$scratch/error"; exit 1
    fi
    continue
  fi
  $docs copy "$source" "$scratch/row" page.md && $docs check "$scratch/row" >/dev/null &&
    [ "$(find "$scratch/row" -type f | wc -l)" = "$([ "$want" = - ] && echo 1 || echo 2)" ] &&
    { [ "$want" = - ] || [ -f "$scratch/row/$want" ]; } || { echo "FAILED: '$page' should bring $want"; exit 1; }
done <<'ROWS'
docs/b.md|[b](docs/b.md 'T')
docs/c.md|[c](docs/c.md (T))
docs/sp ace.md|[s](<docs/sp ace.md>)
docs/sp ace.md|[s](docs/sp%20ace.md)
docs/d.md|<a href="docs/d.md">d</a>
docs/i.png|<img alt="i" src='docs/i.png'>
docs/e.md)|[e](docs/e.md\\))
-|`[x](docs/missing.md)` and ``[y](docs/missing.md)``
-|text\n\n    [x](docs/missing.md)
-|````\n```\n[x](docs/missing.md)\n````
-|<!-- [old](gone.md) -->
refused|[docs](docs/)
refused|[m](docs/missing.md)
ROWS
mkdir -p "$scratch/folder/docs" && printf '[docs](docs/)\n' >"$scratch/folder/page.md"
if $docs check "$scratch/folder" >/dev/null; then echo "FAILED: a link to a folder not in the bundle"; exit 1; fi
touch "$scratch/folder/docs/b.md" && $docs check "$scratch/folder" >/dev/null
echo "ok"
