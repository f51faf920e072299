#include "oauth2/sign_in_page.h"

#include <array>
#include <cctype>
#include <utility>

namespace zor {

namespace {

constexpr std::string_view kPageTop = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Sign in to {%app.name%}</title>
<style>
body { font-family: sans-serif; background: #f4f5f7; margin: 0; }
main { max-width: 22rem; margin: 4rem auto; background: #fff; padding: 2rem; border-radius: 6px;
       box-shadow: 0 1px 4px rgba(0, 0, 0, .15); }
label { display: block; margin-top: 1rem; }
input[type=text], input[type=password] { width: 100%; box-sizing: border-box; padding: .4rem; }
button { margin-top: 1.5rem; width: 100%; padding: .5rem; }
.scope { color: #555; }
</style>
</head>
<body>
<main>
<h1>Sign in</h1>
<p><strong>{%app.name%}</strong> asks for access.</p>
<p class="scope">Scope: {%app.scope%}</p>
<form method="post" action=")";

constexpr std::string_view kPageBottom = R"(">
<input type="hidden" name="request_type" value="sign-in">
<input type="hidden" name="id" value="{%request.id%}">
<label>User name <input type="text" name="username" autocomplete="username" required autofocus></label>
<label>Password <input type="password" name="password" autocomplete="current-password"></label>
<button type="submit">Sign in</button>
</form>
</main>
</body>
</html>
)";

bool IsSchemeChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'; }

bool IsHostChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
}

// The source expression that lets a form's answer redirect to the address:
// "scheme://host[:port]", or "scheme:" for a native application's own
// scheme, which is a reversed domain name (RFC 8252 7.1). Empty for anything
// else a policy cannot hold as it is, so that only the server is allowed.
std::string RedirectSource(std::string_view aRedirect) {
  const size_t colon = aRedirect.find(':');
  if (colon == 0 || colon == std::string_view::npos || !std::isalpha(static_cast<unsigned char>(aRedirect[0])))
    return {};
  const std::string_view scheme = aRedirect.substr(0, colon);
  for (char c : scheme)
    if (!IsSchemeChar(c)) return {};
  if (aRedirect.substr(colon, 3) != "://")
    return scheme.find('.') == std::string_view::npos ? std::string() : std::string(scheme) + ":";
  const std::string_view rest = aRedirect.substr(colon + 3);
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.empty()) return {};
  for (char c : authority)
    if (!IsHostChar(c)) return {};
  return std::string(aRedirect.substr(0, colon + 3 + authority.size()));
}

}  // namespace

std::vector<std::string> SignInPageHeaders(std::string_view aRedirect) {
  std::string formAction = "form-action 'self'";
  if (const std::string source = RedirectSource(aRedirect); !source.empty()) formAction += " " + source;
  return {"Cache-Control: no-store", "Pragma: no-cache", "X-Frame-Options: DENY",
          "Content-Security-Policy: frame-ancestors 'none'; " + formAction, "Referrer-Policy: no-referrer"};
}

std::string OAuth2AuthorizationPage(std::string_view aAction) {
  return std::string(kPageTop) + EscapeHTML(aAction) + std::string(kPageBottom);
}

std::string FillSignInPage(std::string_view aPage, std::string_view aAppName, std::string_view aScope,
                           std::string_view aRequestId) {
  const std::array<std::pair<std::string_view, std::string>, 3> values{{
      {"{%app.name%}", EscapeHTML(aAppName)},
      {"{%app.scope%}", EscapeHTML(aScope)},
      {"{%request.id%}", EscapeHTML(aRequestId)},
  }};
  std::string out;
  size_t at = 0;
  while (at < aPage.size()) {
    const size_t open = aPage.find("{%", at);
    if (open == std::string_view::npos) break;
    out.append(aPage.substr(at, open - at));
    at = open;
    bool replaced = false;
    for (const auto& [name, value] : values) {
      if (aPage.substr(open, name.size()) == name) {
        out += value;
        at += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(aPage[at++]);
  }
  out.append(aPage.substr(at));
  return out;
}

}  // namespace zor
