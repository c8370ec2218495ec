"""Survey creation: survey geometry maps from points, corners and volume indexes."""
import pytest

from dorar.gosurvey.new import new
from dorar.gosurvey.survey import Survey

KEYS = ["P1_ILNO", "P1_XLNO", "P1_CRSX", "P1_CRSY", "P2_ILNO", "P2_XLNO", "P2_CRSX", "P2_CRSY",
        "P3_ILNO", "P3_XLNO", "P3_CRSX", "P3_CRSY"]
DEFAULT = [1, 1, 0.0, 0.0, 1, 11, 0.0, 10.0, 11, 1, 10.0, 0.0]


def items(sgmt):
    return list(sgmt.items())


class Recorder(Survey):
    """A host survey that records the calls made on it."""
    made = []

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.calls = [("__init__", args, kwargs)]
        Recorder.made.append(self)

    def set_geometry(self, *args, **kwargs):
        self.calls.append(("set_geometry", args, kwargs))
        super().set_geometry(*args, **kwargs)

    def initialize(self, *args, **kwargs):
        self.calls.append(("initialize", args, kwargs))
        super().initialize(*args, **kwargs)


@pytest.fixture
def recorder(monkeypatch):
    Recorder.made = []
    monkeypatch.setattr(new, "Survey", Recorder)
    return Recorder


def test_default_points_in_key_order():
    sgmt = new.new_sgmt_from_points()
    assert items(sgmt) == list(zip(KEYS, DEFAULT))
    assert [type(v) for v in sgmt.values()] == [type(v) for v in DEFAULT]
    assert items(new.new_sgmt_from_points(None, None, None)) == items(sgmt)


def test_points_replace_defaults_independently():
    only_p2 = new.new_sgmt_from_points(p2=[3, 7, 1.5, 2.5])
    assert list(only_p2.values()) == DEFAULT[:4] + [3, 7, 1.5, 2.5] + DEFAULT[8:]
    # lists, tuples and longer sequences read the same way; items keep their own types
    as_list = new.new_sgmt_from_points([5, 6, 7, 8], (9, 10, "x", None, "ignored"), range(4))
    assert list(as_list.values()) == [5, 6, 7, 8, 9, 10, "x", None, 0, 1, 2, 3]
    # each call builds a new map
    first = new.new_sgmt_from_points()
    first["P1_ILNO"] = 999
    assert new.new_sgmt_from_points()["P1_ILNO"] == 1


def test_bad_points_fail_where_read():
    with pytest.raises(IndexError):
        new.new_sgmt_from_points((1, 2, 3))
    with pytest.raises(TypeError):
        new.new_sgmt_from_points(5)
    with pytest.raises(TypeError):
        new.new_sgmt_from_points(p4=(1, 2, 3, 4))


def test_survey_from_sgmt_calls_host_in_order(recorder):
    sgmt = new.new_sgmt_from_points()
    survey = new.new_survey_from_sgmt(sgmt)
    assert survey is recorder.made[0] and len(recorder.made) == 1
    assert survey.name == "DEFAULT"
    assert survey.calls == [("__init__", ("DEFAULT",), {}), ("set_geometry", (sgmt,), {}),
                            ("initialize", (), {})]
    assert survey.calls[1][1][0] is sgmt  # the map itself, not a copy
    assert new.new_survey_from_sgmt(dict_sgmt=sgmt, name="S").name == "S"


def test_survey_from_points_and_grid_index(recorder):
    assert list(new.new_survey_from_points().dict_sgmt.values()) == DEFAULT
    assert new.new_survey_from_points(p3=(4, 1, 9.0, 9.0)).dict_sgmt["P3_ILNO"] == 4
    vidx = {"IL_FRST": 100, "IL_LAST": 200, "IL_NCRT": 1, "XL_FRST": 10, "XL_LAST": 50}
    survey = new.new_survey_of_grid_index(vidx)
    assert survey.name == "DEFAULT"
    assert list(survey.dict_sgmt.values()) == [100, 10, 0.0, 0.0, 100, 50, 0.0, 10.0, 200, 10, 10.0, 0.0]
    xys = [1, 2, 3, 4, 5, 6]
    assert list(new.new_survey_of_grid_index(vidx, xys=xys).dict_sgmt.values()) == \
        [100, 10, 1, 2, 100, 50, 3, 4, 200, 10, 5, 6]
    assert all(s.initialized for s in recorder.made)


def test_grid_index_missing_entries():
    with pytest.raises(KeyError) as e:
        new.new_survey_of_grid_index({"IL_FRST": 1, "XL_FRST": 1, "IL_LAST": 5})
    assert e.value.args == ("XL_LAST",)
    with pytest.raises(IndexError):
        new.new_survey_of_grid_index({"IL_FRST": 1, "XL_FRST": 1, "XL_LAST": 3, "IL_LAST": 5}, (0, 0, 0, 0, 0))


def test_from_coord(recorder):
    survey = new.from_coord("north", 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 5, 9, 20, 30)
    assert survey.name == "north"
    assert list(survey.dict_sgmt.values()) == [5, 20, 1.0, 2.0, 5, 30, 3.0, 4.0, 9, 20, 5.0, 6.0]
    by_keyword = new.from_coord(name="k", xOrigin=1, yOrigin=2, xInlineEnd=3, yInlineEnd=4, xCrosslineEnd=5,
                                yCrosslineEnd=6, ilMin=5, ilMax=9, xlMin=20, xlMax=30)
    assert list(by_keyword.dict_sgmt.values()) == [5, 20, 1, 2, 5, 30, 3, 4, 9, 20, 5, 6]
    with pytest.raises(TypeError):
        new.from_coord("short", 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 5, 9, 20)


def test_host_failure_propagates(monkeypatch):
    class Broken(Survey):
        def initialize(self):
            raise RuntimeError("no grid")
    monkeypatch.setattr(new, "Survey", Broken)
    with pytest.raises(RuntimeError, match="no grid"):
        new.new_survey_from_points()
