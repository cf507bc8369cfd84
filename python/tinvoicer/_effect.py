"""The effect object: controls as attributes, numpy audio in and out."""

import math
import numbers

import numpy as np

from . import _native

LATENCY = _native.Engine.latency


class _Control:
    """A control in a unit of its own, checked when it is set: a number in its range, never NaN."""

    def __init__(self, unit, minimum, maximum, default, doc):
        self.unit, self.minimum, self.maximum, self.default = unit, minimum, maximum, default
        self.__doc__ = f"{doc} From {minimum:g} to {maximum:g} {unit}, default {default:g}."

    def __set_name__(self, owner, name):
        self.name = name
        self.slot = "_" + name

    def __get__(self, instance, owner=None):
        return self if instance is None else getattr(instance, self.slot)

    def __set__(self, instance, value):
        setattr(instance, self.slot, self.checked(value))

    def checked(self, value):
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise TypeError(f"{self.name} must be a number of {self.unit}, not {type(value).__name__}")
        value = float(value)
        if math.isnan(value):
            raise ValueError(f"{self.name} must be a number of {self.unit}, not NaN")
        if not self.minimum <= value <= self.maximum:
            raise ValueError(f"{self.name} must be from {self.minimum:g} to {self.maximum:g} {self.unit}, not {value:g}")
        return value


def _checked_rate(sample_rate):
    if isinstance(sample_rate, bool) or not isinstance(sample_rate, numbers.Real):
        raise TypeError(f"sample_rate must be a number of Hz, not {type(sample_rate).__name__}")
    if not (math.isfinite(sample_rate) and sample_rate > 0):
        raise ValueError(f"sample_rate must be a positive number of Hz, not {sample_rate}")
    return float(sample_rate)


def _as_channels(audio):
    """The audio as a C-contiguous float32 array (channels, samples), and the dtype it came in."""
    array = np.asarray(audio)
    if array.dtype.kind != "f" or array.dtype.itemsize not in (4, 8):
        raise ValueError(
            f"audio must be float32 or float64, not {array.dtype}; scale integer samples first "
            "(int16: audio / 32768)")
    if array.ndim == 1:
        planar = array[np.newaxis, :]
    elif array.ndim == 2:
        channels, samples = array.shape
        if channels > samples > 0:
            raise ValueError(
                f"audio of shape {array.shape} is ambiguous: 2-D audio is (channels, samples), and this "
                f"has more channels than samples; for (samples, channels) pass audio.T")
        planar = array
    else:
        raise ValueError(f"audio must be 1-D (mono) or 2-D (channels, samples), not {array.ndim}-D of shape {array.shape}")
    if planar.shape[0] == 0:
        raise ValueError("audio has no channel")
    dtype = np.float32 if array.dtype.itemsize == 4 else np.float64
    return np.ascontiguousarray(planar, dtype=np.float32), dtype, array.ndim


class Tinvoicer:
    """The robot voice: every frame of 1024 samples keeps the magnitude of each frequency and
    loses its phase, which leaves a monotone, machine-like voice.

    ``fx = Tinvoicer(gain_db=0.0, pitch=0.0, mix=100.0)``, then ``y = fx(audio, sample_rate)``.

    Audio is a numpy array of float32 or float64: 1-D for one channel, or 2-D of shape
    (channels, samples), each row a channel (``soundfile.read`` gives (samples, channels):
    pass its ``.T``). A 2-D array with more channels than samples is refused as ambiguous. The
    output has the input's shape and dtype; float64 is rendered in float32, as the plug-ins do.

    By default a call renders a whole signal from silence, and the output is lined up with the
    input and of its length (the effect's delay of ``latency`` samples is taken off). With
    ``reset=False`` the call goes on from the previous one, for audio that arrives in chunks:
    the chunks come out as the plug-ins give them, ``latency`` samples late, and their
    concatenation equals one call over the concatenated input.

    Controls are checked when they are set: a value out of range or NaN raises ValueError, a
    value that is no number TypeError. A change of ``gain_db`` or ``mix`` between two chunks of a
    stream glides across the next chunk; a change of ``pitch`` takes effect at its next frame.

    One object holds one stream: threads that render at once need an object each (calls on one
    object from two threads take turns). The work runs without the GIL.
    """

    gain_db = _Control("dB", *_native.GAIN_DB, "Output level in dB.")
    pitch = _Control(
        "semitones", *_native.PITCH_SEMITONES,
        "The robot's pitch in semitones from the classic one, sample rate / 256 (172 Hz at 44.1 kHz).")
    mix = _Control("%", *_native.MIX_PERCENT,
                   "Robot against the voice it came from: 100 is the robot alone, 0 the voice alone.")

    #: The delay of a stream (``reset=False``) in samples, at every setting.
    latency = LATENCY

    def __init__(self, gain_db=0.0, pitch=0.0, mix=100.0):
        self.gain_db = gain_db
        self.pitch = pitch
        self.mix = mix
        self._engine = _native.Engine()
        self._stream_rate = None  # None: no stream runs, the next call starts one

    def __repr__(self):
        return f"Tinvoicer(gain_db={self.gain_db:g}, pitch={self.pitch:g}, mix={self.mix:g})"

    def __call__(self, audio, sample_rate):
        """The same as ``process(audio, sample_rate)``: a whole signal, lined up with the input."""
        return self.process(audio, sample_rate)

    def process(self, audio, sample_rate, reset=True):
        """Renders ``audio`` (float32 or float64; 1-D, or 2-D as (channels, samples)) at
        ``sample_rate`` Hz and returns an array of its shape and dtype.

        ``reset=True`` (the default) starts from silence and returns the output lined up with the
        input. ``reset=False`` goes on from the previous call with as many channels at the same
        rate (the first call starts a stream) and returns the stream as it comes, ``latency``
        samples late; to end a stream, send ``latency`` samples of silence.

        Raises ValueError for a bad shape, dtype, rate or a stream that changes its channel
        count or rate, TypeError for arguments that are no numbers or arrays.
        """
        rate = _checked_rate(sample_rate)
        planar, dtype, ndim = _as_channels(audio)
        if not reset and self._stream_rate is not None and rate != self._stream_rate:
            raise ValueError(
                f"the stream runs at {self._stream_rate:g} Hz, this chunk at {rate:g} Hz; start a new "
                "stream with reset=True")
        fresh = reset or self._stream_rate is None
        rendered = self._engine.render(planar, self.gain_db, self.pitch, self.mix, fresh=fresh, aligned=reset)
        self._stream_rate = rate
        if ndim == 1:
            rendered = rendered[0]
        return rendered if dtype == np.float32 else rendered.astype(dtype)

    def _stream(self, planar, fresh):
        """The stream of a C-contiguous float32 array (channels, samples) that the caller checked."""
        return self._engine.render(planar, self.gain_db, self.pitch, self.mix, fresh=fresh, aligned=False)

    def reset(self):
        """Ends the stream: the next call starts from silence whatever its ``reset``."""
        self._stream_rate = None
