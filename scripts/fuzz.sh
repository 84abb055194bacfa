#!/usr/bin/env bash
# Builds the `fuzz` preset and runs every fuzz_* target it builds for a bounded time each.
#
#   scripts/fuzz.sh [seconds] [name...]     e.g. scripts/fuzz.sh 300 packet expr
#
# seconds: per target (default $VLT_FUZZ_SECONDS or 60). Names pick targets (fuzz_<name>);
# without names every target runs. Each target starts from a copy of fuzz/corpus/<name>/ in
# build/fuzz/corpus/<name>/ (kept between runs, so later runs go on from what earlier ones
# found); inputs that fail land in build/fuzz/findings/. Exits non-zero when any target found
# a crash, a sanitizer report, a leak or a timeout. VLT_FUZZ_MAX_LEN sets -max_len (4096).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${VLT_FUZZ_SECONDS:-60}}"
shift $(($# > 0 ? 1 : 0))
max_len="${VLT_FUZZ_MAX_LEN:-4096}"
build=build/fuzz

cmake --preset fuzz >/dev/null
# Only the fuzz targets (and what they link), not the rest of the project.
mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\):.*/\1/p' | sort -u)
if [ "$#" -gt 0 ]; then
  wanted=()
  for name in "$@"; do wanted+=("fuzz_${name#fuzz_}"); done
  targets=("${wanted[@]}")
fi
if [ "${#targets[@]}" -eq 0 ]; then
  echo "fuzz.sh: no fuzz_* targets in $build" >&2
  exit 1
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

mkdir -p "$build/findings"
failed=()
for target in "${targets[@]}"; do
  exe=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
  if [ -z "$exe" ]; then
    echo "fuzz.sh: $target was not built" >&2
    failed+=("$target")
    continue
  fi
  name="${target#fuzz_}"
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  for seeds in "fuzz/corpus/$name" "fuzz/corpus/$target"; do
    if [ -d "$seeds" ]; then cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true; fi
  done
  echo "== $target: ${seconds}s, -max_len=$max_len, corpus $corpus"
  if "$exe" -max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/findings/$target-" "$corpus" \
      >"$build/findings/$target.log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$build/findings/$target.log" || true
  else
    echo "fuzz.sh: $target FAILED; see $build/findings/$target.log" >&2
    grep -E 'ERROR|SUMMARY|Test unit written' "$build/findings/$target.log" >&2 || true
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz.sh: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: ${#targets[@]} targets clean for ${seconds}s each"
