"""Information tables of the four geometry dictionaries."""
import math

import pytest

from conftest import run_python

from dorar.gocube import geometry_facts as gf

VXYZ = {"AXIS_ORX": 0, "AXIS_ORY": 0, "AXIS_ORZ": 0,
        "AXIS_ILX": 300, "AXIS_ILY": 400, "AXIS_ILZ": 0,
        "AXIS_XLX": -400, "AXIS_XLY": 300, "AXIS_XLZ": 0,
        "AXIS_DPX": 0, "AXIS_DPY": 0, "AXIS_DPZ": 2000}

VIDX = {"IL_FRST": 100, "IL_LAST": 120, "IL_NCRT": 2, "IL_AMNT": 11,
        "XL_FRST": 5, "XL_LAST": 9, "XL_NCRT": 1, "XL_AMNT": 5,
        "DP_FRST": 0.0, "DP_LAST": 2.0, "DP_NCRT": 0.5, "DP_AMNT": 5}

SGMT = {"P1_ILNO": 10, "P1_XLNO": 3, "P1_CRSX": 1000.5, "P1_CRSY": 2000.25,
        "P2_ILNO": 10, "P2_XLNO": 50, "P2_CRSX": 1000.5, "P2_CRSY": 2490.25,
        "P3_ILNO": 80, "P3_XLNO": 3, "P3_CRSX": 1790.5, "P3_CRSY": 2000.25}

PARM = {"PANEL_INC": 12.5, "PANEL_UNIT": "m", "PNDX": 12.5, "PNDY": 0.0,
        "TRACE_INC": 25.0, "TRACE_UNIT": "m", "TRDX": 0.0, "TRDY": 25.0,
        "SAMPLE_INC": 4, "SAMPLE_UNIT": "ms", "DATA_VEL_TYPE": "seismic"}


@pytest.fixture
def host(monkeypatch):
    """Records what reaches the host's translation and table maker."""
    calls = []
    result = object()

    def translate(text):
        calls.append(("_", text))
        return "T(" + text + ")"

    def list2table(*args, **kwargs):
        calls.append(("list2table", args, kwargs))
        return result

    monkeypatch.setattr(gf, "_", translate)
    monkeypatch.setattr(gf, "list2table", list2table)
    return calls, result


def table_of(host, call, arg, title):
    calls, result = host
    assert call(arg) is result
    assert calls[0] == ("_", title)
    name, args, kwargs = calls[1]
    assert name == "list2table" and len(args) == 2 and kwargs == {"tableName": "T(" + title + ")"}
    return args


def typed(rows):
    return [[(type(v), v) for v in row] for row in rows]


def test_vidx_table_places_values_unchanged(host):
    rows, cols = table_of(host, gf.dict_vidx_table, VIDX, "Cube physical index")
    assert cols == ["Axis", "First", "Last", "Increment", "Amount"]
    assert typed(rows) == typed([["iline", 100, 120, 2, 11], ["xline", 5, 9, 1, 5],
                                 ["depth", 0.0, 2.0, 0.5, 5]])


def test_vxyz_table_lengths_and_fourth_corner(host):
    rows, cols = table_of(host, gf.dict_vxyz_table, VXYZ, "Cube corner coordinate")
    assert cols == ["Axis", "X", "Y", "Z", "Length"]
    assert [r[0] for r in rows] == ["origin", "iline", "xline", "diagonal", "depth"]
    assert typed(rows[:3]) == typed([["origin", 0, 0, 0, 0.0], ["iline", 300, 400, 0, 500.0],
                                     ["xline", -400, 300, 0, 500.0]])
    assert typed([rows[3][:4]]) == typed([["diagonal", -100, 700, 0]])
    assert rows[3][4] == math.sqrt(500000) and type(rows[3][4]) is float
    # the depth length is a signed integer difference, not a distance
    assert typed([rows[4]]) == typed([["depth", 0, 0, 2000, 2000]])


