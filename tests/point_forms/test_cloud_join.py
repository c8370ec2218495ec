"""The point merge form: the list goes out exactly as typed, the hint included."""
import pytest

from dorar.gopoint.new import cloud_join as J
from pointkit import Recorder, make, rows, translator  # noqa: F401 (fixtures)


def test_rows_and_the_hint_is_initial_text(translator, make):
    d = make(J)
    assert rows(d)[:2] == [d.inputPoints, d.newPoint] and len(rows(d)) == 3
    assert [r.label.text() for r in rows(d)[:2]] == ["<Input Points>", "<Output Point>"]
    assert d.inputPoints.edit.text() == "<points separated by comma>" and d.newPoint.edit.text() == ""
    assert d.inputPoints.edit.placeholderText() == ""
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("<points separated by comma>", "")]          # the translated hint itself


@pytest.mark.parametrize("typed,out", [("a, b", "new"), ("a,,b,", " new "), ("", ""), ("  a  ", "")])
def test_texts_go_out_unchanged_once_per_press(make, typed, out):
    d = make(J)
    d.inputPoints.edit.setText(typed)
    d.newPoint.edit.setText(out)
    rec = Recorder(d.sig_start)
    rows(d)[-1].apply_button.click()
    d.apply()
    assert rec.calls == [(typed, out)] * 2
    assert (d.inputPoints.edit.text(), d.newPoint.edit.text()) == (typed, out)
