#!/bin/sh
# Runs olvix on a copy of the example node in a scratch directory, so the
# repository stays clean.
set -e
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/olvix-demo.XXXXXX")
cp -R "$here/node/." "$scratch/"
export OLVIXPATH="$scratch"
echo "== Example node copied to $scratch"
echo "== olvix (no command: banner and help)"
"$bin" </dev/null || true
echo
echo "== olvix 2:5020/2 (information on a link)"
"$bin" 2:5020/2 || true
echo
echo "== olvix FILES.A (information on a fileecho)"
"$bin" FILES.A || true
echo
echo "== olvix EXPORT areas.txt"
"$bin" EXPORT areas.txt || true
echo "-- areas.txt:"
cat "$scratch/areas.txt"
echo

# The sample tickets of node/inbound arrive as a mailer would leave them in
# the inbound directory of olvix.ini (spool/inbound). An older nodelist
# difference lies in the NODELIST fileecho, for the new one to replace.
inbound="$scratch/spool/inbound"
mkdir -p "$inbound" "$scratch/fileecho/nodelist"
mv "$scratch/inbound/"* "$inbound/"
rmdir "$scratch/inbound"
printf ';A Friday, November 27, 2026 -- Day number 331 : 31022\n' \
  >"$scratch/fileecho/nodelist/nodediff.331"
printf 'NODEDIFF.331 [00] Nodelist difference, day 331\n' \
  >"$scratch/fileecho/nodelist/files.bbs"
echo "== The mailer has received four files with their tickets"
(cd "$inbound" && ls -l)
for t in "$inbound"/*.tic; do
  echo "-- $(basename "$t"):"
  tr -d '\r' <"$t"
done
echo
echo "== olvix TOSS"
"$bin" TOSS || true
echo

# Where every file went.
show_dir() {
  echo "-- $1/"
  if [ -d "$scratch/$1" ]; then
    (cd "$scratch/$1" && ls -l | sed 1d)
  else
    echo "   (no directory)"
  fi
}
show_file() {
  echo "-- $1:"
  if [ -f "$scratch/$1" ]; then tr -d '\r' <"$scratch/$1"; else echo "   (no file)"; fi
}
echo "== The inbound after the toss (empty: every pair was handled)"
show_dir spool/inbound
echo
echo "== Fileecho directories and their descriptions"
echo "   FILES.A takes its description from the FILE_ID.DIZ inside the archive;"
echo "   NODELIST lost nodediff.331 to the Replaces line of the new ticket;"
echo "   SOFT.PASS is passthrough: a copy for sending, no description."
for d in fileecho/files.a fileecho/nodelist passthru/soft.pass fileecho/news; do
  show_dir "$d"
done
show_file fileecho/files.a/files.bbs
show_file fileecho/nodelist/files.bbs
show_file olxprg.idx
echo
echo "== Outbound: one flow file per link and flavour, the file then its ticket"
(cd "$scratch/spool/outbound" && find . -type f | sort) | while read -r f; do
  show_file "spool/outbound/${f#./}"
done
echo
echo "== One of the tickets written for the links"
first=$(cd "$scratch/outtics" && ls | head -n 1)
[ -n "$first" ] && show_file "outtics/$first"
echo
echo "== Bad files: the NEWS ticket carried a wrong password"
show_dir bad
show_file bad/files.bbs
echo
echo "== Copies of the accepted tickets (KEEPTICS)"
show_dir keeptics
echo
# The messages of an echomail packet: the 58-byte header skipped, the
# binary fields of each message dropped (date, to, from and subject stay),
# kludge lines shown with "@".
show_packet() {
  echo "-- ${1#$scratch/} ($(wc -c <"$1") bytes):"
  tail -c +59 "$1" | tr '\000\r\001' '\n\n@' | LC_ALL=C grep -a -x '[ -~]*' |
    grep -v -x '@\{1,\}' | cat -s | sed 's/^/   /'
}
echo "== The announcement of the toss: an echomail packet for the mail tosser"
for p in "$scratch"/spool/packets/*.pkt; do show_packet "$p"; done
echo "-- flags/echomail.now tells the mail tosser there is echomail:"
ls "$scratch/flags"
echo

# HATCH sends a local file into a fileecho as if it had arrived there.
mkdir -p "$scratch/upload"
printf 'Release notes of the example node\n' >"$scratch/upload/notes.txt"
echo "== olvix HATCH upload/notes.txt FILES.A -DRelease notes of @DATE"
"$bin" HATCH upload/notes.txt FILES.A "-DRelease notes of @DATE" || true
echo
echo "== The hatched file: copied into FILES.A, described, sent, announced"
show_dir fileecho/files.a
show_file fileecho/files.a/files.bbs
for p in "$scratch"/spool/packets/*.pkt; do
  grep -q -a notes.txt "$p" && show_packet "$p"
done
echo

echo "== The end of the log"
tail -n 40 "$scratch/olvix.log"
echo
echo "== Files under the node"
(cd "$scratch" && find . -type f | sort)
