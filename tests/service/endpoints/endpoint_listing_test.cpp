#include "service/endpoints/endpoint_listing.h"

#include <gtest/gtest.h>

#include "service/endpoints/endpoint_plan.h"

namespace kestrune::service {
namespace {

TEST(EndpointListing, FormatsLinesWithTags) {
  struct Case {
    EndpointClass cls;
    const char* line;
  };
  const Case cases[] = {
      {EndpointClass::Ours, "{0.0.0}.{a}\tHeadset (USB Audio)\t[kestrune]\n"},
      {EndpointClass::OtherEffect, "{0.0.0}.{a}\tHeadset (USB Audio)\t[other-effect]\n"},
      {EndpointClass::HasEffects, "{0.0.0}.{a}\tHeadset (USB Audio)\n"},
      {EndpointClass::NoEffects, "{0.0.0}.{a}\tHeadset (USB Audio)\t[no-effects]\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(formatEndpointLine("{0.0.0}.{a}", "Headset", "USB Audio", c.cls), c.line);
  // Missing names: id, tab, space, empty parentheses, tag.
  EXPECT_EQ(formatEndpointLine("x", "", "", EndpointClass::NoEffects), "x\t ()\t[no-effects]\n");
  EXPECT_EQ(formatEndpointLine("x", "Kopfh\xc3\xb6rer", "", EndpointClass::HasEffects),
            "x\tKopfh\xc3\xb6rer ()\n");
}

TEST(EndpointListing, ForeignEffectIgnoresCaseOfOurId) {
  struct Case {
    std::u16string slot;
    bool foreign;
  };
  const Case cases[] = {
      {u"", false},
      {u"{B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C64}", false},
      {u"{b3c1f6a2-5d4e-4f8a-9c7b-2e1d0a9f8c64}", false},
      {u"{B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C65}", true},
      {u"{B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C64}x", true},
      {u"{B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C6}", true},
      {u"{62DC1A93-AE24-464C-A43E-452F824C4250}", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(isForeignEffectText(c.slot), c.foreign) << std::string(c.slot.begin(), c.slot.end());
}

TEST(EndpointPlan, PlainAndFullPlansHoldTheExactRecords) {
  const auto plain = PlanEndpointValues(false);
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(plain[0].name, kPropEndpointEffectClsid);
  EXPECT_EQ(plain[0].record.type, kRegSz);
  EXPECT_EQ(plain[0].record.bytes.size(), 78u);
  EXPECT_EQ(plain[0].record.bytes, regSzBytes(u"{B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C64}"));
  EXPECT_EQ(plain[1].name, kPropProcessingModesForStreaming);
  EXPECT_EQ(plain[1].record.type, kRegMultiSz);
  ASSERT_EQ(plain[1].record.bytes.size(), 80u);
  EXPECT_EQ(plain[1].record.bytes[76], 0);  // string NUL then list NUL
  EXPECT_EQ(plain[1].record.bytes[78], 0);
  EXPECT_EQ(plain[1].record.bytes[0], '{');

  const auto full = PlanEndpointValues(true);
  ASSERT_EQ(full.size(), 5u);
  EXPECT_EQ(full[0].record, plain[0].record);
  EXPECT_EQ(full[1].record, plain[1].record);
  EXPECT_EQ(full[2].name, kPropFxAssociation);
  EXPECT_EQ(full[2].record,
            (ValueRecord{true, kRegSz, regSzBytes(u"{00000000-0000-0000-0000-000000000000}")}));
  EXPECT_EQ(full[3].name, kPropStreamEffectClsid);
  EXPECT_FALSE(full[3].record.present);
  EXPECT_EQ(full[4].name, kPropModeEffectClsid);
  EXPECT_FALSE(full[4].record.present);
}

TEST(EndpointPlan, JournalEntryNames) {
  struct Case {
    const wchar_t* name;
    JournalEntryKind kind;
    const wchar_t* property;
  };
  const Case cases[] = {
      {L"v:{x},7", JournalEntryKind::Saved, L"{x},7"},
      {L"a:{x},7", JournalEntryKind::Added, L"{x},7"},
      {L"z:{x},7", JournalEntryKind::Added, L"{x},7"},  // any other prefix deletes
      {L"v:", JournalEntryKind::Saved, L""},
      {L"_Device", JournalEntryKind::None, L""},
      {L"_Phase", JournalEntryKind::None, L""},
      {L"v", JournalEntryKind::None, L""},
      {L"", JournalEntryKind::None, L""},
      {L"vv:x", JournalEntryKind::None, L""},
  };
  for (const Case& c : cases) {
    const JournalEntry e = parseJournalEntryName(c.name);
    EXPECT_EQ(e.kind, c.kind) << c.name;
    EXPECT_EQ(e.property, c.property) << c.name;
  }
}

TEST(EndpointPlan, OnlyTextsThatCanNameAKeyAreEndpointIds) {
  struct Case {
    std::wstring id;
    bool ok;
  };
  const Case cases[] = {
      {L"{0.0.0.00000000}.{6c4d9f5a-1e2b-4c3d-8e7f-a0b1c2d3e4f5}", true},
      {L"x", true},
      {L"", false},
      {std::wstring(L"{a}\0", 4), false},
      {std::wstring(L"\0{a}", 4), false},
      {L"{a}\\", false},
      {L"\\{a}", false},
      {L"{a}\\FxProperties", false},
  };
  for (const Case& c : cases) EXPECT_EQ(couldBeEndpointId(c.id), c.ok) << c.id.size();
}

}  // namespace
}  // namespace kestrune::service
