// The built-in files: which request lines they answer, their order when
// joined, the embedded texts and the placeholders.
#include "server/builtin_resources.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(BuiltInResources, LibraryScriptComesAfterItsFallbacks) {
  TzorResourceOptions o;
  o.FlashFallBack = o.EventSourceFallBack = true;
  const auto m = MatchResource("GET /js/zorWebSockets.js HTTP/1.1", o, false);
  ASSERT_EQ(m.Kind, TzorResourceKind::rsText);
  EXPECT_EQ(m.Names, (std::vector<std::string>{"zorWebSocketsEventSource.js", "zorWebSocketsFlash.js",
                                               "zorWebSockets.js"}));
  EXPECT_EQ(m.ContentType, "text/javascript; charset=utf-8");
  const std::string text = TzorWSHTTPResponse::GetResponseMessage(m.Names);
  const size_t source = text.find("global.zorEventSource = zorEventSource");
  const size_t flash = text.find("zorFlashAvailable");
  const size_t library = text.find("global.zorWebSocket = zorWebSocket");
  ASSERT_NE(library, std::string::npos);
  EXPECT_LT(source, flash);
  EXPECT_LT(flash, library);
  // Exact letter case selects the fallbacks; other cases serve the file alone.
  EXPECT_EQ(MatchResource("GET /ZORWEBSOCKETS.JS HTTP/1.1", o, false).Names.size(), 1u);
}

TEST(BuiltInResources, OptionsAndRulesDecideWhatIsServed) {
  TzorResourceOptions o;
  EXPECT_TRUE(ServesResource("GET /zorWebSockets.js HTTP/1.1", o));
  EXPECT_FALSE(ServesResource("GET /other.js HTTP/1.1", o));  // unknown names are left to the application
  EXPECT_FALSE(ServesResource("GET /zorWebSockets.html HTTP/1.1", o));
  o.HTMLFiles = true;
  EXPECT_TRUE(ServesResource("GET /zorWebSockets.html HTTP/1.1", o));
  o.JavascriptFiles = false;
  EXPECT_FALSE(ServesResource("GET /zorWebSockets.js HTTP/1.1", o));
  EXPECT_EQ(MatchResource("GET /favicon.ico HTTP/1.1", o, false).Kind, TzorResourceKind::rsNone);
  EXPECT_EQ(MatchResource("GET /favicon.ico HTTP/1.1", o, true).Kind, TzorResourceKind::rsFavicon);
  EXPECT_EQ(MatchResource("GET /WebSocketMain.swf HTTP/1.1", o, false).Kind, TzorResourceKind::rsFlashMovie);
  EXPECT_EQ(TzorWSHTTPResponse::GetResponseMessage({"nothing.js"}), "");
}

TEST(BuiltInResources, RequestLinesAreReadIgnoringCaseOnlyForGET) {
  const TzorResourceOptions o;
  EXPECT_EQ(MatchResource("get /zorWebSockets.JS HTTP/1.1", o, false).Kind, TzorResourceKind::rsText);
  EXPECT_EQ(MatchResource("GET /a/b/zorWebSockets.js HTTP/2", o, false).Names,
            (std::vector<std::string>{"zorWebSockets.js"}));
  // The name must end the target: a query or a further segment is another file.
  EXPECT_EQ(MatchResource("GET /zorWebSockets.js?v=1 HTTP/1.1", o, false).Kind, TzorResourceKind::rsNone);
  EXPECT_EQ(MatchResource("GET /zorWebSockets.js/x HTTP/1.1", o, false).Kind, TzorResourceKind::rsNone);
  EXPECT_EQ(MatchResource("POST /zorWebSockets.js HTTP/1.1", o, false).Kind, TzorResourceKind::rsNone);
  EXPECT_EQ(MatchResource("GET /zorWebSockets.js", o, false).Kind, TzorResourceKind::rsNone);
  EXPECT_EQ(MatchResource("GET /x/websocketmain.SWF HTTP/1.1", o, false).Kind, TzorResourceKind::rsFlashMovie);
  EXPECT_EQ(MatchResource("GET /img/FAVICON-32.png HTTP/1.1", o, true).Kind, TzorResourceKind::rsFavicon);
  EXPECT_EQ(MatchResource("GETX /favicon.ico HTTP/1.1", o, true).Kind, TzorResourceKind::rsNone);
  EXPECT_EQ(MatchResource("GET", o, true).Kind, TzorResourceKind::rsNone);
}

TEST(BuiltInResources, TestPageGetsItsPlaceholdersEscaped) {
  const std::string page = TzorWSHTTPResponse::GetResponseMessage({"zorWebSockets.html"});
  ASSERT_NE(page.find("{%host%}"), std::string::npos);
  ASSERT_NE(page.find("{%port%}"), std::string::npos);
  ASSERT_NE(page.find("{%ssl%}"), std::string::npos);
  const std::string filled = FillPlaceholders(page, {"127.0.0.1", 8443, true, false}, true);
  EXPECT_NE(filled.find("wss://127.0.0.1:8443/"), std::string::npos);
  EXPECT_EQ(filled.find("{%"), std::string::npos);
  EXPECT_EQ(FillPlaceholders("ws{%SSL%}://{%Host%}:{%port%}", {"::1", 80, false, true}, false), "ws://[::1]:80");
  EXPECT_EQ(FillPlaceholders("{%host%}", {"<b>\"x\"&'", 0, false, false}, true), "&lt;b&gt;&quot;x&quot;&amp;&#39;");
}

class Custom : public TzorWSHTTPResponse_Base {
 public:
  std::string GetFileName() const override { return "custom.css"; }
  std::string Text() const override { return "body{}"; }
};

TEST(BuiltInResources, ApplicationsRegisterTheirOwnFiles) {
  TzorWSHTTPResponse::RegisterFileName(std::make_shared<Custom>());
  TzorResourceOptions o;
  o.HTMLFiles = true;
  const auto m = MatchResource("GET /custom.css HTTP/1.1", o, false);
  EXPECT_EQ(m.ContentType, "text/css");
  EXPECT_EQ(TzorWSHTTPResponse::GetResponseMessage(m.Names), "body{}\r\n");
}

}  // namespace
}  // namespace zor
