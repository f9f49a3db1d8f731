#!/bin/sh
# Stand-in for the scanning batch appelMSS.bat of the program folder.
#
#   appelMSS <dossier number, blanks as "-"> <date yymmdd>
#
# The dossier number as the container wrote it (blanks kept) is read from
# the hand-over file Tessaly.xml beside this script; the result file
# "<dossier number>.xml" is written in the current folder, in CR LF lines:
# the dossier, the date received and the status of the (simulated) scan.
# Exit status: 0 done, 2 wrong arguments, 3 no hand-over file, 4 hand-over
# file of another dossier or unusable number, 5 result not writable.
set -u

fin() {
  echo "appelMSS: $2" >&2
  exit "$1"
}

[ "$#" -eq 2 ] || fin 2 "deux arguments attendus : dossier (blancs en -) et date aammjj"
case "$2" in
  [0-9][0-9][0-9][0-9][0-9][0-9]) ;;
  *) fin 2 "date aammjj attendue : $2" ;;
esac

echange="$(dirname -- "$0")/Tessaly.xml"
[ -r "$echange" ] || fin 3 "fichier d'échange introuvable : $echange"

# The hand-over file and the result are 8-bit text; host file names UTF-8.
en_utf8() {
  if command -v iconv >/dev/null 2>&1; then iconv -f CP1252 -t UTF-8; else cat; fi
}
brut=$(LC_ALL=C sed -n 's:.*<NUM_DOSS>\(.*\)</NUM_DOSS>.*:\1:p' "$echange" | head -n 1)
numero=$(printf '%s\n' "$brut" | en_utf8 | sed -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&quot;/"/g' -e 's/&amp;/\&/g') ||
  fin 3 "fichier d'échange illisible : $echange"

case "$numero" in
  "" | . | .. | */*) fin 4 "numéro de dossier inutilisable : '$numero'" ;;
esac
[ "$(printf '%s' "$numero" | tr ' ' '-')" = "$1" ] || fin 4 "le fichier d'échange est celui du dossier '$numero', pas '$1'"

resultat="./$numero.xml"
{
  printf '<RESULTAT_SCAN>\r\n'
  printf '<NUM_DOSS>%s</NUM_DOSS>\r\n' "$brut"
  printf '<DATE_SCAN>%s</DATE_SCAN>\r\n' "$2"
  printf '<STATUT>OK</STATUT>\r\n'
  printf '</RESULTAT_SCAN>\r\n'
} >"$resultat" || fin 5 "résultat impossible à écrire : $resultat"
echo "appelMSS: numérisation de $numero terminée : $resultat" >&2
exit 0
