#include "python/bind_pair.h"

namespace relative_orientation_python {

void BindPair(pybind11::module_& /*module*/) {}

}  // namespace relative_orientation_python
