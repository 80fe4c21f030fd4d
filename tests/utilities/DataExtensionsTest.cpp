#include <gtest/gtest.h>

#include <map>
#include <string>
#include <unordered_map>

#include "talvaren/utilities/DataExtensions.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

using namespace talvaren;

namespace {
Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }
}  // namespace

TEST(DataFromHexTest, ReadsDigitsOfEitherCase) {
  EXPECT_EQ(dataFromHexEncodedString("0A1b"), (Bytes{0x0A, 0x1B}));
  EXPECT_EQ(dataFromHexEncodedString("0a1B"), (Bytes{0x0A, 0x1B}));
  EXPECT_EQ(dataFromHexEncodedString("b2040dc3"), (Bytes{0xB2, 0x04, 0x0D, 0xC3}));
  EXPECT_EQ(dataFromHexEncodedString("FFff"), (Bytes{0xFF, 0xFF}));
}

TEST(DataFromHexTest, OddLengthGetsALeadingZeroAndEmptyGivesEmpty) {
  EXPECT_EQ(dataFromHexEncodedString("f"), (Bytes{0x0F}));
  EXPECT_EQ(dataFromHexEncodedString("123"), (Bytes{0x01, 0x23}));
  EXPECT_EQ(dataFromHexEncodedString(""), Bytes{});
}

TEST(DataFromHexTest, AnyOtherCharacterGivesNothing) {
  for (std::string_view bad : {"0g", "0a 1b", "0x0a", "0a-1b", " ", "g", "0a\n", "@0", "0a:"}) {
    EXPECT_EQ(dataFromHexEncodedString(bad), std::nullopt) << bad;
  }
  // Characters of two, three and four UTF-8 bytes, and a combining mark that joins the letter before
  // it into one character: none of them is a hex digit, whatever the counts of units or characters.
  for (std::string_view bad : std::initializer_list<std::string_view>{"\xC3\xA9", "0a\xC3\xA9", "\xEF\xBC\x91\xEF\xBC\x92", "0a\xF0\x9F\x98\x80",
                               "e\xCC\x81", "0e\xCC\x81", std::string_view("0a\0", 3)}) {
    EXPECT_EQ(dataFromHexEncodedString(bad), std::nullopt);
  }
}

TEST(Md5Test, GivesTheDigestAsThirtyTwoLowerCaseDigits) {
  EXPECT_EQ(md5({}), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5(bytesOf("a")), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(md5(bytesOf("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5(bytesOf("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5(bytesOf("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
            "57edf4a22be3c955ac49da2e2107b67a");
  Bytes binary(1000);
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<std::uint8_t>(i * 7);
  EXPECT_EQ(md5(binary).size(), 32u);
  EXPECT_EQ(md5(binary).find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(MergeWithTest, SecondWinsAndReceiverIsUnchanged) {
  const std::map<std::string, int> receiver{{"a", 1}, {"b", 2}};
  const std::map<std::string, int> argument{{"b", 3}, {"c", 4}};
  EXPECT_EQ(mergeWith(receiver, argument), (std::map<std::string, int>{{"a", 1}, {"b", 3}, {"c", 4}}));
  EXPECT_EQ(receiver, (std::map<std::string, int>{{"a", 1}, {"b", 2}}));
  EXPECT_EQ(mergeWith(receiver, {}), receiver);

  const std::unordered_map<std::string, std::string> headers{{"Accept", "application/json"}};
  auto merged = mergeWith(headers, {{"Accept", "text/plain"}, {"X-CSRFToken", "t"}});
  EXPECT_EQ(merged.at("Accept"), "text/plain");
  EXPECT_EQ(merged.size(), 2u);
}

TEST(MergeWithTest, JsonObjectsMergeAndOtherValuesAddNothing) {
  const auto receiver = nlohmann::json{{"a", 1}, {"b", 2}};
  EXPECT_EQ(mergeWith(receiver, nlohmann::json{{"b", 3}, {"c", 4}}), (nlohmann::json{{"a", 1}, {"b", 3}, {"c", 4}}));
  EXPECT_EQ(receiver, (nlohmann::json{{"a", 1}, {"b", 2}}));
  EXPECT_EQ(mergeWith(receiver, nlohmann::json::object()), receiver);
  EXPECT_EQ(mergeWith(receiver, nlohmann::json()), receiver);
  EXPECT_EQ(mergeWith(nlohmann::json::array({1}), nlohmann::json{{"c", 4}}), (nlohmann::json{{"c", 4}}));
  EXPECT_TRUE(mergeWith(nlohmann::json(), nlohmann::json()).is_object());
}

TEST(DictionaryDescriptionTest, PrintsValuesOnOneLineAsRequestLogsShowThem) {
  EXPECT_EQ(dictionaryDescription(nlohmann::json::object()), "[:]");
  EXPECT_EQ(dictionaryDescription(std::map<std::string, std::string>{}), "[:]");
  EXPECT_EQ(dictionaryDescription(std::map<std::string, std::string>{{"Accept", "a/b"}, {"X", "say \"hi\""}}),
            R"(["Accept": "a/b", "X": "say \"hi\""])");
  const nlohmann::json parameters{{"list", {1, 2.5, true, nullptr}}, {"nested", {{"k", "v"}}}, {"text", "a\nb\u0001é"}};
  EXPECT_EQ(dictionaryDescription(parameters),
            R"(["list": [1, 2.5, true, <null>], "nested": ["k": "v"], "text": "a\nb\u{1}é"])");
  EXPECT_EQ(dictionaryDescription(nlohmann::json::array({INT64_MIN, UINT64_MAX, 0, false, -0.5})),
            "[-9223372036854775808, 18446744073709551615, 0, false, -0.5]");
  EXPECT_EQ(dictionaryDescription(nlohmann::json::binary({1, 2, 3})), "3 bytes");
  EXPECT_EQ(dictionaryDescription(nlohmann::json("\xFF\x41")), R"("\u{fffd}A")");
  // Whether a text is UTF-8 is decided for the whole text, also when its first high byte comes after an escape.
  EXPECT_EQ(dictionaryDescription(nlohmann::json("\x01\xC3\xA9\xFF")), R"("\u{1}\u{fffd}\u{fffd}\u{fffd}")");

  nlohmann::json deep = nlohmann::json::array();
  for (int i = 0; i < 100000; ++i) deep = nlohmann::json::array({std::move(deep)});
  EXPECT_NE(dictionaryDescription(deep).find("[...]"), std::string::npos);
}
