# shellcheck shell=bash
# Part of scripts/check-hosts (sourced): Ardour renders a file through a plug-in in a headless
# session. Ardour's Lua session tool has no file import, so the session is made by the tool with
# one empty track and the input file is then placed in it the way Ardour stores an imported file:
# a copy in the session's audio folder, a source, a whole-file region and that region on the
# track's playlist, the track's outputs connected to the master bus.
# Uses from check-hosts: $work, $input, $render, $module, $scanner, $scanner_dir, fail, and
# audio_compare (the samples of two files, bits included).
# The functions render and judge any plug-in Ardour lists, of any type it hosts:
#   ardour_prepare                              the session template and Ardour's private HOME
#   ardour_scan_vst FILE                        records a VST 2 module in that HOME's cache
#   ardour_render TYPE NAME                     the render's path (NAME empty: no plug-in)
#   ardour_check peer|module TYPE NAME LABEL REFERENCE
#                                               renders and judges one plug-in, printing a line
: "${root:?}" "${work:?}" "${input:?}" "${render:?}" "${module:?}" "${scanner:?}" "${scanner_dir:?}" "${limiter_peer:?}"
hosts_dir="$root/scripts/hosts"
ardour_lua=/usr/bin/ardour7-lua
ardour_preset_id=5e1f9f6c-52a4-4c1e-9b53-7d3f1c0a2b11
ardour_template="$work/ardour-template/render"

# Runs Ardour's Lua session tool in the private HOME of the Ardour checks, with the plug-in
# folders of LXVST_PATH (the variable Ardour 7 reads for VST 2 folders).
ardour_run() {
  env -u VST_PATH HOME="$work/ardour-home" XDG_CONFIG_HOME="$work/ardour-home/config" \
    XDG_CACHE_HOME="$work/ardour-home/cache" LXVST_PATH="$work/ardour-vst" \
    timeout 120 "$ardour_lua" "$@"
}

