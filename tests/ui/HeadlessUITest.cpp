#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/platform/ui/Button.hpp"
#include "talvaren/platform/ui/Presenter.hpp"
#include "talvaren/platform/web/WebView.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
using namespace talvaren::platform::ui;

namespace {

/// Writes each lifecycle call into a shared trace.
class TracedScreen : public ViewController {
 public:
  TracedScreen(std::string name, std::vector<std::string>& trace) : name_(std::move(name)), trace_(trace) {}

 protected:
  void viewDidLoad() override { trace_.push_back(name_ + " didLoad"); }
  void viewWillAppear(bool) override { trace_.push_back(name_ + " willAppear"); }
  void viewDidAppear(bool) override { trace_.push_back(name_ + " didAppear"); }
  void viewWillDisappear(bool) override { trace_.push_back(name_ + " willDisappear"); }
  void viewDidDisappear(bool) override { trace_.push_back(name_ + " didDisappear"); }

 private:
  std::string name_;
  std::vector<std::string>& trace_;
};

class UITest : public ::testing::Test {
 protected:
  UITest() { Presenter::setRootViewController(nullptr); }
  ~UITest() override {
    Presenter::setObserver({});
    Presenter::setRootViewController(nullptr);
  }
};

TEST_F(UITest, PresentationChainAndLifecycle) {
  platform::Screen::setMainBounds({0, 0, 375, 667});
  std::vector<std::string> trace;
  Presenter::setObserver({[&](const auto& c) { trace.push_back("host presented " + std::to_string(c == nullptr)); },
                          [&](const auto&) { trace.push_back("host dismissed"); }});
  auto a = std::make_shared<TracedScreen>("a", trace);
  auto b = std::make_shared<TracedScreen>("b", trace);
  int completions = 0;
  Presenter::present(a, true, [&] { ++completions; });
  a->present(b, false, [&] { ++completions; });
  EXPECT_EQ(a->view()->frame(), (platform::Rect{0, 0, 375, 667}));
  EXPECT_EQ(Presenter::topViewController(), b);
  EXPECT_EQ(b->presentingViewController(), a);

  // Refused: a presents already, and b is shown already.
  testkit::ConsoleCapture console;
  a->present(std::make_shared<ViewController>(), false, [&] { ++completions; });
  Presenter::rootViewController()->present(b, false, [&] { ++completions; });
  EXPECT_EQ(console.lines().size(), 2u);
  EXPECT_EQ(completions, 2);

  // The root dismisses what it presents, a, and b goes with it, the top first; a shows again without
  // loading anew.
  Presenter::rootViewController()->dismiss(true, [&] { ++completions; });
  Presenter::present(a, false);
  EXPECT_EQ(completions, 3);
  EXPECT_EQ(trace,
            (std::vector<std::string>{"a didLoad", "a willAppear", "a didAppear", "host presented 0", "b didLoad",
                                      "b willAppear", "b didAppear", "host presented 0", "b willDisappear",
                                      "b didDisappear", "host dismissed", "a willDisappear", "a didDisappear",
                                      "host dismissed", "a willAppear", "a didAppear", "host presented 0"}));
  EXPECT_EQ(b->presentingViewController(), nullptr);
  b->dismiss(false, [&] { ++completions; });  // nothing shown: the completion still runs
  a->dismiss(false, [&] { ++completions; });  // a presents nothing: a itself goes
  EXPECT_EQ(completions, 5);
  EXPECT_EQ(Presenter::topViewController(), Presenter::rootViewController());
  platform::Screen::setMainBounds({});
}

class Tapper {
 public:
  void tapped(Button&) { ++taps; }
  void other(Button&) { ++others; }
  int taps = 0;
  int others = 0;
};

TEST_F(UITest, ButtonTitlesAndTargets) {
  auto button = std::make_shared<Button>();
  button->setTitle("Cancel", ControlState::normal);
  button->setTitle("Busy", ControlState::disabled);
  EXPECT_EQ(button->title(ControlState::highlighted), "Cancel");
  button->setEnabled(false);
  EXPECT_EQ(button->currentTitle(), "Busy");

  auto tapper = std::make_shared<Tapper>();
  button->addTarget(tapper, &Tapper::tapped, ControlEvent::touchUpInside);
  button->addTarget(tapper, &Tapper::tapped, ControlEvent::touchUpInside);  // the same pair: kept once
  button->addTarget(tapper, &Tapper::other, ControlEvent::touchUpInside);
  button->addTarget(tapper, &Tapper::other, ControlEvent::touchDown);
  button->sendTouch();  // disabled
  EXPECT_EQ(tapper->taps, 0);
  button->setEnabled(true);
  button->sendTouch();
  EXPECT_EQ(tapper->taps, 1);
  EXPECT_EQ(tapper->others, 2);

  button->removeTarget(tapper.get(), ControlEvent::touchDown);
  button->sendActions(ControlEvent::touchDown);
  EXPECT_EQ(tapper->others, 2);
  tapper.reset();  // held weakly: nothing left to call
  EXPECT_EQ(button->actionCount(ControlEvent::touchUpInside), 0u);
  button->sendTouch();
}

/// Records what a web view asks and tells.
class Navigator : public WebViewDelegate {
 public:
  bool webViewShouldStartLoad(WebView&, const platform::http::URLRequest& request, NavigationType type) override {
    asked.push_back(request.url().absoluteString());
    types.push_back(type);
    return refuse.empty() || request.url().absoluteString().find(refuse) == std::string::npos;
  }
  void webViewDidFinishLoad(WebView&) override { ++finished; }
  void webViewDidFailLoad(WebView&, const Error& error) override { failures.push_back(error.code); }

