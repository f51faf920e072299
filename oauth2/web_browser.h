#pragma once
// Opening an address in the user's web browser.
#include <string>

namespace zor {

// Runs "xdg-open <url>" through posix_spawnp (no shell, so nothing in the
// address is interpreted), with none of our descriptors beyond the standard
// three, and waits for it to hand the address over; true when it exits with 0.
bool OpenURLWithXdgOpen(const std::string& aURL);

}  // namespace zor
