#include "talvaren/platform/Redaction.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "platform/PercentEncoding.hpp"
#include "talvaren/platform/HexText.hpp"

namespace talvaren::redact {

namespace {

char lowerCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerCase(x) == lowerCase(y); });
}

/// Every secret name, lower-case: parameters and members (the signup's repeated password among them), the
/// OAuth credentials, the CSRF and session cookies, and the credential headers.
constexpr std::array<std::string_view, 17> secretNames{
    "password",      "password1",   "password2",           "token",          "access_token",
    "refresh_token", "oauth_token", "oauth_token_secret",  "oauth_verifier", "client_secret",
    "apikey",        "csrftoken",   "csrfmiddlewaretoken", "sessionid",      "authorization",
    "x-api-key",     "x-csrftoken"};

constexpr std::size_t longestSecretName = [] {
  std::size_t longest = 0;
  for (auto name : secretNames) longest = std::max(longest, name.size());
  return longest;
}();

/// Whether the name of a "name=value" item, as written in a form, a query or a fragment, is secret, or (in
/// a URL, `codeIsSecret`) an OAuth 2 authorisation code: judged with its percent escapes undone, since an
/// encoder may write "refresh%5Ftoken".
bool isSecretItemName(std::string_view written, bool codeIsSecret = false) {
  const auto judge = [&](std::string_view name) {
    return isSecretName(name) || (codeIsSecret && equalsIgnoringCase(name, "code"));
  };
  if (written.find('%') == std::string_view::npos) return judge(written);
  return written.size() <= 3 * longestSecretName && judge(platform::detail::percentUnescaped(written));
}

// In a URL's query or fragment, an OAuth 2 authorisation code is a credential too; elsewhere "code" names
// status and error codes the host must see.
bool isSecretURLItem(std::string_view name) { return isSecretItemName(name, true); }

// Replaces the values of secret "name=value" items in one "&"-separated run of a URL's query or fragment.
void redactItems(std::string_view items, std::string& out) {
  std::size_t start = 0;
  while (true) {
    const auto end = items.find('&', start);
    const auto item = items.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const auto equals = item.find('=');
    if (equals != std::string_view::npos && isSecretURLItem(item.substr(0, equals))) {
      out.append(item.substr(0, equals + 1));
      out.append(placeholder);
    } else {
      out.append(item);
    }
    if (end == std::string_view::npos) break;
    out.push_back('&');
    start = end + 1;
  }
}

/// A list of texts: what the server answers about a field it refused ({"password1": ["This password is too
/// short."]}), never a credential.
bool isMessageList(const nlohmann::json& value) {
  if (!value.is_array()) return false;
  for (const auto& element : value) {
    if (!element.is_string()) return false;
  }
  return true;
}

}  // namespace

bool isSecretName(std::string_view name) {
  return name.size() <= longestSecretName && std::any_of(secretNames.begin(), secretNames.end(),
                                                         [&](auto secret) { return equalsIgnoringCase(name, secret); });
}

bool hidesValue(std::string_view name, const nlohmann::json& value) {
  return isSecretName(name) && !isMessageList(value);
}

std::map<std::string, std::string> headers(const std::map<std::string, std::string>& headers) {
  auto copy = headers;
  for (auto& [name, value] : copy) {
    if (isSecretName(name)) value = std::string(placeholder);
  }
  return copy;
}

