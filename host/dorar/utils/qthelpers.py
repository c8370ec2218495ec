"""Tool-button helpers of the host."""
import sys
import traceback

from qtpy.QtGui import QKeySequence
from qtpy.QtWidgets import QToolButton, QVBoxLayout

# (slot, exception) for every exception a tool-button slot raised, oldest first.
REPORTED = []


def _guarded(slot):
    """A slot that reports its exception instead of letting it escape into Qt (which aborts)."""
    def call(*args):
        try:
            slot(*args)
        except Exception as exc:  # reported, as the host does; the window stays usable
            REPORTED.append((slot, exc))
            sys.stderr.write("".join(traceback.format_exception(type(exc), exc, exc.__traceback__)))
    return call


def create_toolbutton(parent, text=None, shortcut=None, icon=None, tip=None, toggled=None,
                      triggered=None, autoraise=True):
    """A tool button; `triggered` is called on a press, `toggled` with the checked state."""
    button = QToolButton(parent)
    if text is not None:
        button.setText(text)
    if icon is not None:
        button.setIcon(icon)
    if tip is not None:
        button.setToolTip(tip)
    if shortcut is not None:
        button.setShortcut(QKeySequence(shortcut))
    button.setAutoRaise(autoraise)
    if triggered is not None:
        guarded = _guarded(triggered)
        button.clicked.connect(lambda checked=False: guarded())
    if toggled is not None:
        button.setCheckable(True)
        guarded_toggle = _guarded(toggled)
        button.toggled.connect(lambda checked: guarded_toggle(checked))
    return button


def create_toolbutton_help(parent, triggered=None):
    """The help tool button of a tool row."""
    from dorar.utils import icon_manager
    return create_toolbutton(parent, icon=icon_manager.icon("help"), tip="Help", triggered=triggered)


def create_plugin_layout(tools_layout, main_widget=None):
    """A vertical layout: the tool row above the main widget."""
    layout = QVBoxLayout()
    layout.setContentsMargins(0, 0, 0, 0)
    layout.setSpacing(0)
    layout.addLayout(tools_layout)
    if main_widget is not None:
        layout.addWidget(main_widget)
    return layout
