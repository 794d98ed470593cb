"""Rewrite text with a dictionary of (before, after) pairs, as Velmora does."""

import os
from typing import Iterable, Tuple, Union

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

class Replacer:
    """A dictionary compiled for replacing; never changed once made, shared by threads, picklable."""

    def __init__(self, pairs: Iterable[Tuple[str, str]]) -> None:
        """From (before, after) pairs, joined as the window's Register joins them."""
    @staticmethod
    def from_files(*paths: _Path) -> Replacer:
        """Dictionary files (UTF-16LE with FF FE, UTF-8 or compiled) read as velmora-replace -d reads them, in order."""
    def replace(self, text: str, *, gloss: bool = False) -> str:
        """The text rewritten; with gloss=True each match is kept and followed by "[after-string]"."""
    def counts(self, text: str) -> dict[str, int]:
        """How many times replace(text) replaces each before-string, in the order of first match."""
    def save(self, path: _Path) -> None:
        """Writes the dictionary as a compiled dictionary file, atomically."""
    def __len__(self) -> int:
        """The number of before-strings that have an after-string."""
