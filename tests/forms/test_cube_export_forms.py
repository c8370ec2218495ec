"""Cube export to a parameter file and to a Voxet file."""
import types

import pytest

from dorar.gocube.cube import Cube
from dorar.gocube.expt import parms, voxet
from formkit import Recorder, make, reading_subclass, rows, translator  # noqa: F401 (fixtures)


def cube(name, props=(), current=None):
    c = Cube(name)
    for p in props:
        c.prop[p] = {}
    c.current_property = current
    return c


def items(combobox):
    return [combobox.itemText(i) for i in range(combobox.count())]


def test_parms_rows_and_apply_before_any_pick(make):
    d = make(parms)
    assert rows(d)[:3] == [d.grabob, d.property, d.file] and type(rows(d)[3]).__name__ == "ActionRow"
    assert d.grabob.geom == ["Cube"] and d.property.combobox.minimumContentsLength() == 20
    assert d.file.new and d.file.filters is None
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("", "", "")]


def test_parms_pick_lists_properties_and_selects_the_current(make):
    d = make(parms)
    d.grabob.pick(cube("c1", ["A", "B"], current="B"))
    assert items(d.property.combobox) == ["A", "B"] and d.property.combobox.currentText() == "B"
    d.file.lineedit.edit.setText("/tmp/out.parms")
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("c1", "B", "/tmp/out.parms")]
    d.grabob.pick(cube("c2", ["C"], current="C"))
    assert items(d.property.combobox) == ["C"]


def test_parms_current_property(make):
    d = make(parms)
    # A cube that has no current property yet is a normal state: the first name stays selected.
    d.object = cube("c1", ["A", "B"], current=None)
    d.load_object()
    assert d.property.combobox.currentText() == "A"
    d.object = cube("empty")
    d.load_object()
    assert d.property.combobox.count() == 0
    # A current property that the cube does not hold is an error.
    d.object = cube("c2", ["A", "B"], current="gone")
    with pytest.raises(ValueError, match="'gone' is not in list"):
        d.load_object()
    assert items(d.property.combobox) == ["A", "B"]


def test_parms_pick_reads_the_cube_before_the_combo_box(make):
    reads = []
    Rec = reading_subclass(parms.Dialog, ("object", "property"), reads)
    d = make(types.SimpleNamespace(Dialog=Rec))
    d.object = cube("c1", ["A"], current="A")
    reads.clear()
    d.load_object()
    assert reads == ["object", "property"]


def test_voxet_rows_and_translated_hint(translator, make):
    d = make(voxet)
    assert rows(d)[:3] == [d.grabob, d.properties, d.file] and type(rows(d)[3]).__name__ == "ActionRow"
    assert d.file.new and d.file.filters is None and not hasattr(d, "load_object")
    assert translator[-4:] == ["Output cube", "Properties", "properties seperated by comma", "Voxet name"]
    assert d.properties.edit.text() == "<properties seperated by comma>"


@pytest.mark.parametrize("typed", [None, "amp, phase, ", ""])
def test_voxet_sends_the_list_as_it_stands(make, typed):
    d = make(voxet)
    if typed is not None:
        d.properties.edit.setText(typed)
    d.grabob.pick(cube("c1", ["amp"], current="amp"))     # a pick leaves the list alone
    d.file.lineedit.edit.setText("v.vo")
    rec = Recorder(d.sig_start)
    d.apply()
    d.apply()
    sent = "properties seperated by comma" if typed is None else typed
    assert rec.calls == [("c1", sent, "v.vo")] * 2
