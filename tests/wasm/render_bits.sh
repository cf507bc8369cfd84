#!/usr/bin/env bash
# The WebAssembly core under node (the package's example renderer, in 128-sample blocks as the
# worklet runs it) against the native editions, bit for bit, at 44.1 and 48 kHz: at the classic
# settings against `tinvoicer-render --no-latency-compensation` through the VST 2 module, at other
# Gain, Pitch and Mix settings against lv2apply through the LV2 edition. Then a signal that lives
# among denormals, where WebAssembly (which has no flush-to-zero) may differ: by how much.
# Usage: render_bits.sh SITE RENDER MODULE LV2_BUNDLE AUDIO_COMPARE
set -euo pipefail
site=$1 render=$2 module=$3 bundle=$4 compare=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LV2_PATH="$work/lv2"
mkdir -p "$LV2_PATH"
ln -s "$bundle" "$LV2_PATH/tinvoicer.lv2"
failures=0

web() { node "$site/example/render-wav.mjs" "$@"; }
"$render" --save-demo "$work/in-44100.wav" >/dev/null
sox -V1 "$work/in-44100.wav" -e floating-point -b 32 -r 48000 "$work/in-48000.wav"

# gain dB, pitch, mix %, and the reference: vst:<normalised Gain> or lv2.
settings=(
  "0 0 100 vst:0.5"
  "-10 0 100 vst:0.25"
  "10 0 100 vst:0.75"
  "0 -12 100 lv2"
  "0 7 100 lv2"
  "0 0 50 lv2"
  "-5 -24 30 lv2"
)
for rate in 44100 48000; do
  input="$work/in-$rate.wav"
  for row in "${settings[@]}"; do
    read -r gain pitch mix reference <<<"$row"
    web "$input" "$work/web.wav" --gain "$gain" --pitch "$pitch" --mix "$mix" --no-latency-compensation
    if [ "$reference" = lv2 ]; then
      lv2apply -i "$input" -o "$work/native.wav" -c gain "$gain" -c pitch "$pitch" -c mix "$mix" urn:vexa:tinvoicer >/dev/null
      length=""  # lv2apply stops at the input's end, without the tail
    else
      "$render" "$input" -o "$work/native.wav" --plugin "$module" --no-latency-compensation --param "gain=${reference#vst:}" >/dev/null
      length=--same-length
    fi
    label="$rate Hz, gain $gain dB, pitch $pitch, mix $mix % against ${reference%%:*}"
    if verdict=$("$compare" $length "$work/web.wav" "$work/native.wav"); then
      echo "ok: $label: $verdict"
    else
      echo "FAILED: $label: $verdict" >&2
      failures=$((failures + 1))
    fi
  done
done

# The voice a millionth of a billionth of a billionth of a billionth as loud: its frames reach
# the denormal range, which the native build flushes and WebAssembly keeps. A deviation above
# 2^-120 (7.5e-37, -722 dBFS) would be no denormal's.
node --input-type=module - "$site/src/wav.js" "$work/in-44100.wav" "$work/tiny.wav" <<'JS'
import { readFileSync, writeFileSync } from 'node:fs';
const [wavModule, from, to] = process.argv.slice(2);
const { decodeWav, encodeWav } = await import(wavModule);
const { sampleRate, channels } = decodeWav(readFileSync(from));
writeFileSync(to, encodeWav({ sampleRate, channels: channels.map((c) => c.map((x) => x * 1e-36)) }));
JS
web "$work/tiny.wav" "$work/web.wav" --no-latency-compensation
"$render" "$work/tiny.wav" -o "$work/native.wav" --plugin "$module" --no-latency-compensation >/dev/null
if verdict=$("$compare" --same-length --tolerance-db -722 "$work/web.wav" "$work/native.wav"); then
  echo "ok: a voice among denormals deviates within the denormal range: $verdict"
else
  echo "FAILED: a voice among denormals: $verdict" >&2
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
