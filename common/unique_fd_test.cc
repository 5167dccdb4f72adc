#include "common/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <utility>

namespace common {
namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

int OpenNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

// Every way a descriptor leaves an owner: it is closed exactly once, or handed on untouched.
TEST(UniqueFdTest, ClosesExactlyOnceWhateverPathTheOwnerTakes) {
  int fd = OpenNull();
  { UniqueFd owner(fd); }
  EXPECT_FALSE(IsOpen(fd)) << "closed when the owner goes away";

  fd = OpenNull();
  UniqueFd first(fd);
  UniqueFd second(std::move(first));
  EXPECT_FALSE(first.valid());
  EXPECT_EQ(second.get(), fd);
  UniqueFd third;
  third = std::move(second);
  EXPECT_TRUE(IsOpen(fd)) << "a move closes nothing";
  third = std::move(third);
  EXPECT_TRUE(IsOpen(fd)) << "a move onto itself keeps the descriptor";
  const int other = OpenNull();
  third.Reset(other);
  EXPECT_FALSE(IsOpen(fd)) << "Reset closes the old descriptor";
  EXPECT_TRUE(IsOpen(other));
  EXPECT_TRUE(third.Close());
  EXPECT_FALSE(IsOpen(other));
  EXPECT_TRUE(third.Close()) << "closing an empty owner is no failure";

  fd = OpenNull();
  UniqueFd released(fd);
  EXPECT_EQ(released.Release(), fd);
  EXPECT_FALSE(released.valid());
  EXPECT_TRUE(IsOpen(fd)) << "a released descriptor stays open";
  ::close(fd);
}

}  // namespace
}  // namespace common
