// siftkey --camera: the camera file written from a photograph's EXIF data, read back with
// the camera-file parser, and the failures when the EXIF data cannot give a camera. The
// photographs are JPEG files with an EXIF segment made by libexif spliced in.
#include <gtest/gtest.h>
#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <variant>
#include <vector>

#include "camera/camera_file.h"
#include "testing/case_name.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "tests/siftkey/synthetic_images.h"

namespace fs = std::filesystem;

namespace {

using test_support::CaseName;
using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

// One EXIF entry: a number (rational, short or long by the tag) or, for text tags, `text`.
struct Tag {
    ExifTag tag;
    double value;
    const char* text = nullptr;
};

// The bytes of an EXIF block ("Exif\0\0" and a little-endian TIFF structure) holding `tags`.
std::string ExifBlock(const std::vector<Tag>& tags) {
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
    ExifMem* mem = exif_mem_new_default();
    for (const Tag& t : tags) {
        ExifEntry* e = exif_entry_new_mem(mem);
        e->tag = t.tag;
        const bool in_ifd0 = t.tag == EXIF_TAG_MAKE || t.tag == EXIF_TAG_MODEL;
        if (t.text != nullptr) {
            e->format = EXIF_FORMAT_ASCII;
            e->components = std::strlen(t.text) + 1;
        } else if (t.tag == EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT ||
                   t.tag == EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM) {
            e->format = EXIF_FORMAT_SHORT;
            e->components = 1;
        } else if (t.tag == EXIF_TAG_PIXEL_X_DIMENSION || t.tag == EXIF_TAG_PIXEL_Y_DIMENSION) {
            e->format = EXIF_FORMAT_LONG;
            e->components = 1;
        } else {
            e->format = EXIF_FORMAT_RATIONAL;
            e->components = 1;
        }
        e->size = exif_format_get_size(e->format) * e->components;
        e->data = static_cast<unsigned char*>(exif_mem_alloc(mem, e->size));
        if (t.text != nullptr) {
            std::memcpy(e->data, t.text, e->size);
        } else if (e->format == EXIF_FORMAT_SHORT) {
            exif_set_short(e->data, EXIF_BYTE_ORDER_INTEL, static_cast<ExifShort>(t.value));
        } else if (e->format == EXIF_FORMAT_LONG) {
            exif_set_long(e->data, EXIF_BYTE_ORDER_INTEL, static_cast<ExifLong>(t.value));
        } else {
            exif_set_rational(e->data, EXIF_BYTE_ORDER_INTEL,
                              {static_cast<ExifLong>(t.value * 1000.0 + 0.5), 1000});
        }
        exif_content_add_entry(data->ifd[in_ifd0 ? EXIF_IFD_0 : EXIF_IFD_EXIF], e);
        exif_entry_unref(e);
    }
    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &bytes, &size);
    std::string block(reinterpret_cast<const char*>(bytes), size);
    std::free(bytes);
    exif_mem_unref(mem);
    exif_data_unref(data);
    return block;
}

// A JPEG file of `image` with an APP1 segment holding `exif` right after its start marker
// (none when `exif` is empty).
std::string JpegWithExif(const cv::Mat& image, const std::string& exif) {
    std::vector<unsigned char> encoded;
    cv::imencode(".jpg", image, encoded);
    std::string jpeg(encoded.begin(), encoded.end());
    if (exif.empty()) return jpeg;
    const std::size_t length = exif.size() + 2;
    const std::string segment = std::string("\xFF\xE1") + static_cast<char>(length >> 8) +
                                static_cast<char>(length & 0xFF) + exif;
    return jpeg.insert(2, segment);
}

struct CameraCase {
    const char* name;
    std::vector<Tag> exif;  // empty: a JPEG without EXIF data
    double focal_mm;        // the camera written; 0: none, and `says` is why
    double pixel_um;
    const char* says;  // a comment line of the camera file, or the reason none was written
};

class SiftkeyCameraTest : public testing::TestWithParam<CameraCase> {};