namespace {

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

/// Where an item's value ends: at the next separator of a query, a form, a markup attribute or a JSON text.
bool endsItemValue(char c) {
  return std::string_view("&#;,\\\"'<>(){}[] \t\r\n").find(c) != std::string_view::npos;
}

/// One replacement in a text: the bytes [start, end) become the placeholder, in quotes when it stands for a
/// member's value. The quotes are escaped as often as the text they land in is quoted (`escapes`), so a
/// member of a JSON text quoted inside a JSON string gets `\"<redacted>\"`.
struct Edit {
  std::size_t start;
  std::size_t end;
  bool quoted;
  int escapes;
};

/// How often the content of a JSON string is read again, its escapes undone, as a text of its own: once for a
/// server that quotes a refused body in its message, twice for a proxy that quotes that message again, and
/// some room beyond. Each reading is one pass over the text, so the bound keeps the work linear.
constexpr int maxUnescapes = 4;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

/// One past the name that starts at `i` of `run`: name characters and "%XX" escapes ("refresh%5Ftoken").
std::size_t nameEnd(std::string_view run, std::size_t i) {
  while (i < run.size()) {
    if (isNameCharacter(run[i])) {
      ++i;
    } else if (platform::detail::percentEscapedByte(run, i) >= 0) {
      i += 3;
    } else {
      break;
    }
  }
  return i;
}

/// The most backslashes an item's opening quote is looked for behind: a quote written in a text quoted four
/// times. They bound the search for its closing quote to a few steps a byte.
constexpr std::size_t maxQuoteEscapes = (std::size_t{1} << maxUnescapes) - 1;

/// The quote that `value` opens with: '"' or '\'', as written, escaped with backslashes in a quoted text
/// (`\"`), or as a page writes it (`&quot;`, `&#39;`...); empty when it opens with none.
std::string_view openingQuote(std::string_view value) {
  static constexpr std::array<std::string_view, 8> entities{"&quot;", "&#34;", "&#x22;", "&#X22;",
                                                            "&apos;", "&#39;", "&#x27;", "&#X27;"};
  for (const auto entity : entities) {
    if (value.starts_with(entity)) return value.substr(0, entity.size());
  }
  std::size_t quote = 0;
  while (quote < value.size() && value[quote] == '\\' && quote < maxQuoteEscapes) ++quote;
  if (quote < value.size() && (value[quote] == '"' || value[quote] == '\'')) return value.substr(0, quote + 1);
  return {};
}

/// The closing quote of the JSON string that opens at `start`; none when the text is cut inside it.
std::optional<std::size_t> closingQuote(std::string_view text, std::size_t start) {
  for (std::size_t i = start + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i;
    }
  }
  return std::nullopt;
}

/// Finds the "name=value" items with a secret name in [from, limit) of `text` (text outside any JSON string,
/// or a string's content), whose offsets count from `base` of the text the edits refer to, and returns where
/// it stopped. Blanks may stand around the "=". A value that opens with a quote (`openingQuote`), also at
/// `limit` (`token=` before the JSON string that ends the span), is hidden up to its closing quote, the quotes
/// kept, even past `limit` (a password may hold a '"'), or to the end of `text` when none closes it; any other
/// value up to the next separator.
std::size_t findNamedItems(std::string_view text, std::size_t from, std::size_t limit, std::size_t base,
                           std::vector<Edit>& edits) {
  std::size_t i = from;
  while (i < limit) {
    const auto end = std::min(nameEnd(text, i), limit);
    if (end == i) {
      ++i;
      continue;
    }
    const auto name = text.substr(i, end - i);
    i = end;
    while (i < limit && isBlank(text[i])) ++i;
    // "a == b" compares; it sets no item.
    const bool setsItem = i < limit && text[i] == '=' && (i + 1 == limit || text[i + 1] != '=');
    if (!setsItem || !isSecretItemName(name)) continue;
    const auto value = ++i;
    std::size_t start = value;
    while (start < limit && isBlank(text[start])) ++start;
    if (const auto opening = openingQuote(text.substr(start)); !opening.empty()) {
      const auto content = start + opening.size();
      // A plain '"' opens a JSON string, or a quoted string of a header: escaped quotes do not close it.
      const auto closing = opening == "\"" ? closingQuote(text, start).value_or(text.size())
                                           : std::min(text.find(opening, content), text.size());
      edits.push_back({base + content, base + closing, false, 0});
      i = std::min(closing + opening.size(), text.size());
      if (i > limit) return i;
      continue;
    }
    i = start;
    while (i < limit && !endsItemValue(text[i])) ++i;
    // An empty value: the placeholder follows the "=", the blanks after it stay.
    if (i == start) i = start = value;
    edits.push_back({base + start, base + i, false, 0});
  }
  return limit;
}

/// One past the end of the JSON string that opens at `start`, or the end of a text cut inside it.
std::size_t stringEnd(std::string_view text, std::size_t start) {
  const auto close = closingQuote(text, start);
  return close ? *close + 1 : text.size();
}

