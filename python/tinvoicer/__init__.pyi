from os import PathLike
from typing import Iterable, Union, overload

import numpy as np
import numpy.typing as npt

_Path = Union[str, PathLike[str]]
_Float = Union[np.float32, np.float64]

LATENCY: int
__version__: str

class Tinvoicer:
    gain_db: float
    pitch: float
    mix: float
    latency: int
    def __init__(self, gain_db: float = 0.0, pitch: float = 0.0, mix: float = 100.0) -> None: ...
    @overload
    def __call__(self, audio: npt.NDArray[np.float32], sample_rate: float) -> npt.NDArray[np.float32]: ...
    @overload
    def __call__(self, audio: npt.NDArray[np.float64], sample_rate: float) -> npt.NDArray[np.float64]: ...
    @overload
    def process(
        self, audio: npt.NDArray[np.float32], sample_rate: float, reset: bool = True
    ) -> npt.NDArray[np.float32]: ...
    @overload
    def process(
        self, audio: npt.NDArray[np.float64], sample_rate: float, reset: bool = True
    ) -> npt.NDArray[np.float64]: ...
    def reset(self) -> None: ...

class BatchError(Exception):
    failures: dict[str, str]
    def __init__(self, failures: dict[str, str], total: int) -> None: ...

def process_file(
    src: _Path,
    dst: _Path,
    *,
    gain_db: float = 0.0,
    pitch: float = 0.0,
    mix: float = 100.0,
    subtype: str | None = None,
) -> None: ...
def process_files(
    sources: Iterable[_Path],
    destinations: Iterable[_Path],
    *,
    gain_db: float = 0.0,
    pitch: float = 0.0,
    mix: float = 100.0,
    subtype: str | None = None,
    workers: int | None = None,
) -> None: ...
def process_arrays(
    arrays: Iterable[npt.NDArray[_Float]],
    sample_rate: float,
    *,
    gain_db: float = 0.0,
    pitch: float = 0.0,
    mix: float = 100.0,
    workers: int | None = None,
) -> list[npt.NDArray[_Float]]: ...
