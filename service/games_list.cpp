#include "service/games_list.h"

#include <algorithm>

namespace kestrune::service {

std::vector<std::u16string> parseMultiSz(const std::uint8_t* data, std::size_t sizeBytes) {
  std::vector<std::u16string> entries;
  const std::size_t units = data ? sizeBytes / 2 : 0;
  std::u16string current;
  for (std::size_t i = 0; i < units; ++i) {
    // Little-endian units, assembled bytewise: the data may be unaligned.
    const char16_t unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (unit != u'\0') {
      current.push_back(unit);
      continue;
    }
    if (current.empty()) return entries;
    entries.push_back(std::move(current));
    current.clear();
  }
  // A last entry without its NUL ends at the end of the data.
  if (!current.empty()) entries.push_back(std::move(current));
  return entries;
}

std::u16string multiSzFromCommaText(std::u16string_view text) {
  std::u16string stored(text);
  std::replace(stored.begin(), stored.end(), u',', u'\0');
  stored.append(2, u'\0');
  return stored;
}

std::string joinGames(const std::vector<std::string>& entriesUtf8) {
  std::string text;
  for (std::size_t i = 0; i < entriesUtf8.size(); ++i) {
    if (i > 0) text += ',';
    text += entriesUtf8[i];
  }
  return text;
}

namespace {
char16_t foldAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }
}  // namespace

bool gameNameMatches(std::u16string_view processName, std::u16string_view listedName) {
  return processName.size() == listedName.size() &&
         std::equal(
             processName.begin(), processName.end(), listedName.begin(),
             [](char16_t a, char16_t b) { return foldAsciiLetter(a) == foldAsciiLetter(b); });
}

bool anyGameMatches(std::u16string_view processName, const std::vector<std::u16string>& games) {
  return std::any_of(games.begin(), games.end(),
                     [&](const std::u16string& g) { return gameNameMatches(processName, g); });
}

}  // namespace kestrune::service
