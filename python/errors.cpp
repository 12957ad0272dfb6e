#include "python/errors.h"

namespace relative_orientation_python {

void BindErrors(pybind11::module_& module) {
    pybind11::register_exception<InputError>(module, "InputError", PyExc_RuntimeError)
        .doc() = "An input (key file, camera file, tie points) that cannot be used; the message "
                 "names the file and the reason.";
    pybind11::register_exception<StoreError>(module, "StoreError", PyExc_RuntimeError).doc() =
        "The block database cannot be opened, read or written; the message says why.";
}

void ThrowInputError(const std::string& message) { throw InputError(message); }

void ThrowStoreError(const std::string& message) { throw StoreError(message); }

}  // namespace relative_orientation_python
