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
echo "== The mailer has received five files with their tickets"
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
echo "== A new fileecho: the uplink's ticket for SOFT.WIN created it"
echo "   Description from uplink.lst, subscribers and group from [UPLINKS],"
echo "   the directory under the uplink's CREATEPATH; the magic names file"
echo "   and the [AUTOSTART] command saw the file."
sed -n '/^Area *SOFT.WIN/,/^$/p' "$scratch/olxareas.ini"
show_dir fileecho/uplink/SOFT_WIN
show_file fileecho/uplink/files.bbs
show_file freq.lst
show_file magic/olvix.mag
show_file autostart.log
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
# The packets written into PACKETDIR since the last call.
packets_seen=" "
show_new_packets() {
  for p in $(cd "$scratch/spool/packets" && ls -tr); do
    case "$packets_seen" in *" $p "*) continue ;; esac
    show_packet "$scratch/spool/packets/$p"
    packets_seen="$packets_seen$p "
  done
}

echo "== The announcements of the toss (the new fileecho, the new files): packets for the mail tosser"
show_new_packets
echo "-- flags/echomail.now tells the mail tosser there is echomail:"
ls "$scratch/flags"
echo
# A letter to the robot as the mailer's netmail tosser stores it in NETMAIL
# (spool/netmail): a 190-byte header (names, subject, addresses) and the
# text, lines ended by CR. Arguments: file, from name, subject, from node
# (of net 5020), text (printf format, "\r" between lines).
field() { printf '%s' "$1"; head -c $(($2 - ${#1})) /dev/zero; }
word() { printf "\\$(printf '%03o' $(($1 % 256)))\\$(printf '%03o' $(($1 / 256)))"; }
write_letter() {
  mkdir -p "$scratch/spool/netmail"
  {
    field "$2" 36; field "FileFix" 36; field "$3" 72
    field "09 Dec 26  12:00:00" 20
    # times read, to node, from node, cost, from net, to net, zones,
    # points, reply to, attributes (private, local), next reply
    word 0; word 1; word "$4"; word 0; word 5020; word 5020; word 2; word 2; word 0; word 0
    word 0; word 257; word 0
    printf "\\001INTL 2:5020/1 2:5020/$4\\r$5"
  } >"$scratch/spool/netmail/$1"
}
show_letter() {
  echo "-- $(basename "$1"): from $(head -c 36 "$1" | tr -d '\000') to" \
    "$(dd if="$1" bs=1 skip=36 count=36 2>/dev/null | tr -d '\000')," \
    "subject \"$(dd if="$1" bs=1 skip=72 count=72 2>/dev/null | tr -d '\000')\""
  tail -c +191 "$1" | tr '\r\001' '\n@'
  echo
}
# The letters written into OUTMAIL (spool/outbound/netmail) since the last
# call.
outmail="$scratch/spool/outbound/netmail"
letters_seen=0
show_new_letters() {
  for m in $(cd "$outmail" && ls | sort -n); do
    [ "${m%.msg}" -gt "$letters_seen" ] || continue
    show_letter "$outmail/$m"
    letters_seen=${m%.msg}
  done
}
write_letter 5.msg "Ivan Petrov" "secret" 2 \
  '+NEWS\r-SOFT.PASS\rSOFT.WIN\r+NODEDIFF\r%%QUERY\r%%AVAIL\r%%RESEND FILES.A:*.zip\r--- GoldED\r * Origin: Station of Ivan (2:5020/2)\r'
echo "== A letter from 2:5020/2 to the robot FileFix (password in the subject):"
tail -c +191 "$scratch/spool/netmail/5.msg" | tr '\r\001' '\n@'
echo
echo "== olvix MGR"
"$bin" MGR || true
echo
echo "== The answers in OUTMAIL (spool/outbound/netmail): the template answers,"
echo "   the resend report, the request forwarded to the uplink's robot for"
echo "   NODEDIFF, which this node did not carry (it is created at once and"
echo "   the link subscribed), the status report and the template that"
echo "   follows a change"
show_new_letters
echo "== The areas file after the letter: 2:5020/2 in NEWS, out of SOFT.PASS,"
echo "   and the new fileecho NODEDIFF fed by the uplink"
show_file olxareas.ini
echo "== The new fileecho NODEDIFF is announced"
show_new_packets
echo

# TOSSMGR: the robot first, then the toss. A downlink asks for NODEDIFF
# while the uplink's first file for it waits in the inbound: the file
# reaches the downlink in the same run.
mv "$scratch/session2/"* "$inbound/"
rmdir "$scratch/session2"
write_letter 6.msg "Olga Sidorova" "pass3" 3 '+NODEDIFF\r--- GoldED\r'
echo "== A letter from 2:5020/3 (+NODEDIFF) and the uplink's first NODEDIFF file"
(cd "$inbound" && ls)
echo "== olvix TOSSMGR"
"$bin" TOSSMGR || true
echo
echo "-- the file went to 2:5020/3 too:"
show_file spool/outbound/out/139c0003.clo
show_new_letters
show_new_packets
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
show_new_packets
echo

# ANNOUNCE: with ANNOUNCEPATH set, tosses and hatches only store what they
# would announce; ANNOUNCE posts it once enough has gathered.
awk '/^\[TEMPLATES\]/ { print "ANNOUNCEPATH spool/announce"; print "ANNOUNCEMINCOUNT 2"; print "" }
  { print }' "$scratch/olvix.ini" >"$scratch/olvix.ini.new"
mv "$scratch/olvix.ini.new" "$scratch/olvix.ini"
printf 'Changes of the example node\n' >"$scratch/upload/changes.txt"
echo "== With ANNOUNCEPATH spool/announce and ANNOUNCEMINCOUNT 2 in olvix.ini:"
echo "== olvix HATCH upload/changes.txt FILES.A -DChanges"
"$bin" HATCH upload/changes.txt FILES.A -DChanges || true
show_dir spool/announce
echo "== olvix ANNOUNCE (one file stored, two wanted: nothing is posted)"
"$bin" ANNOUNCE || true
show_dir spool/announce
echo "== olvix ANNOUNCE -U (posted whatever has gathered)"
"$bin" ANNOUNCE -U || true
show_dir spool/announce
show_new_packets
echo

# PURGE: an older nodelist difference that arrived 90 days ago (NODELIST
# keeps files for 60 days) and a file of the passthrough fileecho that no
# waiting ticket sends any more.
printf ';A Saturday, October 3, 2026 -- Day number 276 : 12345\n' \
  >"$scratch/fileecho/nodelist/nodediff.276"
echo "$(($(date +%s) - 90 * 86400)) NODELIST 52 NODEDIFF.276" >>"$scratch/olxprg.idx"
printf 'sent long ago\n' >"$scratch/passthru/soft.pass/oldsoft.zip"
echo "== olvix PURGE (nodediff.276 is 90 days old, oldsoft.zip waits for no one)"
"$bin" PURGE || true
show_dir fileecho/nodelist
show_dir passthru/soft.pass
show_file olxprg.idx
echo

# OLDCHECK: the point 2:5020/1.5 has not collected a ticket for 8 days.
cr=$(printf '\r')
old=$(cd "$scratch/outtics" && grep -l "^To 2:5020/1.5$cr\$" *.tic | head -n 1)
touch -d "@$(($(date +%s) - 8 * 86400))" "$scratch/outtics/$old"
echo "== The ticket $old for 2:5020/1.5 is 8 days old; the point's flow file:"
show_file spool/outbound/out/139c0001.pnt/00000005.dlo
echo "== olvix OLDCHECK"
"$bin" OLDCHECK || true
echo
echo "-- the point is passive (P), its tickets and flow lines are gone:"
grep '2:5020/1.5' "$scratch/olxlinks.ini"
show_file spool/outbound/out/139c0001.pnt/00000005.dlo
show_new_letters
echo

# RELINK: this node takes the nodelist from 2:5020/3 instead of the uplink.
echo "== olvix RELINK 2:5020/100 2:5020/3 nodel*"
"$bin" RELINK 2:5020/100 2:5020/3 'nodel*' || true
echo
echo "-- NODELIST now comes from 2:5020/3, which was subscribed already; both robots are asked:"
sed -n '/^Area *NODELIST/,/^$/p' "$scratch/olxareas.ini"
show_new_letters
echo

# HAND: robot lines from the command line, for one link or an address mask.
echo "== olvix HAND 2:5020/* +SOFT.WIN (every node of net 5020, no points)"
"$bin" HAND '2:5020/*' +SOFT.WIN || true
echo
show_new_letters
echo "== olvix HAND 2:5030/7 -SOFT.PASS (its last downlink leaves the passthrough"
echo "   fileecho: with UNSUBREPORT it is dropped, the uplink told, and announced)"
"$bin" HAND 2:5030/7 -SOFT.PASS || true
echo
show_new_letters
show_new_packets
grep -q '^Area *SOFT.PASS ' "$scratch/olxareas.ini" || echo "-- olxareas.ini no longer holds SOFT.PASS"
echo

echo "== The end of the log"
tail -n 40 "$scratch/olvix.log"
echo
echo "== Files under the node"
(cd "$scratch" && find . -type f | sort)
