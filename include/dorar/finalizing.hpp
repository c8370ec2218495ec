// Whether the interpreter has begun to finalize; asks without the GIL, from any thread.
#pragma once

#include <Python.h>

namespace dorar {

inline bool interpreter_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

}  // namespace dorar
