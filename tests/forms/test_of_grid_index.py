"""New cube from volume indexes."""
import pytest
from qtpy.QtWidgets import QLabel, QRadioButton

from dorar.gocube.new import of_grid_index as M
from formkit import Recorder, fill_frame, make, rows, translator  # noqa: F401 (fixtures)

KEYS = ["IL_FRST", "IL_LAST", "IL_NCRT", "IL_AMNT", "XL_FRST", "XL_LAST", "XL_NCRT", "XL_AMNT",
        "DP_FRST", "DP_LAST", "DP_NCRT", "DP_AMNT"]


def method_row(d):
    box = rows(d)[2]
    return [box.itemAt(i).widget() for i in range(box.count())]


def test_rows_in_order(translator, make):
    d = make(M)
    assert rows(d)[:2] + rows(d)[3:4] == [d.cube, d.property, d.frame]
    assert [type(r).__name__ for r in rows(d)] == ["LineEditRow", "LineEditRow", "QHBoxLayout", "CubeFrame", "ActionRow"]
    assert (d.cube.label.text(), d.cube.edit.text()) == ("<New cube>", "")
    assert (d.property.label.text(), d.property.edit.text()) == ("<Property>", "")
    assert [type(w) for w in method_row(d)] == [QLabel] + [QRadioButton] * 3
    assert [w.text() for w in method_row(d)] == ["<Property method>", "<zeros>", "<random>", "<index sum>"]
    assert d.windowTitle() == "New cube from volume indexes" and d.method == "zeros"


# Two axes of their own, against which each case is placed on every axis in turn.
OTHERS = [(("2", "20", "3"), (2, 20, 3, 7)), (("-5", "-50", "-9"), (-5, -50, -9, 6))]


@pytest.mark.parametrize("axis,sent", [
    (("1", "10", "2"), (1, 9, 2, 5)),          # 4.5 + 1 -> 5, last snapped down onto the grid
    (("0", "100", "4"), (0, 100, 4, 26)),
    (("7", "7", "-3"), (7, 7, -3, 1)),
    (("100", "1", "-3"), (100, 1, -3, 34)),    # descending
    (("10", "1", "2"), (10, 2, 2, -3)),        # wrong side: -3.5 truncates toward zero
    ((" 7 ", "+7", "1_0"), (7, 7, 10, 1)),     # blanks, sign and one underscore convert
])
def test_counts_and_snapped_lasts(make, axis, sent):
    d = make(M)
    d.property.edit.setText("amp")
    rec = Recorder(d.sig_start)
    for at in range(3):
        texts, values = [o[0] for o in OTHERS], [o[1] for o in OTHERS]
        texts.insert(at, axis)
        values.insert(at, sent)
        fill_frame(d, *sum(texts, ()))
        d.apply()
        vidx, cube, prop, method = rec.last
        assert list(vidx.items()) == list(zip(KEYS, sum(values, ())))
        assert all(type(v) is int for v in vidx.values())
        assert (cube, prop, method) == ("", "amp", "zeros")
    assert len(rec.calls) == 3


@pytest.mark.parametrize("texts,error", [
    (["1", "10", "1", "1", "10", "7.0", "1", "10", "0"], ValueError),   # the first bad field wins
    (["1", "10", "1", "", "10", "1", "1", "10", "1"], ValueError),
    (["1", "10", "1", "1", "10", "0", "1", "10", "1"], ZeroDivisionError),
])
def test_bad_fields_emit_nothing(make, texts, error):
    d = make(M)
    rec = Recorder(d.sig_start)
    fill_frame(d, *texts)
    with pytest.raises(error):
        d.apply()
    assert rec.calls == []


def test_fill_method_follows_the_selected_button(make, translator):
    d = make(M)
    zero, random, isum = method_row(d)[1:]
    del translator[:]
    random.setChecked(True)                   # known by its label, each translated just before use
    assert d.method == "random" and not zero.isChecked()
    assert translator == ["zeros", "random"]
    isum.setChecked(True)
    rec = Recorder(d.sig_start)
    fill_frame(d, *["1", "2", "1"] * 3)
    d.apply()
    assert rec.last[3] == "isum"
    stray = QRadioButton("other")
    d.set_method(stray)                       # a button losing the selection changes nothing
    stray.setChecked(True)
    with pytest.raises(ValueError, match="^unknown value other$"):
        d.set_method(stray)
    zero.setText("&<zeros>")                  # a text that is no current label is unknown too
    zero.setChecked(False)
    zero.blockSignals(True)
    zero.setChecked(True)
    zero.blockSignals(False)
    with pytest.raises(ValueError, match="^unknown value &<zeros>$"):
        d.set_method(zero)
    assert d.method == "isum"
