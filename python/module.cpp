// The compiled part of the Python package `relative_orientation`: the functions of one pair
// (bind_pair.cpp) and the client and worker sides of a block (bind_block.cpp).
#include <pybind11/pybind11.h>

#include "python/bind_block.h"
#include "python/bind_pair.h"
#include "python/errors.h"

PYBIND11_MODULE(_core, module) {
    module.doc() = "Relative orientation of photographs: the compiled engine";
    relative_orientation_python::BindErrors(module);
    relative_orientation_python::BindPair(module);
    relative_orientation_python::BindBlock(module);
}
