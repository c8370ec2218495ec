"""The viewer aspect-ratio form: its rows, the method choice, the view state it shows, sigApply."""
import collections.abc
import gc
import weakref

import pytest
from qtpy.QtWidgets import QHBoxLayout, QRadioButton, QWidget

from dorar.dialogs import view_scaling as V
from viewerkit import Recorder, dialogs_of, make, rows, translator  # noqa: F401 (fixtures)


def method_row(d):
    box = rows(d)[0]
    assert isinstance(box, QHBoxLayout)
    return [box.itemAt(i).widget() for i in range(box.count())]


def checked(d):
    return [rb.isChecked() for rb in (d.rbAuto, d.rbEqual, d.rbFixed)]


def form_view(d):
    return d.method, checked(d), d.ratio.edit.text(), d.ratio.isEnabled()


class State(collections.abc.Mapping):
    """A view state that is no dict and records which entries are read."""

    def __init__(self, **entries):
        self.entries, self.read = entries, []

    def __getitem__(self, key):
        self.read.append(key)
        return self.entries[key]

    def __iter__(self):
        return iter(self.entries)

    def __len__(self):
        return len(self.entries)


def test_new_form_rows_and_first_requests(make):
    d = make(V)
    label, *buttons = method_row(d)
    assert label.text() == "Method" and buttons == [d.rbAuto, d.rbEqual, d.rbFixed]
    assert [b.text() for b in buttons] == ["Auto", "Equal", "Fixed"]
    assert all(isinstance(b, QRadioButton) for b in buttons)
    assert rows(d)[1] is d.ratio and type(rows(d)[2]).__name__ == "ActionRow"
    assert len(rows(d)) == 3 and d.rows() == ["Fixed ratio Y/X"]
    assert form_view(d) == ("Equal", [False, True, False], "1.0", False)
    rec = Recorder(d.sigApply)
    d.apply()
    d.apply()
    assert rec.calls == [("Equal", 1.0)] * 2 and type(rec.last[1]) is float
    assert form_view(d) == ("Equal", [False, True, False], "1.0", False)


def test_choosing_a_method(make):
    d = make(V)
    rec = Recorder(d.sigApply)
    d.rbFixed.setChecked(True)                     # exclusive: Equal is unchecked
    assert form_view(d) == ("Fixed", [False, False, True], "1.0", True)
    d.ratio.edit.setText("0.5")
    d.rbAuto.click()
    assert form_view(d) == ("Auto", [True, False, False], "0.5", False)
    d.apply()                                      # the ratio goes out whatever the method
    assert rec.calls == [("Auto", 0.5)]


@pytest.mark.parametrize("text,sent", [(" 2.5 ", 2.5), ("1e3", 1000.0), ("-4", -4.0), ("0", 0.0), ("inf", float("inf"))])
def test_ratio_is_read_as_the_interpreter_reads_a_real(make, text, sent):
    d = make(V)
    d.ratio.edit.setText(text)
    rec = Recorder(d.sigApply)
    d.apply()
    assert rec.calls == [("Equal", sent)]


@pytest.mark.parametrize("text", ["", "two", "1,5"])
def test_a_ratio_that_is_no_number_sends_nothing(make, text):
    d = make(V)
    d.rbFixed.setChecked(True)
    d.ratio.edit.setText(text)
    rec = Recorder(d.sigApply)
    with pytest.raises(ValueError, match="could not convert string to float"):
        d.apply()
    assert rec.calls == [] and form_view(d) == ("Fixed", [False, False, True], text, True)
    d.ratio.edit.setText("3")
    d.apply()
    assert rec.calls == [("Fixed", 3.0)]


@pytest.mark.parametrize("method,ratio,view,sent", [
    ("Fixed", 2.5, ("Fixed", [False, False, True], "2.5", True), ("Fixed", 2.5)),
    ("Fixed", 2, ("Fixed", [False, False, True], "2", True), ("Fixed", 2.0)),
    ("Fixed", 1.0, ("Fixed", [False, False, True], "1.0", True), ("Fixed", 1.0)),
    ("Auto", 3.0, ("Auto", [True, False, False], "1.0", False), ("Auto", 1.0)),
    ("Equal", 3.0, ("Equal", [False, True, False], "1.0", False), ("Equal", 1.0)),
])
def test_a_view_state_is_shown(make, method, ratio, view, sent):
    state = State(aspect_method=method, view_scaling=ratio, bgcolor=(1, 1, 1, 1))
    d = make(V, None, state)
    assert state.read == ["aspect_method", "view_scaling"]
    assert form_view(d) == view
    rec = Recorder(d.sigApply)
    d.apply()
    assert rec.calls == [sent]
    ref = weakref.ref(state)
    del state
    gc.collect()
    assert ref() is None                           # the form keeps no reference to the state


