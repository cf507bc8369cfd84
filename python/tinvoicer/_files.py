"""Sound files through the effect, one at a time or many on threads."""

import concurrent.futures
import contextlib
import os
import secrets
import stat

import numpy as np
import soundfile

from ._effect import Tinvoicer

# Frames read, rendered and written at a time: a file of any length takes this much memory.
_BLOCK_FRAMES = 65536
# Extensions that name a format by another name than libsndfile's, and the subtype they imply.
_ALIASES = {"AIF": ("AIFF", None), "OGA": ("OGG", None), "OPUS": ("OGG", "OPUS")}


class BatchError(Exception):
    """Some files of a batch failed; every other file was written.

    ``failures`` maps each failed source, as given, to its error message.
    """

    def __init__(self, failures, total):
        self.failures = dict(failures)
        lines = [f"{len(self.failures)} of {total} files failed:"]
        lines += [f"  {source}: {message}" for source, message in self.failures.items()]
        super().__init__("\n".join(lines))


def _output_format(path, source):
    """The format and default subtype that the name ``path`` asks for; the source's without an
    extension."""
    extension = os.path.splitext(path)[1][1:].upper()
    if not extension:
        return source.format, None
    format_name, subtype = _ALIASES.get(extension, (extension, None))
    if format_name not in soundfile.available_formats():
        raise ValueError(f"{path!r}: no sound format has the extension .{extension.lower()}")
    return format_name, subtype


def _output_subtype(format_name, asked, implied, source_subtype):
    """The subtype asked for; else the extension's; else the source's when the format has it; else
    the format's default."""
    subtype = asked or implied
    if subtype is not None:
        if not soundfile.check_format(format_name, subtype):
            raise ValueError(f"the format {format_name} has no subtype {subtype}")
        return subtype
    if soundfile.check_format(format_name, source_subtype):
        return source_subtype
    return soundfile.default_subtype(format_name)


def _reraised_for(path, error):
    """An OSError like ``error``, naming ``path`` (the file the user gave) instead of a temporary one."""
    return type(error)(error.errno, error.strerror, path)


def _write_failure(path, descriptor, error):
    """The error of a failed write. libsndfile keeps no reason beyond "System error", so one
    more byte asks the system (a full disk, a file size limit)."""
    try:
        os.write(descriptor, b"\0")
    except OSError as reason:
        return _reraised_for(path, reason)
    return OSError(f"{path!r}: cannot write: {error}")


@contextlib.contextmanager
def _pending_file(path):
    """A new file beside ``path``, open for writing as a descriptor; renamed to ``path`` when the
    block completes, removed when it fails, so ``path`` is never half-written. An existing
    ``path`` must be a regular file, whose mode the new one keeps."""
    mode = 0o666  # less the umask, which os.open applies
    try:
        existing = os.stat(path)
    except FileNotFoundError:
        existing = None
    except OSError as error:
        raise _reraised_for(path, error) from None
    if existing is not None:
        if stat.S_ISDIR(existing.st_mode):
            raise IsADirectoryError(21, "Is a directory", path)
        if not stat.S_ISREG(existing.st_mode):
            raise OSError(f"{path!r}: not a regular file; process_file writes regular files only")
        mode = stat.S_IMODE(existing.st_mode)
    folder, name = os.path.split(os.path.abspath(path))
    temporary = os.path.join(folder, f".{name}.{secrets.token_hex(4)}.tmp")
    try:
        descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, mode)
    except OSError as error:
        raise _reraised_for(path, error) from None
    try:
        if existing is not None:
            os.fchmod(descriptor, mode)  # the umask took bits of the file being replaced
        yield descriptor
        os.fsync(descriptor)
        os.close(descriptor)
        descriptor = None
        os.replace(temporary, path)
    except BaseException:
        if descriptor is not None:
            os.close(descriptor)
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


def _open_source(path):
    stream = open(path, "rb")  # noqa: SIM115 (closed with the SoundFile, or below)
    try:
        return soundfile.SoundFile(stream, closefd=True)
    except soundfile.SoundFileRuntimeError as error:
        stream.close()
        raise ValueError(f"{path!r}: not a sound file that libsndfile reads ({error})") from None


def _render_blocks(fx, source, sink):
    """Writes ``source`` through ``fx`` into ``sink``, lined up: the stream of the whole file and
    ``latency`` frames of silence, less its first ``latency`` frames, one block at a time."""
    to_drop = fx.latency
    fresh = True
    blocks = source.blocks(blocksize=_BLOCK_FRAMES, dtype="float32", always_2d=True)
    silence = np.zeros((fx.latency, source.channels), dtype=np.float32)
    for block in _chain(blocks, silence):
        rendered = fx._stream(np.ascontiguousarray(block.T), fresh)
        fresh = False
        kept = rendered[:, to_drop:]
        to_drop -= rendered.shape[1] - kept.shape[1]
        # A sample that is no number becomes silence, as tinvoicer-render writes it: libsndfile
        # turns it into an arbitrary integer.
        np.copyto(kept, 0.0, where=~np.isfinite(kept))
        if kept.shape[1]:
            sink.write(np.ascontiguousarray(kept.T))


