# Part of scripts/check-hosts (sourced after ardour-render.sh and audacity.sh): the LV2 edition
# in the hosts that load LV2 plug-ins, with their recipes' own functions. Each host is found the
# bundle through LV2_PATH: a folder holding only the built bundle, then Debian's bundles, where the
# peer is (x42's nodelay, which delays by a set amount and reports it as latency).
lv2_uri=urn:vexa:tinvoicer
lv2_peer_uri=http://gareus.org/oss/lv2/nodelay

lv2_search_path() {
  mkdir -p "$work/lv2-bundles"
  ln -sfn "$lv2_bundle" "$work/lv2-bundles/tinvoicer.lv2"
  echo "$work/lv2-bundles:/usr/lib/lv2"
}

# Ardour renders the file through the peer and then the plug-in, on the session of the VST 2
# render. The peer reports a latency of 100 samples without delaying (its mode 2), so Ardour's
# compensation shows as the input 100 samples early; a peer that delays as well would change its
# delay from 0 as Ardour sets it, with a crossfade at the start. The export's first channel is
# judged with audio_compare: the input's length, and within float rounding (-120 dBFS) the
# input, 100 samples early, for the peer, and tinvoicer-render's output at lag 0 for the plug-in.
check_ardour_lv2_render() {
  local host="Ardour LV2 render" template="$work/ardour-template/render"
  [ -x "$ardour_lua" ] || { skip "$host" "no $ardour_lua (Debian's ardour package)"; return; }
  [ -f "$template/render.ardour" ] || { skip "$host" "the VST 2 render made no session to start from"; return; }
  local rate samples reference_file
  rate=$(soxi -r "$input" 2>/dev/null)
  samples=$(soxi -s "$input" 2>/dev/null)
  reference_file=$(reference "$module") || { fail "tinvoicer-render could not render through $module"; return; }
  echo "check-hosts: Ardour renders the file through LV2 plug-ins, compensating their latency:"
  local uri params expected latency lag rendered exported verdict reported
  for uri in "$lv2_peer_uri" "$lv2_uri"; do
    if [ "$uri" = "$lv2_peer_uri" ]; then
      params=0=100,1=2 expected=$input latency=100 lag=-100
    else
      params="" expected=$reference_file latency=1024 lag=0
    fi
    if ! rendered=$(LV2_PATH=$(lv2_search_path) RENDER_PLUGIN_TYPE=LV2 RENDER_PLUGIN_PARAMS=$params \
      ardour_render "$uri" "$template" "$rate" "$samples"); then
      lv2_mismatch "$host" "$uri" "Ardour could not render through $uri" || return 0
      continue
    fi
    exported=$(find "${rendered%.left.wav}" -maxdepth 1 -name '*.wav')
    reported=$(sed -n 's/^plug-in latency after the export: //p' "${rendered%.left.wav}.log")
    if [ "$reported" != "$latency" ]; then
      lv2_mismatch "$host" "$uri" "Ardour compensated '$reported' samples for $uri, not $latency" || return 0
    elif verdict=$(audio_compare --same-length --lag "$lag" --tolerance-db -120 "$exported" "$expected"); then
      printf '  %-40s %s (latency %s)\n' "$uri" "$verdict" "$reported"
    else
      lv2_mismatch "$host" "$uri" "Ardour's render through $uri: $verdict" || return 0
    fi
  done
}

# Like mismatch in check-hosts, for a plug-in named by its URI.
lv2_mismatch() {
  local host=$1 uri=$2
  shift 2
  if [ "$uri" = "$lv2_uri" ]; then
    fail "$*"
    return 0
  fi
  skip "$host" "the recipe fails on the peer $uri, so the plug-in is not judged: $*"
  return 1
}

# Audacity renders the file by its scripting pipe through the peer, set to report 100 samples of
# latency without delaying (its mode 2, as in Ardour's recipe), and through the plug-in at its
# defaults (0 dB), in a session of its own with no VST 2 plug-in (Audacity names each edition's
# command after the plug-in's name alike). Its scripting sets no LV2 control, so the peer's
# setting is written where Audacity keeps the effect's current settings. Whether Audacity
# compensates an LV2 plug-in's latency is read from the peer's render (the input 100 samples
# early, or at lag 0); the plug-in's render must then equal tinvoicer-render's output, compensated
# or not alike, bit for bit.
lv2_audacity_peer_settings() {
  local section
  section=$(printf 'Effect_LV2_Robin Gareus_No Delay Line' | base64 -w0 | sed 's/=/\\=/g')
  cat >>"$work/audacity-home/config/audacity/pluginsettings.cfg" <<SETTINGS
[pluginsettings/base64\\:$section]
[pluginsettings/base64\\:$section/private]
[pluginsettings/base64\\:$section/private/FactoryDefaults]
Parameters=Delay_Time="0" Operation_Mode="1"
Initialized=1
[pluginsettings/base64\\:$section/private/CurrentSettings]
Parameters=Delay_Time="100" Operation_Mode="2"
SETTINGS
}

check_audacity_lv2() {
  local host="Audacity LV2"
  audacity_can_run || return 0
  local search_path compensated uncompensated="$work/reference-uncompensated.wav"
  search_path=$(lv2_search_path)
  compensated=$(reference "$module") || { fail "tinvoicer-render could not render through $module"; return; }
  "$render" "$input" -o "$uncompensated" --no-latency-compensation >/dev/null 2>&1 ||
    { fail "tinvoicer-render --no-latency-compensation could not render through $module"; return; }
  local work="$work/audacity-lv2" audacity_lv2_uris=("$lv2_peer_uri" "$lv2_uri")
  local audacity_between_starts=lv2_audacity_peer_settings
  LV2_PATH=$search_path audacity_session || return 0
  echo "check-hosts: Audacity's scan of the LV2 plug-ins, and a render through its scripting pipe:"
  local uri name id rendered verdict expected=""
  for uri in "${audacity_lv2_uris[@]}"; do
    name=$(registry_field "$uri" Name)
    id=$(awk -F'"' -v name="$name" '$4 == name && $8 == "n/a" { print $2; exit }' <<<"$audacity_commands")
    if [ -z "$id" ] || ! rendered=$(audacity_render "$id"); then
      lv2_mismatch "$host" "$uri" "Audacity could not apply '$name' ($uri) through its scripting pipe" || break
      continue
    fi
    if [ "$uri" = "$lv2_peer_uri" ]; then
      if verdict=$(audio_compare --same-length --lag -100 "$rendered" "$input"); then
        expected=$compensated
      elif verdict=$(audio_compare --same-length "$rendered" "$input"); then
        expected=$uncompensated
      else
        lv2_mismatch "$host" "$uri" "Audacity's render through $uri is the input neither 100 samples early nor at lag 0: $verdict" || break
      fi
      if [ "$expected" = "$compensated" ]; then verdict+=", compensated"; else verdict+=", not compensated"; fi
    elif ! verdict=$(audio_compare "$rendered" "$expected"); then
      lv2_mismatch "$host" "$uri" "Audacity's render through $uri differs from tinvoicer-render's ($(basename "$expected")): $verdict" || break
      continue
    fi
    printf '  %-40s %s | %s | %s\n' "$uri" "$name" "$(registry_field "$uri" Vendor)" "$(registry_field "$uri" EffectFamily)"
    printf '  %-40s render: %s\n' "" "$verdict"
  done
  audacity_end_session
}
