// Platform-free pieces of the render endpoint inventory: the classes an
// endpoint falls into, their listing tags and the listing line.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::service {

// Decided in this order, first match wins.
enum class EndpointClass {
  Ours,         // the endpoint id equals the journal's `_Device` exactly
  OtherEffect,  // another product's effect sits in the endpoint-effect slot
  HasEffects,   // FxProperties opens and holds at least one value
  NoEffects,    // FxProperties missing or empty
};

// "\t[kestrune]", "\t[other-effect]", "" or "\t[no-effects]".
std::string_view endpointTag(EndpointClass cls);

// id, tab, description, " (", interface name, ")", tag, "\n" (all UTF-8).
std::string formatEndpointLine(std::string_view idUtf8, std::string_view descriptionUtf8,
                               std::string_view interfaceUtf8, EndpointClass cls);

// Case-insensitive comparison of a slot text with the effect's class id:
// true when the text is non-empty and names something else.
bool isForeignEffectText(std::u16string_view slotText);

}  // namespace kestrune::service
