"""Type stubs of the kurvex module."""

from os import PathLike
from typing import Any, Iterable, Sequence, Union

import numpy as np
import numpy.typing as npt

Source = Union[str, "PathLike[str]", "Result"]

__version__: str
has_render: bool

class Error(Exception):
    """Every failure of kurvex: the reader's, formula engine's or command's message."""

class Result:
    """A result file read into memory; result[name] gives a column's samples."""

    @property
    def names(self) -> list[str]: ...
    @property
    def x_name(self) -> str: ...
    @property
    def rows(self) -> int: ...
    @property
    def uniform_x(self) -> bool: ...
    @property
    def bad_points(self) -> bool: ...
    @property
    def runs(self) -> list[str]: ...
    @property
    def path(self) -> str: ...
    def __getitem__(self, name: str) -> npt.NDArray[np.float64]: ...
    def __len__(self) -> int: ...
    def __contains__(self, name: str) -> bool: ...
    def valid(self, name: str) -> npt.NDArray[np.bool_]: ...
    def run(self, k: int) -> "Result": ...
    def to_pandas(self) -> Any: ...

def open(path: Union[str, "PathLike[str]"], plot: int | None = ...) -> Result: ...
def measure(
    source: Source,
    name: str,
    *,
    start: float | None = ...,
    end: float | None = ...,
    at: Iterable[float] | None = ...,
    cycles: bool = ...,
    ref: str | None = ...,
    level: float | None = ...,
    hysteresis: float | None = ...,
    edges: bool = ...,
    low: float | None = ...,
    high: float | None = ...,
    dead: str | None = ...,
    margins: bool = ...,
    phase: str | None = ...,
    figures: Iterable[str] | None = ...,
    other: str | None = ...,
    run: int | None = ...,
) -> dict[str, Any]: ...
def fft(
    source: Source,
    name: str,
    *,
    start: float | None = ...,
    end: float | None = ...,
    window: str | None = ...,
    run: int | None = ...,
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
def thd(
    source: Source,
    name: str,
    *,
    start: float | None = ...,
    end: float | None = ...,
    window: str | None = ...,
    fundamental: float | None = ...,
    run: int | None = ...,
) -> dict[str, Any]: ...
def set_threads(count: int) -> None: ...
def catalogue() -> list[dict[str, Any]]: ...
def eval(source: Source, formula: str, *, run: int | None = ...) -> npt.NDArray[np.float64]: ...
def meas(
    source: Source, script: Union[str, "PathLike[str]"], *, run: int | None = ...
) -> dict[str, Any]: ...
def meas_frame(
    source: Source, script: Union[str, "PathLike[str]"], *, run: int | None = ...
) -> Any: ...
def render(
    source: Source,
    out: Union[str, "PathLike[str]"],
    screens: Sequence[Union[str, Sequence[str]]] | None = ...,
    size: tuple[int, int] = ...,
    *,
    start: float | None = ...,
    end: float | None = ...,
    ylog: bool = ...,
    spectra: bool = ...,
    run: int | None = ...,
) -> None: ...
