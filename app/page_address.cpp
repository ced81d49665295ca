#include "app/page_address.h"

namespace kestrune::app {

bool isPageAddress(std::string_view address) { return address.starts_with(kPageOrigin); }

bool opensInBrowser(std::string_view address) { return address.starts_with("https://"); }

bool isOpenableAddress(std::string_view address) {
  return opensInBrowser(address) || address.starts_with("mailto:");
}

}  // namespace kestrune::app
