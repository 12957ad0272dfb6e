// The exceptions of the module: InputError (a key file, camera file or other input that
// cannot be used: the message names the file and the reason, as the programs print it) and
// StoreError (the block database), both subclasses of RuntimeError in Python. C++ code of
// the module throws the C++ types below; pybind11 turns them into the Python ones.
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

namespace relative_orientation_python {

struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Registers relative_orientation._core.InputError and .StoreError; called before anything
// that can throw them is bound.
void BindErrors(pybind11::module_& module);

[[noreturn]] void ThrowInputError(const std::string& message);
[[noreturn]] void ThrowStoreError(const std::string& message);

}  // namespace relative_orientation_python