  std::vector<std::string> asked;
  std::vector<NavigationType> types;
  std::string refuse;
  int finished = 0;
  std::vector<std::int64_t> failures;
};

class WebViewTest : public UITest {
 protected:
  WebViewTest() { view->setDelegate(navigator); }
  void waitIdle() {
    ASSERT_TRUE(time.runUntil([&] { return !view->isLoading(); }, std::chrono::seconds(10)));
  }

  testkit::VirtualTime time;
  testkit::LoopbackServer server;
  std::shared_ptr<WebView> view = std::make_shared<WebView>();
  std::shared_ptr<Navigator> navigator = std::make_shared<Navigator>();
};

TEST_F(WebViewTest, EveryRedirectIsAskedAboutFirst) {
  server.on("GET", "/a/start",
            [](const httplib::Request&, httplib::Response& res) { res.set_redirect("next?x=1", 302); });
  server.on("GET", "/a/next",
            [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(server.url("/done"), 303); });
  server.reply("GET", "/done", 200, "<html>signed in</html>", "text/html");
  server.on("GET", "/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop", 302); });
  server.on("GET", "/app", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("talvarenmobile://host/path?code=1", 302);
  });

  view->loadRequest(platform::http::URLRequest(*platform::http::URL::fromString(server.url("/a/start"))));
  waitIdle();
  EXPECT_EQ(navigator->asked,
            (std::vector<std::string>{server.url("/a/start"), server.url("/a/next?x=1"), server.url("/done")}));
  EXPECT_EQ(navigator->finished, 1);
  ASSERT_TRUE(view->page());
  EXPECT_EQ(view->page()->url.absoluteString(), server.url("/done"));
  EXPECT_EQ(std::string(view->page()->body.begin(), view->page()->body.end()), "<html>signed in</html>");

  // A refused load sends nothing and keeps the page; a link is resolved against the page.
  navigator->refuse = "/done";
  view->navigate("/a/start");
  waitIdle();
  EXPECT_EQ(navigator->types.back(), NavigationType::other);
  EXPECT_EQ(navigator->finished, 1);
  EXPECT_EQ(server.requestCount(), 5u);

  // Another scheme is offered, then fails; so does the seventeenth redirect in a row.
  view->navigate("/app");
  waitIdle();
  EXPECT_EQ(navigator->asked.back(), "talvarenmobile://host/path?code=1");
  view->navigate("/loop");
  waitIdle();
  EXPECT_EQ(navigator->failures, (std::vector<std::int64_t>{platform::http::URLError::unsupportedURL,
                                                            platform::http::URLError::httpTooManyRedirects}));
  view->navigate("not a url at all");
  EXPECT_EQ(navigator->failures.back(), platform::http::URLError::badURL);
}

TEST_F(WebViewTest, ANewLoadDropsTheOneInProgress) {
  server.on("GET", "/slow", [&](const httplib::Request&, httplib::Response& res) {
    server.waitForStop(std::chrono::milliseconds(300));
    res.set_content("slow", "text/plain");
  });
  server.reply("GET", "/fast", 200, "fast", "text/plain");
  view->navigate(server.url("/slow"));
  EXPECT_TRUE(view->isLoading());
  view->navigate(server.url("/fast"));
  waitIdle();
  time.runUntil([] { return false; }, std::chrono::milliseconds(400));
  EXPECT_EQ(navigator->finished, 1);
  EXPECT_EQ(view->page()->url.absoluteString(), server.url("/fast"));
  EXPECT_TRUE(navigator->failures.empty());
}

TEST(ResolveURLTest, ReferenceResolution) {
  const std::string base = "http://a/b/c/d;p?q";
  for (const auto& [reference, target] : std::vector<std::pair<std::string, std::string>>{
           {"g", "http://a/b/c/g"},
           {"./g", "http://a/b/c/g"},
           {"g/", "http://a/b/c/g/"},
           {"/g", "http://a/g"},
           {"//g", "http://g"},
           {"?y", "http://a/b/c/d;p?y"},
           {"g?y#s", "http://a/b/c/g?y#s"},
           {"#s", "http://a/b/c/d;p?q#s"},
           {"", "http://a/b/c/d;p?q"},
           {"..", "http://a/b/"},
           {"../g", "http://a/b/g"},
           {"../../../g", "http://a/g"},
           {"/./g", "http://a/g"},
           {"g;x=1/../y", "http://a/b/c/y"},
           {"talvarenmobile://h/p?x=1", "talvarenmobile://h/p?x=1"},
       }) {
    EXPECT_EQ(resolveURL(base, reference), target) << reference;
  }
  EXPECT_EQ(resolveURL(base, "g h"), std::nullopt);
}

}  // namespace
