# shellcheck shell=bash
# Part of scripts/check-hosts (sourced): Audacity scans the plug-ins itself, then renders a file
# through each of them by its scripting pipe (mod-script-pipe). Audacity runs on a private X
# display (Xvfb -displayfd) with a private HOME and XDG folders, so nothing of the user's is read
# or changed; only the pipes' names are fixed, per user, in /tmp.
# Audacity scans new plug-ins in a child process at start. With the scripting module on during
# that scan the child takes over the pipes and later commands hang, so it starts twice: once with
# scripting off, to scan, and again with it on, to render.
: "${work:?}" "${input:?}" "${render:?}" "${module:?}" "${host_peers:?}"
audacity_bin=/usr/bin/audacity
audacity_pipe_to=/tmp/audacity_script_pipe.to.$(id -u)
audacity_pipe_from=/tmp/audacity_script_pipe.from.$(id -u)

# Starts the private X display (once) and sets audacity_display; returns non-zero without one.
audacity_open_display() {
  [ -z "${audacity_display:-}" ] || return 0
  exec {display_fd}>"$work/xvfb.display"
  Xvfb -displayfd "$display_fd" -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
  background+=("$!")
  exec {display_fd}>&-
  local deadline=$((SECONDS + 20))
  until [ -s "$work/xvfb.display" ] || [ $SECONDS -ge $deadline ]; do sleep 0.1; done
  [ -s "$work/xvfb.display" ] || return 1
  audacity_display=:$(head -1 "$work/xvfb.display")
}

# Starts Audacity on the private display; its pid goes to audacity_pid and to the cleanup list.
# It starts in its private HOME: Audacity also looks for LV2 bundles in ./lv2, and a folder of that
# name that holds no bundles (the source tree's lv2/) crashes its start.
audacity_start() {
  local log=$1
  (cd "$work/audacity-home" && exec env -u LXVST_PATH HOME="$work/audacity-home" \
    XDG_CONFIG_HOME="$work/audacity-home/config" XDG_DATA_HOME="$work/audacity-home/data" \
    XDG_CACHE_HOME="$work/audacity-home/cache" XDG_RUNTIME_DIR="$work/audacity-home/runtime" \
    VST_PATH="$work/audacity-vst" DISPLAY="$audacity_display" "$audacity_bin") >"$log" 2>&1 &
  audacity_pid=$!
  background+=("$audacity_pid")
}

audacity_stop() {
  kill "$audacity_pid" 2>/dev/null || true
  wait "$audacity_pid" 2>/dev/null || true
  # Gone from the cleanup list too, so that its id, free again, is never signalled.
  local pid kept=()
  for pid in "${background[@]}"; do [ "$pid" = "$audacity_pid" ] || kept+=("$pid"); done
  background=("${kept[@]}")
}

# The preferences Audacity first starts with: scripting off, its temporary files in the private
# folder, and WAV export as 32-bit float (libsndfile's WAV container 0x10000 with sample
# format 6), so that the export keeps the effect's samples.
audacity_preferences() {
  mkdir -p "$work/audacity-home/config/audacity"
  cat >"$work/audacity-home/config/audacity/audacity.cfg" <<PREFERENCES
[Directories]
TempDir=$work/audacity-home/temp
[Module]
mod-script-pipe=0
[FileFormats/ExportFormat_SF1_Type]
WAV_10000=6
PREFERENCES
}

