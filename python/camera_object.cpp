#include "python/camera_object.h"

#include <pybind11/stl.h>

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "camera/camera_file.h"
#include "camera/decimal_text.h"
#include "common/angles.h"
#include "pair_run/input_files.h"
#include "python/errors.h"

namespace relative_orientation_python {
namespace {

namespace py = pybind11;

using Value = std::optional<double>;

// A number as a camera file writes it; "inf" and "nan" are refused by the parser as they
// would be in a file.
std::string Number(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return ro::ShortestDecimal(value);
}

// The path of a str, bytes or os.PathLike object as the file system names it.
std::string PathText(const py::handle& path) {
    return py::str(py::module_::import("os").attr("fsdecode")(path)).cast<std::string>();
}

pair_run::CameraUse FromFile(const py::handle& path) {
    const std::string file = PathText(path);
    if (file.empty()) throw py::value_error("the camera file name is empty");
    std::variant<ro::Camera, std::string> read;
    {
        py::gil_scoped_release release;
        read = pair_run::ReadCameraFile(file);
    }
    if (const auto* problem = std::get_if<std::string>(&read)) ThrowInputError(*problem);
    return {std::get<ro::Camera>(read), file};
}

// The keyword values as the lines of a camera file, parsed by the camera file parser so
// that the same ranges and combinations are refused with the same reasons.
struct CameraKeywords {
    py::object focal_length_px;  // FX or (FX, FY)
    Value focal_length_mm;
    Value pixel_size_um;
    Value pixels_per_metre;
    std::optional<std::pair<double, double>> principal_point;
    Value in_plane_angle_deg;
    Value k1, k2, k3, p1, p2;

    bool Any() const {
        return !focal_length_px.is_none() || focal_length_mm || pixel_size_um || pixels_per_metre ||
               principal_point || in_plane_angle_deg || k1 || k2 || k3 || p1 || p2;
    }

    // "FX" or "FX FY".
    std::string FocalLengthPx() const {
        const char* refusal = "focal_length_px must be FX or (FX, FY)";
        if (py::isinstance<py::str>(focal_length_px)) throw py::type_error(refusal);
        try {
            if (!py::isinstance<py::sequence>(focal_length_px)) {
                return Number(focal_length_px.cast<double>());
            }
            const auto pair = focal_length_px.cast<std::vector<double>>();
            if (pair.size() != 2) throw py::value_error(refusal);
            return Number(pair[0]) + " " + Number(pair[1]);
        } catch (const py::cast_error&) {
            throw py::type_error(refusal);
        }
    }

