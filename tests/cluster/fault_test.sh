#!/usr/bin/env bash
# The cluster fault run: fault_test.sh FAULT_PROGRAM DATASERVICE FOLDER
# VLT_CLUSTER_SECONDS: how long the clients save (120 by default; 20 for a quick look),
# VLT_CLUSTER_CLIENTS: how many (16). Exit 77 (skipped) without galera-4 or haproxy.
set -euo pipefail
program=$1 dataservice=$2 folder=$3
haproxy=$(command -v haproxy || true)
[ -z "$haproxy" ] && [ -x /usr/sbin/haproxy ] && haproxy=/usr/sbin/haproxy
if [ -z "$haproxy" ]; then
  echo "haproxy is not installed: no fault run"
  exit 77
fi
galera=
for lib in /usr/lib/galera/libgalera_smm.so /usr/lib/libgalera_smm.so \
  /usr/lib64/galera-4/libgalera_smm.so; do
  [ -r "$lib" ] && galera=$lib
done
if [ -z "$galera" ]; then
  echo "galera-4 is not installed: no fault run"
  exit 77
fi
status=0
"$program" --dataservice "$dataservice" --haproxy "$haproxy" --folder "$folder" \
  --seconds "${VLT_CLUSTER_SECONDS:-120}" --clients "${VLT_CLUSTER_CLIENTS:-16}" || status=$?
if [ "$status" -ne 0 ]; then
  # What the servers said, for the failure's cause.
  for log in "$folder"/instance*.log "$folder"/haproxy.log "$folder"/galera/node*/error.log; do
    [ -f "$log" ] && { echo "--- tail of $log"; tail -n 15 "$log"; }
  done
  exit "$status"
fi
rm -rf "$folder"
