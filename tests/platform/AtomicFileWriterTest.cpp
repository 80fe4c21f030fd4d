#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

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

  // A body of several flush steps (flushed on another thread while it is written, the writer moved on
  // the way) arrives whole.
  std::string large(9 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 + i / 4096);
  auto first = opened(file);
  const std::string_view body(large);
  constexpr std::size_t piece = 64 * 1024;
  const std::size_t half = body.size() / 2 / piece * piece;
  for (std::size_t at = 0; at < half; at += piece) ASSERT_EQ(first.write(body.substr(at, piece)), 0);
  AtomicFileWriter second(std::move(first));
  for (std::size_t at = half; at < body.size(); at += piece) ASSERT_EQ(second.write(body.substr(at, piece)), 0);
  EXPECT_FALSE(second.commit());
  EXPECT_EQ(contents(file), large);
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
  {
    auto writer = opened(file);
    const std::string piece(1024 * 1024, 'x');
    for (int i = 0; i < 6; ++i) writer.write(piece);  // past a flush step: dropped with its flush under way
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

// A writer killed before its commit leaves its temporary file; the next writer in that folder (a store's
// save, a download) removes it, but never the file of a writer still at work, nor anything else.
TEST(AtomicFileWriterTest, LeftoversOfDeadWritersAreSweptWhenTheFolderIsNextWritten) {
  testkit::TemporaryAppHome home;
  const fs::path folder = home.path();
  // What a writer leaves when it dies: its temporary file, named after the target and the writer.
  const std::vector<std::string> dead = {".firmware.zip.tmp-2147483646-0-a3f2c1", ".UserDefaults.json.tmp-12-7-ff"};
  const std::vector<std::string> others = {".hidden", "report.tmp-1-2-3", ".notes.tmp-", ".x.tmp-12-ab-cd"};
  auto live = opened(folder / "body.bin");
  EXPECT_EQ(live.write("in progress"), 0);
  for (const auto& name : dead) std::ofstream(folder / name) << std::string(4096, 's');
  for (const auto& name : others) std::ofstream(folder / name) << "mine";
  ASSERT_EQ(entries(folder), dead.size() + others.size() + 1);

  auto next = opened(folder / "other.bin");
  for (const auto& name : dead) EXPECT_FALSE(fs::exists(folder / name)) << name;
  for (const auto& name : others) EXPECT_EQ(contents(folder / name), "mine") << name;
  EXPECT_EQ(entries(folder), others.size() + 2);  // the two live writers' files
  EXPECT_FALSE(live.commit());
  EXPECT_FALSE(next.commit());
  EXPECT_EQ(contents(folder / "body.bin"), "in progress");
  EXPECT_EQ(entries(folder), others.size() + 2);
}

// Writers sharing a folder sweep while the others write: none loses its file on the way to its commit.
TEST(AtomicFileWriterTest, WritersSharingAFolderNeverSweepEachOther) {
  testkit::TemporaryAppHome home;
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        auto file = home.path() / ("file" + std::to_string(t) + "-" + std::to_string(i % 3));
        if (platform::detail::writeFileAtomically(file, std::to_string(i), 0600, true)) ++failures;
      }
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(entries(home.path()), 12u);
  EXPECT_EQ(contents(home.path() / "file3-0"), "39");
}
