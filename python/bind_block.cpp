#include "python/bind_block.h"

namespace relative_orientation_python {

void BindBlock(pybind11::module_& /*module*/) {}

}  // namespace relative_orientation_python
