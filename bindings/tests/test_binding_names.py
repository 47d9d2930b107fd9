"""Each binding declares exactly the exports of src/api/exports.list, with
their argument counts, and so does the public header: an export added or
removed in one place only fails here. The Pascal unit's buffer sizes are
the header's."""

import importlib.util
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def export_list():
    rows = {}
    for line in (ROOT / "src/api/exports.list").read_text().splitlines():
        if line and line[0].isalpha():
            name, count = line.split()
            rows[name] = int(count)
    return rows


def count_c(arguments):
    arguments = arguments.strip()
    return 0 if arguments in ("", "void") else arguments.count(",") + 1


def header():
    text = (ROOT / "include/VqhwLib.h").read_text()
    return {name: count_c(arguments) for name, arguments in
            re.findall(r"VQHW_API\s+int32_t\s+VQHW_CALL\s+(\w+)\s*\(([^)]*)\)", text)}


def python():
    loader_spec = importlib.util.spec_from_file_location("exports", ROOT / "bindings/python/vqhw/_exports.py")
    module = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(module)
    return {name: len(arguments) for name, arguments in module.EXPORTS.items()}


def dotnet():
    text = (ROOT / "bindings/dotnet/VqhwLib.cs").read_text()
    declared = {}
    for name, arguments in re.findall(r"\[DllImport\([^\n]*\]\s*public static extern int (\w+)\((.*?)\);", text, re.S):
        declared[name] = count_c(re.sub(r"\[[^\]]*\]", "", arguments))
    return declared


def pascal():
    text = (ROOT / "bindings/pascal/VqhwLib.pas").read_text()
    declared = {}
    for parameters, name in re.findall(
            r"^function \w+(?:\(([^)]*)\))?\s*:\s*TVqhwInt;[^\n]*external VqhwLibName name '(\w+)';", text, re.M):
        groups = [group.split(":")[0] for group in parameters.split(";")] if parameters else []
        declared[name] = sum(len(group.split(",")) for group in groups)
    return declared


def java():
    text = (ROOT / "bindings/java/src/main/java/org/vqhwlib/VqhwLibrary.java").read_text()
    return {name: count_c(arguments) for name, arguments in re.findall(r"^    int (\w+)\(([^)]*)\);", text, re.M)}


def differences(expected, declared):
    """What the declarations get wrong against the export list, one line each."""
    lines = [f"{name}: missing" for name in expected if name not in declared]
    lines += [f"{name}: not in the export list" for name in declared if name not in expected]
    lines += [f"{name}: {declared[name]} arguments, the list says {count}"
              for name, count in expected.items() if name in declared and declared[name] != count]
    return lines


@pytest.mark.parametrize("declarations", [header, python, dotnet, pascal, java])
def test_declarations_match_the_export_list(declarations):
    expected = export_list()
    assert len(expected) == 47
    assert differences(expected, declarations()) == []


def test_a_change_in_one_place_only_is_caught():
    expected = export_list()
    added = {**expected, "newexport": 1}
    removed = {name: count for name, count in expected.items() if name != "hextodec"}
    recounted = {**expected, "readfile": 4}
    for declarations in (python, dotnet, pascal, java):
        declared = declarations()
        assert differences(added, declared) == ["newexport: missing"]
        assert differences(removed, declared) == ["hextodec: not in the export list"]
        assert differences(recounted, declared) == ["readfile: 5 arguments, the list says 4"]


def test_the_pascal_unit_has_the_headers_buffer_sizes():
    sizes = dict(re.findall(r"^#define (VQHW_\w+_SIZE) (\d+)$", (ROOT / "include/VqhwLib.h").read_text(), re.M))
    unit = dict(re.findall(r"^  (VQHW_\w+_SIZE) = (\d+);", (ROOT / "bindings/pascal/VqhwLib.pas").read_text(), re.M))
    assert len(sizes) >= 13
    assert unit == sizes
