"""A corpus on a Dask cluster: every worker runs ``tinvoicer.process_file`` on its share of the
files, which it reads and writes itself (so the paths must name the same files on every worker:
a shared file system or an object store mounted alike).

    from dask.distributed import Client
    import tinvoicer.cluster

    client = Client("scheduler-host:8786")   # or Client(LocalCluster(n_workers=4))
    tinvoicer.cluster.process_files(client, sources, destinations, pitch=-12)

Each file is a task of its own (Dask futures over the paths), so the scheduler spreads them
across the workers and a worker that dies has its files run again elsewhere. Every worker needs
tinvoicer installed; the controls are checked before any task is sent.
"""

from ._files import BatchError, _paired, failure_of
from ._effect import Tinvoicer

__all__ = ["process_files", "BatchError"]


def process_files(client, sources, destinations, *, gain_db=0.0, pitch=0.0, mix=100.0, subtype=None):
    """``tinvoicer.process_file`` for each pair of ``sources`` and ``destinations``, as tasks of
    the Dask ``client`` (a ``dask.distributed.Client``).

    Every file that can be written is written. When some fail, BatchError is raised once all
    tasks have ended, naming each failed source with its error.
    """
    Tinvoicer(gain_db=gain_db, pitch=pitch, mix=mix)
    sources, destinations = _paired(sources, destinations)
    # pure=False: a task writes a file, so two equal tasks are never merged into one.
    futures = client.map(failure_of, sources, destinations, gain_db=gain_db, pitch=pitch, mix=mix, subtype=subtype,
                         pure=False)
    messages = client.gather(futures)
    failures = {src: message for src, message in zip(sources, messages) if message is not None}
    if failures:
        raise BatchError(failures, len(sources))