@pytest.mark.parametrize("state,error,message", [
    ({}, KeyError, "'aspect_method'"),               # an empty state is still a state
    ({"aspect_method": "Auto"}, KeyError, "'view_scaling'"),
    ({"view_scaling": 2.0}, KeyError, "'aspect_method'"),
    ({"aspect_method": "fixed", "view_scaling": 2.0}, ValueError, "^Unknown value$"),
    ({"aspect_method": "Fixe", "view_scaling": 2.0}, ValueError, "^Unknown value$"),
    ({"aspect_method": 1, "view_scaling": 2.0}, ValueError, "^Unknown value$"),
])
def test_a_bad_state_leaves_no_form_behind(qtbot, state, error, message):
    parent = QWidget()
    qtbot.addWidget(parent)
    with pytest.raises(error, match=message):
        V.Dialog(parent, state)
    assert dialogs_of(parent) == []                # the half-built form is not kept by the window
    kept = V.Dialog(parent=parent, state={"aspect_method": "Auto", "view_scaling": 1})
    assert dialogs_of(parent) == [kept] and kept.method == "Auto"


def test_load_state_failing_on_an_open_form_changes_nothing(make):
    d = make(V, state={"aspect_method": "Fixed", "view_scaling": 4.0})
    before = form_view(d)
    for bad in ({"aspect_method": "Auto"}, {"aspect_method": "AUTO", "view_scaling": 9.0}):
        with pytest.raises((KeyError, ValueError)):
            d.load_state(bad)
        assert form_view(d) == before
    d.load_state({"aspect_method": "Fixed", "view_scaling": 0.25})   # already Fixed: new ratio shown
    assert form_view(d) == ("Fixed", [False, False, True], "0.25", True)


def test_set_method(make):
    d = make(V)
    d.set_method(d.rbFixed)                        # not checked: the call of an unchecked button
    assert d.method == "Equal"
    stranger = QRadioButton("Diagonal")
    stranger.setChecked(True)
    with pytest.raises(ValueError, match="^unknown value Diagonal$"):
        d.set_method(stranger)
    assert form_view(d) == ("Equal", [False, True, False], "1.0", False)


def test_set_method_knows_another_button_by_its_label(translator, make):
    d = make(V)
    fixed, auto = QRadioButton("<Fixed>"), QRadioButton("<Auto>")
    for rb in (fixed, auto):
        rb.setChecked(True)
    del translator[:]
    d.set_method(fixed)
    assert translator == ["Auto", "Equal", "Fixed"]
    assert d.method == "Fixed" and d.ratio.isEnabled()
    del translator[:]
    d.set_method(rb=auto)                          # the first equal translation decides
    assert d.method == "Auto" and translator == ["Auto"]
    with pytest.raises(ValueError, match="^unknown value Fixed$"):      # untranslated text
        d.set_method(QRadioButton("Fixed", checked=True))
    assert d.method == "Auto"


def test_translated_labels_send_the_english_words(translator, make, qtbot):
    d = make(V, state={"aspect_method": "Fixed", "view_scaling": 1.5})
    # setup_page, then set_method as Equal and as Fixed are checked: each label translated anew
    assert translator == ["Method", "Auto", "Equal", "Fixed", "Fixed ratio Y/X"] + \
        ["Auto", "Equal"] + ["Auto", "Equal", "Fixed"]
    assert [w.text() for w in method_row(d)] == ["<Method>", "<Auto>", "<Equal>", "<Fixed>"]
    assert d.ratio.label.text() == "<Fixed ratio Y/X>" and d.ratio.edit.text() == "1.5"
    rec = Recorder(d.sigApply)
    d.apply()
    d.rbAuto.setChecked(True)
    d.apply()
    assert rec.calls == [("Fixed", 1.5), ("Auto", 1.5)]
    # The language changes while the form is open: a label is known by its current translation only.
    from dorar.config import base
    base.TRANSLATOR = lambda t: "[%s]" % t
    with qtbot.capture_exceptions() as raised:
        d.rbEqual.setChecked(True)
    assert [(e[0], str(e[1])) for e in raised] == [(ValueError, "unknown value <Equal>")]
    assert d.method == "Auto" and d.rbEqual.isChecked()


def test_shows_the_state_of_the_plot_canvas(make):
    from dorar.widgets.scene_panel import ScenePanel
    panel = ScenePanel(name="map")
    canvas = panel.base
    try:
        assert form_view(make(V, state=canvas.state)) == ("Equal", [False, True, False], "1.0", False)
        canvas.state = {"aspect_method": "Fixed", "view_scaling": 3.0}
        d = make(V, state=canvas.state)
        assert form_view(d) == ("Fixed", [False, False, True], "3.0", True)
        # The window that opened the form applies the request to its canvas.
        d.sigApply.connect(lambda method, ratio: setattr(canvas, "state",
                                                         {"aspect_method": method, "view_scaling": ratio}))
        d.ratio.edit.setText("0.5")
        d.apply()
        assert canvas.state["aspect_method"] == "Fixed" and canvas.camera.aspect == 0.5
    finally:
        panel.deleteLater()
