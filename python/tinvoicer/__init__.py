"""Tinvoicer: a monotone robot voice for numpy audio and sound files.

Every frame of 1024 samples keeps the magnitude of each frequency and loses its phase: a voice
comes out flat and machine-like. The same audio core as the VST 2 and LV2 plug-ins gives the
same bits as ``tinvoicer-render``.

One signal::

    import tinvoicer
    fx = tinvoicer.Tinvoicer(pitch=-12)       # gain_db=0.0, pitch=0.0, mix=100.0
    y = fx(audio, sample_rate)                # float32/float64, 1-D or (channels, samples)

A file, or many on every core::

    tinvoicer.process_file("voice.wav", "robot.wav")
    tinvoicer.process_files(sources, destinations, mix=50)

A corpus on a Dask cluster: ``tinvoicer.cluster.process_files(client, sources, destinations)``.

Controls (the LV2 edition's ranges; a value out of range or NaN raises ValueError):
    gain_db  -20 .. +20 dB, default 0
    pitch    -24 .. +12 semitones from the classic robot (sample rate / 256), default 0
    mix      0 .. 100 % of robot against the voice, default 100 (the robot alone)

The effect delays a stream by ``LATENCY`` (1024) samples; a whole-signal call, ``process_file``
and the batch calls take that delay off, so the output is lined up with the input.
"""

from ._effect import LATENCY, Tinvoicer
from ._files import BatchError, process_arrays, process_file, process_files
from ._version import __version__

# help() and error messages name them as the package shows them.
Tinvoicer.__module__ = BatchError.__module__ = __name__

__all__ = ["Tinvoicer", "process_file", "process_files", "process_arrays", "BatchError", "LATENCY", "__version__"]
