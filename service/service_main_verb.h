// What the service program does for its start arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::service {

enum class StartVerb { Install, Uninstall, Run, ServiceMode };

// The first argument (after the program name), compared ignoring the case of
// A to Z; none or anything unknown means service mode.
StartVerb startVerbFor(const std::vector<std::wstring>& args);

// The elevated copy's parameters: every argument joined by single spaces,
// without quoting, so arguments holding spaces arrive split.
std::wstring elevatedParameters(const std::vector<std::wstring>& args);

// ASCII-only case-insensitive comparison (letters A to Z only).
bool equalsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

}  // namespace kestrune::service