/// The end of the JSON value that starts at `start`: a string, a container (brackets counted outside
/// strings, without recursion), or a scalar up to the next separator; the end of the text when it is cut.
std::size_t valueEnd(std::string_view text, std::size_t start) {
  if (start >= text.size()) return start;
  if (text[start] == '"') return stringEnd(text, start);
  if (text[start] == '{' || text[start] == '[') {
    std::size_t depth = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        i = stringEnd(text, i) - 1;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return i + 1;
      }
    }
    return text.size();
  }
  std::size_t i = start;
  while (i < text.size() && std::string_view(",}] \t\r\n").find(text[i]) == std::string_view::npos) ++i;
  return i;
}

std::size_t skipBlanks(std::string_view text, std::size_t i) {
  while (i < text.size() && std::string_view(" \t\r\n").find(text[i]) != std::string_view::npos) ++i;
  return i;
}

/// Whether the JSON value at `start` is a whole list of texts (`isMessageList` on a text): a list cut short,
/// or one holding anything but strings, is not.
bool isMessageListText(std::string_view text, std::size_t start) {
  if (start >= text.size() || text[start] != '[') return false;
  auto i = skipBlanks(text, start + 1);
  if (i < text.size() && text[i] == ']') return true;
  while (i < text.size() && text[i] == '"') {
    const auto close = closingQuote(text, i);
    if (!close) return false;
    i = skipBlanks(text, *close + 1);
    if (i >= text.size()) return false;
    if (text[i] == ']') return true;
    if (text[i] != ',') return false;
    i = skipBlanks(text, i + 1);
  }
  return false;
}

/// The length of the escape at `i` of a JSON string's content (`\"`, `\n`, `\u00e9`...), or 1 for any
/// other byte, a backslash that starts no escape (the text cut inside one) included.
std::size_t escapeLength(std::string_view content, std::size_t i) {
  if (content[i] != '\\' || i + 1 >= content.size()) return 1;
  if (content[i + 1] == 'u') {
    if (content.size() - i < 6) return 1;
    for (std::size_t k = 2; k < 6; ++k) {
      if (platform::hexDigitValue(content[i + k]) < 0) return 1;
    }
    return 6;
  }
  return std::string_view("\"\\/bfnrt").find(content[i + 1]) != std::string_view::npos ? 2 : 1;
}

/// A JSON string's content with its escapes undone, each escape standing for exactly one byte so that an
/// offset into the result maps back to one into the content (`EscapedOffsets`). What the redaction looks for
/// is ASCII: `\u` escapes of ASCII characters become those, any other becomes the byte 0x80, which like
/// every byte of a UTF-8 sequence is neither a name character nor a separator.
std::string unescaped(std::string_view content) {
  std::string text;
  text.reserve(content.size());
  for (std::size_t i = 0; i < content.size();) {
    const auto length = escapeLength(content, i);
    char c = content[i];
    if (length == 6) {
      int value = 0;
      for (std::size_t k = 2; k < 6; ++k) value = value * 16 + platform::hexDigitValue(content[i + k]);
      c = value < 0x80 ? static_cast<char>(value) : '\x80';
    } else if (length == 2) {
      const auto control = std::string_view("bfnrt").find(content[i + 1]);
      c = control == std::string_view::npos ? content[i + 1] : "\b\f\n\r\t"[control];
    }
    text.push_back(c);
    i += length;
  }
  return text;
}

/// Maps offsets into `unescaped(content)`, asked in increasing order, back to offsets into `content`, in
/// one pass over it.
class EscapedOffsets {
 public:
  explicit EscapedOffsets(std::string_view content) : content_(content) {}

  std::size_t operator()(std::size_t unescapedOffset) {
    while (unescaped_ < unescapedOffset && raw_ < content_.size()) {
      raw_ += escapeLength(content_, raw_);
      ++unescaped_;
    }
    return raw_;
  }

 private:
  std::string_view content_;
  std::size_t raw_ = 0;
  std::size_t unescaped_ = 0;
};

