# Part of scripts/check-hosts (sourced): Ardour renders a file through a plug-in in a headless
# session. Ardour's Lua session tool has no file import, so the session is made by the tool with
# one empty track and the input file is then placed in it the way Ardour stores an imported file:
# a copy in the session's audio folder, a source, a whole-file region and that region on the
# track's playlist, the track's outputs connected to the master bus.
hosts_dir="$root/scripts/hosts"
ardour_lua=/usr/bin/ardour7-lua
ardour_preset_id=5e1f9f6c-52a4-4c1e-9b53-7d3f1c0a2b11

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
  local audio="$folder/interchange/$(basename "$folder")/audiofiles"
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

# Renders the input through one plug-in (by the name Ardour lists it under; empty: none);
# prints the mono result's path. A run that ends without a result is tried once more: Ardour's
# Lua tool has been seen to die on a busy machine, now and then, without one.
ardour_render() {
  ardour_render_once "$@" 2>/dev/null || ardour_render_once "$@"
}

ardour_render_once() {
  local name=$1 template=$2 rate=$3 samples=$4 slug
  slug=$(tr -c 'A-Za-z0-9\n' '-' <<<"${name:-none}")
  local folder="$work/ardour-$slug/render"
  rm -rf "$folder"
  mkdir -p "$(dirname "$folder")"
  cp -r "$template" "$folder"
  # The tool may crash while it closes the session, after the export: its last lines tell.
  RENDER_SESSION="$folder" RENDER_RATE="$rate" RENDER_SAMPLES="$samples" RENDER_PLUGIN="$name" \
    RENDER_PRESET="$ardour_preset_id" ardour_run "$hosts_dir/ardour-render.lua" >"$folder.log" 2>&1 || true
  local exported
  exported=$(find "$folder" -maxdepth 1 -name '*.wav')
  if ! grep -q '^rendered' "$folder.log" || [ "$(grep -c . <<<"$exported")" -ne 1 ]; then
    grep -E '^Error|^\[ERROR\]|^rendered|latency' "$folder.log" | grep -v 'encoder is not available' >&2
    return 1
  fi
  sox "$exported" "$folder.left.wav" remix 1 2>/dev/null
  echo "$folder.left.wav"
}

# Ardour's renders: first with no plug-in (the session alone must give back the input), then
# the peer, then the module.
check_ardour_render() {
  local host="Ardour render"
  [ -x "$ardour_lua" ] || { skip "$host" "no $ardour_lua (Debian's ardour package)"; return; }
  mkdir -p "$work/ardour-vst" "$work/ardour-home/config/ardour7/export"
  cp "$hosts_dir/ardour-float-wav.preset" "$work/ardour-home/config/ardour7/export/tinvoicer-check.preset"
  local file
  # Ardour lists only plug-ins its scanner has recorded, under the path its search found.
  for file in "$limiter_peer" "$module"; do
    ln -sf "$file" "$work/ardour-vst/"
    HOME="$work/ardour-home" XDG_CACHE_HOME="$work/ardour-home/cache" \
      LD_LIBRARY_PATH="$scanner_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
      timeout 120 "$scanner" "$work/ardour-vst/$(basename "$file")" >/dev/null 2>&1 || true
  done
  local rate samples template="$work/ardour-template/render"
  rate=$(soxi -r "$input" 2>/dev/null)
  samples=$(soxi -s "$input" 2>/dev/null)
  mkdir -p "$(dirname "$template")"
  if ! ardour_new_session "$template" "$rate" "$samples"; then
    skip "$host" "Ardour's Lua session tool could not make a session (dummy backend)"
    return
  fi
  echo "check-hosts: Ardour renders a file in a headless session (left channel of the master bus):"
  local rendered verdict
  if ! rendered=$(ardour_render "" "$template" "$rate" "$samples"); then
    skip "$host" "the session alone renders nothing"
    return
  fi
  if ! verdict=$(same_audio "$rendered" "$input"); then
    skip "$host" "the session with no plug-in changes the input ($verdict): the recipe is broken"
    return
  fi
  printf '  %-40s %s\n' "no plug-in" "$verdict"
  local name reference_file
  for file in "$limiter_peer" "$module"; do
    name=$("$render" --list --plugin "$file" | sed -n 's/^Name: *//p')
    reference_file=$(reference "$file") || { fail "tinvoicer-render could not render through $file"; continue; }
    if ! rendered=$(ardour_render "$name" "$template" "$rate" "$samples"); then
      mismatch "$host" "$file" "Ardour could not render through $(basename "$file")" || return 0
      continue
    fi
    if verdict=$(same_audio "$rendered" "$reference_file"); then
      printf '  %-40s %s\n' "$(basename "$file") ($name)" "$verdict"
    else
      mismatch "$host" "$file" "Ardour's render through $(basename "$file") differs from tinvoicer-render's: $verdict" || return 0
    fi
  done
}
