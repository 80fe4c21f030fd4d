#include "talvaren/records/PreferencesData.hpp"

namespace talvaren {

PreferencesData::PreferencesData(std::string name, std::string identifier, std::string value)
    : PreferencesData("api", std::move(name), std::move(identifier), "none", std::move(value)) {}

PreferencesData::PreferencesData(std::string section, std::string name, std::optional<std::string> identifier,
                                 std::string defaultValue, std::string value)
    : value(std::move(value)),
      section_(std::move(section)),
      name_(std::move(name)),
      identifier_(std::move(identifier)),
      defaultValue_(std::move(defaultValue)) {}

std::optional<PreferencesData> PreferencesData::fromJSON(const JSON& json) {
  auto section = Json::read<std::string>(json, SectionKey);
  auto name = Json::read<std::string>(json, NameKey);
  auto identifier = Json::read<std::string>(json, IdentifierKey);
  auto defaultValue = Json::read<std::string>(json, DefaultValueKey);
  auto value = Json::read<std::string>(json, ValueKey);
  if (!section || !name || !identifier || !defaultValue || !value) return std::nullopt;
  return PreferencesData(std::move(*section), std::move(*name), std::move(identifier), std::move(*defaultValue),
                         std::move(*value));
}

std::optional<JSON> PreferencesData::toJSON() const {
  return Json::jsonify(
      Json::write(SectionKey, section_),
      Json::write(NameKey, name_),
      Json::write(IdentifierKey, identifier_),
      Json::write(DefaultValueKey, defaultValue_),
      Json::write(ValueKey, value));
}

}  // namespace talvaren
