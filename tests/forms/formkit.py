"""Helpers shared by the form tests: a recorder for request signals, the frame, the rows."""
import pytest

FRAME_FIELDS = ("le_il_frst", "le_il_last", "le_il_ncrt",
                "le_xl_frst", "le_xl_last", "le_xl_ncrt",
                "le_dp_frst", "le_dp_last", "le_dp_ncrt")


class Recorder:
    """Connected to a request signal; keeps every payload."""

    def __init__(self, signal):
        self.calls = []
        signal.connect(self)

    def __call__(self, *args):
        self.calls.append(args)

    @property
    def last(self):
        assert self.calls, "nothing was emitted"
        return self.calls[-1]


def reading_subclass(dialog_class, names, reads):
    """A subclass of `dialog_class` whose attributes `names` append their name to `reads` when read."""
    def recorded(name):
        def get(self):
            reads.append(name)
            return self.__dict__["_" + name]

        def put(self, value):
            self.__dict__["_" + name] = value
        return property(get, put)

    return type("Rec", (dialog_class,), {name: recorded(name) for name in names})


def fill_frame(dialog, *texts):
    for name, text in zip(FRAME_FIELDS, texts):
        getattr(dialog.frame, name).setText(text)


def frame_texts(dialog):
    return [getattr(dialog.frame, name).text() for name in FRAME_FIELDS]


def rows(dialog):
    """The items of the form's layout, top to bottom: the widget, or the box for a nested layout."""
    out = []
    for i in range(dialog.layout.count()):
        item = dialog.layout.itemAt(i)
        out.append(item.widget() if item.widget() is not None else item.layout())
    return out


@pytest.fixture
def translator():
    """Installs a translation that marks every text passing through `_`."""
    from dorar.config import base
    seen = []

    def tr(text):
        seen.append(text)
        return "<%s>" % text

    base.TRANSLATOR = tr
    yield seen
    base.TRANSLATOR = None


@pytest.fixture
def make(qtbot):
    """make(module) constructs the module's Dialog, owned by the test."""
    def _make(module, *args, **kwargs):
        dialog = module.Dialog(*args, **kwargs)
        qtbot.addWidget(dialog)
        return dialog
    return _make
