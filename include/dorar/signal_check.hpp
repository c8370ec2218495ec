// Lets a long read or write with the GIL released stop for a signal (Ctrl-C): the "should I stop?"
// callback of core's loops (core/stop_check.hpp) takes the GIL briefly and runs the interpreter's
// signal handlers. When a handler raises (KeyboardInterrupt), the error is kept and the callback
// answers yes; the loop stops, and the caller re-raises the handler's error once it holds the GIL.
//
//   dorar::SignalCheck signals;               // with the GIL, on the thread that runs the loop
//   bool done;
//   { py::gil_scoped_release nogil; done = dcore_loop(..., signals.callback()); }
//   signals.raise_if_stopped();               // the handler's exception, as it raised it
//
// The interpreter runs signal handlers only on its main thread, so only a check made there can
// run them; made on any other thread the callback never takes the GIL and never says yes.
#pragma once

#include <dorar/pymod.hpp>

#include <thread>

#include "stop_check.hpp"

namespace dorar {

class SignalCheck {
public:
    // With the GIL held, on the thread that will ask.
    SignalCheck() : thread_(std::this_thread::get_id()) {
        py::object threading = py::module_::import("threading");
        asks_ = threading.attr("main_thread")().is(threading.attr("current_thread")());
    }
    ~SignalCheck() {
        if (!type_ && !value_ && !tb_) return;
        py::gil_scoped_acquire gil;
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(tb_);
    }
    SignalCheck(const SignalCheck &) = delete;
    SignalCheck &operator=(const SignalCheck &) = delete;

    // With the GIL released: true once a signal handler has raised.
    bool operator()() {
        if (stopped_ || !asks_ || std::this_thread::get_id() != thread_) return stopped_;
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) {
            PyErr_Fetch(&type_, &value_, &tb_);
            stopped_ = true;
        }
        return stopped_;
    }
    dcore::ShouldStop callback() {
        return [this] { return (*this)(); };
    }
    bool stopped() const { return stopped_; }

    // With the GIL held: raises the handler's error when a signal stopped the work.
    void raise_if_stopped() {
        if (!stopped_) return;
        PyErr_Restore(type_, value_, tb_);
        type_ = value_ = tb_ = nullptr;
        throw py::error_already_set();
    }

private:
    std::thread::id thread_;
    bool asks_ = false, stopped_ = false;
    PyObject *type_ = nullptr, *value_ = nullptr, *tb_ = nullptr;
};

}  // namespace dorar
