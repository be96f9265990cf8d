#!/usr/bin/env bash
# Makes the destination demo server: SYSDB with the user DEMO (password DEMO),
# the databases DEVUDAVARER, UGYFEL and ALAP filled with generated customers,
# addresses and contacts, and the id sequences.
#
#   make-destination.sh QORSERVER OUTDIR [CUSTOMERS]
#
# The server is OUTDIR/vovdemo.qdb; an older one is replaced. OUTDIR also gets
# the template file the repair program reads from its working folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/new-server.sh"
new_server vovdemo.qdb 2500 "$@"
for db in DEVUDAVARER UGYFEL ALAP; do
  "$qorserver" add-database "$server" "$here/destination/$db.schema"
done
"$qorserver" add-user "$server" DEMO DEMO

python3 "$here/gen_destination.py" "$data" --customers "$customers" > "$data/sequences.txt"
load() { "$qorserver" load "$server" "$1" "$2" "$data/$2.tsv"; }
load DEVUDAVARER BASEDATA
load DEVUDAVARER UGYFEL_DATUM_TIP
load UGYFEL UGYFEL
load ALAP CIMTIP
load ALAP ELERTIP
load ALAP CIM
load ALAP ELERHETOSEG
while IFS='=' read -r name start; do
  "$qorserver" add-sequence "$server" "$name" "$start" 1
done < "$data/sequences.txt"

cp "$here/SMS_tel_sablon.ini" "$out/"
echo "Destination demo server: $out/$server"