/// Whether a member name, as written in a JSON text (the content of its string, whole or cut), is secret:
/// judged with its escapes undone, since a writer may spell it "\u0070assword".
bool isSecretMemberName(std::string_view written) {
  if (written.find('\\') == std::string_view::npos) return isSecretName(written);
  return written.size() <= 6 * longestSecretName && isSecretName(unescaped(written));
}

void findSecrets(std::string_view text, int escapes, int unescapesLeft, std::vector<Edit>& edits);

/// Finds the secrets in the content of a JSON string (whole or cut) that starts at `base`: read with its
/// escapes undone as a text of its own, so that a JSON text quoted in it ("{\"password\": \"x\"}") has its
/// secret members found like those of a body; past `maxUnescapes` readings only "name=value" items count.
void findQuotedSecrets(std::string_view content, std::size_t base, int escapes, int unescapesLeft,
                       std::vector<Edit>& edits) {
  // Without a backslash the content reads the same unescaped and holds no quote: only items can be there.
  if (unescapesLeft == 0 || content.find('\\') == std::string_view::npos) {
    findNamedItems(content, 0, content.size(), base, edits);
    return;
  }
  const auto first = edits.size();
  findSecrets(unescaped(content), escapes + 1, unescapesLeft - 1, edits);
  EscapedOffsets offsets(content);
  for (auto e = first; e < edits.size(); ++e) {
    edits[e].start = base + offsets(edits[e].start);
    edits[e].end = base + offsets(edits[e].end);
  }
}

/// Finds, in order, the secrets of a body text (whole or cut, JSON or not): the value of every member with
/// a secret name unless it is a whole list of texts, the value of every secret "name=value" item, and those
/// of the texts quoted in its strings. `escapes` is how often the text is quoted in the one the edits go to.
void findSecrets(std::string_view body, int escapes, int unescapesLeft, std::vector<Edit>& edits) {
  std::size_t i = 0;
  while (i < body.size()) {
    const auto quote = body.find('"', i);
    i = findNamedItems(body, i, std::min(quote, body.size()), 0, edits);
    // Past the quote when it opened, or stood in, the quoted value of a secret item.
    if (quote == std::string_view::npos || i > quote) continue;
    const auto close = closingQuote(body, quote);
    const auto content = body.substr(quote + 1, close ? *close - quote - 1 : std::string_view::npos);
    findQuotedSecrets(content, quote + 1, escapes, unescapesLeft, edits);
    if (!close) return;
    i = *close + 1;
    // A member name followed by ':' names the value after it.
    const auto colon = skipBlanks(body, i);
    if (colon >= body.size() || body[colon] != ':' || !isSecretMemberName(content)) continue;
    const auto value = skipBlanks(body, colon + 1);
    // The server's messages about a field are shown like any other member's value.
    if (isMessageListText(body, value)) continue;
    if (value >= body.size()) return;
    i = valueEnd(body, value);
    edits.push_back({value, i, true, escapes});
  }
}

void appendQuote(std::string& out, int escapes) {
  out.append((std::size_t{1} << escapes) - 1, '\\');
  out.push_back('"');
}

/// `text` with the edits (in order, none overlapping) made.
std::string edited(std::string_view text, const std::vector<Edit>& edits) {
  std::string out;
  out.reserve(text.size() + edits.size() * (placeholder.size() + 2));
  std::size_t kept = 0;
  for (const auto& edit : edits) {
    out.append(text.substr(kept, edit.start - kept));
    if (edit.quoted) appendQuote(out, edit.escapes);
    out.append(placeholder);
    if (edit.quoted) appendQuote(out, edit.escapes);
    kept = edit.end;
  }
  out.append(text.substr(kept));
  return out;
}

/// Finds the secrets a text value of a reply or of parameters quotes: the value is what a JSON string of a
/// body holds with its escapes undone once, so it is read as `text` reads such a string.
void findSecretsInValue(const std::string& value, std::vector<Edit>& edits) {
  // Neither an item nor a member without one of these.
  if (value.find_first_of("=\"") == std::string::npos) return;
  findSecrets(value, 0, maxUnescapes - 1, edits);
}

// Deeper containers print as the placeholder: a reply nested that deep is no login reply, and the copy
// must not exhaust the stack.
constexpr int maxReplyDepth = 128;

