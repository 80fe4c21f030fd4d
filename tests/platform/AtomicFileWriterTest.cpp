#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/FileIO.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using platform::detail::AtomicFileWriter;
namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

AtomicFileWriter opened(const fs::path& file) {
  auto writer = AtomicFileWriter::open(file, 0644, true);
  EXPECT_TRUE(std::holds_alternative<AtomicFileWriter>(writer));
  return std::get<AtomicFileWriter>(std::move(writer));
}

}  // namespace

// The target shows the old bytes until the commit, the new ones after; nothing else is left beside it.
TEST(AtomicFileWriterTest, PiecesReplaceTheTargetOnlyOnCommit) {
  testkit::TemporaryAppHome home;
  const auto file = home.path() / "body.bin";
  std::ofstream(file) << "old";
  {
    auto writer = opened(file);
    EXPECT_EQ(writer.write("new "), 0);
    EXPECT_EQ(writer.write(std::string("bytes\0!", 7)), 0);
    EXPECT_EQ(contents(file), "old");
    EXPECT_EQ(entries(home.path()), 2u);
    EXPECT_FALSE(writer.commit());
  }
  EXPECT_EQ(contents(file), std::string("new bytes\0!", 11));
  EXPECT_EQ((fs::status(file).permissions() & fs::perms::all), fs::perms(0644));
  EXPECT_EQ(entries(home.path()), 1u);
}

// A writer dropped unfinished, or told not to replace what is there, leaves the folder as it found it.
TEST(AtomicFileWriterTest, UnfinishedOrRefusedWritesLeaveNoTrace) {
  testkit::TemporaryAppHome home;
  const auto file = home.path() / "body.bin";
  {
    auto writer = opened(file);
    writer.write("partial");
  }
  EXPECT_EQ(entries(home.path()), 0u);

  std::ofstream(file) << "kept";
  auto writer = opened(file);
  writer.write("other");
  const auto refused = writer.commit(false);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->code, 516);
  EXPECT_EQ(refused->userInfo["NSFilePath"], file.string());
  EXPECT_EQ(contents(file), "kept");
  EXPECT_EQ(entries(home.path()), 1u);

  // A folder in the target's place is "something in the way" too.
  fs::create_directory(home.path() / "folder");
  auto blocked = opened(home.path() / "folder");
  EXPECT_EQ(blocked.commit()->code, 516);
  EXPECT_EQ(entries(home.path()), 2u);

  auto missing = AtomicFileWriter::open(home.path() / "absent" / "x", 0644, true);
  ASSERT_TRUE(std::holds_alternative<Error>(missing));
  EXPECT_EQ(std::get<Error>(missing).code, 4);
}
