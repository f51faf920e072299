#pragma once
// Comparison of secrets (passwords, session ids, monitor secrets) whose time
// tells an observer nothing about how much of a guess was right. An empty
// secret never matches anything.
#include <string_view>

namespace zor {

bool SecretsEqual(std::string_view expected, std::string_view given);

}  // namespace zor