nlohmann::json redactedReply(const nlohmann::json& reply, int depth) {
  if (reply.is_string()) {
    std::vector<Edit> edits;
    const auto& value = reply.get_ref<const std::string&>();
    findSecretsInValue(value, edits);
    return edits.empty() ? reply : nlohmann::json(edited(value, edits));
  }
  if (!reply.is_array() && !reply.is_object()) return reply;
  if (depth >= maxReplyDepth) return std::string(placeholder);
  if (reply.is_array()) {
    nlohmann::json copy = nlohmann::json::array();
    for (const auto& element : reply) copy.push_back(redactedReply(element, depth + 1));
    return copy;
  }
  nlohmann::json copy = nlohmann::json::object();
  for (const auto& [name, value] : reply.items()) {
    copy[name] = hidesValue(name, value) ? nlohmann::json(std::string(placeholder)) : redactedReply(value, depth + 1);
  }
  return copy;
}

/// Whether `redactedReply` would change anything: a secret member, a text quoting a secret, or a container
/// too deep to copy.
bool replyChanges(const nlohmann::json& reply, int depth) {
  if (reply.is_string()) {
    std::vector<Edit> edits;
    findSecretsInValue(reply.get_ref<const std::string&>(), edits);
    return !edits.empty();
  }
  if (!reply.is_array() && !reply.is_object()) return false;
  if (depth >= maxReplyDepth) return true;
  if (reply.is_array()) {
    for (const auto& element : reply) {
      if (replyChanges(element, depth + 1)) return true;
    }
    return false;
  }
  for (auto member = reply.begin(); member != reply.end(); ++member) {
    if (hidesValue(member.key(), *member) || replyChanges(*member, depth + 1)) {
      return true;
    }
  }
  return false;
}

}  // namespace

nlohmann::json parameters(const nlohmann::json& parameters) { return redactedReply(parameters, 0); }

nlohmann::json reply(const nlohmann::json& reply) { return redactedReply(reply, 0); }

bool replyHoldsSecrets(const nlohmann::json& reply) { return replyChanges(reply, 0); }

std::string text(std::string_view body) {
  std::vector<Edit> edits;
  findSecrets(body, 0, maxUnescapes, edits);
  return edits.empty() ? std::string(body) : edited(body, edits);
}

namespace {

/// Where the user info of `url` ("user:password@" after "scheme://") lies, as (start, end before the "@");
/// none when the URL has none.
std::optional<std::pair<std::size_t, std::size_t>> userInfo(std::string_view url) {
  const auto slashes = url.find("://");
  if (slashes == std::string_view::npos || slashes == 0) return std::nullopt;
  for (const char c : url.substr(0, slashes)) {
    const bool schemeCharacter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                 c == '+' || c == '-' || c == '.';
    if (!schemeCharacter) return std::nullopt;
  }
  const auto start = slashes + 3;
  const auto authorityEnd = std::min(url.find_first_of("/?#", start), url.size());
  const auto at = url.substr(start, authorityEnd - start).rfind('@');
  if (at == std::string_view::npos) return std::nullopt;
  return std::pair{start, start + at};
}

}  // namespace

std::string url(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  const auto query = url.find('?');
  const auto fragment = url.find('#');
  const auto firstItems = std::min(query, fragment);
  auto head = url.substr(0, firstItems == std::string_view::npos ? url.size() : firstItems + 1);
  if (const auto info = userInfo(url)) {
    // A password hides behind its user name; a user info without one (a bare token) is hidden whole.
    const auto colon = url.substr(info->first, info->second - info->first).find(':');
    const auto kept = colon == std::string_view::npos ? info->first : info->first + colon + 1;
    out.append(head.substr(0, kept));
    out.append(placeholder);
    head.remove_prefix(info->second);
  }
  out.append(head);
  if (firstItems == std::string_view::npos) return out;
  if (query != std::string_view::npos && query < fragment) {
    const auto queryEnd = fragment == std::string_view::npos ? url.size() : fragment;
    redactItems(url.substr(query + 1, queryEnd - query - 1), out);
    if (fragment == std::string_view::npos) return out;
    out.push_back('#');
  }
  redactItems(url.substr(fragment + 1), out);
  return out;
}

}  // namespace talvaren::redact
