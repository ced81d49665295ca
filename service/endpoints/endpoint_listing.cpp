#include "service/endpoints/endpoint_listing.h"

#include <algorithm>

#include "common/names.h"

namespace kestrune::service {

std::string_view endpointTag(EndpointClass cls) {
  switch (cls) {
    case EndpointClass::Ours:
      return "\t[kestrune]";
    case EndpointClass::OtherEffect:
      return "\t[other-effect]";
    case EndpointClass::HasEffects:
      return "";
    case EndpointClass::NoEffects:
      break;
  }
  return "\t[no-effects]";
}

std::string formatEndpointLine(std::string_view idUtf8, std::string_view descriptionUtf8,
                               std::string_view interfaceUtf8, EndpointClass cls) {
  std::string line;
  line.append(idUtf8).append("\t").append(descriptionUtf8);
  line.append(" (").append(interfaceUtf8).append(")");
  line.append(endpointTag(cls)).append("\n");
  return line;
}

namespace {
char16_t foldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c; }
}  // namespace

bool isForeignEffectText(std::u16string_view slotText) {
  constexpr std::string_view ours = kEffectClsidText;
  if (slotText.empty()) return false;
  if (slotText.size() != ours.size()) return true;
  return !std::equal(slotText.begin(), slotText.end(), ours.begin(), [](char16_t a, char b) {
    return foldAscii(a) == foldAscii(static_cast<char16_t>(b));
  });
}

}  // namespace kestrune::service
