# shellcheck shell=bash
# Part of scripts/check-hosts (sourced after ardour-render.sh and audacity.sh): the LV2 edition
# in the hosts that load LV2 plug-ins, with their recipes' own functions. Each host is found the
# bundle through LV2_PATH: a folder holding only the built bundle, then Debian's bundles, where the
# peer is (x42's nodelay, which delays by a set amount and reports it as latency).
: "${work:?}" "${input:?}" "${render:?}" "${module:?}" "${lv2_bundle:?}"
lv2_uri=urn:vexa:tinvoicer
lv2_peer_uri=http://gareus.org/oss/lv2/nodelay

lv2_search_path() {
  mkdir -p "$work/lv2-bundles"
  ln -sfn "$lv2_bundle" "$work/lv2-bundles/tinvoicer.lv2"
  echo "$work/lv2-bundles:/usr/lib/lv2"
}

# Ardour renders the file through the peer and then the plug-in, with ardour-render.sh's
# functions. The peer reports a latency of 100 samples without delaying (its mode 2), so Ardour's
# compensation shows as the input 100 samples early (a peer that delays as well would start from
# no delay as Ardour sets its control, and crossfade). The plug-in's render must come out at lag 0,
# equal to tinvoicer-render's bit for bit, with the 1024 samples compensated. Every step runs
# every time: one that cannot run fails the check.
check_ardour_lv2_render() {
  if ! ardour_prepare 2>"$work/ardour-prepare.err"; then
    fail "Ardour LV2 render: $(tail -1 "$work/ardour-prepare.err")"
    return
  fi
  local reference_file
  reference_file=$(reference "$module") || { fail "tinvoicer-render could not render through $module"; return; }
  local -x LV2_PATH
  LV2_PATH=$(lv2_search_path)
  note "Ardour renders the file through LV2 plug-ins (first channel of the master bus):"
  lv2_ardour_check "$lv2_peer_uri" 0=100,1=2 100 "$input" --lag -100 ||
    { fail "Ardour's render through the peer $lv2_peer_uri is not the input 100 samples early: the recipe is broken"; return; }
  lv2_ardour_check "$lv2_uri" "" 1024 "$reference_file" ||
    fail "Ardour's render through $lv2_uri is not tinvoicer-render's, bit for bit, with its latency compensated"
  check_ardour_lv2_preset
}

# Ardour applies a preset as it makes the plug-in (the Lua API's new_plugin), proven on its own
# a-delay, whose preset "Zero" sets its control 3 to 3 where the default is 4. Then Tinvoicer's
# "Deep robot" must show pitch -12 and render equal, bit for bit, to lilv's lv2apply at pitch -12,
# lined up: Ardour compensates the 1024 samples, lv2apply does not.
check_ardour_lv2_preset() {
  local peer=urn:ardour:a-delay rendered controls
  note "Ardour renders through LV2 presets:"
  rendered=$(RENDER_PLUGIN_PRESET=Zero ardour_render LV2 "$peer") || true
  controls=$(sed -n 's/^plug-in controls: //p' "$(dirname "${rendered:-$work/none/x}").log" 2>/dev/null)
  if [[ " $controls " != *" 3=3.0 "* ]]; then
    fail "Ardour did not apply $peer's preset Zero (controls: ${controls:-none}): the recipe is broken"
    return
  fi
  printf '  %-40s controls %s\n' "$peer, preset Zero" "$controls"
  if ! lv2apply -i "$input" -o "$work/lv2apply-deep.wav" -c pitch -12 "$lv2_uri" >"$work/lv2apply.log" 2>&1; then
    fail "lv2apply could not render through $lv2_uri at pitch -12: $(tail -1 "$work/lv2apply.log")"
    return
  fi
  rendered=$(RENDER_PLUGIN_PRESET="Deep robot" ardour_render LV2 "$lv2_uri") ||
    { fail "Ardour could not render through $lv2_uri with the preset Deep robot"; return; }
  controls=$(sed -n 's/^plug-in controls: //p' "$(dirname "$rendered").log")
  local verdict status=0
  verdict=$(audio_compare --lag -1024 "$rendered" "$work/lv2apply-deep.wav") || status=$?
  printf '  %-40s controls %s; %s\n' "$lv2_uri, preset Deep robot" "$controls" "$verdict"
  if [[ " $controls " != *" 2=-12.0 "* ]] || [ "$status" -ne 0 ]; then
    fail "Ardour's render through $lv2_uri with the preset Deep robot is not lv2apply's at pitch -12"
  fi
}

