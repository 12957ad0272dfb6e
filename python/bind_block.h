// A block from Python: the client side (inputs, the database, the chunks of pairs, writing
// the finished pairs) and the worker side (orienting a chunk) of a block run on a cluster.
#pragma once

#include <pybind11/pybind11.h>

namespace relative_orientation_python {

void BindBlock(pybind11::module_& module);

}  // namespace relative_orientation_python
