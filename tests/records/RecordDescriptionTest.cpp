#include <gtest/gtest.h>

#include <cstdlib>

#include "talvaren/records/RecordDescription.hpp"

using namespace talvaren;

TEST(RecordDescription, OptionalFormsOfEachKind) {
  EXPECT_EQ(describe::optional(std::optional<std::string>()), "nil");
  EXPECT_EQ(describe::optional(std::optional<std::int64_t>(12)), "Optional(12)");
  EXPECT_EQ(describe::optional(std::optional<std::int64_t>(-3)), "Optional(-3)");
  EXPECT_EQ(describe::optional(std::optional<std::uint16_t>(65535)), "Optional(65535)");
  EXPECT_EQ(describe::optional(std::optional<bool>(false)), "Optional(false)");
  EXPECT_EQ(describe::optional(std::optional<std::string>("text")), "Optional(\"text\")");
  EXPECT_EQ(describe::optional(std::optional<std::string>("")), "Optional(\"\")");
  EXPECT_EQ(describe::optional(std::optional<std::vector<std::int64_t>>({1, 2})), "Optional([1, 2])");
  EXPECT_EQ(describe::optional(std::optional<std::vector<std::int64_t>>(std::vector<std::int64_t>{})),
            "Optional([])");
  EXPECT_EQ(describe::optional(std::optional<std::vector<std::int64_t>>()), "nil");
  EXPECT_EQ(describe::optionalForm(true, describe::qualifiedCase("WorkoutType", "cardio")),
            "Optional(TalvarenKit.WorkoutType.cardio)");
  EXPECT_EQ(describe::qualifiedType("HRRecovery"), "TalvarenKit.HRRecovery");
}

TEST(RecordDescription, TextsAreEscapedAsQuotedLiterals) {
  EXPECT_EQ(describe::quoted("say \"hi\""), R"("say \"hi\"")");
  EXPECT_EQ(describe::quoted("a\\b"), R"("a\\b")");
  EXPECT_EQ(describe::quoted("l1\nl2\r\t"), R"("l1\nl2\r\t")");
  EXPECT_EQ(describe::quoted(std::string("nul\0", 4)), R"("nul\0")");
  EXPECT_EQ(describe::quoted("\x1b[0m\x7f"), R"("\u{1B}[0m\u{7F}")");
  EXPECT_EQ(describe::quoted("it's caf\xC3\xA9"), "\"it's caf\xC3\xA9\"");
  // Control characters above ASCII (U+0085, U+009B) are escaped too; other letters stay as they are.
  EXPECT_EQ(describe::quoted("a\xC2\x85" "b\xC2\x9B" "c\xC2\xA0\xC2"), "\"a\\u{85}b\\u{9B}c\xC2\xA0\xC2\"");
}

TEST(RecordDescription, DoublesInShortestFormThatReadsBack) {
  EXPECT_EQ(describe::number(1577836800.0), "1577836800.0");
  EXPECT_EQ(describe::number(1577836800.25), "1577836800.25");
  EXPECT_EQ(describe::number(0.0), "0.0");
  EXPECT_EQ(describe::number(-0.0), "-0.0");
  EXPECT_EQ(describe::number(0.1), "0.1");
  EXPECT_EQ(describe::number(1e-4), "0.0001");
  EXPECT_EQ(describe::number(1.5e-4), "0.00015");
  EXPECT_EQ(describe::number(1e-5), "1e-05");
  EXPECT_EQ(describe::number(-2.5e-7), "-2.5e-07");
  EXPECT_EQ(describe::number(100.0), "100.0");
  EXPECT_EQ(describe::number(1e15), "1000000000000000.0");
  EXPECT_EQ(describe::number(9007199254740992.0), "9007199254740992.0");
  EXPECT_EQ(describe::number(1e16), "1e+16");
  EXPECT_EQ(describe::number(1.2345678901234568e17), "1.2345678901234568e+17");
  EXPECT_EQ(describe::number(1e300), "1e+300");
  EXPECT_EQ(describe::number(5e-324), "5e-324");
  EXPECT_EQ(describe::number(0.30000000000000004), "0.30000000000000004");
  // Every form reads back as the same number.
  for (double value : {1.0 / 3, 2.0 / 3 * 1e-6, 123456.789e10, 6.02214076e23, 1e-4 - 1e-20}) {
    EXPECT_EQ(std::strtod(describe::number(value).c_str(), nullptr), value) << describe::number(value);
  }
}

TEST(RecordDescription, OneLineAndMultiLineLayouts) {
  describe::OneLine line("Calories");
  line.field("uuid", "nil").field("owner", "Optional(7)");
  EXPECT_EQ(line.text(), "Calories: uuid = nil, owner = Optional(7)");

  describe::MultiLine lines("workout");
  lines.field("uuid", "nil").field("numberOfResumes", "Optional(0)");
  EXPECT_EQ(lines.text(),
            "workout: \n"
            "uuid                   = nil\n"
            "numberOfResumes        = Optional(0)\n");
}
