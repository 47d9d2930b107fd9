import pathlib

import pytest

pytest_plugins = ["vqhw.pytest_plugin"]

EXAMPLES = pathlib.Path(__file__).resolve().parents[3] / "sim" / "examples"


@pytest.fixture
def examples() -> pathlib.Path:
    return EXAMPLES
