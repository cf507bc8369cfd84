"""The effect object on numpy audio: bits against the LV2 edition, streams, layouts, bad input and
the GIL."""

import math
import threading
import time

import numpy as np
import pytest

from conftest import assert_same_bits, read_planar, render_lv2, voice, write_planar
from tinvoicer import LATENCY, Tinvoicer


@pytest.mark.parametrize("gain_db, pitch, mix", [(0.0, -12.0, 100.0), (-6.5, 7.0, 50.0), (20.0, -24.0, 0.0),
                                                 (3.3, 12.0, 30.0)])
def test_settings_beyond_the_classic_robot_give_the_lv2_editions_bits(tmp_path, gain_db, pitch, mix):
    audio = voice(1, 20011)[0]
    padded = np.concatenate([audio, np.zeros(LATENCY, np.float32)])
    stream = read_planar(render_lv2(write_planar(tmp_path / "in.wav", padded), tmp_path / "out.wav", gain_db, pitch,
                                    mix))[0]
    fx = Tinvoicer(gain_db=gain_db, pitch=pitch, mix=mix)
    assert_same_bits(fx(audio, 48000), stream[LATENCY:])
    fx.reset()
    assert_same_bits(fx.process(audio, 48000, reset=False), stream[:audio.size])


@pytest.mark.parametrize("channels", [1, 2])
def test_a_stream_in_chunks_gives_the_bits_of_one_call(channels):
    audio = voice(channels, 30000)
    fx = Tinvoicer(pitch=-5.0, mix=70.0)
    whole = fx.process(audio, 44100, reset=False)
    fx.reset()
    cuts = np.cumsum([2, 7, 400, 10, 3000, 1023, 1025, 9000])
    chunks = [fx.process(part, 44100, reset=False) for part in np.split(audio, cuts, axis=1)]
    assert_same_bits(np.concatenate(chunks, axis=1), whole)
    if channels == 1:  # 1-D chunks, down to a single sample
        fx.reset()
        ones = [fx.process(part[0], 44100, reset=False) for part in np.split(audio, [1, 2, 3, 700], axis=1)]
        assert_same_bits(np.concatenate(ones), whole[0])


def test_reset_forgets_the_stream_and_only_reset_does():
    audio, other = voice(2, 20000), voice(2, 5000, seed=3)
    fresh_stream = Tinvoicer().process(audio, 44100, reset=False)
    fx = Tinvoicer()
    fx.process(other, 44100, reset=False)
    assert not np.array_equal(fx.process(audio, 44100, reset=False), fresh_stream)
    fx.process(other, 44100, reset=False)
    assert_same_bits(fx(audio, 44100), Tinvoicer()(audio, 44100))
    fx.process(other, 44100, reset=False)
    fx.reset()
    assert_same_bits(fx.process(audio, 44100, reset=False), fresh_stream)


LAYOUTS = {
    "mono float32": lambda a: a[0],
    "mono float64": lambda a: a[0].astype(np.float64),
    "one row": lambda a: a[:1],
    "stereo float64": lambda a: a[:2].astype(np.float64),
    "six channels": lambda a: a,
    "soundfile's layout transposed": lambda a: np.ascontiguousarray(a[:2].T).T,
    "every other sample": lambda a: a[:2, ::2],
    "big-endian float32": lambda a: a[:2].astype(">f4"),
    "a list of floats": lambda a: a[0, :3000].tolist(),
    "no samples": lambda a: a[:2, :0],
}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_every_accepted_layout_renders_each_channel_as_mono(layout):
    audio = LAYOUTS[layout](voice(6, 9000))
    out = Tinvoicer(pitch=3.0)(audio, 44100)
    given = np.asarray(audio)
    assert out.shape == given.shape
    assert out.dtype == (np.float32 if given.dtype.itemsize == 4 else np.float64)
    for channel, row in enumerate(np.atleast_2d(given)):
        mono = Tinvoicer(pitch=3.0)(row.astype(np.float32), 44100)
        assert_same_bits(np.atleast_2d(out)[channel], mono.astype(out.dtype))


