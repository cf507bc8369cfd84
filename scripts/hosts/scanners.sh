# shellcheck shell=bash
# Part of scripts/check-hosts (sourced): the plug-in scanner helpers of Qtractor and MusE. Each
# host runs its helper on a plug-in file and keeps what it prints; the helpers' records must
# agree with `tinvoicer-render --list` on the peers and the module.
: "${work:?}" "${render:?}" "${module:?}" "${host_peers:?}"
qtractor_scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
muse_scanner=/usr/bin/muse_plugin_scan

# The render tool's view of a plug-in in the scanners' common terms.
listed_identity() {
  local listing
  listing=$("$render" --list --plugin "$1" 2>/dev/null) || { echo "<tinvoicer-render --list failed>"; return; }
  echo "$(listed Name "$listing") | $(id_number "$(listed 'Unique id' "$listing")") | $(listed Inputs "$listing") in | $(listed Outputs "$listing") out | $(listed Parameters "$listing") parameters"
}

# Runs one host's scanner on the peers, then the module; `$1_identity FILE` prints the scanner's
# record in the terms of listed_identity.
check_scanner() {
  local host=$1 scanner=$2 file says expected
  [ -x "$scanner" ] || { skip "$host: no $scanner (Debian's ${host,,} package)"; return; }
  note "$host's scanner ($(basename "$scanner")) and tinvoicer-render --list:"
  for file in "${host_peers[@]}" "$module"; do
    says=$("${host,,}_identity" "$file")
    expected=$(listed_identity "$file")
    if [ "$says" = "$expected" ]; then
      printf '  %-22s %s\n' "$(basename "$file")" "$says"
    else
      mismatch "$host" "$file" "$host's scanner on $(basename "$file"): '$says', tinvoicer-render --list: '$expected'" || return 0
    fi
  done
  says=$("${host,,}_identity" "$module")
  expected="Tinvoicer | $(id_number Tinv) | 1 in | 1 out | 2 parameters"
  [ "$says" = "$expected" ] || fail "$host's scanner on the module: '$says', expected '$expected'"
}

# Qtractor's helper reads "VST:<file>" lines and answers one line per plug-in:
# VST|name|audio ins:outs|MIDI ins:outs|parameters:outputs|flags|file|index|0xUNIQUEID
qtractor_identity() {
  local record
  record=$(printf 'VST:%s\n' "$1" | HOME="$work" timeout 60 "$qtractor_scanner" 2>/dev/null | grep '^VST|' | head -1)
  [ -n "$record" ] || { echo "<no record>"; return; }
  local name audio controls id
  # type|name|audio|midi|controls|flags|file|index|id
  IFS='|' read -r _ name audio _ controls _ _ _ id <<<"$record"
  echo "$name | $((id)) | ${audio%%:*} in | ${audio##*:} out | ${controls%%:*} parameters"
}

# MusE's helper writes an XML record per plug-in into a file that must exist beforehand; -p adds
# the ports, audio and control.
muse_identity() {
  local out
  out="$work/muse-$(basename "$1").xml"
  : >"$out"
  HOME="$work" timeout 60 "$muse_scanner" -t 16 -f "$1" -o "$out" -p >/dev/null 2>&1 || true
  grep -q '<uniqueID>' "$out" || { echo "<no record>"; return; }
  field() { sed -n "s:.*<$1>\(.*\)</$1>.*:\1:p" "$out" | head -1; }
  echo "$(field name) | $(field uniqueID) | $(field inports) in | $(field outports) out | $(field ctlInports) parameters"
}

check_qtractor() { check_scanner Qtractor "$qtractor_scanner"; }

check_muse() {
  check_scanner MusE "$muse_scanner"
  # MusE shows the parameter names as the module gives them, leading blank included.
  [ -x "$muse_scanner" ] || return 0
  local names
  names=$(sed -n 's/.*<port name="\([^"]*\)" .*type="10".*/\1/p' "$work/muse-$(basename "$module").xml" | paste -sd '|')
  if [ "$names" = " Gain| Depth" ]; then
    printf '  %-22s parameter names %s\n' "$(basename "$module")" "'${names//|/"', '"}'"
  else
    fail "MusE's scanner names the module's parameters '$names', expected ' Gain| Depth'"
  fi
}
