"""Runs a demonstration program as the main program, in a fresh interpreter, with a scripted user.

The programs build their QApplication themselves and run its event loop until the window is
closed. `main_program_driver` replaces the application class at the place the program takes it
from, by a subclass whose exec_ first schedules SCRIPT(app) on the event loop; the script plays
the user (clicks, closes the window) and so ends the loop the way a user would. The program itself
runs unchanged through tools/run-module, and its exit status is printed as "exit status: N".
"""
import os
import textwrap

from conftest import ROOT, run_python

RUNNER = os.path.join(ROOT, "tools", "run-module")

_TEMPLATE = '''
import importlib.machinery, sys, types
from qtpy.QtCore import QTimer

loader = importlib.machinery.SourceFileLoader("run_module_tool", {runner!r})
runner = types.ModuleType("run_module_tool")
runner.__file__ = {runner!r}
loader.exec_module(runner)

{prelude}

def top_window(app):
    shown = [w for w in app.topLevelWidgets() if w.isVisible()]
    assert len(shown) == 1, shown
    return shown[0]

def script(app):
{script}

import {app_module} as _appmod
_Base = _appmod.{app_name}

def _play(app):
    try:
        script(app)
    except BaseException:
        import traceback
        traceback.print_exc()
        print("script failed", flush=True)
        app.exit(99)

class ScriptedApplication(_Base):
    def exec_(self):
        QTimer.singleShot(0, lambda: _play(self))
        return super().exec_()

_appmod.{app_name} = ScriptedApplication
try:
    runner.run({dotted!r}, [])
except SystemExit as e:
    print("exit status:", e.code, flush=True)
{epilogue}
'''


def main_program_driver(dotted, app_module, app_name, script, prelude="", epilogue="", env=None):
    code = _TEMPLATE.format(runner=RUNNER, dotted=dotted, app_module=app_module, app_name=app_name,
                            prelude=textwrap.dedent(prelude),
                            script=textwrap.indent(textwrap.dedent(script), "    "),
                            epilogue=textwrap.dedent(epilogue))
    return run_python(code, env=env, timeout=120)
