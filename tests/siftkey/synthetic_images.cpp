#include "tests/siftkey/synthetic_images.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kBackground = 128.0;

struct Blob {
    double row, col, sigma, amplitude;
};

cv::Mat Render(int width, int height, const std::vector<Blob>& blobs) {
    cv::Mat image(height, width, CV_8U);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            double v = kBackground;
            for (const Blob& b : blobs) {
                const double d2 = (r - b.row) * (r - b.row) + (c - b.col) * (c - b.col);
                v += b.amplitude * std::exp(-d2 / (2.0 * b.sigma * b.sigma));
            }
            image.at<unsigned char>(r, c) = cv::saturate_cast<unsigned char>(v);
        }
    }
    return image;
}

}  // namespace

cv::Mat GaussianBlob(int width, int height, double row_px, double col_px, double sigma_px) {
    return Render(width, height, {{row_px, col_px, sigma_px, 100.0}});
}

cv::Mat Dipole(int width, int height, double row_px, double col_px, double offset_px,
               double sigma_px, double direction_rad) {
    // Counter-clockwise on screen: the row decreases as the angle turns towards "up".
    const double dr = -offset_px * std::sin(direction_rad);
    const double dc = offset_px * std::cos(direction_rad);
    return Render(width, height,
                  {{row_px + dr, col_px + dc, sigma_px, 100.0},
                   {row_px - dr, col_px - dc, sigma_px, -100.0}});
}

cv::Mat RandomBlobs(int width, int height, int count, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> row(0.0, height - 1.0);
    std::uniform_real_distribution<double> col(0.0, width - 1.0);
    std::uniform_real_distribution<double> sigma(1.5, 6.0);
    std::uniform_real_distribution<double> amplitude(-90.0, 90.0);
    std::vector<Blob> blobs;
    for (int i = 0; i < count; ++i)
        blobs.push_back({row(gen), col(gen), sigma(gen), amplitude(gen)});
    return Render(width, height, blobs);
}
