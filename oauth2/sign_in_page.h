#pragma once
// The authorization server's sign-in page and the filling of its
// placeholders: "{%app.name%}", "{%app.scope%}" and "{%request.id%}".
#include <string>
#include <string_view>
#include <vector>

#include "base/markup.h"

namespace zor {

// The built-in page (resource "ZOR_HTML_OAUTH2_AUTHORIZATION"): the
// application's name and scope and a form posting "request_type" = "sign-in",
// "username", "password" and "id" to `aAction`.
std::string OAuth2AuthorizationPage(std::string_view aAction);

// Every placeholder of the page replaced, in one pass, by its value
// HTML-escaped; a value is never searched for placeholders itself.
std::string FillSignInPage(std::string_view aPage, std::string_view aAppName, std::string_view aScope,
                           std::string_view aRequestId);

// Header lines of the page: never cached, framed or leaked through the
// referrer, and its form may go only to this server, whose answer then
// redirects to `aRedirect`. Browsers hold that redirect to the page's
// form-action too, so the redirect address's origin is allowed as well.
std::vector<std::string> SignInPageHeaders(std::string_view aRedirect);

}  // namespace zor