# Renders through one LV2 plug-in (URI, controls INDEX=VALUE,...) and judges the export against
# EXPECTED with audio_compare's further options, and the latency Ardour compensated. Prints a line.
lv2_ardour_check() {
  local uri=$1 params=$2 latency=$3 expected=$4 rendered reported verdict status=0
  shift 4
  rendered=$(RENDER_PLUGIN_PARAMS=$params ardour_render LV2 "$uri") || { echo "  $uri: no render"; return 1; }
  reported=$(sed -n 's/^plug-in latency after the export: //p' "$(dirname "$rendered").log")
  verdict=$(audio_compare --same-length "$@" "$rendered" "$expected") || status=$?
  printf '  %-40s %s; latency %s\n' "$uri" "$verdict" "${reported:-unknown}"
  [ "$status" -eq 0 ] && [ "$reported" = "$latency" ]
}

# Like mismatch in check-hosts, for a plug-in named by its URI.
lv2_mismatch() {
  local host=$1 uri=$2
  shift 2
  if [ "$uri" = "$lv2_uri" ]; then
    fail "$*"
    return 0
  fi
  skip "$host: the recipe fails on the peer $uri, so the plug-in is not judged: $*"
  return 1
}

# Audacity renders the file by its scripting pipe through the peer, set to delay by 100 samples
# and report them, and through the plug-in at its defaults (0 dB), in a session of its own with no
# VST 2 plug-in (Audacity names each edition's command after the plug-in's name alike). Its
# scripting sets no LV2 control, so the peer's setting is written where Audacity keeps the
# effect's current settings. The peer crossfades from no delay to its setting over its first 8192
# samples, so its input begins with a quarter second of silence (a copy through sox, which the
# peer's render is compared with). Whether Audacity compensates an LV2 plug-in's latency is read
# from that render: the input 100 samples late means it does not (Debian 12's Audacity 3.2.4
# does not), at lag 0 that it does. The plug-in's render must then equal tinvoicer-render's output,
# compensated or not alike, bit for bit.
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
Parameters=Delay_Time="100" Operation_Mode="1"
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
  local padded="$work/padded.wav" source
  mkdir -p "$work"
  sox -V1 "$input" "$padded" pad 11025s 0 || { fail "sox could not pad $input with silence"; return; }
  # shellcheck disable=SC2034  # read by audacity_session, which this call reaches
  local audacity_between_starts=lv2_audacity_peer_settings
  LV2_PATH=$search_path audacity_session || return 0
  note "Audacity's scan of the LV2 plug-ins, and a render through its scripting pipe:"
  local uri name id rendered verdict expected=""
  for uri in "${audacity_lv2_uris[@]}"; do
    name=$(registry_field "$uri" Name)
    # shellcheck disable=SC2154  # set by audacity_session
    id=$(awk -F'"' -v name="$name" '$4 == name && $8 == "n/a" { print $2; exit }' <<<"$audacity_commands")
    source=$input
    [ "$uri" != "$lv2_peer_uri" ] || source=$padded
    if [ -z "$id" ] || ! rendered=$(input=$source audacity_render "$id"); then
      lv2_mismatch "$host" "$uri" "Audacity could not apply '$name' ($uri) through its scripting pipe" || break
      continue
    fi
    if [ "$uri" = "$lv2_peer_uri" ]; then
      if verdict=$(audio_compare --same-length --lag 100 "$rendered" "$padded"); then
        expected=$uncompensated
      elif verdict=$(audio_compare --same-length "$rendered" "$padded"); then
        expected=$compensated
      else
        lv2_mismatch "$host" "$uri" "Audacity's render through $uri is its input neither 100 samples late nor at lag 0: $verdict" || break
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
