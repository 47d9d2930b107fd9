"""pytest fixtures that give each test its own virtual reader.

Enable them in a conftest.py:

    pytest_plugins = ["vqhw.pytest_plugin"]

then choose the field (and fault modes) with the ``vqhw_sim`` mark:

    @pytest.mark.vqhw_sim(field="lane.json")
    def test_entry(vqhw_reader):
        assert vqhw_reader.open_card().is_mifare_one

``virtual_reader`` is the running VirtualReader (its ``port``), for lane
code that opens the reader itself; ``vqhw_reader`` is a Reader already
open on it. The mark takes VirtualReader's arguments. Without a mark the
field is empty (a PSAM, no card), while a bare ``vqhw-sim`` holds a card.
"""

from __future__ import annotations

from typing import Iterator

import pytest

from .reader import Reader
from .sim import VirtualReader


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers", "vqhw_sim(field=None, **options): the virtual reader's field and fault modes")


@pytest.fixture
def virtual_reader(request: pytest.FixtureRequest) -> Iterator[VirtualReader]:
    mark = request.node.get_closest_marker("vqhw_sim")
    options = dict(mark.kwargs) if mark is not None else {}
    if mark is not None and mark.args:
        options.setdefault("field", mark.args[0])
    with VirtualReader(**options) as sim:
        yield sim


@pytest.fixture
def vqhw_reader(virtual_reader: VirtualReader) -> Iterator[Reader]:
    with Reader(virtual_reader.port) as reader:
        yield reader
