#include "app/start_options.h"

namespace kestrune::app {

StartOptions parseStartOptions(std::wstring_view commandLine) {
  return {commandLine.find(L"--dev") != std::wstring_view::npos,
          commandLine.find(L"--startup") != std::wstring_view::npos};
}

bool startsHidden(const StartOptions& options, std::optional<std::uint32_t> startMinimized) {
  return options.startup && startMinimized.value_or(0) != 0;
}

}  // namespace kestrune::app