    std::string Text() const {
        std::string text;
        const auto line = [&text](const char* key, const std::string& value) {
            text += std::string(key) + " = " + value + "\n";
        };
        if (!focal_length_px.is_none()) line("focal_length_px", FocalLengthPx());
        const std::pair<const char*, const Value*> values[] = {
            {"focal_length_mm", &focal_length_mm},
            {"pixel_size_um", &pixel_size_um},
            {"pixels_per_metre", &pixels_per_metre},
            {"in_plane_angle_deg", &in_plane_angle_deg},
            {"k1", &k1},
            {"k2", &k2},
            {"k3", &k3},
            {"p1", &p1},
            {"p2", &p2}};
        for (const auto& [key, value] : values) {
            if (*value) line(key, Number(**value));
        }
        if (principal_point) {
            line("principal_point",
                 Number(principal_point->first) + " " + Number(principal_point->second));
        }
        return text;
    }
};

pair_run::CameraUse FromKeywords(const CameraKeywords& keywords) {
    const ro::CameraFileResult parsed = ro::ParseCameraText(keywords.Text());
    if (const auto* error = std::get_if<ro::CameraFileError>(&parsed)) {
        throw py::value_error(error->reason);
    }
    return {std::get<ro::Camera>(parsed), ""};
}

py::object Optional(bool present, double value) {
    return present ? py::object(py::float_(value)) : py::object(py::none());
}

std::string Repr(const pair_run::CameraUse& use) {
    const ro::Camera& c = use.camera;
    if (!use.file.empty()) {
        return "Camera(" + py::repr(py::str(use.file)).cast<std::string>() + ")";
    }
    std::string text = "Camera(";
    if (c.in_pixels) {
        text += "focal_length_px=";
        const double fx = c.FocalLengthPx();
        text += c.row_scale == 1.0 ? Number(fx)
                                   : "(" + Number(fx) + ", " + Number(fx * c.row_scale) + ")";
    } else {
        text += "focal_length_mm=" + ro::ScaledDecimal(c.focal_length_m, 3) +
                ", pixels_per_metre=" + Number(c.pixels_per_metre);
    }
    text += ", principal_point=(" + Number(c.principal_column_px) + ", " +
            Number(c.principal_row_px) + ")";
    if (c.in_plane_angle_rad != 0.0) {
        text += ", in_plane_angle_deg=" + Number(c.in_plane_angle_rad * common::kDegreesPerRadian);
    }
    const ro::Distortion& d = c.distortion;
    const std::pair<const char*, double> terms[] = {
        {"k1", d.k1}, {"k2", d.k2}, {"k3", d.k3}, {"p1", d.p1}, {"p2", d.p2}};
    for (const auto& [name, value] : terms) {
        if (value != 0.0) text += ", " + std::string(name) + "=" + Number(value);
    }
    return text + ")";
}

}  // namespace

pair_run::CameraUse CameraArgument(const py::handle& camera) {
    if (camera.is_none()) return {ro::BuiltInCamera(), ""};
    if (py::isinstance<pair_run::CameraUse>(camera)) return camera.cast<pair_run::CameraUse>();
    return FromFile(camera);
}

void BindCamera(py::module_& module) {
    py::class_<pair_run::CameraUse>(module, "Camera", R"doc(
The interior orientation of a camera.

Camera(path) reads a camera file (the format of orient --camera); Camera(key=value, ...)
takes the same keys as keyword arguments and checks them as a file's lines are checked:
either focal_length_px=FX or (FX, FY) with principal_point=(CX, CY) (the computer-vision
form), or focal_length_mm with pixel_size_um or pixels_per_metre and principal_point (the
photogrammetric form); both take in_plane_angle_deg and the distortion coefficients k1, k2,
k3, p1, p2. Camera() is the built-in camera. A file that cannot be read or parsed raises
InputError naming it; bad keyword values raise ValueError with the parser's reason.)doc")
        .def(py::init([](const py::object& path, const py::object& focal_length_px,
                         Value focal_length_mm, Value pixel_size_um, Value pixels_per_metre,
                         std::optional<std::pair<double, double>> principal_point,
                         Value in_plane_angle_deg, Value k1, Value k2, Value k3, Value p1,
                         Value p2) {
                 const CameraKeywords keywords{focal_length_px,
                                               focal_length_mm,
                                               pixel_size_um,
                                               pixels_per_metre,
                                               principal_point,
                                               in_plane_angle_deg,
                                               k1,
                                               k2,
                                               k3,
                                               p1,
                                               p2};
                 if (!path.is_none()) {
                     if (keywords.Any()) {
                         throw py::value_error("give a camera file or keyword values, not both");
                     }
                     return FromFile(path);
                 }
                 if (!keywords.Any()) return pair_run::CameraUse{ro::BuiltInCamera(), ""};
                 return FromKeywords(keywords);
             }),
             py::arg("path") = py::none(), py::kw_only(), py::arg("focal_length_px") = py::none(),
             py::arg("focal_length_mm") = py::none(), py::arg("pixel_size_um") = py::none(),
             py::arg("pixels_per_metre") = py::none(), py::arg("principal_point") = py::none(),
             py::arg("in_plane_angle_deg") = py::none(), py::arg("k1") = py::none(),
             py::arg("k2") = py::none(), py::arg("k3") = py::none(), py::arg("p1") = py::none(),
             py::arg("p2") = py::none())
        .def_static(
            "from_file", [](const py::object& path) { return FromFile(path); }, py::arg("path"),
            "The camera of a camera file (str or os.PathLike); InputError names the file.")
        .def_property_readonly(
            "file",
            [](const pair_run::CameraUse& use) {
                return use.file.empty() ? py::object(py::none()) : py::object(py::str(use.file));
            },
            "The camera file it was read from; None for keyword values and the built-in camera.")
        .def_property_readonly(
            "units",
            [](const pair_run::CameraUse& use) { return use.camera.in_pixels ? "px" : "mm"; },
            "'px' for a camera given by its focal length in pixels, 'mm' for a metric one.")
        .def_property_readonly(
            "focal_length_px",
            [](const pair_run::CameraUse& use) { return use.camera.FocalLengthPx(); },
            "The focal length in column pixels (fx).")
        .def_property_readonly(
            "focal_length_px_row",
            [](const pair_run::CameraUse& use) {
                return use.camera.FocalLengthPx() * use.camera.row_scale;
            },
            "The focal length in row pixels (fy).")
        .def_property_readonly(
            "focal_length_mm",
            [](const pair_run::CameraUse& use) {
                return Optional(!use.camera.in_pixels, use.camera.focal_length_m * 1000.0);
            },
            "The focal length in millimetres; None for a camera given in pixels.")
        .def_property_readonly(
            "pixel_size_um",
            [](const pair_run::CameraUse& use) {
                return Optional(!use.camera.in_pixels, use.camera.PixelSizeUm());
            },
            "The width of a pixel in micrometres; None for a camera given in pixels.")
        .def_property_readonly(
            "principal_point",
            [](const pair_run::CameraUse& use) {
                return py::make_tuple(use.camera.principal_column_px, use.camera.principal_row_px);
            },
            "(column, row) of the principal point, pixels.")
        .def_property_readonly(
            "in_plane_angle_deg",
            [](const pair_run::CameraUse& use) {
                return use.camera.in_plane_angle_rad * common::kDegreesPerRadian;
            },
            "The angle between the pixel axes and the image-plane axes, degrees.")
        .def_property_readonly(
            "distortion",
            [](const pair_run::CameraUse& use) {
                const ro::Distortion& d = use.camera.distortion;
                py::dict out;
                out["k1"] = d.k1;
                out["k2"] = d.k2;
                out["k3"] = d.k3;
                out["p1"] = d.p1;
                out["p2"] = d.p2;
                return out;
            },
            "The distortion coefficients k1, k2, k3, p1, p2 (0 where none).")
        .def(
            "to_text",
            [](const pair_run::CameraUse& use) { return ro::FormatCameraText(use.camera); },
            "The camera as the text of a camera file.")
        .def(
            "__eq__",
            [](const pair_run::CameraUse& a, const pair_run::CameraUse& b) {
                return a.camera == b.camera;
            },
            py::is_operator(), "The same interior orientation, whatever it was read from.")
        .def("__repr__", &Repr);
}

}  // namespace relative_orientation_python