def _streamed(second_chunk, second_rate):
    fx = Tinvoicer()
    fx.process(voice(2, 3000), 44100, reset=False)
    fx.process(second_chunk, second_rate, reset=False)


MONO = voice(1, 4410)[0]
BAD_CALLS = {
    "gain NaN": (lambda: Tinvoicer(gain_db=math.nan), ValueError, "NaN"),
    "gain above range": (lambda: Tinvoicer(gain_db=20.5), ValueError, "from -20 to 20 dB"),
    "pitch below range": (lambda: Tinvoicer(pitch=-24.1), ValueError, "from -24 to 12 semitones"),
    "mix below range": (lambda: Tinvoicer(mix=-1.0), ValueError, "from 0 to 100 %"),
    "mix set to NaN": (lambda: setattr(Tinvoicer(), "mix", math.nan), ValueError, "NaN"),
    "gain as text": (lambda: Tinvoicer(gain_db="loud"), TypeError, "gain_db"),
    "rate zero": (lambda: Tinvoicer()(MONO, 0), ValueError, "sample_rate"),
    "rate negative": (lambda: Tinvoicer()(MONO, -44100), ValueError, "sample_rate"),
    "rate NaN": (lambda: Tinvoicer()(MONO, math.nan), ValueError, "sample_rate"),
    "rate infinite": (lambda: Tinvoicer()(MONO, math.inf), ValueError, "sample_rate"),
    "rate as text": (lambda: Tinvoicer()(MONO, "44100"), TypeError, "sample_rate"),
    "int16 samples": (lambda: Tinvoicer()(np.zeros(100, np.int16), 44100), ValueError, "float32 or float64"),
    "complex samples": (lambda: Tinvoicer()(np.zeros(100, np.complex64), 44100), ValueError, "float32 or float64"),
    "float16 samples": (lambda: Tinvoicer()(np.zeros(100, np.float16), 44100), ValueError, "float32 or float64"),
    "3-D": (lambda: Tinvoicer()(np.zeros((1, 2, 100), np.float32), 44100), ValueError, "3-D"),
    "a scalar": (lambda: Tinvoicer()(np.float32(0.5), 44100), ValueError, "0-D"),
    "(samples, channels)": (lambda: Tinvoicer()(np.zeros((4410, 2), np.float32), 44100), ValueError, "audio.T"),
    "no channel": (lambda: Tinvoicer()(np.zeros((0, 100), np.float32), 44100), ValueError, "no channel"),
    "stream changes channels": (lambda: _streamed(MONO, 44100), ValueError, "2 channel(s), this chunk 1"),
    "stream changes rate": (lambda: _streamed(voice(2, 100), 48000), ValueError, "44100 Hz, this chunk at 48000 Hz"),
}


@pytest.mark.parametrize("case", BAD_CALLS)
def test_bad_input_raises_a_clear_error(case):
    call, error, words = BAD_CALLS[case]
    with pytest.raises(error) as caught:
        call()
    assert words in str(caught.value)


def test_a_second_thread_runs_while_the_effect_renders():
    # The longest pause of a counting thread during a long call: with the GIL held by the call it
    # is the call's whole length; released, the counter runs all along.
    audio = voice(1, 1 << 24)[0]
    fx = Tinvoicer()
    fx(audio[:4096], 44100)  # the first call's allocations are not part of the measure
    call = {}

    def render():
        call["start"] = time.perf_counter()
        fx(audio, 44100)
        call["end"] = time.perf_counter()

    worker = threading.Thread(target=render)
    pauses = []  # (from, to) of every pause of this thread longer than a millisecond
    last = time.perf_counter()
    worker.start()
    while worker.is_alive():
        now = time.perf_counter()
        if now - last > 1e-3:
            pauses.append((last, now))
        last = now
    worker.join()
    start, end = call["start"], call["end"]
    longest_pause = max([min(to, end) - max(since, start) for since, to in pauses] + [0.0])
    assert longest_pause < (end - start) / 2, f"this thread stood still {longest_pause:.3f} s of a {end - start:.3f} s call"
