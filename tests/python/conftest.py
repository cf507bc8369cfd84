"""What the Python edition's tests share: a test voice, and the other editions' renders to compare
with (the build names them in the environment; see CMakeLists.txt beside this file)."""

import os
import subprocess

import numpy as np
import pytest
import soundfile


def voice(channels, frames, seed=7):
    """A tone gliding over noise in each channel, each channel its own: every bin has energy, and
    the channels differ."""
    rng = np.random.default_rng(seed)
    t = np.arange(frames) / 44100.0
    tones = [0.5 * np.sin(2 * np.pi * (150.0 + 70.0 * channel) * t * (1.0 + t)) for channel in range(channels)]
    return (np.array(tones) + 0.1 * rng.standard_normal((channels, frames))).astype(np.float32)


def assert_same_bits(actual, expected):
    actual, expected = np.ascontiguousarray(actual), np.ascontiguousarray(expected)
    assert actual.shape == expected.shape and actual.dtype == expected.dtype
    differ = np.flatnonzero(actual.view(np.uint8) != expected.view(np.uint8))
    assert differ.size == 0, f"{differ.size} bytes differ, the first at byte {differ[0]}"


def write_planar(path, audio, rate=44100, subtype="FLOAT"):
    """Writes audio (channels, samples) or mono as a WAV file."""
    soundfile.write(path, np.atleast_2d(audio).T, rate, subtype=subtype)
    return path


def read_planar(path, dtype="float32"):
    return soundfile.read(path, dtype=dtype, always_2d=True)[0].T


def built(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.skip(f"{variable} is not set: this build has no such part to compare with")
    return path


def run(command, **options):
    result = subprocess.run(command, capture_output=True, text=True, timeout=120, **options)
    assert result.returncode == 0, f"{command[0]} failed: {result.stderr}"


def render_vst2(source, output, gain_param=None):
    """tinvoicer-render through the VST 2 module, latency compensated: the classic robot."""
    params = [] if gain_param is None else ["--param", f"Gain={gain_param}"]
    run([built("TINVOICER_RENDER"), "--plugin", built("TINVOICER_VST2_MODULE"), *params, str(source), "-o", str(output)])
    return output


def render_lv2(source, output, gain_db, pitch, mix):
    """lv2apply through the LV2 edition: the stream, delayed by the latency, of the input's length."""
    controls = ["-c", "gain", repr(gain_db), "-c", "pitch", repr(pitch), "-c", "mix", repr(mix)]
    env = dict(os.environ, LV2_PATH=built("TINVOICER_LV2_PATH"))
    run([built("TINVOICER_LV2APPLY"), "-i", str(source), "-o", str(output), *controls, "urn:vexa:tinvoicer"], env=env)
    return output
