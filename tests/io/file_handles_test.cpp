// The owners of open files close exactly once, and report a close that loses data.
#include "io/file_handles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(FileDescriptorTest, ClosedOnceByWhoeverOwnsIt) {
    int fd = -1;
    {
        io::FileDescriptor first(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        fd = first.get();
        ASSERT_TRUE(IsOpen(fd));
        io::FileDescriptor second(std::move(first));
        EXPECT_EQ(second.get(), fd);
        io::FileDescriptor third;
        third = std::move(second);
        EXPECT_TRUE(IsOpen(fd));
    }
    EXPECT_FALSE(IsOpen(fd));

    io::FileDescriptor kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int released = kept.Release();
    EXPECT_TRUE(IsOpen(released));
    EXPECT_TRUE(kept.Close()) << "nothing left to close";
    EXPECT_EQ(::close(released), 0);
}

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
