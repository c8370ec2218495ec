// A thread the interpreter ends at its exit never unwinds our frames.
//
// Once the interpreter finalizes, a thread other than the one finalizing it is ended with a forced
// unwind (pthread_exit) the moment it takes the GIL back: a daemon thread still inside one of our
// calls, in work with the GIL released or in Python code that our C++ called (numpy, the logger, a
// host method). Unwinding our frames then would run their destructors without the GIL while the
// interpreter tears itself down: Py_DECREF of live objects, freed arrays, and the first destructor
// that may not throw ends the process.
//
// Every module is linked with --wrap=__gxx_personality_v0, so the C++ personality routine of all
// our frames (the module's code, pybind11's inline code, core) is this one. It lets every other
// exception and unwind through unchanged. A forced unwind at the interpreter's end instead stops
// at the first frame of ours it reaches: the thread waits there, its signals blocked, until the
// process has ended, as the interpreter itself makes such threads wait from Python 3.14 on. Nothing
// on its stack is released, so nothing is released without the GIL; a temporary file it was
// writing is dropped when the interpreter ends (core/file_replace.hpp).
#include <dorar/signal_check.hpp>

#include <signal.h>
#include <unistd.h>
#include <unwind.h>

extern "C" _Unwind_Reason_Code __real___gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class,
                                                           _Unwind_Exception *, _Unwind_Context *);

extern "C" __attribute__((visibility("hidden"))) _Unwind_Reason_Code __wrap___gxx_personality_v0(
    int version, _Unwind_Action actions, _Unwind_Exception_Class kind, _Unwind_Exception *exception,
    _Unwind_Context *context) {
    if ((actions & _UA_FORCE_UNWIND) && dorar::interpreter_finalizing()) {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        for (;;) pause();
    }
    return __real___gxx_personality_v0(version, actions, kind, exception, context);
}
