"""The Python edition: bits against the VST 2 and LV2 editions, layouts, streams, bad input, the GIL,
batches on threads and on Dask. CMakeLists.txt beside this file names the build's parts compared with."""

import functools
import os
import resource
import subprocess
import threading
from time import perf_counter, sleep

import numpy as np
import pytest
import soundfile

from tinvoicer import LATENCY, BatchError, Tinvoicer, process_file, process_files


def voice(channels, frames, seed=7):
    """A tone gliding over noise, each channel its own: every bin has energy, and channels differ."""
    rng = np.random.default_rng(seed)
    t = np.arange(frames) / 44100.0
    tones = [0.5 * np.sin(2 * np.pi * (150.0 + 70.0 * channel) * t * (1.0 + t)) for channel in range(channels)]
    return (np.array(tones) + 0.1 * rng.standard_normal((channels, frames))).astype(np.float32)


def assert_same_bits(actual, expected):
    assert actual.dtype == expected.dtype
    np.testing.assert_array_equal(actual.view(f"u{actual.itemsize}"), expected.view(f"u{expected.itemsize}"))


def write_planar(path, audio):
    soundfile.write(path, np.atleast_2d(audio).T, 44100, subtype="FLOAT")
    return path


def read_planar(path):
    return soundfile.read(path, dtype="float32", always_2d=True)[0].T


def built(variable):
    if not os.environ.get(variable):
        pytest.skip(f"{variable} is not set: this build has no such part to compare with")
    return os.environ[variable]


@pytest.mark.parametrize("gain_db, render_options", [(0.0, []), (10.0, ["--param", "Gain=0.75"])])
def test_the_classic_robot_gives_tinvoicer_renders_bits(tmp_path, gain_db, render_options):
    source = write_planar(tmp_path / "in.wav", voice(2, 30011))
    subprocess.run([built("TINVOICER_RENDER"), "--plugin", built("TINVOICER_VST2_MODULE"), *render_options, source,
                    "-o", tmp_path / "tool.wav"], check=True)
    process_file(source, tmp_path / "py.wav", gain_db=gain_db)
    expected = read_planar(tmp_path / "tool.wav")
    assert_same_bits(read_planar(tmp_path / "py.wav"), expected)
    assert_same_bits(Tinvoicer(gain_db=gain_db)(read_planar(source), 44100), expected)


@pytest.mark.parametrize("controls", [(0.0, -12.0, 100.0), (-6.5, 7.0, 50.0), (20.0, -24.0, 30.0)])
def test_settings_beyond_the_classic_robot_give_the_lv2_editions_bits(tmp_path, controls):
    # lv2apply writes the stream, LATENCY samples late and of the input's length: the input is padded.
    audio = voice(1, 20011)[0]
    write_planar(tmp_path / "in.wav", np.concatenate([audio, np.zeros(LATENCY, np.float32)]))
    arguments = [word for name, value in zip(["gain", "pitch", "mix"], controls) for word in ("-c", name, repr(value))]
    subprocess.run([built("TINVOICER_LV2APPLY"), "-i", tmp_path / "in.wav", "-o", tmp_path / "out.wav", *arguments,
                    "urn:vexa:tinvoicer"], env=dict(os.environ, LV2_PATH=built("TINVOICER_LV2_PATH")), check=True)
    stream = read_planar(tmp_path / "out.wav")[0]
    assert_same_bits(Tinvoicer(*controls)(audio, 44100), stream[LATENCY:])
    assert_same_bits(Tinvoicer(*controls).process(audio, 44100, reset=False), stream[:audio.size])


LAYOUTS = {"mono float32": lambda a: a[0], "mono float64": lambda a: a[0].astype(np.float64),
           "six channels float32": lambda a: a, "stereo float64": lambda a: a[:2].astype(np.float64),
           "soundfile's (samples, channels) transposed": lambda a: np.ascontiguousarray(a.T).T}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_each_channel_of_every_layout_renders_as_mono_and_streams_in_chunks_as_in_one_call(layout):
    audio, fx = LAYOUTS[layout](voice(6, 9000)), Tinvoicer(pitch=3.0, mix=70.0)
    whole = fx.process(audio, 44100, reset=False)
    out = fx(audio, 44100)  # reset=True: from silence after a stream
    assert out.shape == audio.shape and out.dtype == audio.dtype
    for rendered, channel in zip(np.atleast_2d(out), np.atleast_2d(audio)):
        assert_same_bits(rendered, Tinvoicer(pitch=3.0, mix=70.0)(channel.astype(np.float32), 44100).astype(out.dtype))
    fx.reset()
    chunks = [fx.process(part, 44100, reset=False) for part in np.split(audio, [6, 13, 400, 1423, 2448], axis=-1)]
    assert_same_bits(np.concatenate(chunks, axis=-1), whole)


