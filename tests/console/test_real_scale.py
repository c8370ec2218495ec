"""The floating-point slider: raw integers in the base slider, readings and setters scaled."""
import pytest
from qtpy.QtCore import Qt
from qtpy.QtWidgets import QAbstractSlider, QSlider, QWidget

from conftest import run_python
from dorar.widgets import real_scale as rs


@pytest.fixture
def slider(qtbot):
    s = rs.RealScale()
    qtbot.addWidget(s)
    s.doubles = []
    s.doubleValueChanged.connect(s.doubles.append)
    return s


def test_load_defines_the_one_class():
    r = run_python("from dorar.widgets import real_scale as rs\n"
                   "print(sorted(n for n in vars(rs) if not n.startswith('__')))")
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == str(sorted(["Signal", "QSlider", "RealScale"]))
    assert rs.RealScale.__bases__ == (QSlider,)


def test_construction_keeps_the_raw_defaults_and_passes_arguments_on(qtbot):
    s = rs.RealScale()
    qtbot.addWidget(s)
    assert s._multi == 1000 and type(s._multi) is int
    assert (s.minimum(), s.maximum(), s.pageStep()) == (0, 99, 10)
    assert s.value() == 0.0 and type(s.value()) is float and s.singleStep() == 0.001
    holder = QWidget()
    qtbot.addWidget(holder)
    v = rs.RealScale(Qt.Horizontal, parent=holder)
    assert v.orientation() == Qt.Horizontal and v.parentWidget() is holder and v._multi == 1000


def test_set_value_truncates_toward_zero(slider):
    slider.setRange(-1, 2)
    slider.setValue(1.001)  # 1000.9999999999999 before truncation
    assert QSlider.value(slider) == 1000 and slider.value() == 1.0
    slider.setValue(0.0015)
    assert QSlider.value(slider) == 1 and slider.value() == 0.001
    slider.setValue(value=-0.0015)
    assert QSlider.value(slider) == -1 and slider.value() == -0.001
    assert slider.doubles == [1.0, 0.001, -0.001]


def test_tick_interval_and_single_step_scale(slider):
    slider.setTickInterval(0.25)
    assert slider.tickInterval() == 250 and type(slider.tickInterval()) is int
    slider.setTickInterval(ti=0.0019)
    assert slider.tickInterval() == 1
    slider.setSingleStep(0.5)
    assert QSlider.singleStep(slider) == 500 and slider.singleStep() == 0.5
    slider.setPageStep(7)  # not overridden: raw units
    assert slider.pageStep() == 7


@pytest.mark.parametrize("value, raw", [(2, 2000), (2.0, 2000), (0.0015, 1), (-0.0015, -1), (True, 1000)])
def test_bounds_scale_and_real_products_reach_qt_as_integers(slider, value, raw):
    # The binding takes only integers: an integer product goes as it is, a real one truncated.
    slider.setMinimum(value)
    assert slider.minimum() == raw
    slider.setMaximum(value=value)
    assert slider.maximum() == raw


def test_set_range_sets_the_minimum_then_the_maximum(slider, monkeypatch):
    calls = []
    monkeypatch.setattr(slider, "setMinimum", lambda value: calls.append(("min", value)))
    monkeypatch.setattr(slider, "setMaximum", lambda value: calls.append(("max", value)))
    slider.setRange(maxValue=1.5, minValue=0.5)
    assert calls == [("min", 0.5), ("max", 1.5)]
    monkeypatch.undo()
    slider.setRange(0.0, 1.0)
    assert (slider.minimum(), slider.maximum()) == (0, 1000)
    slider.setRange(3, 4)  # each bound alone: the minimum first pushes the maximum up with it
    assert (slider.minimum(), slider.maximum()) == (3000, 4000)


def test_decimals_change_the_factor_only(slider):
    slider.setRange(0, 1)
    slider.setValue(0.5)
    slider.doubles.clear()
    slider.setDecimals(2)
    assert slider._multi == 100 and slider.value() == 5.0
    assert (slider.minimum(), slider.maximum(), QSlider.value(slider)) == (0, 1000, 500)
    assert slider.doubles == []
    slider.setDecimals(decimals=0)
    assert slider._multi == 1 and slider.value() == 500.0 and type(slider.value()) is float
    assert slider.singleStep() == 1.0 and type(slider.singleStep()) is float
    slider.setDecimals(-1)
    assert slider._multi == 0.1 and slider.value() == pytest.approx(5000.0)
    slider.setDecimals()
    assert slider._multi == 1000 and slider.value() == 0.5
    for unusable in (-400, float("inf"), float("nan")):  # a factor of 0.0, inf or nan: refused
        with pytest.raises(ValueError, match="no usable scale factor"):
            slider.setDecimals(unusable)
    assert slider._multi == 1000 and slider.doubles == []


def test_every_value_change_gives_one_double_signal(slider):
    order = []
    slider.doubleValueChanged.connect(lambda v: order.append(("double", v)))
    slider.valueChanged.connect(lambda raw: order.append(("host", raw)))  # made after the slider's own
    slider.setRange(0, 1)
    slider.setValue(0.75)
    assert order == [("double", 0.75), ("host", 750)]
    slider.setValue(0.75)  # no change, no signal
    slider.setRange(0, 0.5)  # the base clamps the value to the new maximum
    slider.triggerAction(QAbstractSlider.SliderSingleStepSub)  # as the user's arrow key does
    assert slider.doubles == [0.75, 0.5, 0.499]
    assert slider.emitDoubleValueChanged() is None and slider.doubles[-1] == 0.499
    assert len(slider.doubles) == 4
    slider.setDecimals(2)
    slider.emitDoubleValueChanged()
    assert slider.doubles[-1] == 4.99


def test_bad_arguments_fail_before_the_slider_changes(slider):
    slider.setRange(0, 1)
    slider.setValue(0.5)
    slider.doubles.clear()
    state = lambda: (QSlider.value(slider), slider.minimum(), slider.maximum(), QSlider.singleStep(slider))
    before = state()
    for call, error in [(lambda: slider.setValue(None), TypeError),
                        (lambda: slider.setValue(float("nan")), ValueError),
                        (lambda: slider.setMinimum(float("nan")), ValueError),
                        (lambda: slider.setMaximum(float("inf")), OverflowError),
                        (lambda: slider.setSingleStep([1]), TypeError),  # a list times 1000 is no number
                        (lambda: slider.setTickInterval("x"), ValueError),
                        (lambda: slider.setValue(1, 2), TypeError),
                        (lambda: slider.setRange(1), TypeError),
                        (lambda: slider.setValue(val=1), TypeError),
                        (lambda: slider.emitDoubleValueChanged(1), TypeError),
                        (lambda: slider.setDecimals("3"), TypeError)]:
        with pytest.raises(error):
            call()
    slider.setDecimals(0)
    with pytest.raises(TypeError):
        slider.setMinimum("5")  # "5" * 1 is still a text: never taken as a number
    assert state() == before and slider.doubles == [] and slider._multi == 1