@pytest.mark.parametrize("change, row, col, expected", [
    ({"AXIS_DPZ": -1500}, 4, 4, -1500),                       # negative depth length
    ({"AXIS_ORZ": 100, "AXIS_DPZ": 900}, 3, 3, 100),          # diagonal Z is the origin's Z
    ({"AXIS_ILX": 0, "AXIS_ILY": 0, "AXIS_ILZ": 50}, 1, 4, 0.0),  # only map X, Y make a length
])
def test_vxyz_table_edges(host, change, row, col, expected):
    rows, _ = table_of(host, gf.dict_vxyz_table, dict(VXYZ, **change), "Cube corner coordinate")
    assert rows[row][col] == expected and type(rows[row][col]) is type(expected)


def test_sgmt_and_parm_tables(host):
    rows, cols = table_of(host, gf.dict_sgmt_table, SGMT, "Survey geometry")
    assert cols == ["Corner", "ILNO", "XLNO", "X", "Y"]
    assert typed(rows) == typed([["Point A", 10, 3, 1000.5, 2000.25], ["Point B", 10, 50, 1000.5, 2490.25],
                                 ["Point C", 80, 3, 1790.5, 2000.25]])
    host[0].clear()
    parm = dict(PARM)
    del parm["DATA_VEL_TYPE"]                                  # neither read nor needed
    rows, cols = table_of(host, gf.dict_parm_table, parm, "ZAZ binary cube parameters")
    assert cols == ["Name", "Axis", "Step", "Unit", "DeltaX", "DeltaY"]
    assert typed(rows) == typed([["PANEL", "iline", 12.5, "m", 12.5, 0.0],
                                 ["TRACE", "xline", 25.0, "m", 0.0, 25.0],
                                 ["SAMPLE", "depth", 4, "ms", 0, 0]])


def test_missing_entry_fails_before_the_host_is_called(host):
    calls, _ = host
    parm = dict(PARM)
    del parm["PNDY"]
    with pytest.raises(KeyError, match="PNDY"):
        gf.dict_parm_table(parm)
    with pytest.raises(TypeError):                              # corner arithmetic on text
        gf.dict_vxyz_table(dict(VXYZ, AXIS_ILX="300"))
    assert calls == []


def test_corner_entries_are_read_in_computation_then_row_order(host):
    reads = []

    class Recording(dict):
        def __getitem__(self, key):
            reads.append(key[5:])
            return dict.__getitem__(self, key)

    gf.dict_vxyz_table(Recording(VXYZ))
    assert reads == ["ILX", "ORX", "ILY", "ORY", "XLX", "ORX", "XLY", "ORY", "DPZ", "ORZ",
                     "ILX", "XLX", "ORX", "ILY", "XLY", "ORY", "ORZ", "ORX", "ORY",
                     "ORX", "ORY", "ORZ", "ILX", "ILY", "ILZ", "XLX", "XLY", "XLZ", "DPX", "DPY", "DPZ"]


@pytest.mark.parametrize("name", ["dict_vidx_table", "dict_vxyz_table", "dict_sgmt_table", "dict_parm_table"])
def test_one_positional_argument_only(name):
    f = getattr(gf, name)
    for args, kwargs in [((), {}), (({}, {}), {}), ((), {name[:9]: {}})]:
        with pytest.raises(TypeError):
            f(*args, **kwargs)


def test_host_table_widget(qapp):
    table = gf.dict_sgmt_table(SGMT)
    assert table.windowTitle() == "Survey geometry"
    assert (table.rowCount(), table.columnCount()) == (3, 5)
    assert [table.horizontalHeaderItem(c).text() for c in range(5)] == ["Corner", "ILNO", "XLNO", "X", "Y"]
    assert [table.item(2, c).text() for c in range(5)] == ["Point C", "80", "3", "1790.5", "2000.25"]


def test_failing_host_import_fails_the_module_import():
    r = run_python("import sys; sys.modules['dorar.widgets.list2table'] = None\n"
                   "try:\n    import dorar.gocube.geometry_facts\n"
                   "except ImportError as e:\n    print('ImportError', e.name)")
    assert r.stdout.strip() == "ImportError dorar.widgets.list2table", r.stderr
