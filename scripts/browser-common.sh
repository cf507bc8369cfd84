# shellcheck shell=bash
# Shared by scripts/check-browser and scripts/bench-web (sourced after lib/common.sh, not run).
: "${root:?}"

# browser_modules BUILD_DIR: installs puppeteer-core as tests/web/package-lock.json names it into
# BUILD_DIR/browser-check-modules (the source tree holds sources only), again only when the lock
# changed, and prints that folder.
browser_modules() {
  local modules="$1/browser-check-modules" lock="$root/tests/web/package-lock.json"
  mkdir -p "$modules"
  if ! cmp -s "$lock" "$modules/package-lock.json" || [ ! -d "$modules/node_modules" ]; then
    cp "$root/tests/web/package.json" "$lock" "$modules/"
    (cd "$modules" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --ignore-scripts >/dev/null)
  fi
  echo "$modules"
}

# start_page_server SITE WORK: serves SITE on a free port of 127.0.0.1; sets page_server (its PID,
# for stop_page_server, which the caller hands to at_exit before its work folder) and page_url.
# Ends the script when the server does not say its address within 10 s.
start_page_server() {
  node "$1/serve.mjs" --port 0 >"$2/serve.log" 2>&1 &
  page_server=$!
  page_url=""
  local _
  for _ in $(seq 100); do
    page_url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$2/serve.log" || true)
    if [ -n "$page_url" ] || ! kill -0 "$page_server" 2>/dev/null; then break; fi
    sleep 0.1
  done
  [ -n "$page_url" ] || { cat "$2/serve.log" >&2; die "the page's server did not start"; }
}

stop_page_server() {
  if [ -n "${page_server:-}" ]; then
    kill "$page_server" 2>/dev/null || true
    wait "$page_server" 2>/dev/null || true
    page_server=""
  fi
}
