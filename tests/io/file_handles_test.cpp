// The owner of a C stream reports a close that loses data.
#include "io/file_handles.h"

#include <gtest/gtest.h>

namespace {

// The buffered tail of a stream reaches the device only at the close.
TEST(FileTest, CloseReportsTheLostTail) {
    io::File full(std::fopen("/dev/full", "wb"));
    if (!full) GTEST_SKIP() << "no /dev/full";
    std::fputs("buffered", full.get());
    EXPECT_FALSE(io::CloseFile(full));
    EXPECT_EQ(full, nullptr);
    io::File null(std::fopen("/dev/null", "wb"));
    std::fputs("buffered", null.get());
    EXPECT_TRUE(io::CloseFile(null));
    EXPECT_TRUE(io::CloseFile(null)) << "an empty owner";
}

}  // namespace
