#include <sys/stat.h>

#include <algorithm>

#include "AuthorizationFixture.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/oauth/RedirectURL.hpp"
#include "talvaren/platform/oauth/OAuthSwift.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using platform::oauth::OAuthSwift;
using platform::ui::Presenter;

namespace {

class AuthorizationTest : public AuthorizationFixture {
 protected:
  bool screenShown() const { return Presenter::topViewController() != Presenter::rootViewController(); }

  /// Every token, secret and verifier a provider issued stays off the console.
  void expectNoSecretOnConsole(const std::vector<std::string>& secrets) {
    for (const auto& line : console.lines()) {
      for (const auto& secret : secrets) EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
  }

  /// The request token in the page the screen was handed.
  static std::string requestToken(const APIViewController& screen) {
    const auto& url = *screen.targetURL;
    return url.substr(url.find("oauth_token=") + 12);
  }
};

TEST_F(AuthorizationTest, GarminFlowStoresTheCredentialAndPrintsNoSecret) {
  auto granted = authorizeGarmin();
  waitFor(granted);
  EXPECT_TRUE(granted->granted);
  EXPECT_TRUE(garmin.problems().empty()) << garmin.problems().front();
  EXPECT_FALSE(screenShown());

  const auto issued = garmin.accessTokens();
  ASSERT_EQ(issued.size(), 1u);
  const auto stored = GarminManager::sharedInstance()->oauthCredential();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->oauthToken, issued.begin()->first);
  EXPECT_EQ(stored->oauthTokenSecret, issued.begin()->second);
  EXPECT_TRUE(console.contains("Garmin authorize token: <redacted> secret: <redacted>"));
  EXPECT_TRUE(console.contains("APIViewController handle url = " + garmin.authorizeURL() + "?oauth_token=<redacted>"));
  expectNoSecretOnConsole({issued.begin()->first, issued.begin()->second, "garmin-secret"});

