#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "talvaren/platform/Json.hpp"

using namespace talvaren;

namespace {

// A small record: fails without a "name" text.
struct Pet {
  std::string name;
  std::optional<std::int64_t> age;

  static std::optional<Pet> fromJSON(const JSON& json) {
    auto name = Json::read<std::string>(json, "name");
    if (!name) return std::nullopt;
    return Pet{*name, Json::read<std::int64_t>(json, "age")};
  }
  std::optional<JSON> toJSON() const {
    if (name == "secret") return std::nullopt;
    return Json::jsonify(Json::write("name", name), Json::write("age", age));
  }
};

JSON parsed(std::string_view text) {
  auto value = Json::parse(text);
  EXPECT_TRUE(value) << text;
  return value.value_or(JSON());
}

}  // namespace

TEST(JsonKinds, IntegerReadsIntegersAndIntegralFloatsInRange) {
  JSON object = parsed(R"({"a": 7, "b": 7.0, "c": 7.5, "d": "7", "e": true, "f": null, "g": -3,
      "big": 9223372036854775807, "tooBig": 9223372036854775808, "huge": 1e19, "low": -9223372036854775808,
      "lowFloat": -9.223372036854775808e18})");
  EXPECT_EQ(Json::read<std::int64_t>(object, "a"), 7);
  EXPECT_EQ(Json::read<std::int64_t>(object, "b"), 7);
  EXPECT_EQ(Json::read<std::int64_t>(object, "c"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(object, "d"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(object, "e"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(object, "f"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(object, "g"), -3);
  EXPECT_EQ(Json::read<std::int64_t>(object, "missing"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(object, "big"), INT64_MAX);
  EXPECT_EQ(Json::read<std::int64_t>(object, "tooBig"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(object, "huge"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(object, "low"), INT64_MIN);
  EXPECT_EQ(Json::read<std::int64_t>(object, "lowFloat"), INT64_MIN);
}

TEST(JsonKinds, TextBooleanAndDoubleAreStrict) {
  JSON object = parsed(R"({"a": 7, "b": 7.5, "c": "7", "d": true, "e": 0, "f": null, "u": 18446744073709551615})");
  EXPECT_EQ(Json::read<std::string>(object, "c"), "7");
  EXPECT_EQ(Json::read<std::string>(object, "a"), std::nullopt);
  EXPECT_EQ(Json::read<std::string>(object, "f"), std::nullopt);
  EXPECT_EQ(Json::read<bool>(object, "d"), true);
  EXPECT_EQ(Json::read<bool>(object, "e"), std::nullopt);
  EXPECT_EQ(Json::read<bool>(object, "c"), std::nullopt);
  EXPECT_EQ(Json::read<double>(object, "a"), 7.0);
  EXPECT_EQ(Json::read<double>(object, "b"), 7.5);
  EXPECT_EQ(Json::read<double>(object, "c"), std::nullopt);
  EXPECT_EQ(Json::read<double>(object, "d"), std::nullopt);
  EXPECT_EQ(Json::read<double>(object, "u"), 18446744073709551615.0);
  // Not an object at all: every read is absent.
  EXPECT_EQ(Json::read<std::string>(JSON::array({"c"}), "c"), std::nullopt);
  EXPECT_EQ(Json::read<std::int64_t>(JSON(5), "a"), std::nullopt);
}

TEST(JsonKinds, ListsNeedEveryElementOfTheKind) {
  JSON object = parsed(R"({"rr": [850, 870.0], "mixed": [850, "x"], "empty": [], "notList": 850,
      "names": ["a", "b"], "flags": [true, false]})");
  EXPECT_EQ(Json::read<std::vector<std::int64_t>>(object, "rr"), (std::vector<std::int64_t>{850, 870}));
  EXPECT_EQ(Json::read<std::vector<std::int64_t>>(object, "mixed"), std::nullopt);
  EXPECT_EQ(Json::read<std::vector<std::int64_t>>(object, "empty"), std::vector<std::int64_t>{});
  EXPECT_EQ(Json::read<std::vector<std::int64_t>>(object, "notList"), std::nullopt);
  EXPECT_EQ(Json::read<std::vector<std::string>>(object, "names"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Json::read<std::vector<bool>>(object, "flags"), (std::vector<bool>{true, false}));
  EXPECT_EQ(Json::read<std::vector<double>>(object, "rr"), (std::vector<double>{850, 870}));

  std::optional<std::vector<std::int64_t>> into = std::vector<std::int64_t>{1};
  Json::read(object, "mixed", into);
  EXPECT_EQ(into, std::nullopt);
}

TEST(JsonRecords, ListFailsWholeWhenOneElementFails) {
  JSON object = parsed(R"({"pets": [{"name": "Rex", "age": 3}, {"name": "Tom"}],
      "bad": [{"name": "Rex"}, {"age": 2}], "notObjects": [1, 2], "notList": {"name": "Rex"}})");
  auto pets = Json::readRecordList<Pet>(object, "pets");
  ASSERT_TRUE(pets);
  ASSERT_EQ(pets->size(), 2u);
  EXPECT_EQ((*pets)[0].age, 3);
  EXPECT_EQ((*pets)[1].name, "Tom");
  EXPECT_EQ((*pets)[1].age, std::nullopt);
  EXPECT_FALSE(Json::readRecordList<Pet>(object, "bad"));
  EXPECT_FALSE(Json::readRecordList<Pet>(object, "notObjects"));
  EXPECT_FALSE(Json::readRecordList<Pet>(object, "notList"));
  EXPECT_FALSE(Json::readRecordList<Pet>(object, "missing"));

  auto shared = Json::readRecordList<std::shared_ptr<Pet>>(object, "pets");
  ASSERT_TRUE(shared);
  EXPECT_EQ((*shared)[0]->name, "Rex");
}

TEST(JsonRecords, SingleRecordAndDictionary) {
  JSON object = parsed(R"({"pet": {"name": "Rex"}, "byName": {"a": {"name": "A"}, "b": {"name": "B", "age": 1}},
      "badDictionary": {"a": {"name": "A"}, "b": {"age": 1}}, "notObject": [{"name": "A"}]})");
  EXPECT_EQ(Json::readRecord<Pet>(object, "pet")->name, "Rex");
  EXPECT_FALSE(Json::readRecord<Pet>(object, "notObject"));
  auto byName = Json::readRecordDictionary<std::shared_ptr<Pet>>(object, "byName");
  ASSERT_TRUE(byName);
  EXPECT_EQ(byName->at("b")->age, 1);
  EXPECT_FALSE(Json::readRecordDictionary<Pet>(object, "badDictionary"));
  EXPECT_FALSE(Json::readRecordDictionary<Pet>(object, "notObject"));

  JSON written = Json::jsonify(Json::writeRecord("pet", std::optional<Pet>(Pet{"Rex", 2})),
                               Json::writeRecordDictionary("byName", byName));
  EXPECT_EQ(written, parsed(R"({"pet": {"name": "Rex", "age": 2},
      "byName": {"a": {"name": "A"}, "b": {"name": "B", "age": 1}}})"));
}

TEST(JsonRecords, WritesOmitAbsentValuesAndFailingLists) {
  std::optional<std::string> none;
  std::optional<std::vector<Pet>> pets = std::vector<Pet>{{"Rex", 3}, {"Tom", std::nullopt}};
  std::optional<std::vector<Pet>> withSecret = std::vector<Pet>{{"Rex", 3}, {"secret", 1}};
  std::optional<std::vector<Pet>> noPets = std::vector<Pet>{};
  std::optional<Json::Piece> nothing;
  JSON json = Json::jsonify(Json::write("uuid", none), Json::write("owner", std::optional<std::int64_t>(7)),
                            Json::write("flag", false), Json::write("label", "x"), Json::writeRecordList("pets", pets),
                            Json::writeRecordList("hidden", withSecret), Json::writeRecordList("none", noPets),
                            Json::write("rr", std::optional<std::vector<std::int64_t>>({1, 2})), nothing);
  EXPECT_EQ(json, parsed(R"({"owner": 7, "flag": false, "label": "x", "pets": [{"name": "Rex", "age": 3},
      {"name": "Tom"}], "none": [], "rr": [1, 2]})"));
  EXPECT_EQ(Json::jsonify(), JSON::object());
  // Keys are taken whole and the later piece wins.
  EXPECT_EQ(Json::jsonify(Json::write("a.b", std::int64_t{1}), Json::write("a.b", std::int64_t{2})),
            parsed(R"({"a.b": 2})"));
  std::vector<std::optional<Json::Piece>> pieces{Json::write("a", true), nothing, Json::write("b", 2.5)};
  EXPECT_EQ(Json::jsonify(pieces), parsed(R"({"a": true, "b": 2.5})"));
}

TEST(JsonRecords, ArrayHelpersRoundTrip) {
  JSON array = parsed(R"([{"name": "Rex", "age": 3}, {"name": "Tom"}])");
  auto pets = Json::fromJSONArray<Pet>(array);
  ASSERT_TRUE(pets);
  EXPECT_EQ(Json::toJSONArray(*pets), array);
  EXPECT_FALSE(Json::fromJSONArray<Pet>(parsed(R"([{"name": "Rex"}, 3])")));
  EXPECT_FALSE(Json::fromJSONArray<Pet>(parsed(R"({"name": "Rex"})")));
  EXPECT_FALSE(Json::toJSONArray(std::vector<Pet>{{"secret", 1}}));
  std::vector<JSON> objects{parsed(R"({"name": "A"})"), parsed(R"({"name": "B"})")};
  EXPECT_EQ(Json::fromJSONArray<Pet>(objects)->size(), 2u);
  EXPECT_FALSE(Json::toJSONArray(std::vector<std::shared_ptr<Pet>>{nullptr}));
}

TEST(JsonRecords, ArrayTextHelpersMatchTheTreeRoad) {
  // Element by element, the same records or the same refusal as parsing the whole array first.
  const std::string nested = std::string(Json::maximumDepth - 2, '[') + std::string(Json::maximumDepth - 2, ']');
  for (const std::string& text :
       {std::string(R"([{"name": "Rex", "age": 3}, {"name": "Tom", "tags": [1, {"x": null}], "age": 2.0}])"),
        std::string("[]"), std::string(R"( [ {"name": "A"} ] )"), std::string(R"([{"name": "Rex"}, 3])"),
        std::string(R"([{"age": 1}])"), std::string(R"({"name": "Rex"})"), std::string(R"([{"name": "Rex"})"),
        std::string(R"([{"name": "Rex"}] x)"), std::string(R"("x")"), std::string("[1]"), std::string(""),
        std::string(R"([{"name": "A", "n": )") + nested + "}]",
        std::string(R"([{"name": "A", "n": [)") + nested + "]}]"}) {
    const auto parsedText = Json::parse(text);
    const auto byTree = parsedText ? Json::fromJSONArray<Pet>(*parsedText) : std::nullopt;
    const auto byElement = Json::decodeArray<Pet>(text);
    ASSERT_EQ(byElement.has_value(), byTree.has_value()) << text;
    if (byTree) {
      EXPECT_EQ(Json::toJSONArray(*byElement), Json::toJSONArray(*byTree)) << text;
    }
  }
  EXPECT_EQ(Json::decodeArray<Pet>(R"([{"name": "Rex", "age": 3}, {"name": "Tom"}])")->size(), 2u);

  const std::vector<Pet> pets{{"Rex", 3}, {"Tom", std::nullopt}, {"bad \xff \"quoted\"", -1}};
  EXPECT_EQ(Json::dumpArray(pets), Json::dump(*Json::toJSONArray(pets)));
  EXPECT_EQ(Json::dumpArray(std::vector<Pet>{}), "[]");
  EXPECT_FALSE(Json::dumpArray(std::vector<Pet>{{"Rex", 1}, {"secret", 1}}));
}

TEST(JsonText, ParseIsWholeAndBoundedDumpNeverThrows) {
  EXPECT_EQ(Json::parse(R"( {"a": [1, 2]} )"), parsed(R"({"a":[1,2]})"));
  EXPECT_FALSE(Json::parse(R"({"a": 1} x)"));
  EXPECT_FALSE(Json::parse(R"({"a": )"));
  EXPECT_FALSE(Json::parse(""));
  EXPECT_FALSE(Json::parse("\"\xff\""));
  std::string deep(Json::maximumDepth + 1, '[');
  deep += std::string(Json::maximumDepth + 1, ']');
  EXPECT_FALSE(Json::parse(deep));
  std::string fine(Json::maximumDepth, '[');
  fine += std::string(Json::maximumDepth, ']');
  EXPECT_TRUE(Json::parse(fine));
  // Brackets inside texts do not count as nesting.
  EXPECT_TRUE(Json::parse("\"" + std::string(2000, '[') + "\\\"\""));

  // A value is as deep as its parse allows; a built one is measured without recursion.
  EXPECT_TRUE(Json::nestedWithin(*Json::parse(fine)));
  EXPECT_FALSE(Json::nestedWithin(*Json::parse(fine), Json::maximumDepth - 1));
  EXPECT_TRUE(Json::nestedWithin(parsed(R"({"a": [1, {}], "b": 2})"), 3));
  EXPECT_FALSE(Json::nestedWithin(parsed(R"({"b": 2, "a": [1, {}]})"), 2));
  EXPECT_TRUE(Json::nestedWithin(JSON("text"), 0));
  JSON built = JSON::array();
  for (int i = 0; i < 100000; ++i) {
    JSON outer = JSON::object();
    outer["a"] = std::move(built);
    built = std::move(outer);
  }
  EXPECT_FALSE(Json::nestedWithin(built));
  EXPECT_TRUE(Json::nestedWithin(built, 100001));

  EXPECT_EQ(Json::dump(parsed(R"({"b": 1, "a": "x"})")), R"({"a":"x","b":1})");
  EXPECT_EQ(Json::dump(JSON("bad \xff text")), "\"bad \xEF\xBF\xBD text\"");
}
