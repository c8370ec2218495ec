"""The line-number form: object picker of vertex-based kinds and two property names."""
import pytest

from dorar.gopoint.edit import grid_labelling as G
from pointkit import Recorder, make, one_of_each_kind, pickable, rows, translator  # noqa: F401 (fixtures)


def test_rows_defaults_and_untouched_request(make):
    d = make(G)
    assert rows(d)[:3] == [d.leObject, d.propi, d.propj] and len(rows(d)) == 4
    assert (d.propi.edit.text(), d.propj.edit.text()) == ("ILINE_NO", "XLINE_NO")
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("", "ILINE_NO", "XLINE_NO")]


def test_defaults_are_translated(translator, make):
    d = make(G)
    assert [r.label.text() for r in rows(d)[:3]] == ["<Object>", "<Property I>", "<Property J>"]
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("", "<ILINE_NO>", "<XLINE_NO>")]


def test_picker_takes_vertex_objects_only_and_its_own_kind_list(make):
    d, other = make(G), make(G)
    assert d.leObject.geom == ["Point", "Line", "Tsurface", "Gsurface"]
    assert pickable(d.leObject) == ["pts", "ln", "ts", "gs"]          # no Label, no Cube
    d.leObject.geom.append("Cube")                                     # one form's list is its own
    assert other.leObject.geom == ["Point", "Line", "Tsurface", "Gsurface"]


@pytest.mark.parametrize("pi,pj", [(" IL ", "XL "), ("", ""), ("same", "same")])
def test_names_go_out_as_typed_once_per_press(make, pi, pj):
    d = make(G)
    d.leObject.pick(one_of_each_kind()["ts"])
    d.propi.edit.setText(pi)
    d.propj.edit.setText(pj)
    rec = Recorder(d.sig_start)
    rows(d)[-1].apply_button.click()
    rows(d)[-1].apply_button.click()
    assert rec.calls == [("ts", pi, pj)] * 2
