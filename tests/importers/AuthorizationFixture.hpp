#pragma once
// Shared by the authorisation suites: virtual time, a temporary application home, captured console
// lines, and loopback Garmin (OAuth 1.0a) and Fitbit (OAuth 2.0) providers that the managers talk to.
// Every completion made by `outcome()` must have run exactly once, on the main queue, by the end of
// the test.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "importers/APIViewController.hpp"
#include "importers/FitBitManager.hpp"
#include "importers/GarminManager.hpp"
#include "support/OAuth1Provider.hpp"
#include "support/OAuth2Provider.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ui/Presenter.hpp"
#include "talvaren/platform/ui/StatusBar.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Http.hpp"
#include "talvaren/testing/OAuth.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::testkit {

/// The callback the loopback providers expect, written out rather than read from the kit: the scheme,
/// the maker's reverse-DNS domain with the labels "talvarenmobile.ui.oauth", and the fixed path.
inline const std::string callbackURL("talvarenmobile://com.talvaren.talvarenmobile.ui.oauth/AuthorizationActivity");

class AuthorizationFixture : public ::testing::Test {
 protected:
  struct Outcome {
    int calls = 0;
    bool allOnMain = true;
    bool granted = false;
  };

  AuthorizationFixture() {
    setGarminOAuthURLs(garmin.requestTokenURL(), garmin.authorizeURL(), garmin.accessTokenURL());
    setFitBitAuthorizeURL(fitbit.authorizeURL());
    platform::ui::Presenter::setRootViewController(nullptr);
    platform::ui::StatusBar::setHeight(0);
  }

  ~AuthorizationFixture() override {
    resetOAuthManagers();
    time.runUntil([] { return false; }, std::chrono::milliseconds(20));
    for (std::size_t i = 0; i < outcomes_.size(); ++i) {
      EXPECT_EQ(outcomes_[i]->calls, 1) << "completion " << i;
      EXPECT_TRUE(outcomes_[i]->allOnMain) << "completion " << i;
    }
    resetOAuthURLs();
    platform::ui::Presenter::setRootViewController(nullptr);
  }

  /// A completion that records its calls.
  std::pair<std::shared_ptr<Outcome>, std::function<void(bool)>> outcome() {
    auto state = std::make_shared<Outcome>();
    outcomes_.push_back(state);
    return {state, [state](bool granted) {
              ++state->calls;
              state->allOnMain = state->allOnMain && platform::DispatchQueue::isMainQueueCurrent();
              state->granted = granted;
            }};
  }

  /// Starts a Garmin authorisation on the main queue, as the request pipeline does.
  std::shared_ptr<Outcome> authorizeGarmin() {
    auto [state, completion] = outcome();
    onMain([completion = completion] {
      GarminManager::sharedInstance()->authorize("garmin-key", "garmin-secret", completion);
    });
    return state;
  }
  std::shared_ptr<Outcome> authorizeFitBit() {
    auto [state, completion] = outcome();
    onMain([completion = completion] {
      FitBitManager::sharedInstance()->authorize("fitbit-id", "fitbit-secret", completion);
    });
    return state;
  }

  void onMain(std::function<void()> work) {
    platform::DispatchQueue::main().async(std::move(work));
    time.runReady();
  }

  /// Runs the main queue until `done()` holds (real time, generous for sanitised runs).
  void waitFor(const std::function<bool()>& done) { ASSERT_TRUE(time.runUntil(done, std::chrono::seconds(10))); }
  void waitFor(const std::shared_ptr<Outcome>& state) {
    waitFor([&] { return state->calls > 0; });
  }

  /// The authorisation screen on top, once its page has loaded.
  std::shared_ptr<APIViewController> shownScreen() {
    std::shared_ptr<APIViewController> screen;
    waitFor([&] {
      screen = std::dynamic_pointer_cast<APIViewController>(platform::ui::Presenter::topViewController());
      return screen && screen->webView->page() && !screen->webView->isLoading();
    });
    return screen;
  }

  bool consoleShows(const std::string& text) const {
    for (const auto& line : console.lines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  VirtualTime time;
  TemporaryAppHome home;
  ConsoleCapture console;
  ScopedHttpTestHooks hooks;
  OAuth1Provider garmin{"garmin-key", "garmin-secret", callbackURL};
  OAuth2Provider fitbit{"fitbit-id", "fitbit-secret", callbackURL, "activity sleep"};

 private:
  std::vector<std::shared_ptr<Outcome>> outcomes_;
};

}  // namespace talvaren::testkit
