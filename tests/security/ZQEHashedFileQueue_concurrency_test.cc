// The queue that opens and hashes files ahead of their use on a few threads:
// each file comes out as ZQEHashedFile::Open() makes it, in list order; no
// more than its window of files is open at once, and no more than a
// quarter of what the process may still open; a file released before
// anybody started on it is never opened; and no thread outlives the queue.

#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "tests/support/FileOpenWatch.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ScopedTempDir.h"

namespace zqextensionkit {
namespace {

namespace fs = std::filesystem;

// Descriptors of this process open on files in `dir`.
size_t DescriptorsOpenIn(const fs::path& dir) {
  size_t count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    count += !ec && target.parent_path() == dir;
  }
  return count;
}

class ZQEHashedFileQueueTest : public testing::Test {
 protected:
  // `count` files of different sizes (the first empty), in order.
  std::vector<std::string> WriteFiles(size_t count) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < count; ++i) {
      paths.push_back(temp_.WriteFile("f" + std::to_string(i),
                                      std::string(i * 7919, char('a' + i))));
    }
    return paths;
  }

  test::ScopedTempDir temp_;
};

TEST_F(ZQEHashedFileQueueTest, HandsOutEachFileAsOpenMakesIt) {
  std::vector<std::string> paths = WriteFiles(12);
  // Files that cannot be hashed, among the others.
  paths.insert(paths.begin() + 3, (temp_.path() / "missing").string());
  const std::string fifo = (temp_.path() / "fifo").string();
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  paths.insert(paths.begin() + 7, fifo);
  paths.insert(paths.begin() + 9, temp_.path().string());

  struct Case {
    size_t threads;
    size_t started;
  };
  const Case cases[] = {{0, 0}, {1, 0}, {2, 2}, {4, 4}, {1000, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE("threads: " + std::to_string(c.threads));
    ZQEHashedFileQueue queue(paths, c.threads);
    EXPECT_EQ(c.started, queue.threads());
    ASSERT_EQ(paths.size(), queue.size());
    for (size_t i = 0; i < paths.size(); ++i) {
      const ZQEHashedFile expected = ZQEHashedFile::Open(paths[i]);
      ZQEHashedFile* file = queue.Get(i);
      ASSERT_NE(nullptr, file) << paths[i];
      EXPECT_EQ(expected.ok(), file->ok()) << paths[i];
      EXPECT_EQ(expected.md5_text(), file->md5_text()) << paths[i];
      EXPECT_EQ(file, queue.Get(i)) << "the same file until released";
      queue.Release(i);
      EXPECT_EQ(nullptr, queue.Get(i));
      queue.Release(i);
    }
  }
}

TEST_F(ZQEHashedFileQueueTest, KeepsNoMoreThanItsWindowOpen) {
  const std::vector<std::string> paths = WriteFiles(40);
  ZQEHashedFileQueue queue(paths, 2);
  const size_t window = queue.window();
  ASSERT_EQ(8u, window);

  // The caller holds a whole window: the threads stop there. A file past it
  // that the caller needs is hashed on the caller's thread, and one it
  // releases untouched is never opened.
  for (size_t i = 0; i < window; ++i)
    ASSERT_TRUE(queue.Get(i)->ok());
  test::FileOpenWatch watch({temp_.path().string()});
  ASSERT_TRUE(watch.ok());
  EXPECT_EQ(window, DescriptorsOpenIn(temp_.path()));
  queue.Release(window + 1);
  ASSERT_TRUE(queue.Get(window)->ok());
  EXPECT_EQ(window + 1, DescriptorsOpenIn(temp_.path()));
  EXPECT_EQ((std::map<std::string, int>{{paths[window], 1}}), watch.Opens());

  for (size_t i = 0; i <= window; ++i)
    queue.Release(i);
  for (size_t i = window + 2; i < paths.size(); ++i) {
    ASSERT_TRUE(queue.Get(i)->ok());
    EXPECT_LE(DescriptorsOpenIn(temp_.path()), window);
    queue.Release(i);
  }
  EXPECT_EQ(nullptr, queue.Get(window + 1));
  EXPECT_EQ(0u, watch.Opens().count(paths[window + 1]));
  EXPECT_EQ(0u, DescriptorsOpenIn(temp_.path()));
}

TEST_F(ZQEHashedFileQueueTest, LeavesMostOfALowFileLimitToTheProcess) {
  // Many threads asked for under a soft limit close to what is open: the
  // files ahead take a quarter of the 20 descriptors left, and every file
  // still comes out hashed.
  const std::vector<std::string> paths = WriteFiles(40);
  test::ScopedSoftFileLimit limit(test::OpenDescriptors() + 20);
  ASSERT_TRUE(limit.ok());
  ZQEHashedFileQueue queue(paths, 64);
  EXPECT_GE(queue.window(), 1u);
  EXPECT_LE(queue.window(), 5u);
  EXPECT_LE(queue.threads(), queue.window());
  for (size_t i = 0; i < paths.size(); ++i) {
    ASSERT_TRUE(queue.Get(i)->ok()) << paths[i];
    EXPECT_LE(DescriptorsOpenIn(temp_.path()), queue.window());
    queue.Release(i);
  }
}

TEST_F(ZQEHashedFileQueueTest, ThreadsAreJoinedWithFilesLeft) {
  const std::vector<std::string> paths = WriteFiles(30);
  {
    ZQEHashedFileQueue queue(paths, 4);
    ASSERT_EQ(4u, queue.threads());
    EXPECT_TRUE(queue.Get(5)->ok());
  }
  EXPECT_EQ(0u, test::ThreadsNamed(ZQEHashedFileQueue::kThreadName));
  EXPECT_EQ(0u, DescriptorsOpenIn(temp_.path()));
}

TEST(ZQEHashedFileQueueThreadsTest, BoundedByCoresFilesAndSetting) {
  const size_t cores = ZQEHashedFileQueue::ThreadsFor(0, 1u << 20);
  EXPECT_GE(cores, 1u);
  EXPECT_EQ(cores, ZQEHashedFileQueue::ThreadsFor(1u << 20, 1u << 20));
  EXPECT_EQ(1u, ZQEHashedFileQueue::ThreadsFor(1, 20));
  EXPECT_EQ(1u, ZQEHashedFileQueue::ThreadsFor(0, 1));
  EXPECT_EQ(1u, ZQEHashedFileQueue::ThreadsFor(0, 0));
  EXPECT_EQ(std::min<size_t>(cores, 2), ZQEHashedFileQueue::ThreadsFor(2, 20));
  EXPECT_EQ(std::min<size_t>(cores, 3), ZQEHashedFileQueue::ThreadsFor(0, 3));
}

}  // namespace
}  // namespace zqextensionkit