// The photograph is 120 x 80 pixels: principal point (59.5, 39.5); its diagonal is
// 144.22 pixels. 5080 pixels per inch are 5 um pixels.
TEST_P(SiftkeyCameraTest, CameraOfTheExifDataOrStatus1AndWhy) {
    const CameraCase& c = GetParam();
    TempDir dir;
    const std::string photo = dir.Write(
        "photo.jpg",
        JpegWithExif(RandomBlobs(120, 80, 30, 7), c.exif.empty() ? "" : ExifBlock(c.exif)));
    const std::string cam = dir.File("photo.cam");
    const ProgramResult r =
        RunProgram(SIFTKEY_PROGRAM, {"--camera", cam, photo, dir.File("photo.key")}, 60.0);
    EXPECT_TRUE(fs::exists(dir.File("photo.key"))) << "the keypoints are written in any case";
    if (c.focal_mm == 0.0) {
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_NE(r.err.find("\nsiftkey: " + photo + ": no camera written: " + c.says),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(cam));
        return;
    }
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::string text = ReadFileBytes(cam);
    EXPECT_EQ(text.rfind("# Camera from the EXIF data of " + photo + ", written by siftkey.\n" +
                             "# Approximate: the principal point is assumed at the centre of "
                             "the frame, and there is no distortion.\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
    EXPECT_NE(r.err.find("siftkey: camera of " + photo + " from its EXIF data written to " + cam),
              std::string::npos)
        << r.err;
    const ro::CameraFileResult parsed = ro::ParseCameraText(text);
    const auto* camera = std::get_if<ro::Camera>(&parsed);
    ASSERT_NE(camera, nullptr) << std::get<ro::CameraFileError>(parsed).reason;
    EXPECT_NEAR(camera->focal_length_m * 1e3, c.focal_mm, 1e-6);
    EXPECT_NEAR(camera->PixelSizeUm(), c.pixel_um, 1e-4 * c.pixel_um);
    EXPECT_EQ(camera->principal_column_px, 59.5);
    EXPECT_EQ(camera->principal_row_px, 39.5);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SiftkeyCameraTest,
    testing::Values(
        CameraCase{"FocalPlaneInInches",
                   {{EXIF_TAG_MAKE, 0, "Canon"},
                    {EXIF_TAG_MODEL, 0, "Canon EOS 5D"},
                    {EXIF_TAG_FOCAL_LENGTH, 24},
                    {EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 5080},
                    {EXIF_TAG_FOCAL_PLANE_Y_RESOLUTION, 5080},
                    {EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT, 2},
                    {EXIF_TAG_PIXEL_X_DIMENSION, 120}},
                   24,
                   5,
                   "\n# Camera: Canon EOS 5D\n"},
        CameraCase{"FocalPlaneInCentimetres",
                   {{EXIF_TAG_MAKE, 0, "NIKON"},
                    {EXIF_TAG_MODEL, 0, "D800"},
                    {EXIF_TAG_FOCAL_LENGTH, 4.2},
                    {EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 2000},
                    {EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT, 3}},
                   4.2,
                   5,
                   "\n# Camera: NIKON D800\n"},
        CameraCase{"NonSquareInMillimetresGiveTheMean",
                   {{EXIF_TAG_FOCAL_LENGTH, 35},
                    {EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 200},
                    {EXIF_TAG_FOCAL_PLANE_Y_RESOLUTION, 250},
                    {EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT, 4}},
                   35,
                   4.5,
                   "# Pixel size from the EXIF focal plane resolution.\n"},
        CameraCase{"ResizedToAQuarter",
                   {{EXIF_TAG_FOCAL_LENGTH, 24},
                    {EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 5080},
                    {EXIF_TAG_PIXEL_X_DIMENSION, 480},
                    {EXIF_TAG_PIXEL_Y_DIMENSION, 320}},
                   24,
                   20,
                   "scaled by 4: the EXIF image size is 480 pixels wide, the photograph 120 "
                   "(resized since)"},
        CameraCase{"Only35mmEquivalent",
                   {{EXIF_TAG_FOCAL_LENGTH, 10}, {EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 50}},
                   10,
                   1000.0 * 43.27 * 10.0 / 50.0 / 144.22205101855957,
                   "35 mm equivalent focal length (50 mm)"},
        CameraCase{"NoAbsoluteUnitFallsBackTo35mm",
                   {{EXIF_TAG_FOCAL_LENGTH, 10},
                    {EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 5080},
                    {EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT, 1},
                    {EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 50}},
                   10,
                   1000.0 * 43.27 * 10.0 / 50.0 / 144.22205101855957,
                   "35 mm equivalent"},
        CameraCase{"NoExif", {}, 0, 0, "the photograph has no EXIF data"},
        CameraCase{"NoFocalLength",
                   {{EXIF_TAG_MAKE, 0, "Canon"}, {EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 5080}},
                   0,
                   0,
                   "the EXIF data has no focal length"},
        CameraCase{"NoPixelSize",
                   {{EXIF_TAG_FOCAL_LENGTH, 24}},
                   0,
                   0,
                   "the EXIF data has neither a focal plane resolution nor a 35 mm equivalent "
                   "focal length, so the pixel size is unknown"},
        CameraCase{"OutOfRange",
                   {{EXIF_TAG_FOCAL_LENGTH, 24}, {EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 0.001}},
                   0,
                   0,
                   "the EXIF data gives no usable camera ("}),
    CaseName());

}  // namespace
