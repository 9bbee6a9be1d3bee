// A key file is its owner's alone, also when it replaces a file that others could read, and
// never follows a link planted at its path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "transport/OwnerOnlyFile.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(OwnerOnlyFile, ReplacingAReadableFileLeavesItToItsOwnerAndALinkIsNotFollowed) {
  const std::string dir = ::testing::TempDir() + "owner_only_" + std::to_string(getpid()) + "/";
  std::filesystem::create_directories(dir);
  const std::string path = dir + "secret.key";
  std::ofstream(path) << "an older, longer text that was readable by everyone";
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);

  CamSdk::transport::writeOwnerOnlyFile(path, "secret");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(readAll(path), "secret");

  const std::string elsewhere = dir + "elsewhere";
  std::ofstream(elsewhere) << "untouched";
  std::filesystem::create_symlink(elsewhere, dir + "planted.key");
  EXPECT_THROW(CamSdk::transport::writeOwnerOnlyFile(dir + "planted.key", "secret"),
               std::runtime_error);
  EXPECT_EQ(readAll(elsewhere), "untouched");
  std::filesystem::remove_all(dir);
}

}  // namespace