# Makes the session template: one mono track "in" holding the input file.
ardour_new_session() {
  local folder=$1 rate=$2 samples=$3
  RENDER_SESSION="$folder" RENDER_RATE="$rate" ardour_run "$hosts_dir/ardour-new-session.lua" \
    >"$work/ardour-new-session.log" 2>&1 || true
  grep -q '^session created' "$work/ardour-new-session.log" || { cat "$work/ardour-new-session.log" >&2; return 1; }
  local audio
  audio="$folder/interchange/$(basename "$folder")/audiofiles"
  mkdir -p "$audio"
  cp "$input" "$audio/input.wav"
  local region='name="input" muted="0" opaque="1" locked="0" video-locked="0" automatic="0" import="0"'
  region+=' external="0" sync-marked="0" left-of-split="0" right-of-split="0" hidden="0"'
  region+=' position-locked="0" valid-transients="0" start="0" length="'$samples'" position="0"'
  region+=' sync-position="0" ancestral-start="0" ancestral-length="0" stretch="1" shift="1"'
  region+=' layering-index="0" tags="" type="audio" first-edit="nothing" source-0="900001"'
  region+=' master-source-0="900001" channels="1" envelope-active="0" default-fade-in="0"'
  region+=' default-fade-out="0" fade-in-active="0" fade-out-active="0" scale-amplitude="1"'
  # Plain sample counts are positions in Ardour's session format; the ids are far above the
  # session's own id counter.
  sed -i \
    -e 's#<Sources/>#<Sources><Source name="input.wav" type="audio" flags="" id="900001" captured-for="" take-id="" channel="0" origin="" gain="1"/></Sources>#' \
    -e 's#<Regions/>#<Regions><Region whole-file="1" id="900002" '"$region"'/></Regions>#' \
    -e 's#\(<Playlist id="[0-9]*" name="in" [^>]*\)/>#\1><Region whole-file="0" id="900003" '"$region"'/></Playlist>#' \
    -e 's#<Port type="audio" name="in/audio_out \([12]\)"/>#<Port type="audio" name="in/audio_out \1"><Connection other="Master/audio_in \1"/></Port>#' \
    "$folder/render.ardour"
  [ "$(grep -c -e 'id="90000[123]"' -e 'other="Master/audio_in' "$folder/render.ardour")" -eq 5 ] ||
    { echo "the session file's layout is not the one this recipe knows" >&2; return 1; }
}

# Ardour's private HOME with the float WAV export preset, and the session template holding the
# input file. Returns non-zero, with the reason on stderr, when Ardour cannot make a session.
ardour_prepare() {
  [ -x "$ardour_lua" ] || { echo "no $ardour_lua (Debian's ardour package)" >&2; return 1; }
  mkdir -p "$work/ardour-vst" "$work/ardour-home/config/ardour7/export" "$(dirname "$ardour_template")"
  cp "$hosts_dir/ardour-float-wav.preset" "$work/ardour-home/config/ardour7/export/tinvoicer-check.preset"
  ardour_rate=$(soxi -r "$input" 2>/dev/null)
  ardour_samples=$(soxi -s "$input" 2>/dev/null)
  [ -d "$ardour_template" ] || ardour_new_session "$ardour_template" "$ardour_rate" "$ardour_samples" ||
    { echo "Ardour's Lua session tool could not make a session (dummy backend)" >&2; return 1; }
}

# Ardour lists a VST 2 module only once its scanner has recorded it, under the path its search
# found: the module is linked into the LXVST_PATH folder and scanned there.
ardour_scan_vst() {
  local file=$1
  ln -sf "$file" "$work/ardour-vst/"
  HOME="$work/ardour-home" XDG_CACHE_HOME="$work/ardour-home/cache" \
    LD_LIBRARY_PATH="$scanner_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    timeout 120 "$scanner" "$work/ardour-vst/$(basename "$file")" >/dev/null 2>&1 || true
}

# Renders the input through one plug-in of an ARDOUR.PluginType (LXVST, LV2...), by the name
# Ardour lists it under (empty: none); prints the path of the export, whose first channel is the
# track's output. A run that ends without a result is tried once more: Ardour's Lua tool has been
# seen to die on a busy machine, now and then, without one.
ardour_render() {
  ardour_render_once "$@" 2>/dev/null || ardour_render_once "$@"
}

ardour_render_once() {
  local type=$1 name=$2 slug
  slug=$(tr -c 'A-Za-z0-9\n' '-' <<<"${name:+$type-}${name:-none}${RENDER_PLUGIN_PRESET:+-$RENDER_PLUGIN_PRESET}")
  local folder="$work/ardour-$slug/render"
  rm -rf "$folder"
  mkdir -p "$(dirname "$folder")"
  cp -r "$ardour_template" "$folder"
  # The tool may crash while it closes the session, after the export: its last lines tell.
  RENDER_SESSION="$folder" RENDER_RATE="$ardour_rate" RENDER_SAMPLES="$ardour_samples" RENDER_PLUGIN="$name" \
    RENDER_PLUGIN_TYPE="$type" RENDER_PRESET="$ardour_preset_id" ardour_run "$hosts_dir/ardour-render.lua" \
    >"$folder.log" 2>&1 || true
  local exported
  exported=$(find "$folder" -maxdepth 1 -name '*.wav')
  if ! grep -q '^rendered' "$folder.log" || [ "$(grep -c . <<<"$exported")" -ne 1 ]; then
    grep -E '^Error|^\[ERROR\]|^rendered|latency|assertion' "$folder.log" | grep -v 'encoder is not available' >&2
    return 1
  fi
  echo "$exported"
}

# Whether a peer's render proves the recipe: the host compensates the reported latency and passes
# the plug-in's output on at its level. Judged by alignment and level only, not by bits: the
# least-squares lag within 64 samples is 0, the lengths agree, and the peak difference is at least
# 12 dB below that of the reference against itself one sample late (a quarter of a sample's
# shift; a level 2 % off fails too). Now and then Ardour's export through the LSP limiter, which
# reports its lookahead of 220 samples only once it is active, begins with 220 samples of silence
# in place of the voice's onset and is exact after them: -51.6 dBFS, where one sample late is -29.2.
# Prints audio_compare's verdict and the limit.
aligned_audio() {
  local host_file=$1 reference_file=$2 verdict shift_db limit_db
  verdict=$(audio_compare --find-lag 64 --same-length "$host_file" "$reference_file") || true
  shift_db=$(audio_compare --lag 1 "$reference_file" "$reference_file" | sed -n 's/.*peak difference \(.*\) dBFS.*/\1/p')
  [ -n "$shift_db" ] || { echo "$verdict; the reference one sample late is itself (silence?): it proves nothing"; return 1; }
  limit_db=$(awk -v s="$shift_db" 'BEGIN { printf "%.2f", s - 12 }')
  echo "$verdict; limit $limit_db dBFS"
  grep -q '; lag 0; ' <<<"$verdict" || return 1
  audio_compare --lag 0 --same-length --tolerance-db "$limit_db" "$host_file" "$reference_file" >/dev/null
}

# Renders one plug-in through Ardour and judges it against tinvoicer-render's output (REFERENCE):
# a peer (proving the recipe) by alignment and level, the module bit for bit. Prints one line;
# a failure is counted through fail.
ardour_check() {
  local role=$1 type=$2 name=$3 label=$4 reference_file=$5 rendered verdict status=0
  if ! rendered=$(ardour_render "$type" "$name"); then
    fail "Ardour could not render through $label ($type '$name')"
    return 1
  fi
  if [ "$role" = peer ]; then
    verdict=$(aligned_audio "$rendered" "$reference_file") || status=$?
  else
    verdict=$(audio_compare --same-length "$rendered" "$reference_file") || status=$?
  fi
  printf '  %-40s %s\n' "$label ($type '$name')" "$verdict"
  [ "$status" -eq 0 ] && return 0
  if [ "$role" = peer ]; then
    fail "Ardour's render through the peer $label is not tinvoicer-render's, aligned and at its level: the recipe is broken"
  else
    fail "Ardour's render through $label is not tinvoicer-render's, bit for bit"
  fi
  return 1
}

# Ardour's renders: first with no plug-in (the session alone must give back the input bit for
# bit), then the peer that proves the recipe on a plug-in that reports latency, then the module.
# Every step runs every time; one that cannot run fails the check, since a skipped render proves
# nothing.
check_ardour_render() {
  if ! ardour_prepare 2>"$work/ardour-prepare.err"; then
    fail "Ardour render: $(tail -1 "$work/ardour-prepare.err")"
    return
  fi
  note "Ardour renders a file in a headless session (first channel of the master bus):"
  local rendered verdict
  if ! rendered=$(ardour_render LXVST ""); then
    fail "Ardour render: the session alone renders nothing: the recipe is broken"
    return
  fi
  if verdict=$(audio_compare --same-length "$rendered" "$input"); then
    printf '  %-40s %s\n' "no plug-in" "$verdict"
  else
    fail "Ardour render: the session with no plug-in changes the input ($verdict): the recipe is broken"
  fi
  local file role name reference_file
  for file in "$limiter_peer" "$module"; do
    ardour_scan_vst "$file"
    role=peer
    [ "$file" = "$module" ] && role=module
    name=$("$render" --list --plugin "$file" | sed -n 's/^Name: *//p')
    reference_file=$(reference "$file") || { fail "tinvoicer-render could not render through $file"; continue; }
    ardour_check "$role" LXVST "$name" "$(basename "$file")" "$reference_file" || true
  done
}
