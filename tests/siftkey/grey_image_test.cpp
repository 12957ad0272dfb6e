// Reading photographs: every supported kind (JPEG, PNG, TIFF; 8 or 16 bit; grey or
// colour) becomes the expected 8-bit grey image. Bad files are covered through the
// program (siftkey_cli_test.cpp).
#include "siftkey/grey_image.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace siftkey {
namespace {

using test_support::CaseName;
using test_support::TempDir;

// A 40 x 30 image whose grey values vary smoothly (so that JPEG keeps them closely):
// value(r, c) = 40 + 3 c + 2 r, as 8-bit grey, 16-bit grey (times 257), or colour with
// every channel equal to it.
cv::Mat Ramp(int depth, int channels) {
    cv::Mat grey(30, 40, CV_8U);
    for (int r = 0; r < grey.rows; ++r) {
        for (int c = 0; c < grey.cols; ++c) grey.at<unsigned char>(r, c) = 40 + 3 * c + 2 * r;
    }
    cv::Mat out = grey;
    if (depth == CV_16U) grey.convertTo(out, CV_16U, 257.0);
    if (channels > 1) {
        std::vector<cv::Mat> planes(channels, out);
        if (channels == 4) planes[3] = cv::Mat(out.size(), out.type(), cv::Scalar(0));
        cv::merge(planes, out);
    }
    return out;
}

struct KindCase {
    const char* name;
    const char* extension;
    int depth;
    int channels;
    int tolerance;  // grey levels: JPEG is lossy
};

class ImageKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(ImageKindTest, BecomesTheSameEightBitGreyImage) {
    const KindCase& c = GetParam();
    TempDir dir;
    const std::string file = dir.File(std::string("image.") + c.extension);
    ASSERT_TRUE(cv::imwrite(file, Ramp(c.depth, c.channels)));
    const GreyImage image = LoadGreyImage(file);
    ASSERT_EQ(image.error, "");
    ASSERT_EQ(image.grey.type(), CV_8UC1);
    ASSERT_EQ(image.grey.size(), cv::Size(40, 30));
    double max_difference = 0.0;
    cv::minMaxLoc(cv::abs(image.grey - Ramp(CV_8U, 1)), nullptr, &max_difference);
    EXPECT_LE(max_difference, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Table, ImageKindTest,
                         testing::Values(KindCase{"jpeg_grey", "jpg", CV_8U, 1, 3},
                                         KindCase{"jpeg_colour", "jpg", CV_8U, 3, 3},
                                         KindCase{"png_grey", "png", CV_8U, 1, 0},
                                         KindCase{"png_colour", "png", CV_8U, 3, 0},
                                         KindCase{"png_colour_alpha", "png", CV_8U, 4, 0},
                                         KindCase{"png_grey16", "png", CV_16U, 1, 0},
                                         KindCase{"png_colour16", "png", CV_16U, 3, 0},
                                         KindCase{"tiff_grey", "tif", CV_8U, 1, 0},
                                         KindCase{"tiff_colour", "tif", CV_8U, 3, 0},
                                         KindCase{"tiff_grey16", "tif", CV_16U, 1, 0},
                                         KindCase{"tiff_colour16", "tif", CV_16U, 3, 0}),
                         CaseName());

struct GreyCase {
    const char* name;
    cv::Scalar pixel;  // blue, green, red (, alpha)
    int type;
    int grey;
};

class ToGreyTest : public testing::TestWithParam<GreyCase> {};

// Colour weighs red 0.299, green 0.587, blue 0.114; 16 bits map 0..65535 onto 0..255.
TEST_P(ToGreyTest, WeighsChannelsAndScalesDepth) {
    const GreyCase& c = GetParam();
    std::string error;
    const cv::Mat grey = ToGrey8(cv::Mat(3, 4, c.type, c.pixel), &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(grey.type(), CV_8UC1);
    EXPECT_EQ(grey.at<unsigned char>(1, 2), c.grey);
}

INSTANTIATE_TEST_SUITE_P(Table, ToGreyTest,
                         testing::Values(GreyCase{"red", {0, 0, 200}, CV_8UC3, 60},
                                         GreyCase{"green", {0, 200, 0}, CV_8UC3, 117},
                                         GreyCase{"blue", {200, 0, 0}, CV_8UC3, 23},
                                         GreyCase{"alpha_ignored", {0, 0, 200, 0}, CV_8UC4, 60},
                                         GreyCase{"grey_with_alpha", {77, 0}, CV_8UC2, 77},
                                         GreyCase{"white16", {65535}, CV_16UC1, 255},
                                         GreyCase{"black16", {0}, CV_16UC1, 0},
                                         GreyCase{"exact16", {257 * 99}, CV_16UC1, 99},
                                         GreyCase{"below_half16", {32767}, CV_16UC1, 127},
                                         GreyCase{"above_half16", {32768}, CV_16UC1, 128},
                                         GreyCase{"red16", {0, 0, 51400}, CV_16UC3, 60}),
                         CaseName());

TEST(ToGreyTest, RefusesOtherSampleTypes) {
    for (const auto& [type, name] :
         {std::pair{CV_32FC1, "32-bit floating-point"}, std::pair{CV_16SC1, "16-bit signed"},
          std::pair{CV_64FC3, "64-bit floating-point"}}) {
        std::string error;
        EXPECT_TRUE(ToGrey8(cv::Mat(2, 2, type, cv::Scalar(1)), &error).empty());
        EXPECT_EQ(error, std::string(name) + " samples are not supported (8- or 16-bit only)");
    }
}

}  // namespace
}  // namespace siftkey
