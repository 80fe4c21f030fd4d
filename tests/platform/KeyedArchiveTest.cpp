#include "talvaren/platform/KeyedArchive.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <new>

namespace talvaren::platform {
namespace {

// A record that writes itself, as the kit's archivable records do.
struct Sample {
  std::int64_t bmp = 0;
  std::optional<std::string> type;
  void encode(KeyedArchiver& coder) const {
    coder.encode(bmp, "bmp");
    coder.encode(type, "type");
  }
};

Bytes archiveOf(const KeyedArchiver& archiver) {
  auto data = archiver.encodedData();
  EXPECT_TRUE(data.has_value());
  return data.value_or(Bytes{});
}

KeyedArchiver everyKind() {
  KeyedArchiver archiver;
  archiver.encode(std::int64_t{72}, "bmp");
  archiver.encode(std::numeric_limits<std::int64_t>::min(), "min");
  archiver.encode(std::numeric_limits<std::int64_t>::max(), "max");
  archiver.encode(1577836800.25, "double");
  archiver.encode(true, "yes");
  archiver.encode(false, "no");
  archiver.encode("grüße ✓", "text");
  archiver.encode(std::string(), "emptyText");
  archiver.encode(Bytes{0x89, 0x50, 0x00, 0xFF}, "data");
  archiver.encode(Bytes{}, "emptyData");
  archiver.encode(Date(1577836800.5), "date");
  archiver.encodeNull("nothing");
  archiver.encode(std::optional<std::int64_t>(), "absent");
  archiver.encode(ArchiveList{1, "two", 3.5, ArchiveList{}, nullptr}, "list");
  archiver.encode(Sample{65535, "cardio"}, "nested");
  archiver.encode(std::shared_ptr<Sample>(), "noSample");
  return archiver;
}

TEST(KeyedArchive, EveryKindRoundTripsByKey) {
  const Bytes data = archiveOf(everyKind());
  auto coder = KeyedUnarchiver::fromData(data);
  ASSERT_TRUE(coder.has_value());

  EXPECT_EQ(coder->decodeInteger("bmp"), 72);
  EXPECT_EQ(coder->decodeInteger("min"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(coder->decodeInteger("max"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(coder->decodeDouble("double"), 1577836800.25);
  EXPECT_EQ(coder->decodeBool("yes"), true);
  EXPECT_EQ(coder->decodeBool("no"), false);
  EXPECT_EQ(coder->decodeString("text"), "grüße ✓");
  EXPECT_EQ(coder->decodeString("emptyText"), "");
  EXPECT_EQ(coder->decodeData("data"), (Bytes{0x89, 0x50, 0x00, 0xFF}));
  EXPECT_EQ(coder->decodeData("emptyData"), Bytes{});
  EXPECT_EQ(coder->decodeDate("date"), Date(1577836800.5));
  EXPECT_EQ(coder->decodeList("list"), (ArchiveList{1, "two", 3.5, ArchiveList{}, nullptr}));

  auto nested = coder->decodeArchive("nested");
  ASSERT_TRUE(nested.has_value());
  EXPECT_EQ(nested->decodeInteger("bmp"), 65535);
  EXPECT_EQ(nested->decodeString("type"), "cardio");

  EXPECT_EQ(coder->object(), everyKind().object());
  EXPECT_EQ(coder->object().keys().front(), "bmp");  // written order is kept
}

TEST(KeyedArchive, NestedReaderOutlivesItsParent) {
  std::optional<KeyedUnarchiver> nested;
  {
    auto coder = KeyedUnarchiver::fromData(archiveOf(everyKind()));
    ASSERT_TRUE(coder.has_value());
    nested = coder->decodeArchive("nested");
  }
  ASSERT_TRUE(nested.has_value());
  EXPECT_EQ(nested->decodeInteger("bmp"), 65535);
}

TEST(KeyedArchive, NullEntriesAndMissingKeysReadAsNothing) {
  auto coder = KeyedUnarchiver::fromData(archiveOf(everyKind()));
  ASSERT_TRUE(coder.has_value());
  for (const char* key : {"nothing", "absent", "noSample"}) {
    EXPECT_TRUE(coder->containsValue(key)) << key;
    EXPECT_FALSE(coder->decodeObject(key).has_value()) << key;
    EXPECT_FALSE(coder->decodeString(key).has_value()) << key;
    EXPECT_FALSE(coder->decodeInteger(key).has_value()) << key;
  }
  EXPECT_FALSE(coder->containsValue("missing"));
  EXPECT_FALSE(coder->decodeObject("missing").has_value());
  EXPECT_FALSE(coder->decodeDate("missing").has_value());
  EXPECT_FALSE(coder->containsValue("BMP"));  // keys are case-sensitive
}

TEST(KeyedArchive, ReadsAreStrictAboutKinds) {
  KeyedArchiver archiver;
  archiver.encode(3.0, "integralDouble");
  archiver.encode(3.5, "fraction");
  archiver.encode(-9223372036854775808.0, "lowestDouble");
  archiver.encode(9223372036854775808.0, "aboveInt64");
  archiver.encode(std::nan(""), "nan");
  archiver.encode(std::int64_t{1} << 53, "exactInDouble");
  archiver.encode((std::int64_t{1} << 53) + 1, "inexactInDouble");
  archiver.encode(std::numeric_limits<std::int64_t>::max(), "int64Max");
  archiver.encode(true, "bool");
  archiver.encode(1, "one");
  archiver.encode("7", "text");
  archiver.encode(Date(5), "date");
  archiver.encode(Bytes{1}, "data");
  auto coder = KeyedUnarchiver::fromData(archiveOf(archiver));
  ASSERT_TRUE(coder.has_value());

  EXPECT_EQ(coder->decodeInteger("integralDouble"), 3);
  EXPECT_EQ(coder->decodeInteger("lowestDouble"), std::numeric_limits<std::int64_t>::min());
  EXPECT_FALSE(coder->decodeInteger("fraction").has_value());
  EXPECT_FALSE(coder->decodeInteger("aboveInt64").has_value());
  EXPECT_FALSE(coder->decodeInteger("nan").has_value());
  EXPECT_FALSE(coder->decodeInteger("bool").has_value());
  EXPECT_FALSE(coder->decodeInteger("text").has_value());
  EXPECT_FALSE(coder->decodeInteger("date").has_value());

  EXPECT_EQ(coder->decodeDouble("one"), 1.0);
  EXPECT_EQ(coder->decodeDouble("exactInDouble"), 9007199254740992.0);
  EXPECT_FALSE(coder->decodeDouble("inexactInDouble").has_value());
  EXPECT_FALSE(coder->decodeDouble("int64Max").has_value());
  EXPECT_FALSE(coder->decodeDouble("bool").has_value());
  EXPECT_FALSE(coder->decodeDouble("date").has_value());

  EXPECT_FALSE(coder->decodeBool("one").has_value());
  EXPECT_FALSE(coder->decodeDate("integralDouble").has_value());
  EXPECT_FALSE(coder->decodeString("data").has_value());
  EXPECT_FALSE(coder->decodeData("text").has_value());
  EXPECT_FALSE(coder->decodeList("text").has_value());
  EXPECT_FALSE(coder->decodeArchive("data").has_value());
  EXPECT_EQ(coder->decodeObject("text"), ArchiveValue("7"));
}

TEST(KeyedArchive, RootValuesOfEveryKindRoundTrip) {
  const ArchiveValue roots[] = {
      ArchiveValue(), ArchiveValue(false), ArchiveValue(-1), ArchiveValue(-0.0), ArchiveValue("x"),
      ArchiveValue(Bytes{7}), ArchiveValue(Date(-1.5)), ArchiveValue(ArchiveList{ArchiveObject{}}),
  };
  for (const ArchiveValue& root : roots) {
    auto data = KeyedArchiver::archivedData(root);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(KeyedUnarchiver::unarchiveObject(*data), root);
    EXPECT_FALSE(KeyedUnarchiver::fromData(*data).has_value()) << "only an object root gives a reader";
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto back = KeyedUnarchiver::unarchiveObject(KeyedArchiver::archivedData(nan).value());
  ASSERT_TRUE(back && back->asDouble());
  EXPECT_EQ(std::bit_cast<std::uint64_t>(*back->asDouble()), std::bit_cast<std::uint64_t>(nan));
  EXPECT_TRUE(std::signbit(*KeyedUnarchiver::unarchiveObject(*KeyedArchiver::archivedData(-0.0))->asDouble()));

  auto sample = KeyedUnarchiver::fromData(KeyedArchiver::archivedData(Sample{7, std::nullopt}).value());
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->decodeInteger("bmp"), 7);
  EXPECT_TRUE(sample->containsValue("type"));
}

TEST(KeyedArchive, ByteFormatIsStable) {
  // Archives already stored by hosts must keep reading: this is version 1, byte for byte.
  KeyedArchiver archiver;
  archiver.encode(std::uint16_t{72}, "bmp");
  archiver.encode(Date(1.0), "date");
  archiver.encodeNull("type");
  const Bytes expected = {
      'T', 'K', 'A', 'R', 0x01,                                     // magic, version
      0x09, 0, 0, 0, 3,                                             // object of 3 entries
      0, 0, 0, 3, 'b', 'm', 'p', 0x03, 0, 0, 0, 0, 0, 0, 0, 72,     // "bmp": integer 72
      0, 0, 0, 4, 'd', 'a', 't', 'e', 0x07, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0,  // "date": 1.0
      0, 0, 0, 4, 't', 'y', 'p', 'e', 0x00,                         // "type": null
  };
  EXPECT_EQ(archiveOf(archiver), expected);
  auto coder = KeyedUnarchiver::fromData(expected);
  ASSERT_TRUE(coder.has_value());
  EXPECT_EQ(coder->decodeInteger("bmp"), 72);
  EXPECT_EQ(coder->decodeDate("date"), Date(1.0));
}

TEST(KeyedArchive, EncodingReplacesAnEarlierEntryOfTheSameKey) {
  KeyedArchiver archiver;
  archiver.encode(1, "a");
  archiver.encode("b", "b");
  archiver.encode("one", "a");
  EXPECT_EQ(archiver.object().keys(), (std::vector<std::string>{"a", "b"}));
  auto coder = KeyedUnarchiver::fromData(archiveOf(archiver));
  ASSERT_TRUE(coder.has_value());
  EXPECT_EQ(coder->decodeString("a"), "one");
}

TEST(KeyedArchive, EveryTruncationAndTrailingByteIsRefused) {
  const Bytes data = archiveOf(everyKind());
  for (std::size_t length = 0; length < data.size(); ++length) {
    EXPECT_FALSE(KeyedUnarchiver::unarchiveObject(std::span(data).first(length)).has_value()) << length;
  }
  Bytes longer = data;
  longer.push_back(0x00);
  EXPECT_FALSE(KeyedUnarchiver::unarchiveObject(longer).has_value());
}

TEST(KeyedArchive, FlippedBytesNeverReadAsSomethingElseSilently) {
  // The format is canonical, so whatever a damaged archive still reads as must write back to
  // exactly the damaged bytes; everything else is refused.
  const Bytes data = archiveOf(everyKind());
  std::size_t refused = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    for (std::uint8_t mask : {0x01, 0x80, 0xFF}) {
      Bytes damaged = data;
      damaged[i] ^= mask;
      auto value = KeyedUnarchiver::unarchiveObject(damaged);
      if (!value) {
        ++refused;
        continue;
      }
      EXPECT_EQ(KeyedArchiver::archivedData(*value), damaged) << "byte " << i;
    }
  }
  EXPECT_GT(refused, data.size());
}

TEST(KeyedArchive, ForeignAndMalformedInputIsRefused) {
  auto refuse = [](const Bytes& bytes) { return !KeyedUnarchiver::unarchiveObject(bytes).has_value(); };
  const Bytes header = {'T', 'K', 'A', 'R', 0x01};
  auto with = [&header](std::initializer_list<std::uint8_t> tail) {
    Bytes bytes = header;
    bytes.insert(bytes.end(), tail);
    return bytes;
  };
  EXPECT_FALSE(refuse(with({0x00})));  // a bare null root is a valid archive
  EXPECT_TRUE(refuse({}));
  EXPECT_TRUE(refuse({'T', 'K', 'A', 'X', 0x01, 0x00}));  // wrong magic
  EXPECT_TRUE(refuse({'T', 'K', 'A', 'R', 0x02, 0x00}));  // newer version
  EXPECT_TRUE(refuse({'b', 'p', 'l', 'i', 's', 't'}));
  EXPECT_TRUE(refuse(with({0x0A})));                                      // unknown tag
  EXPECT_TRUE(refuse(with({0x05, 0, 0, 0, 2, 0xC3, 0x28})));              // text not UTF-8
  EXPECT_TRUE(refuse(with({0x05, 0, 0, 0, 2, 0xC0, 0x80})));              // overlong form
  EXPECT_TRUE(refuse(with({0x05, 0, 0, 0, 3, 0xED, 0xA0, 0x80})));        // surrogate
  EXPECT_TRUE(refuse(with({0x06, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2})));        // length beyond the input
  EXPECT_TRUE(refuse(with({0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0})));     // huge list count
  EXPECT_TRUE(refuse(with({0x09, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0})));  // huge object count
  EXPECT_TRUE(refuse(with({0x09, 0, 0, 0, 2, 0, 0, 0, 1, 'k', 0x00, 0, 0, 0, 1, 'k', 0x01})));  // same key twice
  EXPECT_FALSE(refuse(with({0x09, 0, 0, 0, 2, 0, 0, 0, 1, 'k', 0x00, 0, 0, 0, 1, 'K', 0x01})));
}

TEST(KeyedArchive, NestingIsBoundedBothWays) {
  auto nested = [](std::size_t depth) {
    ArchiveValue value = 1;
    for (std::size_t k = 0; k < depth; ++k) value = ArchiveList{std::move(value)};
    return value;
  };
  auto deepest = KeyedArchiver::archivedData(nested(KeyedArchiver::maxDepth));
  ASSERT_TRUE(deepest.has_value());
  EXPECT_TRUE(KeyedUnarchiver::unarchiveObject(*deepest).has_value());
  EXPECT_FALSE(KeyedArchiver::archivedData(nested(KeyedArchiver::maxDepth + 1)).has_value());

  // Hand-made bytes far deeper than the limit (lists of one element) are refused without recursion
  // beyond the limit.
  Bytes bytes = {'T', 'K', 'A', 'R', 0x01};
  for (int k = 0; k < 100000; ++k) bytes.insert(bytes.end(), {0x08, 0, 0, 0, 1});
  bytes.push_back(0x00);
  EXPECT_FALSE(KeyedUnarchiver::unarchiveObject(bytes).has_value());
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TALVAREN_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TALVAREN_UNDER_SANITIZER 1
#endif
#endif

TEST(KeyedArchive, ClaimedCountsDoNotReserveMemoryAheadOfTheirElements) {
#ifdef TALVAREN_UNDER_SANITIZER
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#else
  // Lists nested to the limit, each claiming as many elements as there are bytes left, over a few
  // megabytes that are never reached: the reader must refuse this without making room for them all.
  Bytes bytes = {'T', 'K', 'A', 'R', 0x01};
  for (std::size_t k = 0; k + 1 < KeyedArchiver::maxDepth; ++k) bytes.insert(bytes.end(), {0x08, 0, 0x40, 0, 0});
  bytes.push_back(0xEE);  // no such tag
  bytes.resize(bytes.size() + (std::size_t{4} << 20), 0);

  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  ASSERT_GT(pages, 0u);
  const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{512} << 20);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // In the child only: an address space a little larger than what is in use now, and any
    // allocation that does not fit ends the child at once.
    rlimit bound{limit, limit};
    ::setrlimit(RLIMIT_AS, &bound);
    std::set_new_handler([] { ::_exit(2); });
    const bool refused = !KeyedUnarchiver::unarchiveObject(bytes).has_value();
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the reader crashed";
  EXPECT_EQ(WEXITSTATUS(status), 0) << (WEXITSTATUS(status) == 2 ? "the reader ran out of memory" : "accepted");
#endif
}

TEST(KeyedArchive, TextsAndKeysMustBeUTF8ToBeWritten) {
  KeyedArchiver badText;
  badText.encode(std::string("\xFF"), "k");
  EXPECT_FALSE(badText.encodedData().has_value());
  KeyedArchiver badKey;
  badKey.encode(1, std::string_view("\xC3", 1));
  EXPECT_FALSE(badKey.encodedData().has_value());
}

TEST(KeyedArchive, JSONDictionariesConvertBothWays) {
  const auto json = nlohmann::json::parse(
      R"({"token": "abc", "user_id": 12, "ratio": 0.5, "ok": true, "none": null, "list": [1, "a", {"b": []}]})");
  auto value = ArchiveValue::fromJSON(json);
  ASSERT_TRUE(value.has_value());
  auto back = KeyedUnarchiver::unarchiveObject(KeyedArchiver::archivedData(*value).value());
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->toJSON(), json);
  EXPECT_EQ(back->asObject()->find("user_id")->kind(), ArchiveValue::Kind::integer);

  EXPECT_FALSE(ArchiveValue::fromJSON(nlohmann::json(std::numeric_limits<std::uint64_t>::max())).has_value());
  EXPECT_FALSE(ArchiveValue(ArchiveList{Bytes{1}}).toJSON().has_value());
  EXPECT_FALSE(ArchiveValue(ArchiveObject{}).toJSON()->is_null());
  EXPECT_FALSE(ArchiveValue(Date(0)).toJSON().has_value());
  EXPECT_FALSE(ArchiveValue(std::numeric_limits<double>::infinity()).toJSON().has_value());
}

TEST(KeyedArchive, ObjectEqualityIgnoresEntryOrder) {
  ArchiveObject a;
  a.set("x", 1);
  a.set("y", "two");
  ArchiveObject b;
  b.set("y", "two");
  b.set("x", 1);
  EXPECT_EQ(a, b);
  b.set("x", 1.0);
  EXPECT_NE(a, b);  // an integer and a double are different values
  EXPECT_TRUE(b.remove("x"));
  EXPECT_FALSE(b.remove("x"));
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace talvaren::platform
