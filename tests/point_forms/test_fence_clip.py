"""The polygon selection form: a point picker, a line picker, the point set named first."""
from dorar.gopoint.edit import fence_clip as F
from pointkit import Recorder, make, one_of_each_kind, pickable, rows, translator  # noqa: F401 (fixtures)


def test_rows_and_untouched_request(translator, make):
    d = make(F)
    assert rows(d)[:2] == [d.grabPoint, d.grabLine] and len(rows(d)) == 3
    assert [r.label.text() for r in rows(d)[:2]] == ["<Input Point>", "<Polygon>"]
    assert (d.grabPoint.geom, d.grabLine.geom) == (["Point"], ["Line"])
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("", "")]


def test_each_picker_takes_its_own_kind(make):
    d = make(F)
    assert pickable(d.grabPoint) == ["pts"] and pickable(d.grabLine) == ["ln"]


def test_point_set_goes_first_whatever_the_pick_order(make):
    d = make(F)
    objects = one_of_each_kind()
    d.grabLine.pick(objects["ln"])
    d.grabPoint.pick(objects["pts"])
    rec = Recorder(d.sig_start)
    rows(d)[-1].apply_button.click()
    d.apply()
    assert rec.calls == [("pts", "ln")] * 2 and d.object is objects["pts"]