def stream_of_two_then_three_channels(_):
    fx = Tinvoicer()
    for channels in (2, 3):  # the second chunk is refused inside the call that runs without the GIL
        fx.process(np.zeros((channels, 99), np.float32), 44100, reset=False)


BAD_INPUT = {  # the test limits files to 50 kB: "a full disk" fails midway through its output
    "gain NaN": (lambda d: Tinvoicer(gain_db=np.nan), ValueError, "not NaN"),
    "pitch below range": (lambda d: Tinvoicer(pitch=-24.1), ValueError, "from -24 to 12 semitones"),
    "rate NaN": (lambda d: Tinvoicer()(np.zeros(99, np.float32), np.nan), ValueError, "sample_rate"),
    "int16 samples": (lambda d: Tinvoicer()(np.zeros(99, np.int16), 44100), ValueError, "float32 or float64"),
    "3-D": (lambda d: Tinvoicer()(np.zeros((1, 2, 99), np.float32), 44100), ValueError, "3-D"),
    "(samples, channels)": (lambda d: Tinvoicer()(np.zeros((99, 2), np.float32), 44100), ValueError, "ambiguous"),
    "a stream's chunk of another channel count": (stream_of_two_then_three_channels, ValueError, "channel"),
    "a missing folder": (lambda d: process_file(d / "in.wav", d / "no" / "out.wav"), FileNotFoundError, "out.wav'$"),
    "a full disk": (lambda d: process_file(d / "in.wav", d / "out.wav"), OSError, "File too large"),
}


@pytest.mark.parametrize("case", BAD_INPUT)
def test_bad_input_raises_a_clear_error_and_leaves_the_files_as_they_were(tmp_path, case):
    call, error, words = BAD_INPUT[case]
    write_planar(tmp_path / "in.wav", voice(2, 20000))
    (tmp_path / "out.wav").write_bytes(b"old")
    limits = resource.getrlimit(resource.RLIMIT_FSIZE)
    resource.setrlimit(resource.RLIMIT_FSIZE, (50000, limits[1]))
    try:
        with pytest.raises(error, match=words):
            call(tmp_path)
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, limits)
    assert sorted(os.listdir(tmp_path)) == ["in.wav", "out.wav"] and (tmp_path / "out.wav").read_bytes() == b"old"


def test_a_second_thread_runs_while_the_effect_renders():
    # This thread's longest pause during a long call: the whole call if the call held the GIL.
    audio, call, ticks = np.tile(voice(1, 1 << 16)[0], 256), [], []
    worker = threading.Thread(target=lambda: call.extend([perf_counter(), Tinvoicer()(audio, 44100), perf_counter()]))
    worker.start()
    while worker.is_alive():
        ticks.append(perf_counter())
        sleep(1e-4)
    start, _, end = call
    longest = np.diff([start, *(tick for tick in ticks if start < tick < end), end]).max()
    assert longest < (end - start) / 2, f"this thread stood still {longest:.3f} s of a {end - start:.3f} s call"


@pytest.fixture(params=["threads", pytest.param("dask", marks=pytest.mark.cluster)])
def batch(request):
    if request.param == "threads":
        yield functools.partial(process_files, workers=3)
        return
    distributed = pytest.importorskip("distributed")
    import tinvoicer.cluster
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            yield functools.partial(tinvoicer.cluster.process_files, client)


def test_a_batch_names_the_file_that_fails_and_writes_the_others(tmp_path, batch):
    names = ["broken.wav"] + [write_planar(tmp_path / f"voice{n}.wav", voice(1 + n % 2, 3000 + 977 * n, seed=n)).name
                              for n in range(3)]
    (tmp_path / "broken.wav").write_bytes(b"RIFF\x00\x00")
    (tmp_path / "out").mkdir()
    with pytest.raises(BatchError, match="broken.wav") as caught:
        batch([tmp_path / name for name in names], [tmp_path / "out" / name for name in names], pitch=4)
    assert list(caught.value.failures) == [str(tmp_path / "broken.wav")]
    assert sorted(os.listdir(tmp_path / "out")) == names[1:]
    for name in names[1:]:
        assert_same_bits(read_planar(tmp_path / "out" / name), Tinvoicer(pitch=4)(read_planar(tmp_path / name), 44100))
