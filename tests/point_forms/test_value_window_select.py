"""The value-range subset form: rows, the pick hook, the request and its real-or-none limits."""
import math
import types

import pytest

from dorar.widgets import quickform
from dorar.gopoint.new import value_window_select as V
from formkit import reading_subclass
from pointkit import Recorder, make, one_of_each_kind, pickable, point_set, rows, translator  # noqa: F401


def items(combobox):
    return [combobox.itemText(i) for i in range(combobox.count())]


def texts(d):
    return (d.grabob.lineedit.edit.text(), d.newPoint.edit.text(), d.prop.combobox.currentText(),
            d.vmin.edit.text(), d.vmax.edit.text())


def test_rows_in_order_start_empty(translator, make):
    d = make(V)
    assert rows(d)[:5] == [d.grabob, d.newPoint, d.prop, d.vmin, d.vmax]
    assert [r.label.text() for r in rows(d)[:5]] == ["<Input Point>", "<Output Point>", "<Property>",
                                                     "<Minimum value>", "<Maximum value>"]
    assert texts(d)[1:] == ("", "", "", "") and d.prop.combobox.count() == 0
    assert d.grabob.geom == ["Point"] and pickable(d.grabob) == ["pts"]


def test_untouched_form_asks_with_open_window(make):
    d = make(V)
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("", "", "", None, None)]


def test_pick_names_the_output_and_lists_the_properties(make):
    d = make(V)
    d.grabob.pick(point_set("wells", ["Z", "poro", "perm"], current="poro"))
    assert d.newPoint.edit.text() == "wells_pt"
    assert items(d.prop.combobox) == ["Z", "poro", "perm"] and d.prop.combobox.currentText() == "poro"
    d.vmin.edit.setText("0.1")
    d.newPoint.edit.setText("typed before")
    d.grabob.pick(point_set("tops", ["depth"], current="depth"))      # a new pick rebuilds both
    assert texts(d) == ("tops", "tops_pt", "depth", "0.1", "")
    assert items(d.prop.combobox) == ["depth"]
    d.newPoint.edit.setText("kept")
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("tops", "kept", "depth", 0.1, None)]


def test_pick_reads_the_object_before_the_combo_box(make):
    reads = []
    Rec = reading_subclass(V.Dialog, ("object", "prop"), reads)
    d = make(types.SimpleNamespace(Dialog=Rec))
    d.object = point_set("wells", ["Z"], current="Z")
    reads.clear()
    d.load_object()
    assert reads == ["object", "prop"]


def test_the_request_goes_out_once_per_press(make):
    d = make(V)
    d.grabob.pick(point_set("wells", ["poro"]))
    d.vmax.edit.setText("0.3")
    rec = Recorder(d.sig_start)
    row = rows(d)[-1]
    row.apply_button.click()
    row.apply_button.click()
    assert rec.calls == [("wells", "wells_pt", "poro", None, 0.3)] * 2
    assert texts(d) == ("wells", "wells_pt", "poro", "", "0.3")       # apply leaves the fields alone


@pytest.mark.parametrize("text,value", [
    ("", None), ("   ", None), ("\t \n", None),
    (" 2.5 ", 2.5), ("1e3", 1000.0), ("-inf", -math.inf), ("Infinity", math.inf), ("+7", 7.0),
    ("3", 3.0), ("-0.25", -0.25)])
def test_each_limit_is_a_real_or_none(make, text, value):
    d = make(V)
    d.vmin.edit.setText(text)
    d.vmax.edit.setText(text)
    rec = Recorder(d.sig_start)
    d.apply()
    (_, _, _, vmin, vmax), = rec.calls
    for got in (vmin, vmax):
        assert got == value and type(got) is type(value)      # a real, never an int or a text


def test_nan_limit_and_reversed_window_go_out_unchanged(make):
    d = make(V)
    d.vmin.edit.setText("NaN")
    d.vmax.edit.setText("5")
    rec = Recorder(d.sig_start)
    d.apply()
    assert math.isnan(rec.last[3]) and rec.last[4] == 5.0
    d.vmin.edit.setText("9")
    d.apply()
    assert rec.last[3:] == (9.0, 5.0)


def test_names_go_out_with_their_blanks(make):
    d = make(V)
    d.grabob.pick(point_set("wells", [" poro "]))
    d.newPoint.edit.setText("  out  ")
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("wells", "  out  ", " poro ", None, None)]


@pytest.mark.parametrize("vmin,vmax,bad", [("abc", "1", "abc"), ("1,5", "2", "1,5"), ("1", "2..", "2..")])
def test_a_limit_that_is_not_a_number_fails_and_nothing_is_sent(make, vmin, vmax, bad):
    d = make(V)
    d.grabob.pick(point_set("wells", ["poro"]))
    d.vmin.edit.setText(vmin)
    d.vmax.edit.setText(vmax)
    before = texts(d)
    rec = Recorder(d.sig_start)
    with pytest.raises(ValueError, match="could not convert string to float: '%s'" % bad.replace(".", r"\.")):
        d.apply()
    assert rec.calls == [] and texts(d) == before
    (d.vmin if bad == vmin else d.vmax).edit.setText("0")
    d.apply()
    limits = (0.0, float(vmax)) if bad == vmin else (float(vmin), 0.0)
    assert rec.calls == [("wells", "wells_pt", "poro") + limits]


def test_the_minimum_fails_first(make):
    d = make(V)
    d.vmin.edit.setText("low")
    d.vmax.edit.setText("high")
    with pytest.raises(ValueError, match="'low'"):
        d.apply()


def test_a_point_set_without_a_current_property_is_pickable(make):
    d = make(V)
    d.grabob.pick(point_set("fresh"))                 # no property at all
    assert d.newPoint.edit.text() == "fresh_pt" and d.prop.combobox.count() == 0
    d.object = point_set("odd", ["a", "b"], current=None)
    d.load_object()
    assert items(d.prop.combobox) == ["a", "b"] and d.prop.combobox.currentText() == "a"


def test_a_stale_current_property_fails_after_the_form_is_filled(make):
    d = make(V)
    d.grabob.pick(point_set("wells", ["poro"]))
    d.object = point_set("other", ["a", "b"], current="gone")
    with pytest.raises(ValueError, match="'gone' is not in list"):
        d.load_object()
    assert d.newPoint.edit.text() == "wells_pt"              # the picker still shows wells
    assert items(d.prop.combobox) == ["a", "b"]


def test_an_object_without_properties_fails_with_attribute_error(make, monkeypatch):
    monkeypatch.setattr(quickform, "REPORTED", [])
    d = make(V)

    class Bare:
        geometry_type = "Point"
        name = "bare"
    d.grabob.pick(Bare())                             # the base reports what load_object raised
    assert [(w, type(e).__name__) for w, e in quickform.REPORTED] == [("load_object", "AttributeError")]
    assert "prop" in str(quickform.REPORTED[0][1]) and d.newPoint.edit.text() == "bare_pt"
