// The C++ personality routine of every module's frames before Python 3.14: CMakeLists.txt links
// each module with --wrap=__gxx_personality_v0; tests/foundation/test_module_linking.py checks it.
//
// Once the interpreter finalizes, a thread that takes the GIL back (a daemon thread inside one of
// our calls, or in Python code that one called) is ended with a forced unwind. Unwinding our frames
// then would run their destructors without the GIL during the teardown. Such a thread waits instead
// at the first frame of ours that the unwind reaches, signals blocked, until the process ends, as
// Python 3.14 makes it wait itself. Nothing on its stack is released, the locks it holds included
// (the rule that follows is in CMakeLists.txt); a temporary file it was writing is dropped at the
// interpreter's end (core/file_replace.hpp). Every other exception and unwind passes unchanged.
#include <dorar/finalizing.hpp>

#include <pthread.h>
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
