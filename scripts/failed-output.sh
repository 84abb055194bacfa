#!/usr/bin/env bash
# Prints the end of each failed test's output from a ctest run's log (build folder as $1).
set -uo pipefail
log=$1/Testing/Temporary/LastTest.log
failed=$1/Testing/Temporary/LastTestsFailed.log
[[ -f $log && -f $failed ]] || exit 0
while IFS=: read -r _ name; do
  echo "=== output of failed test: $name"
  # A test's section runs from its "Test: name" line to "<end of output>".
  awk -v name="$name" '
    $0 ~ /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); inside = ($0 == name); n = 0; next }
    inside && /^<end of output>/ {
      for (i = (n > 60 ? n - 60 : 0); i < n; ++i) print lines[i % 60]
      inside = 0
    }
    inside { lines[n++ % 60] = $0 }
  ' "$log"
done < "$failed"
