#include "talvaren/platform/Bundle.hpp"

#include <algorithm>
#include <system_error>
#include <utility>
#include <variant>

#include "platform/FileIO.hpp"

namespace talvaren::platform {
namespace {

constexpr std::uint32_t ReplacementCharacter = 0xFFFD;

void appendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = ReplacementCharacter;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

/// The content as UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 with a mark is converted.
std::optional<std::string> toUtf8(std::string_view content) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(content[i]); };
  if (content.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) content.remove_prefix(3);
  bool little = content.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
  bool big = content.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
  if (!little && !big) {
    if (!detail::isValidUtf8(content)) return std::nullopt;
    return std::string(content);
  }
  if (content.size() % 2 != 0) return std::nullopt;
  std::string out;
  std::optional<std::uint32_t> high;
  for (std::size_t i = 2; i < content.size(); i += 2) {
    std::uint32_t unit = little ? (byte(i) | (byte(i + 1) << 8)) : ((byte(i) << 8) | byte(i + 1));
    if (high) {
      if (!isLowSurrogate(unit)) return std::nullopt;
      appendUtf8(out, 0x10000 + ((*high - 0xD800) << 10) + (unit - 0xDC00));
      high.reset();
    } else if (isHighSurrogate(unit)) {
      high = unit;
    } else if (isLowSurrogate(unit)) {
      return std::nullopt;
    } else {
      appendUtf8(out, unit);
    }
  }
  if (high) return std::nullopt;
  return out;
}

class StringsParser {
 public:
  explicit StringsParser(std::string_view text) : text_(text) {}

  std::optional<Bundle::StringTable> parse() {
    Bundle::StringTable table;
    for (;;) {
      if (!skipTrivia()) return std::nullopt;
      if (atEnd()) return table;
      auto key = token();
      if (!key || !skipTrivia() || atEnd()) return std::nullopt;
      std::string value;
      if (peek() == ';') {
        value = *key;
      } else if (peek() == '=') {
        ++position_;
        if (!skipTrivia()) return std::nullopt;
        auto parsed = token();
        if (!parsed || !skipTrivia() || atEnd() || peek() != ';') return std::nullopt;
        value = std::move(*parsed);
      } else {
        return std::nullopt;
      }
      ++position_;  // the ';'
      table[std::move(*key)] = std::move(value);
    }
  }

 private:
  bool atEnd() const { return position_ >= text_.size(); }
  char peek(std::size_t ahead = 0) const {
    return position_ + ahead < text_.size() ? text_[position_ + ahead] : '\0';
  }

  /// Skips white space and comments; false for a comment that never ends.
  bool skipTrivia() {
    while (!atEnd()) {
      char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++position_;
      } else if (c == '/' && peek(1) == '*') {
        auto end = text_.find("*/", position_ + 2);
        if (end == std::string_view::npos) return false;
        position_ = end + 2;
      } else if (c == '/' && peek(1) == '/') {
        auto end = text_.find('\n', position_ + 2);
        position_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else {
        break;
      }
    }
    return true;
  }

  static bool isUnquoted(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
  }

  std::optional<std::string> token() {
    if (peek() == '"') return quoted();
    std::size_t start = position_;
    while (!atEnd() && isUnquoted(peek())) ++position_;
    if (position_ == start) return std::nullopt;
    return std::string(text_.substr(start, position_ - start));
  }

