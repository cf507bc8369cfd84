# shellcheck shell=bash
# What every script of the project shares, sourced as its first command:
#   . "$(dirname "$0")/lib/common.sh"
# It turns on bash's strict mode and sets $root (the checkout), $script (the name the script's
# messages start with) and $failures. The lines a check prints:
#   note TEXT     "NAME: TEXT"
#   fail TEXT     "NAME: FAILED: TEXT" on stderr, counted; the check carries on
#   die TEXT      the same, and the script (or the subshell it runs in) ends with status 1
#   skip TEXT     "NAME: skipped: TEXT": what could not be checked here, and why
#   finish TEXT   the last line: how many checks failed, and status 1; or TEXT ("all checks
#                 passed"); either with the seconds the script took
# and what the scripts do alike:
#   at_exit FUNCTION      runs FUNCTION when the script ends, however it ends (in the order given)
#   make_work             a temporary folder in $work, removed at the end
#   missing_links FOLDER  prints, as "PAGE: LINK", each relative link of the Markdown pages in
#                         FOLDER that leads to no file there (web addresses and anchors aside)
#   configure PRESET DIR  installs the Debian packages the CMake configure preset PRESET needs
#                         (scripts/setup --configure) and configures DIR with it; further
#                         arguments go to cmake
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
script=$(basename "$0")
failures=0

note() { echo "$script: $*"; }
fail() {
  echo "$script: FAILED: $*" >&2
  failures=$((failures + 1))
}
die() {
  fail "$@"
  exit 1
}
skip() { echo "$script: skipped: $*"; }
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$script: $failures check(s) failed (${SECONDS}s)" >&2
    exit 1
  fi
  echo "$script: $1 (${SECONDS}s)"
}

exit_actions=()
run_exit_actions() {
  local action
  for action in "${exit_actions[@]}"; do "$action" || true; done
}
at_exit() {
  exit_actions+=("$1")
  trap run_exit_actions EXIT
}

remove_work() { rm -rf "$work"; }
make_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$script.XXXXXX")
  at_exit remove_work
}

missing_links() {
  local folder=$1 page link target
  while IFS= read -r page; do
    while IFS= read -r link; do
      target=${link%%#*}
      case "$target" in '' | *://* | mailto:*) continue ;; esac
      [ -f "$(dirname "$page")/$target" ] || echo "${page#"$folder"/}: $link"
    done < <(grep -o '](\([^)]*\))' "$page" | sed 's/^](//; s/)$//')
  done < <(find "$folder" -name '*.md' | sort)
}

configure() {
  local preset=$1 build=$2
  shift 2
  "$root/scripts/setup" --configure "$preset"
  cmake -S "$root" --preset "$preset" -B "$build" "$@" >/dev/null
}
