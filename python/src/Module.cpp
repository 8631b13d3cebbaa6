// lotkavolterra._core: the model, its run and its sweeps, as lv-run and lv-sweep have them.

#include <pybind11/pybind11.h>

#include "Errors.h"
#include "Interrupts.h"
#include "ModelValue.h"
#include "RunBinding.h"
#include "SweepBinding.h"

PYBIND11_MODULE(_core, module) {
    module.doc() = "The compiled core of lotkavolterra; use the package, not this module.";
    Note_Main_Thread();
    Register_Error(module);
    Bind_Model(module);
    Bind_Run(module);
    Bind_Sweep(module);
}
