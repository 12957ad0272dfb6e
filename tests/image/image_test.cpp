// What the headers and the structure of real PNG, JPEG and TIFF files (made by OpenCV's
// encoders) tell: the size, and whether the file is whole or cut short.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "image/image_header.h"
#include "image/image_integrity.h"
#include "testing/case_name.h"

namespace {

using test_support::CaseName;

std::string Encoded(const char* extension, int width, int height,
                    const std::vector<int>& parameters = {}) {
    // Values that change from pixel to pixel, so that the compressed data is not tiny.
    cv::Mat picture(height, width, CV_8UC3);
    cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(255));
    std::vector<unsigned char> bytes;
    cv::imencode(extension, picture, bytes, parameters);
    return {bytes.begin(), bytes.end()};
}

// A PNG signature and IHDR chunk claiming `width` x `height` pixels, nothing after it.
std::string PngHeader(std::uint32_t width, std::uint32_t height) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (const std::uint32_t v : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(v >> shift));
    }
    return bytes + std::string("\x08\x00\x00\x00\x00", 5) + std::string(4, '\0');
}

// A little-endian TIFF file whose directory follows its strips, with `count` bytes of strip
// data removed and the directory's offset moved to match: the last strips lie beyond the end.
std::string WithoutStripData(const std::string& tiff, std::uint32_t count) {
    std::string cut = tiff.substr(0, 8) + tiff.substr(8 + count);
    std::uint32_t offset = 0;
    for (int k = 3; k >= 0; --k) offset = offset << 8 | static_cast<unsigned char>(cut[4 + k]);
    offset -= count;
    for (int k = 0; k < 4; ++k) cut[4 + k] = static_cast<char>(offset >> (8 * k));
    return cut;
}

struct FileCase {
    std::string name;
    std::string bytes;
    const char* mime;  // empty: no header read
    int width;
    int height;
    const char* incomplete;  // empty: whole; else the start of the reason
};

std::vector<FileCase> Files() {
    const std::string jpeg = Encoded(".jpg", 37, 21);
    const std::string progressive = Encoded(".jpg", 70, 50, {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
    const std::string png = Encoded(".png", 640, 3);
    const std::string tiff = Encoded(".tif", 300, 200, {cv::IMWRITE_TIFF_COMPRESSION, 1});
    const std::string tiff_lzw = Encoded(".tif", 120, 90);
    return {
        {"jpeg", jpeg, "image/jpeg", 37, 21, ""},
        {"jpeg_trailing_bytes", jpeg + "trailer", "image/jpeg", 37, 21, ""},
        {"jpeg_without_end_marker", jpeg.substr(0, jpeg.size() - 2), "image/jpeg", 37, 21,
         "the JPEG data ends before"},
        {"jpeg_cut_before_its_frame", jpeg.substr(0, 20), "", 0, 0, "the JPEG data ends"},
        {"jpeg_with_fill_bytes", jpeg.substr(0, 2) + "\xFF\xFF" + jpeg.substr(2), "image/jpeg", 37,
         21, ""},
        {"jpeg_segment_past_the_end", std::string("\xFF\xD8\xFF\xE0\xFF\xFF", 6), "", 0, 0,
         "the JPEG data ends before"},
        {"progressive_jpeg", progressive, "image/jpeg", 70, 50, ""},
        {"png", png, "image/png", 640, 3, ""},
        {"png_header_only", png.substr(0, 24), "image/png", 640, 3, "a PNG chunk runs past"},
        {"png_without_iend", png.substr(0, png.size() - 12), "image/png", 640, 3,
         "the PNG data ends before its IEND chunk"},
        {"png_huge_header", PngHeader(30000, 30000), "image/png", 30000, 30000, "the PNG data"},
        {"png_of_zero_width", PngHeader(0, 3), "", 0, 0, "the PNG data"},
        {"png_side_beyond_int", PngHeader(0x80000000U, 3), "", 0, 0, "the PNG data"},
        {"tiff", tiff, "image/tiff", 300, 200, ""},
        {"tiff_lzw", tiff_lzw, "image/tiff", 120, 90, ""},
        {"tiff_strips_cut", WithoutStripData(tiff, 1000), "image/tiff", 300, 200, "the TIFF"},
        {"tiff_directory_cut", tiff.substr(0, 9), "", 0, 0, "the TIFF directory"},
        {"empty", "", "", 0, 0, ""},
    };
}

class ImageFileTest : public testing::TestWithParam<FileCase> {};

TEST_P(ImageFileTest, HeaderAndCompleteness) {
    const FileCase& c = GetParam();
    const auto header = image::ReadImageHeader(c.bytes);
    EXPECT_EQ(header.has_value(), c.mime[0] != '\0');
    if (header) {
        EXPECT_STREQ(header->mime_type, c.mime);
        EXPECT_EQ(header->width, c.width);
        EXPECT_EQ(header->height, c.height);
    }
    const std::optional<std::string> why = image::WhyIncomplete(c.bytes);
    EXPECT_EQ(why.has_value(), c.incomplete[0] != '\0') << why.value_or("");
    EXPECT_EQ(why.value_or("").rfind(c.incomplete, 0), 0U) << why.value_or("");
}

INSTANTIATE_TEST_SUITE_P(Table, ImageFileTest, testing::ValuesIn(Files()), CaseName());

// Every prefix of a small file of each format is seen as cut, and the whole file is not.
TEST(ImageIntegrityTest, EveryPrefixIsIncomplete) {
    for (const std::string& whole : {Encoded(".jpg", 9, 7), Encoded(".png", 9, 7),
                                     Encoded(".tif", 9, 7, {cv::IMWRITE_TIFF_COMPRESSION, 1})}) {
        EXPECT_FALSE(image::WhyIncomplete(whole).has_value());
        for (std::size_t n = 8; n < whole.size(); ++n) {
            EXPECT_TRUE(image::WhyIncomplete(whole.substr(0, n)).has_value()) << n;
        }
    }
}

}  // namespace