  // A new process reads the same credential; the defaults file is the owner's alone.
  resetStandardUserDefaults();
  EXPECT_EQ(GarminManager::sharedInstance()->oauthCredential()->oauthToken, issued.begin()->first);
  struct stat info {};
  ASSERT_EQ(::stat(platform::AppHome::userDefaultsPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600);

  // A provider that sends no verifier is accepted; each authorisation has a client of its own.
  const auto first = GarminManager::sharedInstance()->oauthswift;
  garmin.omitVerifier(true);
  auto again = authorizeGarmin();
  waitFor(again);
  EXPECT_TRUE(again->granted);
  EXPECT_NE(GarminManager::sharedInstance()->oauthswift, first);
  EXPECT_EQ(garmin.accessTokens().size(), 2u);

  // None is stored as JSON null and reads back as none, as does a value of another kind.
  GarminManager::sharedInstance()->setOauthCredential(std::nullopt);
  EXPECT_EQ(platform::UserDefaults::standard()->dataForKey(std::string(GarminAuthCredentialsKey)),
            Bytes({'n', 'u', 'l', 'l'}));
  EXPECT_FALSE(GarminManager::sharedInstance()->oauthCredential());
  platform::UserDefaults::standard()->set(std::string("token"), std::string(GarminAuthCredentialsKey));
  EXPECT_FALSE(GarminManager::sharedInstance()->oauthCredential());
}

TEST_F(AuthorizationTest, FitBitFlowStoresTheTokenAndPrintsNoSecret) {
  auto granted = authorizeFitBit();
  waitFor(granted);
  EXPECT_TRUE(granted->granted);
  EXPECT_TRUE(fitbit.problems().empty()) << fitbit.problems().front();
  // The page is loaded on appearing and once more by the screen's handle, in the same main-queue turn:
  // only the second load reaches the provider, so the one token issued is the one kept.
  auto tokens = fitbit.tokens();
  ASSERT_EQ(tokens.size(), 1u);
  auto kept = FitBitManager::sharedInstance()->oauthToken();
  EXPECT_EQ(kept, tokens.front());
  EXPECT_TRUE(console.contains("FitBit authorization success <redacted>"));

  // Again, with the provider's connection kept alive from the first time, on which a request goes out at once.
  auto again = authorizeFitBit();
  waitFor(again);
  EXPECT_TRUE(again->granted);
  tokens = fitbit.tokens();
  ASSERT_EQ(tokens.size(), 2u);
  kept = FitBitManager::sharedInstance()->oauthToken();
  EXPECT_EQ(kept, tokens.back());

  auto secrets = tokens;
  secrets.push_back("fitbit-secret");
  expectNoSecretOnConsole(secrets);
  resetStandardUserDefaults();
  EXPECT_EQ(FitBitManager::sharedInstance()->oauthToken(), kept);

  FitBitManager::sharedInstance()->setOauthToken(std::nullopt);
  EXPECT_EQ(FitBitManager::sharedInstance()->oauthToken(), std::nullopt);
}

TEST_F(AuthorizationTest, GarminRefusalsKeepTheStoredCredential) {
  platform::oauth::OAuthSwiftCredential earlier;
  earlier.oauthToken = "earlier";
  earlier.oauthTokenSecret = "earlier-secret";
  GarminManager::sharedInstance()->setOauthCredential(earlier);

  garmin.refuse(OAuth1Provider::Leg::accessToken, 401);
  auto refusedAccess = authorizeGarmin();
  waitFor(refusedAccess);
  EXPECT_FALSE(refusedAccess->granted);
  EXPECT_TRUE(consoleShows("Garmin authorize error: the provider refused the token request (status 401)"));

  // A refused confirmation page stays on screen until the user gives up.
  garmin.refuse(OAuth1Provider::Leg::confirmation, 400);
  auto refusedPage = authorizeGarmin();
  shownScreen()->cancelButton->sendTouch();
  waitFor(refusedPage);
  EXPECT_FALSE(refusedPage->granted);
  GarminManager::sharedInstance()->setAuthorizationDisabled(false);  // only to go on testing here

  garmin.refuse(OAuth1Provider::Leg::requestToken, 401);
  auto refusedRequest = authorizeGarmin();
  waitFor(refusedRequest);
  EXPECT_FALSE(refusedRequest->granted);

  // Token replies a client must not take: JSON, no secret, huge.
  for (const std::string& body :
       {std::string(R"({"oauth_token":"t","oauth_token_secret":"s"})"), std::string("oauth_token=t"),
        "oauth_token=t&oauth_token_secret=" + std::string(64 * 1024, 's')}) {
    garmin.server().reply("POST", "/oauth-service-1.0/oauth/request_token", 200, body, "text/plain");
    auto bad = authorizeGarmin();
    waitFor(bad);
    EXPECT_FALSE(bad->granted);
  }
  EXPECT_EQ(GarminManager::sharedInstance()->oauthCredential(), earlier);
  EXPECT_FALSE(screenShown());
}

TEST_F(AuthorizationTest, FitBitRefusalsKeepTheStoredToken) {
  FitBitManager::sharedInstance()->setOauthToken("earlier");
  struct Case {
    const char* fragment;
    const char* line;
  };
  for (const Case c : {Case{"error=access_denied", "FitBit authorization failed the provider refused: access_denied"},
                       Case{"access_token=injected&state=other",
                            "FitBit authorization failed the redirect carries "
                            "another state"},
                       Case{"token_type=Bearer&state=",
                            "FitBit authorization failed the redirect carries no access "
                            "token"},
                       Case{"access_token=a%0D%0AX-Injected:%201&state=",
                            "FitBit authorization failed the redirect carries no valid access token"}}) {
    fitbit.answerWith(c.fragment);
    auto refused = authorizeFitBit();
    waitFor(refused);
    EXPECT_FALSE(refused->granted) << c.fragment;
    EXPECT_TRUE(console.contains(c.line)) << c.fragment;
  }
  EXPECT_EQ(FitBitManager::sharedInstance()->oauthToken(), "earlier");
  EXPECT_TRUE(fitbit.problems().empty());
}

TEST_F(AuthorizationTest, CancelEndsTheFlowAndDisablesOnlyThatManager) {
  garmin.holdConfirmation(true);
  auto cancelled = authorizeGarmin();
  auto screen = shownScreen();
  const auto client = GarminManager::sharedInstance()->oauthswift;
  screen->cancelButton->sendTouch();
  EXPECT_FALSE(screenShown());
  EXPECT_TRUE(console.contains("APIViewController handleCancelButtonTapped"));
  waitFor(cancelled);
  EXPECT_FALSE(cancelled->granted);
  EXPECT_TRUE(GarminManager::sharedInstance()->authorizationDisabled());

  // From now on: false at once, nothing created, whatever the keys.
  garmin.holdConfirmation(false);
  auto [state, completion] = outcome();
  bool synchronous = false;
  onMain([&, completion = completion, state = state] {
    GarminManager::sharedInstance()->authorize("other", "keys", completion);
    synchronous = state->calls == 1;
  });
  EXPECT_TRUE(synchronous);
  EXPECT_FALSE(state->granted);
  EXPECT_EQ(GarminManager::sharedInstance()->oauthswift, client);
  EXPECT_FALSE(screenShown());

  auto fitBit = authorizeFitBit();
  waitFor(fitBit);
  EXPECT_TRUE(fitBit->granted);
}

TEST_F(AuthorizationTest, ReplacedFlowEndsCancelled) {
  fitbit.hold(true);
  auto first = authorizeFitBit();
  auto firstScreen = shownScreen();
  auto second = authorizeFitBit();
  waitFor(first);
  EXPECT_FALSE(first->granted);
  EXPECT_EQ(second->calls, 0);

  auto secondScreen = shownScreen();
  EXPECT_NE(secondScreen, firstScreen);
  EXPECT_FALSE(firstScreen->isShown());
  fitbit.hold(false);
  onMain([secondScreen] { secondScreen->loadAddressURL(); });
  waitFor(second);
  EXPECT_TRUE(second->granted);
}

TEST_F(AuthorizationTest, InjectedRedirectsAreRefused) {
  EXPECT_FALSE(OAuthSwift::handle(callbackURL + "?oauth_token=t&oauth_verifier=v"));  // nothing waits

  garmin.holdConfirmation(true);
  auto flow = authorizeGarmin();
  auto screen = shownScreen();
  const auto token = requestToken(*screen);
  for (const std::string& url :
       {"talvarenmobile://evil.example/AuthorizationActivity?oauth_token=" + token + "&oauth_verifier=v",
        callbackURL + "/more?oauth_token=" + token + "&oauth_verifier=v",
        "TalvarenMobile://com.talvaren.talvarenmobile.ui.oauth/AuthorizationActivity"
        "?oauth_token=" +
            token + "&oauth_verifier=v",
        callbackURL + "?oauth_token=other&oauth_verifier=v", callbackURL + "#access_token=injected"}) {
    EXPECT_FALSE(OAuthSwift::handle(url)) << url;
  }
  EXPECT_TRUE(screenShown());
  EXPECT_EQ(flow->calls, 0);

  // A page that sends the view to another "talvarenmobile:" address closes the screen: the flow ends
  // without a credential, and no access token is asked for.
  onMain([screen] { screen->webView->navigate("talvarenmobile://evil.example/x?oauth_verifier=v"); });
  waitFor(flow);
  EXPECT_FALSE(flow->granted);
  EXPECT_FALSE(screenShown());
  EXPECT_TRUE(garmin.accessTokens().empty());
  EXPECT_FALSE(GarminManager::sharedInstance()->oauthCredential());
}

TEST_F(AuthorizationTest, ScreenLayoutLoadsAndCallbackScheme) {
  platform::Screen::setMainBounds({0, 0, 320, 480});
  garmin.holdConfirmation(true);
  auto screen = std::make_shared<APIViewController>();
  screen->loadAddressURL();  // no target yet: nothing requested
  EXPECT_FALSE(screen->webView->isLoading());
  platform::ui::StatusBar::setHeight(20);
  onMain([screen, url = garmin.authorizeURL() + "?oauth_token=x"] { screen->handle(url); });
  waitFor([&] { return screen->webView->page().has_value() && !screen->webView->isLoading(); });
  EXPECT_EQ(screen->cancelButton->frame(), (platform::Rect{0, 20, 80, 40}));
  EXPECT_EQ(screen->webView->frame(), (platform::Rect{0, 60, 320, 480}));
  EXPECT_EQ(screen->cancelButton->currentTitle(), "Cancel");
  EXPECT_EQ(screen->view()->backgroundColor(), platform::ui::Color::black());
  EXPECT_TRUE(screen->webView->scalesPageToFit());

  // Each appearance lays out anew (status bar read again) and loads the page again; Cancel still acts once.
  screen->dismissWebViewController();
  platform::ui::StatusBar::setHeight(0);
  Presenter::present(screen, false);
  EXPECT_TRUE(screen->webView->isLoading());
  waitFor([&] { return !screen->webView->isLoading(); });
  EXPECT_EQ(screen->cancelButton->frame(), (platform::Rect{0, 0, 80, 40}));
  EXPECT_EQ(screen->webView->frame(), (platform::Rect{0, 40, 320, 480}));
  EXPECT_EQ(screen->cancelButton->actionCount(platform::ui::ControlEvent::touchUpInside), 1u);
  EXPECT_EQ(screen->view()->subviews().size(), 2u);

  // The callback itself: lower-case scheme, an authority ending in the labels "talvarenmobile.ui.oauth"
  // under at least a two-label domain, the fixed path, and no port, query or fragment.
  const auto parsed = platform::oauth::RedirectURL::parse(APIManager::API_REDIRECT_URI);
  ASSERT_TRUE(parsed && parsed->authority);
  EXPECT_EQ(parsed->scheme, "talvarenmobile");
  EXPECT_TRUE(parsed->authority->ends_with(".talvarenmobile.ui.oauth")) << *parsed->authority;
  EXPECT_GE(std::count(parsed->authority->begin(), parsed->authority->end(), '.'), 4) << *parsed->authority;
  EXPECT_EQ(parsed->authority->find(':'), std::string::npos) << *parsed->authority;
  EXPECT_EQ(parsed->path, "/AuthorizationActivity");
  EXPECT_FALSE(parsed->query);
  EXPECT_FALSE(parsed->fragment);

  // Only the exact lower-case scheme is the kit's callback; other loads go on.
  auto request = [](const std::string& url) { return *platform::http::URLRequest::make(url).value(); };
  EXPECT_TRUE(screen->webViewShouldStartLoad(*screen->webView, request("TalvarenMobile://a/b"),
                                             platform::ui::NavigationType::other));
  EXPECT_TRUE(screen->isShown());
  EXPECT_TRUE(screen->webViewShouldStartLoad(*screen->webView, request("talvarenmobile://a/b"),
                                             platform::ui::NavigationType::other));
  EXPECT_FALSE(screen->isShown());

  // Cancel on a screen without a manager only prints and closes.
  Presenter::present(screen, false);
  screen->cancelButton->sendTouch();
  EXPECT_FALSE(screen->isShown());
  EXPECT_TRUE(console.contains("APIViewController handleCancelButtonTapped"));
  platform::Screen::setMainBounds({});
}

}  // namespace
