// Splitting a control-pipe request into words. Only the space character
// separates; tabs and every other byte belong to the words.
#pragma once

#include <string_view>
#include <vector>

namespace kestrune::service {

// Drops every carriage return and line feed at the end, in any order.
std::string_view stripLineEnds(std::string_view request);

// Words separated by runs of spaces; leading and trailing spaces make no
// empty words. The views point into `request`.
std::vector<std::string_view> splitCommandWords(std::string_view request);

}  // namespace kestrune::service
