"""The Python edition's speed (not a test; scripts/bench-python runs it):
  1. ns per sample on one thread, a whole-signal call and a stream, against the native core
     (tinvoicer_core_rate, the same signal length) as a ratio;
  2. N files through process_files, and as many arrays through process_arrays, on 2 threads
     against 1, as a speed-up.
Each figure is the best of several runs: on a shared machine the others only add noise."""

import argparse
import os
import subprocess
import tempfile
import time

import numpy as np
import soundfile

import tinvoicer


def best_seconds(run, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--native", required=True, help="the tinvoicer_core_rate program")
    parser.add_argument("--samples", type=int, default=1 << 22)
    parser.add_argument("--files", type=int, default=16)
    parser.add_argument("--seconds", type=float, default=10.0, help="length of each file")
    parser.add_argument("--repeats", type=int, default=5)
    options = parser.parse_args()

    audio = np.random.default_rng(7).normal(0.0, 0.1, options.samples).astype(np.float32)
    native = float(subprocess.run([options.native, str(options.samples), str(options.repeats)], check=True,
                                  capture_output=True, text=True).stdout)
    fx = tinvoicer.Tinvoicer()
    whole = best_seconds(lambda: fx(audio, 44100), options.repeats) / options.samples * 1e9
    stream = best_seconds(lambda: fx.process(audio, 44100, reset=False), options.repeats) / options.samples * 1e9
    print(f"one thread, {options.samples} samples, best of {options.repeats}:")
    print(f"  native core            {native:7.3f} ns/sample")
    print(f"  fx(audio, rate)        {whole:7.3f} ns/sample  ({whole / native:.3f} x native)")
    print(f"  fx.process(reset=False){stream:7.3f} ns/sample  ({stream / native:.3f} x native)")

    with tempfile.TemporaryDirectory() as folder:
        frames = int(options.seconds * 44100)
        rng = np.random.default_rng(3)
        sources = [os.path.join(folder, f"in{n}.wav") for n in range(options.files)]
        for path in sources:
            soundfile.write(path, rng.normal(0.0, 0.1, (frames, 2)).astype(np.float32), 44100, subtype="FLOAT")
        destinations = [os.path.join(folder, f"out{n}.wav") for n in range(options.files)]
        one, two = (best_seconds(lambda: tinvoicer.process_files(sources, destinations, workers=workers),
                                 max(1, options.repeats // 2)) for workers in (1, 2))
    print(f"{options.files} stereo files of {options.seconds:g} s through process_files:")
    print(f"  1 thread  {one:6.3f} s")
    print(f"  2 threads {two:6.3f} s  ({one / two:.2f} x as fast; {os.cpu_count()} CPUs)")

    arrays = [np.random.default_rng(n).normal(0.0, 0.1, (2, frames)).astype(np.float32) for n in range(options.files)]
    one, two = (best_seconds(lambda: tinvoicer.process_arrays(arrays, 44100, workers=workers),
                             max(1, options.repeats // 2)) for workers in (1, 2))
    print("the same as arrays through process_arrays (no file reading or writing):")
    print(f"  1 thread  {one:6.3f} s")
    print(f"  2 threads {two:6.3f} s  ({one / two:.2f} x as fast)")


if __name__ == "__main__":
    main()
