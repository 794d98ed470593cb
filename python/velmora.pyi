"""Rewrite text with a dictionary of (before, after) pairs, as Velmora does."""

import os
from typing import Iterable, Mapping, Tuple, TypeVar, Union, overload

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_T = TypeVar("_T")

class Replacer:
    """A dictionary compiled for replacing; never changed once made, shared by threads, picklable."""

    def __init__(self, pairs: Union[Iterable[Tuple[str, str]], Mapping[str, str]]) -> None:
        """From (before, after) pairs or a mapping, joined as the window's Register joins them; NUL raises ValueError."""
    @staticmethod
    def from_files(*paths: _Path) -> Replacer:
        """Dictionary files (UTF-16LE with FF FE, UTF-8 or compiled) read as velmora-replace -d reads them, in order."""
    def replace(self, text: str, *, gloss: bool = False) -> str:
        """The text rewritten; with gloss=True each match is kept and followed by "[after-string]"."""
    def counts(self, text: str) -> dict[str, int]:
        """How many times replace(text) replaces each before-string, in the order of first match."""
    def find(self, text: str) -> list[tuple[int, int, str, str]]:
        """(start, end, before, after) of each match replace(text) makes, in order; indices into text."""
    @overload
    def get(self, before: str) -> str | None: ...
    @overload
    def get(self, before: str, default: _T) -> str | _T: ...
    def items(self) -> list[tuple[str, str]]:
        """The pairs, in the order save() writes them."""
    def save(self, path: _Path) -> None:
        """Writes the dictionary as a compiled dictionary file, atomically."""
    def __contains__(self, before: object) -> bool:
        """Whether before is one of the before-strings."""
    def __len__(self) -> int:
        """The number of before-strings that have an after-string."""
