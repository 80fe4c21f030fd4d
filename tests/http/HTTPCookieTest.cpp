#include <gtest/gtest.h>

#include <set>

#include "talvaren/platform/http/HTTPCookie.hpp"
#include "talvaren/testing/Clock.hpp"

using namespace talvaren;
using namespace talvaren::platform::http;

namespace {

URL url(const char* text) { return *URL::fromString(text); }

std::optional<HTTPCookie> parse(const char* line, const char* from = "https://api.talvaren.test/auth/login/") {
  return HTTPCookie::fromSetCookie(line, url(from));
}

}  // namespace

TEST(HTTPCookieTest, ParsesAttributes) {
  testkit::ScopedFixedClock clock(1700000000);
  auto csrf = parse("csrftoken=abc123; expires=Thu, 21 Nov 2024 10:00:00 GMT; Max-Age=31449600; Path=/; SameSite=Lax");
  ASSERT_TRUE(csrf);
  EXPECT_EQ(csrf->name, "csrftoken");
  EXPECT_EQ(csrf->value, "abc123");
  EXPECT_EQ(csrf->domain, "api.talvaren.test");  // host-only
  EXPECT_EQ(csrf->path, "/");
  EXPECT_EQ(csrf->expiresDate, Date(1700000000 + 31449600.0));  // Max-Age wins over Expires
  EXPECT_FALSE(csrf->isSecure);

  auto session = parse(" sid = v=1 ; Secure; HttpOnly; Domain=.Talvaren.TEST");
  ASSERT_TRUE(session);
  EXPECT_EQ(session->name, "sid");
  EXPECT_EQ(session->value, "v=1");
  EXPECT_EQ(session->domain, ".talvaren.test");
  EXPECT_EQ(session->path, "/auth/login");  // the request path's directory
  EXPECT_TRUE(session->isSessionOnly());
  EXPECT_TRUE(session->isSecure);
  EXPECT_TRUE(session->isHTTPOnly);

  auto dated = parse("d=1; Expires=Wed, 21 Oct 2015 07:28:00 GMT; Path=relative");
  ASSERT_TRUE(dated);
  EXPECT_EQ(dated->expiresDate, Date(1445412480));
  EXPECT_TRUE(dated->isExpired());
  EXPECT_EQ(dated->path, "/auth/login");

  EXPECT_TRUE(parse("gone=1; Max-Age=0")->isExpired());
  EXPECT_FALSE(parse("noequals"));
  EXPECT_FALSE(parse("=value"));
  EXPECT_FALSE(parse("a=1; Domain=other.test"));
  EXPECT_FALSE(parse("a=1; Domain=i.talvaren.test"));  // not above the host
  EXPECT_FALSE(parse("a=b\x01"));
  EXPECT_FALSE(parse("a=1; Domain=0.0.1", "http://127.0.0.1/"));
  EXPECT_EQ(parse("a=1; Domain=127.0.0.1", "http://127.0.0.1/")->domain, "127.0.0.1");

  std::vector<HTTPHeaderField> headers = {{"Content-Type", "application/json"},
                                          {"Set-Cookie", "csrftoken=one; Path=/"},
                                          {"set-cookie", "csrftoken=two; Path=/"},
                                          {"Set-Cookie", "broken"}};
  auto cookies = HTTPCookie::cookies(headers, url("https://api.talvaren.test/"));
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_EQ(cookies[0].value, "one");
  EXPECT_EQ(cookies[1].value, "two");
}

TEST(HTTPCookieTest, StorageMatchesDomainPathSecurityAndExpiry) {
  testkit::ScopedFixedClock clock(1700000000);
  HTTPCookieStorage storage;
  const URL origin = url("https://api.talvaren.test/auth/login/");
  storage.setCookies({*parse("root=1; Path=/"), *parse("deep=2; Path=/auth/login"), *parse("wide=3; Domain=talvaren.test; Path=/"),
                      *parse("safe=4; Secure; Path=/"), *parse("short=5; Max-Age=10; Path=/")},
                     origin);
  storage.setCookies({*parse("foreign=6", "https://elsewhere.test/")}, origin);  // not for this host: dropped
  EXPECT_EQ(storage.cookies().size(), 5u);

  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("https://api.talvaren.test/auth/login/x"))),
            "deep=2; root=1; wide=3; safe=4; short=5");
  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("http://api.talvaren.test/auth/loginx"))),
            "root=1; wide=3; short=5");
  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("https://www.talvaren.test/"))), "wide=3");
  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("https://nottalvaren.test/"))), "");

  testkit::advanceClock(11);
  EXPECT_EQ(storage.cookies().size(), 4u);

  storage.setCookie(*parse("root=changed; Path=/"));
  storage.setCookie(*parse("wide=gone; Domain=talvaren.test; Path=/; Max-Age=-1"));
  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("https://api.talvaren.test/"))), "root=changed; safe=4");
  storage.deleteCookie(*parse("safe=x; Path=/"));
  EXPECT_EQ(storage.cookies().size(), 2u);
  storage.removeAllCookies();
  EXPECT_TRUE(storage.cookies().empty());
}

