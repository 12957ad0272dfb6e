#include "python/arrays.h"

#include <cstdint>
#include <limits>

#include "python/errors.h"

namespace relative_orientation_python {
namespace {

namespace py = pybind11;

// `value` as a NumPy array with two dimensions, the second of `columns` values (0: any).
py::array TwoDimensional(const py::handle& value, const char* name, py::ssize_t columns) {
    py::array array = py::array::ensure(value);
    if (!array) throw py::type_error(std::string(name) + " must be an array");
    if (array.ndim() != 2 || (columns > 0 && array.shape(1) != columns)) {
        std::string shape = columns > 0 ? "N x " + std::to_string(columns) : "N x D";
        throw py::value_error(std::string(name) + " must be an " + shape + " array");
    }
    return array;
}

}  // namespace

py::tuple KeypointArrays(const keypoints::KeypointList& keys, int dimensions,
                         const std::string& file) {
    const auto n = static_cast<py::ssize_t>(keys.size());
    py::array_t<float> positions({n, py::ssize_t{4}});
    py::array_t<std::uint8_t> descriptors({n, static_cast<py::ssize_t>(dimensions)});
    auto p = positions.mutable_unchecked<2>();
    auto d = descriptors.mutable_unchecked<2>();
    for (py::ssize_t k = 0; k < n; ++k) {
        const KeypointSt& key = keys[static_cast<std::size_t>(k)];
        p(k, 0) = key.row;
        p(k, 1) = key.col;
        p(k, 2) = key.scale;
        p(k, 3) = key.ori;
        for (int v = 0; v < dimensions; ++v) {
            const int value = key.descrip[static_cast<std::size_t>(v)];
            if (value < 0 || value > 255) {
                ThrowInputError(file + ": descriptor value " + std::to_string(value) +
                                " of keypoint " + std::to_string(k + 1) + " lies outside 0 to 255");
            }
            d(k, v) = static_cast<std::uint8_t>(value);
        }
    }
    return py::make_tuple(std::move(positions), std::move(descriptors));
}

keypoints::KeypointList DescriptorList(const py::handle& descriptors, const char* name,
                                       int* dimensions) {
    const py::array array = TwoDimensional(descriptors, name, 0);
    const char kind = array.dtype().kind();
    if (kind != 'u' && kind != 'i') {
        throw py::type_error(std::string(name) + " must be an array of integers");
    }
    if (array.shape(1) < 1 || array.shape(1) > std::numeric_limits<int>::max()) {
        throw py::value_error(std::string(name) + " must have at least one value per descriptor");
    }
    const auto values = py::array_t<std::int64_t, py::array::forcecast>::ensure(array);
    const auto v = values.unchecked<2>();
    keypoints::KeypointList keys(static_cast<std::size_t>(v.shape(0)));
    for (py::ssize_t k = 0; k < v.shape(0); ++k) {
        std::vector<int>& out = keys[static_cast<std::size_t>(k)].descrip;
        out.resize(static_cast<std::size_t>(v.shape(1)));
        for (py::ssize_t c = 0; c < v.shape(1); ++c) {
            const std::int64_t value = v(k, c);
            if (value < std::numeric_limits<int>::min() ||
                value > std::numeric_limits<int>::max()) {
                throw py::value_error(std::string(name) + " holds a value beyond 32 bits");
            }
            out[static_cast<std::size_t>(c)] = static_cast<int>(value);
        }
    }
    *dimensions = static_cast<int>(v.shape(1));
    return keys;
}

keypoints::KeypointList KeypointList(const py::handle& pair, const char* name, int* dimensions) {
    const std::string refusal =
        std::string(name) + " must be a key file or (positions, descriptors)";
    if (!py::isinstance<py::sequence>(pair)) throw py::type_error(refusal);
    const py::tuple items(py::reinterpret_borrow<py::object>(pair));
    if (items.size() != 2) throw py::value_error(refusal);
    const std::string label(name);
    const py::array shaped = TwoDimensional(items[0], (label + " positions").c_str(), 4);
    const auto positions =
        py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(shaped);
    if (!positions) throw py::type_error(label + " positions must be numbers");
    keypoints::KeypointList keys =
        DescriptorList(items[1], (label + " descriptors").c_str(), dimensions);
    const auto p = positions.unchecked<2>();
    if (static_cast<std::size_t>(p.shape(0)) != keys.size()) {
        throw py::value_error(label + ": positions and descriptors differ in length");
    }
    for (py::ssize_t k = 0; k < p.shape(0); ++k) {
        KeypointSt& key = keys[static_cast<std::size_t>(k)];
        key.row = p(k, 0);
        key.col = p(k, 1);
        key.scale = p(k, 2);
        key.ori = p(k, 3);
    }
    return keys;
}

std::vector<ro::TiePoint> TiePointList(const py::handle& points1, const py::handle& points2) {
    using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
    const auto first = Array::ensure(TwoDimensional(points1, "points1", 2));
    const auto second = Array::ensure(TwoDimensional(points2, "points2", 2));
    if (!first || !second) throw py::type_error("points1 and points2 must be numbers");
    if (first.shape(0) != second.shape(0)) {
        throw py::value_error("points1 and points2 differ in length");
    }
    const auto a = first.unchecked<2>();
    const auto b = second.unchecked<2>();
    std::vector<ro::TiePoint> tie_points(static_cast<std::size_t>(a.shape(0)));
    for (py::ssize_t k = 0; k < a.shape(0); ++k) {
        ro::TiePoint& t = tie_points[static_cast<std::size_t>(k)];
        t.row1_px = a(k, 0);
        t.col1_px = a(k, 1);
        t.row2_px = b(k, 0);
        t.col2_px = b(k, 1);
    }
    return tie_points;
}

py::array_t<std::int64_t> MatchIndices(const std::vector<keypoints::Match>& matches) {
    py::array_t<std::int64_t> indices({static_cast<py::ssize_t>(matches.size()), py::ssize_t{2}});
    auto out = indices.mutable_unchecked<2>();
    for (std::size_t k = 0; k < matches.size(); ++k) {
        out(static_cast<py::ssize_t>(k), 0) = matches[k].key1;
        out(static_cast<py::ssize_t>(k), 1) = matches[k].key2;
    }
    return indices;
}

}  // namespace relative_orientation_python
