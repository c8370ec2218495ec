"""Cube mask from a grid surface."""
import os

import pytest

from dorar.gocube.cube import Cube
from dorar.gocube.tool import horizon_gate as M
from formkit import Recorder, make, rows, translator  # noqa: F401 (fixtures)


class Gsurface:
    geometry_type = "Gsurface"
    name = "top"


def test_rows_defaults_and_payload(make, monkeypatch, translator):
    monkeypatch.setattr(os, "cpu_count", lambda: 8)
    d = make(M)
    assert rows(d)[:4] == [d.grabCube, d.grabGsurf, d.cubeProp, d.nthread]
    assert type(rows(d)[4]).__name__ == "ActionRow"
    assert (d.grabCube.geom, d.grabGsurf.geom) == (["Cube"], ["Gsurface"])
    assert translator[-4:] == ["Input cube", "Input gsurface", "Cube property", "Number of threads"]
    assert d.cubeProp.edit.text() == "" and d.nthread.edit.text() == "8"
    d.grabCube.pick(Cube("vol"))
    d.grabGsurf.pick(Gsurface())
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("vol", "top", "", 8)]
    monkeypatch.setattr(os, "cpu_count", lambda: None)    # read anew for each form
    d = make(M)
    assert d.nthread.edit.text() == "None"
    with pytest.raises(ValueError):
        d.apply()


@pytest.mark.parametrize("text,sent", [(" 3 ", 3), ("0", 0), ("-2", -2),
                                       ("2147483647", 2**31 - 1), ("-2147483648", -2**31)])
def test_counts_sent_as_they_are(make, text, sent):
    d = make(M)
    d.nthread.edit.setText(text)
    rec = Recorder(d.sig_start)
    d.apply()
    assert rec.calls == [("", "", "", sent)]


@pytest.mark.parametrize("text,error", [("", ValueError), ("2.5", ValueError),
                                        ("2147483648", OverflowError), ("-2147483649", OverflowError),
                                        (str(2**40), OverflowError)])
def test_bad_counts_emit_nothing(make, text, error):
    # The signal carries a 32-bit integer: 2**31 would arrive as a negative count.
    d = make(M)
    d.nthread.edit.setText(text)
    rec = Recorder(d.sig_start)
    with pytest.raises(error):
        d.apply()
    assert rec.calls == [] and d.nthread.edit.text() == text