  static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  /// Reads the 1 to 4 hex digits of a \U escape at the current position.
  std::optional<std::uint32_t> unicodeUnit() {
    std::uint32_t unit = 0;
    int digits = 0;
    while (digits < 4 && hexValue(peek()) >= 0) {
      unit = unit * 16 + static_cast<std::uint32_t>(hexValue(peek()));
      ++position_;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    return unit;
  }

  std::optional<std::string> quoted() {
    ++position_;  // the opening quote
    std::string out;
    for (;;) {
      if (atEnd()) return std::nullopt;
      char c = text_[position_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (atEnd()) return std::nullopt;
      char escape = text_[position_++];
      switch (escape) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'U':
        case 'u': {
          auto unit = unicodeUnit();
          if (!unit) return std::nullopt;
          std::uint32_t codePoint = *unit;
          if (isHighSurrogate(codePoint) && peek() == '\\' && (peek(1) == 'U' || peek(1) == 'u')) {
            std::size_t mark = position_;
            position_ += 2;
            auto low = unicodeUnit();
            if (low && isLowSurrogate(*low)) {
              codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (*low - 0xDC00);
            } else {
              position_ = mark;  // not a pair: the next escape stands on its own
            }
          }
          appendUtf8(out, codePoint);  // a lone surrogate becomes U+FFFD
          break;
        }
        default:
          if (escape >= '0' && escape <= '7') {
            std::uint32_t value = static_cast<std::uint32_t>(escape - '0');
            for (int k = 0; k < 2 && peek() >= '0' && peek() <= '7'; ++k) {
              value = value * 8 + static_cast<std::uint32_t>(text_[position_++] - '0');
            }
            appendUtf8(out, value);
          } else {
            out += escape;  // \" \\ \' and any other character stand for themselves
          }
      }
    }
  }

  std::string_view text_;
  std::size_t position_ = 0;
};

/// A name of one entry of a folder: not empty, no '/', not "." or "..", no NUL. Resource, table
/// and language names come from callers and stored settings; they never lead out of the bundle.
bool isEntryName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool isDirectory(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool isRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

std::optional<nlohmann::json> readInfoDictionary(const std::filesystem::path& directory) {
  auto content = detail::readWholeFile(directory / "Info.json");
  auto* text = std::get_if<std::string>(&content);
  if (text == nullptr) return std::nullopt;
  auto parsed = nlohmann::json::parse(*text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return parsed;
}

struct MainState {
  std::mutex mutex;
  std::shared_ptr<Bundle> bundle;
};

MainState& mainState() {
  static auto& state = *new MainState();
  return state;
}

}  // namespace

std::optional<Bundle::StringTable> Bundle::parseStrings(std::string_view content) {
  auto text = toUtf8(content);
  if (!text) return std::nullopt;
  auto table = StringsParser(*text).parse();
  if (!table) return std::nullopt;
  // Octal escapes may spell bytes that are not UTF-8 on their own; they were taken as code points,
  // so every text here is well-formed.
  return table;
}

std::shared_ptr<Bundle> Bundle::main() {
  auto& state = mainState();
  std::lock_guard lock(state.mutex);
  if (!state.bundle) state.bundle = std::make_shared<Bundle>();
  return state.bundle;
}

void Bundle::setMain(std::shared_ptr<Bundle> bundle) {
  auto& state = mainState();
  std::lock_guard lock(state.mutex);
  state.bundle = std::move(bundle);
}

std::shared_ptr<Bundle> Bundle::atPath(const std::filesystem::path& path) {
  if (path.empty() || !isDirectory(path)) return nullptr;
  return std::make_shared<Bundle>(path);
}

std::shared_ptr<Bundle> Bundle::embedded(EmbeddedResources resources) {
  auto bundle = std::make_shared<Bundle>();
  if (auto it = resources.find("Info.json"); it != resources.end()) {
    auto parsed = nlohmann::json::parse(it->second, nullptr, false);
    if (!parsed.is_discarded() && parsed.is_object()) bundle->info_ = std::move(parsed);
  }
  bundle->embedded_ = std::make_shared<const EmbeddedResources>(std::move(resources));
  return bundle;
}

Bundle::Bundle() = default;

Bundle::Bundle(std::filesystem::path resourcesDirectory, std::optional<nlohmann::json> infoDictionary)
    : path_(std::move(resourcesDirectory)), info_(std::move(infoDictionary)) {
  if (info_ && !info_->is_object()) info_.reset();
  if (!info_ && !path_.empty()) info_ = readInfoDictionary(path_);
}

std::optional<nlohmann::json> Bundle::objectForInfoDictionaryKey(const std::string& key) const {
  if (!info_) return std::nullopt;
  auto it = info_->find(key);
  if (it == info_->end()) return std::nullopt;
  return *it;
}

std::vector<std::string> Bundle::localizations() const {
  std::vector<std::string> names;
  if (path_.empty()) return names;
  std::error_code error;
  std::filesystem::directory_iterator it(path_, error), end;
  for (; !error && it != end; it.increment(error)) {
    auto name = it->path().filename().string();
    constexpr std::string_view suffix = ".lproj";
    if (name.size() > suffix.size() && name.ends_with(suffix) && isDirectory(it->path())) {
      names.push_back(name.substr(0, name.size() - suffix.size()));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Bundle::preferredLocalizations() const {
  {
    std::lock_guard lock(mutex_);
    if (preferred_) return *preferred_;
  }
  auto available = localizations();
  if (auto region = objectForInfoDictionaryKey("CFBundleDevelopmentRegion"); region && region->is_string()) {
    const auto& name = region->get_ref<const std::string&>();
    if (std::find(available.begin(), available.end(), name) != available.end()) return {name};
  }
  for (const auto& name : available) {
    if (name != "Base") return {name};
  }
  return {};
}

void Bundle::setPreferredLocalizations(std::vector<std::string> languages) {
  std::lock_guard lock(mutex_);
  preferred_ = std::move(languages);
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name, std::string_view type) const {
  if (path_.empty() || name.empty()) return std::nullopt;
  std::string file(name);
  if (!type.empty()) {
    file += '.';
    file += type;
  }
  if (!isEntryName(name) || !isEntryName(file)) return std::nullopt;
  std::error_code error;
  if (std::filesystem::exists(path_ / file, error)) return path_ / file;
  auto folders = preferredLocalizations();
  folders.push_back("Base");
  for (const auto& language : folders) {
    if (!isEntryName(language)) continue;
    auto candidate = path_ / (language + ".lproj") / file;
    if (std::filesystem::exists(candidate, error)) return candidate;
  }
  return std::nullopt;
}

namespace {

/// "<name>.<type>" ("<name>" for an empty type), when both are plain entry names.
std::optional<std::string> resourceFileName(std::string_view name, std::string_view type) {
  if (name.empty() || !isEntryName(name)) return std::nullopt;
  std::string file(name);
  if (!type.empty()) {
    file += '.';
    file += type;
  }
  if (!isEntryName(file)) return std::nullopt;
  return file;
}

}  // namespace

std::optional<std::string_view> Bundle::embeddedResource(std::string_view name, std::string_view type) const {
  if (!embedded_) return std::nullopt;
  auto file = resourceFileName(name, type);
  if (!file) return std::nullopt;
  auto it = embedded_->find(*file);
  if (it == embedded_->end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> Bundle::dataForResource(std::string_view name, std::string_view type) const {
  if (auto bytes = embeddedResource(name, type)) return std::string(*bytes);
  auto path = pathForResource(name, type);
  if (!path) return std::nullopt;
  auto content = detail::readWholeFile(*path);
  auto* bytes = std::get_if<std::string>(&content);
  if (bytes == nullptr) return std::nullopt;
  return std::move(*bytes);
}

std::shared_ptr<const Bundle::StringTable> Bundle::table(const std::filesystem::path& file) const {
  {
    std::lock_guard lock(mutex_);
    if (auto it = tables_.find(file); it != tables_.end()) return it->second;
  }
  auto content = detail::readWholeFile(file);
  std::optional<StringTable> parsed;
  if (auto* text = std::get_if<std::string>(&content)) parsed = parseStrings(*text);
  auto table = std::make_shared<const StringTable>(parsed ? std::move(*parsed) : StringTable());
  std::lock_guard lock(mutex_);
  return tables_.emplace(file, std::move(table)).first->second;
}

std::string Bundle::localizedString(const std::string& key, const std::string& value, const std::string& table) const {
  auto fallback = value.empty() ? key : value;
  if (path_.empty()) return fallback;
  std::string file = (table.empty() ? std::string("Localizable") : table) + ".strings";
  if (!isEntryName(file)) return fallback;
  std::vector<std::filesystem::path> candidates{path_ / file};
  for (const auto& language : preferredLocalizations()) {
    if (isEntryName(language)) candidates.push_back(path_ / (language + ".lproj") / file);
  }
  candidates.push_back(path_ / "Base.lproj" / file);
  for (const auto& candidate : candidates) {
    if (!isRegularFile(candidate)) continue;
    auto strings = this->table(candidate);
    auto it = strings->find(key);
    return it == strings->end() ? fallback : it->second;
  }
  return fallback;
}

}  // namespace talvaren::platform