TEST(HTTPCookieTest, ADomainThatIsAPublicSuffixMakesAHostOnlyCookieOrNone) {
  // A domain under which unrelated sites register would carry one site's cookie to all of them.
  HTTPCookieStorage storage;
  const URL shop = url("https://shop.example.org/cart/");
  storage.setCookies(
      HTTPCookie::cookies(
          {{"Set-Cookie", "sid=shop; Domain=org; Path=/"}, {"Set-Cookie", "pref=1; Domain=example.org; Path=/"}}, shop),
      shop);
  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("https://bank.talvaren.org/"))), "");
  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("https://www.example.org/"))), "pref=1");
  EXPECT_FALSE(parse("csrftoken=x; Domain=com", "https://elsewhere.talvaren.com/"));
  EXPECT_FALSE(parse("a=1; Domain=.CO.UK", "https://www.talvaren.co.uk/"));
  EXPECT_FALSE(parse("a=1; Domain=test"));  // a name the list does not hold is a suffix of one label
  EXPECT_EQ(parse("a=1; Domain=talvaren.co.uk", "https://www.talvaren.co.uk/")->domain, ".talvaren.co.uk");
  // A cookie made by hand for a suffix is not stored for the site it came from either.
  HTTPCookie wide = *parse("wide=1; Path=/", "https://shop.example.org/");
  wide.domain = ".org";
  storage.setCookies({wide}, shop);
  EXPECT_EQ(storage.cookies().size(), 1u);

  // A host that is itself a suffix keeps the cookie that names it, as its own alone.
  for (const char* host : {"co.uk", "localhost"}) {
    const std::string at = std::string("http://") + host + "/";
    auto own = parse((std::string("own=1; Domain=") + host).c_str(), at.c_str());
    ASSERT_TRUE(own) << host;
    EXPECT_EQ(own->domain, host);
    EXPECT_TRUE(own->matches(url(at.c_str()))) << host;
  }
  EXPECT_FALSE(parse("own=1; Domain=co.uk", "http://co.uk/")->matches(url("http://www.talvaren.co.uk/")));
  EXPECT_FALSE(parse("a=1; Domain=uk", "http://co.uk/"));

  // A host written with its final dot names the same domains: its suffix is still one.
  const URL dotted = url("https://shop.probekit.co.uk./");
  EXPECT_FALSE(parse("sid=shop; Domain=co.uk.", "https://shop.probekit.co.uk./"));
  EXPECT_FALSE(parse("sid=shop; Domain=.CO.UK.", "https://shop.probekit.co.uk./"));
  EXPECT_EQ(parse("sid=shop; Domain=probekit.co.uk.", "https://shop.probekit.co.uk./")->domain, ".probekit.co.uk.");
  wide.domain = ".co.uk.";
  storage.setCookies({wide}, dotted);
  EXPECT_EQ(HTTPCookie::requestHeaderValue(storage.cookies(url("https://bank.otherkit.co.uk./"))), "");
}

TEST(HTTPCookieTest, StorageIsBoundedPerDomainAndInAllOldestFirst) {
  HTTPCookieStorage storage;
  auto cookie = [](const std::string& name, const std::string& domain, std::size_t size = 1) {
    HTTPCookie made;
    made.name = name;
    made.value = std::string(size, 'v');
    made.domain = domain;
    return made;
  };
  auto names = [&](const URL& at) {
    std::set<std::string> found;
    for (const auto& c : storage.cookies(at)) found.insert(c.name);
    return found;
  };
  const URL api = url("https://api.talvaren.test/");

  // One domain keeps its 180 newest; a cookie replaced keeps its age.
  for (int i = 0; i < 200; ++i) {
    storage.setCookie(cookie("c" + std::to_string(i), "api.talvaren.test"));
    if (i == 30) storage.setCookie(cookie("c0", "api.talvaren.test"));
  }
  auto kept = names(api);
  EXPECT_EQ(kept.size(), 180u);
  EXPECT_FALSE(kept.count("c0"));
  EXPECT_FALSE(kept.count("c19"));
  EXPECT_TRUE(kept.count("c20"));
  EXPECT_TRUE(kept.count("c199"));
  // A domain cookie counts against its domain, not the hosts below it.
  storage.setCookie(cookie("wide", ".talvaren.test"));
  EXPECT_EQ(names(api).size(), 181u);

  // Too long to keep: name and value beyond 4096 bytes.
  storage.setCookie(cookie("long", "api.talvaren.test", 4093));
  EXPECT_FALSE(names(api).count("long"));
  storage.setCookie(cookie("fits", "api.talvaren.test", 4092));
  EXPECT_TRUE(names(api).count("fits"));
  EXPECT_FALSE(names(api).count("c20"));

  // 3000 in all: the store's oldest go first, whatever their domain.
  for (int d = 0; d <= 20; ++d) {
    for (int i = 0; i < 150; ++i) storage.setCookie(cookie("n" + std::to_string(i), "h" + std::to_string(d) + ".test"));
  }
  EXPECT_EQ(storage.cookies().size(), 3000u);
  EXPECT_TRUE(names(api).empty());
  EXPECT_TRUE(names(url("https://talvaren.test/")).empty());
  EXPECT_TRUE(names(url("https://h0.test/")).empty());
  EXPECT_EQ(names(url("https://h1.test/")).size(), 150u);
  EXPECT_EQ(names(url("https://h20.test/")).size(), 150u);
}
