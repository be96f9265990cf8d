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
here=$(cd "$(dirname "$0")" && pwd)
. "$here/new-server.sh"
new_server kelvado.qdb 3000 "$@"
"$qorserver" set-param "$server" RegLmgrName KELVREG01
"$qorserver" add-database "$server" "$here/source/KELVADO.schema"
"$qorserver" add-user "$server" DEMO DEMO

python3 "$here/gen_source.py" "$data" --customers "$customers"
for record in UGYFEL RENDSZAM CIM CIMLINK TELEFON TELEFONLINK; do
  "$qorserver" load "$server" KELVADO "$record" "$data/$record.tsv"
done
echo "Source demo server: $out/$server"
