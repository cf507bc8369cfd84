"""Files: bits against tinvoicer-render through the VST 2 module, nothing half-written, batches on
threads and on a Dask cluster."""

import os
import subprocess
import sys

import numpy as np
import pytest
import soundfile

import tinvoicer
from conftest import assert_same_bits, read_planar, render_vst2, voice, write_planar


@pytest.mark.parametrize("gain_db, gain_param, subtype", [(0.0, None, "FLOAT"), (10.0, "0.75", "FLOAT"),
                                                          (-10.0, "0.25", "PCM_24"), (20.0, "1", "PCM_16")])
def test_the_classic_robot_gives_tinvoicer_renders_bits(tmp_path, gain_db, gain_param, subtype):
    # +20 dB takes the robot beyond full scale: a 16-bit file clips it as the tool does.
    source = write_planar(tmp_path / "in.wav", voice(2, 30011), subtype=subtype)
    expected = render_vst2(source, tmp_path / "tool.wav", gain_param)
    tinvoicer.process_file(source, tmp_path / "py.wav", gain_db=gain_db)
    assert soundfile.info(tmp_path / "py.wav").subtype == subtype
    assert_same_bits(read_planar(tmp_path / "py.wav", "int32"), read_planar(expected, "int32"))
    if subtype == "FLOAT":
        assert_same_bits(tinvoicer.Tinvoicer(gain_db=gain_db)(read_planar(source), 44100), read_planar(expected))


def _writing_fails(tmp_path):
    """A destination in a folder that fills up: every write past 20 kB fails, as on a full disk."""
    script = ("import resource, sys, tinvoicer\n"
              "resource.setrlimit(resource.RLIMIT_FSIZE, (20000, 20000))\n"
              "tinvoicer.process_file(sys.argv[1], sys.argv[2])\n")
    result = subprocess.run([sys.executable, "-c", script, str(tmp_path / "in.wav"), str(tmp_path / "out.wav")],
                            capture_output=True, text=True, timeout=60)
    assert result.returncode != 0
    return result.stderr.strip().splitlines()[-1]


DESTINATIONS = {
    "a folder that does not exist": (lambda d: d / "missing" / "out.wav", FileNotFoundError),
    "a folder that is a file": (lambda d: d / "in.wav" / "out.wav", NotADirectoryError),
    "a folder": (lambda d: d, IsADirectoryError),
    "a device": (lambda d: "/dev/null", OSError),
}


@pytest.mark.parametrize("case", DESTINATIONS)
def test_an_unwritable_destination_raises_and_leaves_nothing(tmp_path, case):
    make, error = DESTINATIONS[case]
    write_planar(tmp_path / "in.wav", voice(1, 1000))
    destination = make(tmp_path)
    with pytest.raises(error) as caught:
        tinvoicer.process_file(tmp_path / "in.wav", destination)
    assert str(destination) in str(caught.value)
    assert os.listdir(tmp_path) == ["in.wav"]


def test_a_write_that_fails_midway_leaves_the_old_file_and_no_other(tmp_path):
    write_planar(tmp_path / "in.wav", voice(2, 44100))
    (tmp_path / "out.wav").write_bytes(b"the old file")
    assert _writing_fails(tmp_path).startswith("OSError:")
    assert (tmp_path / "out.wav").read_bytes() == b"the old file"
    assert sorted(os.listdir(tmp_path)) == ["in.wav", "out.wav"]


SOURCES = {
    "missing": (lambda d: d / "none.wav", FileNotFoundError, "none.wav"),
    "not a sound file": (lambda d: d / "text.wav", ValueError, "not a sound file"),
    "a folder": (lambda d: d, IsADirectoryError, ""),
}


@pytest.mark.parametrize("case", SOURCES)
def test_an_unreadable_source_raises_and_writes_nothing(tmp_path, case):
    make, error, words = SOURCES[case]
    (tmp_path / "text.wav").write_text("no sound here\n")
    with pytest.raises(error, match=words):
        tinvoicer.process_file(make(tmp_path), tmp_path / "out.wav")
    assert os.listdir(tmp_path) == ["text.wav"]


@pytest.fixture
def corpus(tmp_path):
    """Five short files of different lengths and channel counts, and one that is no sound file."""
    folder = tmp_path / "corpus"
    folder.mkdir()
    sources = [write_planar(folder / f"voice{n}.wav", voice(1 + n % 2, 3000 + 977 * n, seed=n)) for n in range(5)]
    broken = folder / "broken.wav"
    broken.write_bytes(b"RIFF\x00\x00")
    sources.insert(2, broken)
    return sources, [tmp_path / "out" / path.name for path in sources], broken


def _assert_corpus_rendered(corpus, failures, **controls):
    sources, destinations, broken = corpus
    assert list(failures) == [str(broken)]
    for source, destination in zip(sources, destinations):
        if source == broken:
            assert not destination.exists()
            continue
        audio, rate = soundfile.read(source, dtype="float32", always_2d=True)
        assert_same_bits(read_planar(destination), tinvoicer.Tinvoicer(**controls)(audio.T, rate))


def test_a_batch_on_threads_writes_every_file_and_names_the_one_that_fails(corpus):
    (corpus[1][0].parent).mkdir()
    with pytest.raises(tinvoicer.BatchError) as caught:
        tinvoicer.process_files(corpus[0], corpus[1], mix=60.0, workers=3)
    _assert_corpus_rendered(corpus, caught.value.failures, mix=60.0)
    assert "1 of 6 files failed" in str(caught.value)


def test_a_batch_of_arrays_gives_each_arrays_own_render():
    arrays = [voice(n, 5000 + n, seed=n) for n in (1, 2, 1)]
    outputs = tinvoicer.process_arrays(arrays, 22050, pitch=-7.0, workers=2)
    for audio, output in zip(arrays, outputs):
        assert_same_bits(output, tinvoicer.Tinvoicer(pitch=-7.0)(audio, 22050))


@pytest.mark.cluster
def test_a_corpus_on_a_local_cluster_of_two_worker_processes(corpus):
    distributed = pytest.importorskip("distributed")
    import tinvoicer.cluster

    (corpus[1][0].parent).mkdir()
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        with pytest.raises(tinvoicer.BatchError) as caught:
            tinvoicer.cluster.process_files(client, corpus[0], corpus[1], pitch=4.0)
    _assert_corpus_rendered(corpus, caught.value.failures, pitch=4.0)
