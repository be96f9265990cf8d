# What both demo server scripts begin with; sourced, not run.
#
#   new_server SERVER DEFAULT_CUSTOMERS QORSERVER OUTDIR [CUSTOMERS]
#
# Replaces OUTDIR/SERVER (and its journal files) with an empty server and
# sets qorserver, out (absolute, and the QORDB_ROOT), customers, server and
# data, a scratch folder for the generated records that goes on exit.
new_server() {
  server=$1
  qorserver=$3
  out=$4
  customers=${5:-$2}

  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  export QORDB_ROOT=$out
  rm -f "$out/$server" "$out/$server-wal" "$out/$server-shm"
  data=$(mktemp -d)
  trap 'rm -rf "$data"' EXIT

  "$qorserver" create "$server"
}
