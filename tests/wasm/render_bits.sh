#!/usr/bin/env bash
# The WebAssembly core under node (the package's example renderer, in 128-sample blocks as the
# worklet runs it) against the native editions, bit for bit: at the classic settings against
# `tinvoicer-render --no-latency-compensation` through the VST 2 module, else against lv2apply.
# Usage (absolute paths): render_bits.sh SITE RENDER MODULE LV2_BUNDLE AUDIO_COMPARE
set -euo pipefail
site=$1 render=$2 module=$3 compare=$5
export LV2_PATH=${4%/*}
work=$(mktemp -d) && cd "$work"
trap 'rm -rf "$work"' EXIT
"$render" --save-demo "44100.wav" >/dev/null
sox -V1 "44100.wav" -e floating-point -b 32 -r 48000 "48000.wav"
# The voice 1e-36 as loud: its frames reach the denormal range, which the native build flushes
# and WebAssembly (no flush-to-zero) keeps. Above 2^-120 (7.5e-37, -722 dBFS) no denormal's.
node --input-type=module -e "import { readFileSync, writeFileSync } from 'node:fs';
const { decodeWav, encodeWav } = await import('$site/src/wav.js');
const { sampleRate, channels } = decodeWav(readFileSync('44100.wav'));
writeFileSync('tiny.wav', encodeWav({ sampleRate, channels: channels.map((c) => c.map((x) => x * 1e-36)) }));"

# input, gain dB, pitch, mix %, the reference (vst:<normalised Gain>, or lv2), audio_compare's options.
rows=("44100 0 0 100 vst:0.5" "48000 0 0 100 vst:0.5" "48000 -10 0 100 vst:0.25" "44100 0 -12 100 lv2"
  "48000 -5 7 30 lv2" "tiny 0 0 100 vst:0.5 --tolerance-db -722")
failures=0
for row in "${rows[@]}"; do
  read -r input gain pitch mix reference options <<<"$row"
  node "$site/example/render-wav.mjs" "$input.wav" web.wav --gain "$gain" --pitch "$pitch" --mix "$mix" --no-latency-compensation
  if [ "$reference" = lv2 ]; then  # lv2apply stops at the input's end, without the tail
    lv2apply -i "$input.wav" -o native.wav -c gain "$gain" -c pitch "$pitch" -c mix "$mix" urn:vexa:tinvoicer >/dev/null
  else
    "$render" "$input.wav" -o native.wav --plugin "$module" --no-latency-compensation --param "gain=${reference#vst:}" >/dev/null
    options="--same-length $options"
  fi
  # shellcheck disable=SC2086  # the options are words
  verdict=$("$compare" $options web.wav native.wav) || failures=$((failures + 1))
  echo "$row: $verdict"
done
[ "$failures" -eq 0 ] || { echo "FAILED: $failures of ${#rows[@]} rows differ (above)" >&2; exit 1; }