def _chain(blocks, last):
    yield from blocks
    yield last


def process_file(src, dst, *, gain_db=0.0, pitch=0.0, mix=100.0, subtype=None):
    """Reads the sound file ``src``, robotises it and writes ``dst``, lined up with the input and
    of its length, at its sample rate and with its channels.

    Any format that libsndfile (python3-soundfile) reads is read. The output's format follows
    the extension of ``dst`` (.wav, .flac, .aiff, .ogg, .opus, .mp3 ...), the input's without
    one; its subtype (sample format) is ``subtype`` when given (``"FLOAT"``, ``"PCM_24"`` ...),
    else the input's when the format has it. The file is written under a temporary name beside
    ``dst`` and renamed when complete: on any error ``dst`` is left as it was and nothing stays
    behind. A ``dst`` that exists must be a regular file, whose permissions are kept; it may be
    ``src`` itself.

    Raises OSError when a file cannot be read or written, ValueError for a file that is no sound
    file, a format or subtype that cannot be written, or a control out of range.
    """
    fx = Tinvoicer(gain_db=gain_db, pitch=pitch, mix=mix)
    src, dst = os.fspath(src), os.fspath(dst)
    with _open_source(src) as source:
        format_name, implied = _output_format(dst, source)
        chosen = _output_subtype(format_name, subtype, implied, source.subtype)
        with _pending_file(dst) as descriptor:
            try:
                sink = soundfile.SoundFile(descriptor, "w", samplerate=source.samplerate, channels=source.channels,
                                           format=format_name, subtype=chosen, closefd=False)
            except soundfile.SoundFileRuntimeError as error:
                raise ValueError(f"{dst!r}: cannot write {format_name} {chosen} at "
                                 f"{source.samplerate} Hz with {source.channels} channel(s) ({error})") from None
            try:
                with sink:
                    _render_blocks(fx, source, sink)
            except (soundfile.SoundFileRuntimeError, AssertionError) as error:
                # soundfile asserts that a write was whole.
                raise _write_failure(dst, descriptor, error) from None


def _workers(workers):
    if workers is None:
        return os.cpu_count() or 1
    if isinstance(workers, bool) or not isinstance(workers, int) or workers < 1:
        raise ValueError(f"workers must be a whole number from 1, not {workers!r}")
    return workers


def _paired(sources, destinations):
    sources = [os.fspath(path) for path in sources]
    destinations = [os.fspath(path) for path in destinations]
    if len(sources) != len(destinations):
        raise ValueError(f"{len(sources)} sources but {len(destinations)} destinations")
    seen = set()
    for path in destinations:
        key = os.path.abspath(path)
        if key in seen:
            raise ValueError(f"{path!r} is the destination of two sources")
        seen.add(key)
    return sources, destinations


def failure_of(src, dst, **options):
    """``process_file(src, dst, **options)``, returning its error message instead of raising it
    (None when the file was written); what each worker of a batch runs."""
    try:
        process_file(src, dst, **options)
    except Exception as error:  # every failure is reported by the batch, which goes on
        return f"{type(error).__name__}: {error}"
    return None


def process_files(sources, destinations, *, gain_db=0.0, pitch=0.0, mix=100.0, subtype=None, workers=None):
    """``process_file`` for each pair of ``sources`` and ``destinations``, on ``workers`` threads
    (default: one per CPU), which run at once since the rendering releases the GIL.

    Every file that can be written is written. When some fail, BatchError is raised at the end,
    naming each failed source with its error.
    """
    Tinvoicer(gain_db=gain_db, pitch=pitch, mix=mix)  # checks the controls before any file
    sources, destinations = _paired(sources, destinations)
    options = dict(gain_db=gain_db, pitch=pitch, mix=mix, subtype=subtype)
    with concurrent.futures.ThreadPoolExecutor(_workers(workers)) as pool:
        messages = list(pool.map(lambda pair: failure_of(*pair, **options), zip(sources, destinations)))
    failures = {src: message for src, message in zip(sources, messages) if message is not None}
    if failures:
        raise BatchError(failures, len(sources))


def process_arrays(arrays, sample_rate, *, gain_db=0.0, pitch=0.0, mix=100.0, workers=None):
    """``Tinvoicer(gain_db, pitch, mix)(audio, sample_rate)`` for each array of ``arrays``, each
    from silence, on ``workers`` threads (default: one per CPU). Returns the outputs in order;
    the first bad array raises its ValueError or TypeError.
    """
    Tinvoicer(gain_db=gain_db, pitch=pitch, mix=mix)
    arrays = list(arrays)

    def render(audio):
        return Tinvoicer(gain_db=gain_db, pitch=pitch, mix=mix)(audio, sample_rate)

    with concurrent.futures.ThreadPoolExecutor(_workers(workers)) as pool:
        return list(pool.map(render, arrays))
