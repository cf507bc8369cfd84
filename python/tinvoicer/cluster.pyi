from typing import Any, Iterable

from . import BatchError as BatchError
from . import _Path

def process_files(
    client: Any,
    sources: Iterable[_Path],
    destinations: Iterable[_Path],
    *,
    gain_db: float = 0.0,
    pitch: float = 0.0,
    mix: float = 100.0,
    subtype: str | None = None,
) -> None: ...
