// Work with the GIL released, and how it learns that it must stop.
//
// ReleasedGil releases the GIL for a scope (a thread that takes it back at the interpreter's exit:
// runtime/exit_unwind.cpp).
//
// SignalCheck is the "should I stop?" callback of core's loops (core/stop_check.hpp). On the main
// thread it takes the GIL briefly and runs the interpreter's signal handlers: when a handler raises
// (KeyboardInterrupt), the error is kept and the callback answers yes; the loop stops, and the
// caller re-raises the handler's error once it holds the GIL. Signal handlers run only on the main
// thread; on any other thread the callback answers yes once the interpreter finalizes, without
// the GIL, so that the work ends before it commits anything.
//
//   dorar::SignalCheck signals;               // with the GIL, on the thread that runs the loop
//   bool done;
//   { dorar::ReleasedGil nogil; done = dcore_loop(..., signals.callback()); }
//   signals.raise_if_stopped();               // the handler's exception, as it raised it
#pragma once

#include <dorar/finalizing.hpp>
#include <dorar/pymod.hpp>

#include <thread>

#include "stop_check.hpp"

namespace dorar {

// The GIL released from construction to destruction.
class ReleasedGil {
public:
    ReleasedGil() : ts_(PyEval_SaveThread()) {}
    ~ReleasedGil() { PyEval_RestoreThread(ts_); }
    ReleasedGil(const ReleasedGil &) = delete;
    ReleasedGil &operator=(const ReleasedGil &) = delete;

private:
    PyThreadState *ts_;
};

class SignalCheck {
public:
    // With the GIL held, on the thread that will ask.
    SignalCheck() : thread_(std::this_thread::get_id()), main_(_PyOS_IsMainThread() != 0) {}
    ~SignalCheck() {
        if (!type_ && !value_ && !tb_) return;
        const PyGILState_STATE gil = PyGILState_Ensure();
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(tb_);
        PyGILState_Release(gil);
    }
    SignalCheck(const SignalCheck &) = delete;
    SignalCheck &operator=(const SignalCheck &) = delete;

    // With the GIL released: true once a signal handler has raised (or, off the main thread, once
    // the interpreter finalizes).
    bool operator()() {
        if (stopped_ || std::this_thread::get_id() != thread_) return stopped_;
        if (!main_) return stopped_ = interpreter_finalizing();
        const PyGILState_STATE gil = PyGILState_Ensure();
        if (PyErr_CheckSignals() != 0) {
            PyErr_Fetch(&type_, &value_, &tb_);
            stopped_ = true;
        }
        PyGILState_Release(gil);
        return stopped_;
    }
    dcore::ShouldStop callback() {
        return [this] { return (*this)(); };
    }
    bool stopped() const { return stopped_; }

    // With the GIL held: raises the handler's error when a signal stopped the work.
    void raise_if_stopped() {
        if (!stopped_) return;
        // Stopped by the interpreter's end on a thread that finalizes it.
        if (!type_) raise(PyExc_RuntimeError, "the interpreter is shutting down");
        PyErr_Restore(type_, value_, tb_);
        type_ = value_ = tb_ = nullptr;
        throw py::error_already_set();
    }

private:
    std::thread::id thread_;
    bool main_ = false, stopped_ = false;
    PyObject *type_ = nullptr, *value_ = nullptr, *tb_ = nullptr;
};

}  // namespace dorar
