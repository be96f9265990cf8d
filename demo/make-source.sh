#!/usr/bin/env bash
# Makes the source demo server: SYSDB with the user DEMO (password DEMO), the
# database KELVADO filled with generated customers, plates, addresses and
# telephone numbers, and the server parameter "RegLmgrName" that the
# destination server lacks.
#
#   make-source.sh QORSERVER OUTDIR [CUSTOMERS]
#
# The server is OUTDIR/kelvado.qdb; an older one is replaced.
set -euo pipefail
qorserver=$1
out=$2
customers=${3:-3000}
here=$(cd "$(dirname "$0")" && pwd)
server=kelvado.qdb

mkdir -p "$out"
out=$(cd "$out" && pwd)
export QORDB_ROOT=$out
rm -f "$out/$server" "$out/$server-wal" "$out/$server-shm"
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

"$qorserver" create "$server"
"$qorserver" set-param "$server" RegLmgrName KELVREG01
"$qorserver" add-database "$server" "$here/source/KELVADO.schema"
"$qorserver" add-user "$server" DEMO DEMO

python3 "$here/gen_source.py" "$data" --customers "$customers"
for record in UGYFEL RENDSZAM CIM CIMLINK TELEFON TELEFONLINK; do
  "$qorserver" load "$server" KELVADO "$record" "$data/$record.tsv"
done
echo "Source demo server: $out/$server"