# Waits until the plug-in registry has a record for every plug-in in the scanned folder, and for
# every LV2 plug-in named in audacity_lv2_uris.
audacity_lv2_uris=()
audacity_wait_for_scan() {
  local registry="$work/audacity-home/config/audacity/pluginregistry.cfg" file uri deadline=$((SECONDS + 90))
  while [ $SECONDS -lt $deadline ]; do
    kill -0 "$audacity_pid" 2>/dev/null || return 1
    local missing=0
    for file in "$work"/audacity-vst/*; do
      [ -e "$file" ] || continue
      grep -qxF "Path=$file;0" "$registry" 2>/dev/null || missing=1
    done
    for uri in "${audacity_lv2_uris[@]}"; do
      grep -qxF "Path=$uri" "$registry" 2>/dev/null || missing=1
    done
    [ "$missing" -eq 1 ] || return 0
    sleep 0.5
  done
  return 1
}

# One field of the registry record of a plug-in file (or of an LV2 plug-in's URI).
registry_field() {
  awk -v path="Path=$1;0" -v uri="Path=$1" -v key="$2=" '
    /^\[/ { inside = 0 }
    $0 == path || $0 == uri { inside = 1 }
    inside && index($0, key) == 1 { print substr($0, length(key) + 1); exit }' \
    "$work/audacity-home/config/audacity/pluginregistry.cfg"
}

# Sends one scripting command and prints Audacity's answer; fails unless it finished OK.
audacity_command() {
  local line status=1
  printf '%s\n' "$1" >&"$audacity_to"
  while IFS= read -r -t 60 line <&"$audacity_from"; do
    if [[ $line == "BatchCommand finished: "* ]]; then
      [ "$line" = "BatchCommand finished: OK" ] && status=0
      IFS= read -r -t 5 line <&"$audacity_from" || true
      return $status
    fi
    printf '%s\n' "$line"
  done
  echo "no answer to '$1' within 60 s"
  return 1
}

# Waits until Audacity answers on its pipe. A command sent while it is still starting may be
# lost, so a numbered message is sent every few seconds until one comes back; answers to
# earlier ones that arrive late are read and dropped.
audacity_wait_ready() {
  local attempt line deadline=$((SECONDS + 60))
  for ((attempt = 1; SECONDS < deadline; attempt++)); do
    printf 'Message: Text=ready-%d\n' "$attempt" >&"$audacity_to"
    while IFS= read -r -t 3 line <&"$audacity_from"; do
      if [ "$line" = "ready-$attempt" ]; then
        IFS= read -r -t 5 line <&"$audacity_from" || true  # BatchCommand finished
        IFS= read -r -t 5 line <&"$audacity_from" || true  # the blank line after it
        return 0
      fi
    done
  done
  return 1
}

# Applies one effect (by its scripting id) at its defaults to the whole input and exports the
# result; prints the result's path.
audacity_render() {
  local id=$1 out="$work/audacity-$1.wav"
  audacity_command "Import2: Filename=$input" >/dev/null &&
    audacity_command "SelectAll:" >/dev/null &&
    audacity_command "$id:" >/dev/null &&
    audacity_command "Export2: Filename=$out NumChannels=1" >/dev/null &&
    audacity_command "SelectAll:" >/dev/null &&
    audacity_command "RemoveTracks:" >/dev/null || return 1
  echo "$out"
}

# Scans' records and renders of the peers, then the module, in a running Audacity. Returns
# non-zero when the recipe fails on a peer (the check is then skipped).
audacity_check_plugins() {
  local commands=$1 host=Audacity file
  local name vendor id listing tip rendered reference_file verdict found says expected
  for file in "${host_peers[@]}" "$module"; do
    found="$work/audacity-vst/$(basename "$file")"
    listing=$("$render" --list --plugin "$file" 2>/dev/null) || { fail "tinvoicer-render --list failed on $file"; continue; }
    name=$(registry_field "$found" Name)
    vendor=$(registry_field "$found" Vendor)
    # The scripting list gives each plug-in's command id (made from its name) and its channels.
    id=$(awk -F'"' -v name="$name" '$4 == name && $8 ~ /^Audio In: / { print $2; exit }' <<<"$commands")
    tip=$(awk -F'"' -v name="$name" '$4 == name && $8 ~ /^Audio In: / { print $8; exit }' <<<"$commands")
    says="$name | $vendor | $(registry_field "$found" EffectFamily) $(registry_field "$found" EffectType) | valid $(registry_field "$found" Valid) | $tip"
    expected="$(listed Name "$listing") | $(listed Vendor "$listing") | VST Process | valid 1 | Audio In: $(listed Inputs "$listing"), Audio Out: $(listed Outputs "$listing")"
    if [ "$says" != "$expected" ]; then
      mismatch "$host" "$file" "Audacity's scan of $(basename "$file"): '$says', expected '$expected'" || return 1
      continue
    fi
    reference_file=$(reference "$file") || { fail "tinvoicer-render could not render through $file"; continue; }
    if ! rendered=$(audacity_render "$id"); then
      mismatch "$host" "$file" "Audacity could not apply '$id' through its scripting pipe" || return 1
      continue
    fi
    if verdict=$(same_audio "$rendered" "$reference_file"); then
      printf '  %-22s %s\n' "$(basename "$file")" "$says"
      printf '  %-22s render: %s\n' "" "$verdict"
    else
      mismatch "$host" "$file" "Audacity's render through $(basename "$file") differs from tinvoicer-render's: $verdict" || return 1
    fi
  done
}

# Audacity's two starts on the private display: the scan with scripting off, then scripting on
# with the pipes open, its command list in audacity_commands. Skips the caller's $host with the
# reason and returns non-zero when it does not get that far.
audacity_session() {
  audacity_open_display || { skip "$host: Xvfb gave no display ($(tail -1 "$work/xvfb.log"))"; return 1; }
  mkdir -p "$work/audacity-vst" "$work/audacity-home/temp" "$work/audacity-home/runtime"
  chmod 700 "$work/audacity-home/runtime"
  local deadline

  # 1. The scan, scripting off.
  audacity_preferences
  audacity_start "$work/audacity-scan.log"
  if ! audacity_wait_for_scan; then
    audacity_stop
    skip "$host: Audacity did not start or did not scan its plug-ins within 90 s"
    return 1
  fi
  sleep 1
  audacity_stop
  # What the caller's recipe sets up between the two starts (effects' settings).
  [ -z "${audacity_between_starts:-}" ] || "$audacity_between_starts"

  # 2. Scripting on. Audacity loads a module only where its own preferences record the module's
  # file and date beside the switch: the switch is turned on in the file it wrote. The project
  # the stopped scan left open is forgotten, so no recovery dialog comes up.
  local preferences="$work/audacity-home/config/audacity/audacity.cfg"
  sed -i -e '/^\[Module\]$/,/^\[/ s/^mod-script-pipe=.*/mod-script-pipe=1/' \
    -e '/^[0-9]*=.*\.aup3unsaved$/d' "$preferences"
  rm -rf "$work/audacity-home/temp"/*
  grep -qx 'mod-script-pipe=1' "$preferences" ||
    { skip "$host: Audacity's preferences name no scripting module after its first start"; return 1; }
  rm -f "$audacity_pipe_to" "$audacity_pipe_from"
  audacity_start "$work/audacity-script.log"
  deadline=$((SECONDS + 60))
  until [ -p "$audacity_pipe_from" ] || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
  if [ ! -p "$audacity_pipe_from" ]; then
    audacity_stop
    skip "$host: Audacity opened no scripting pipe within 60 s"
    return 1
  fi
  # Read-write opens never block on a pipe, whether or not Audacity has opened its end yet.
  exec {audacity_to}<>"$audacity_pipe_to" {audacity_from}<>"$audacity_pipe_from"
  if ! audacity_wait_ready || ! audacity_commands=$(audacity_command "GetInfo: Type=Commands Format=Brief"); then
    audacity_end_session
    skip "$host: Audacity does not answer on its scripting pipe"
    return 1
  fi
}

audacity_end_session() {
  exec {audacity_to}>&- {audacity_from}<&-
  audacity_stop
  rm -f "$audacity_pipe_to" "$audacity_pipe_from"
}

# Whether Audacity, its scripting module and Xvfb are here and no Audacity of this user runs;
# skips the caller's $host with the reason when not.
audacity_can_run() {
  [ -x "$audacity_bin" ] || { skip "$host: no $audacity_bin (Debian's audacity package)"; return 1; }
  command -v Xvfb >/dev/null || { skip "$host: no Xvfb (Debian's xvfb package)"; return 1; }
  [ -f /usr/lib/audacity/modules/mod-script-pipe.so ] ||
    { skip "$host: no scripting module /usr/lib/audacity/modules/mod-script-pipe.so"; return 1; }
  if pgrep -u "$(id -u)" -x audacity >/dev/null; then
    skip "$host: an Audacity of this user is running, and the scripting pipes are per user"
    return 1
  fi
}

check_audacity() {
  local host=Audacity
  audacity_can_run || return 0
  mkdir -p "$work/audacity-vst"
  local file
  for file in "${host_peers[@]}" "$module"; do ln -sf "$file" "$work/audacity-vst/"; done

  audacity_session || return 0
  local commands=$audacity_commands
  echo "$commands" >"$work/audacity-commands.txt"
  note "Audacity's scan, and a render through its scripting pipe at the defaults:"
  local judged=yes
  audacity_check_plugins "$commands" || judged=no
  audacity_end_session

  [ "$judged" = yes ] || return 0
  # What Audacity kept of the module once it used it: unique id, number and names of parameters.
  # Its section is named by the base64 form of "Effect_VST_<vendor>_<name>", '=' escaped.
  local section settings
  section=$(printf 'Effect_VST_Vexa_Tinvoicer' | base64 | sed 's/=/\\\\=/g')
  settings=$(awk -v header="[pluginsettings/base64\\:$section/private/CurrentSettings]" '
    /^\[/ { inside = ($0 == header); next }
    inside' "$work/audacity-home/config/audacity/pluginsettings.cfg" | xargs)
  local expected_settings
  expected_settings="UniqueID=$(id_number Tinv) Version=1 Elements=2 Parameters=Depth=0.5 Gain=0.5"
  if [ "$settings" = "$expected_settings" ]; then
    printf '  %-22s %s\n' "$(basename "$module")" "settings: $settings"
  else
    fail "Audacity's settings of the module: '$settings', expected '$expected_settings'"
  fi
}
