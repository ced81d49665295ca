#include "service/endpoints/effect_attach_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>

#include "common/handles_win32.h"
#include "common/names.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"
#include "tests/service/endpoints/fake_endpoint_win32.h"
#include "tests/support/child_process_win32.h"

namespace kestrune::service::test {
namespace {

using kestrune::test::ScopedRegistryKey;
using Values = std::optional<std::vector<RegistryValue>>;

const std::wstring kForeign = L"{62DC1A93-AE24-464C-A43E-452F824C4250}";

// Every slot the attach may touch holds something of a different type, plus
// a value the attach must never touch.
FakeEndpoint occupiedEndpoint(const std::wstring& id, const std::wstring& slot = kForeign) {
  return {id,
          1,
          L"Occupied",
          L"X",
          true,
          {sz(kPropEndpointEffectClsid, slot),
           textValue(kPropProcessingModesForStreaming, std::wstring(L"{m1}\0{m2}\0\0", 11),
                     REG_MULTI_SZ),
           {kPropFxAssociation, REG_BINARY, {0xde, 0xad, 0xbe}},
           dword(kPropStreamEffectClsid, 0x01020304),
           {kPropModeEffectClsid, REG_SZ, {}},  // zero-length value
           {L"{unrelated},3", REG_BINARY, {9, 8, 7}}}};
}

// Nothing the attach writes exists yet.
FakeEndpoint bareEndpoint(const std::wstring& id) {
  return {id, 1, L"Bare", L"Y", true, {{L"{unrelated},3", REG_BINARY, {1}}}};
}

class EffectAttach : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.erase();
    render_.erase();
    hooks_.restartAudio = [this](std::string& message) {
      ++restarts_;
      if (!restartResult_) message = "restart failed";
      return restartResult_;
    };
    setAttachTestHooks(&hooks_);
  }
  void TearDown() override { setAttachTestHooks(nullptr); }

  static bool journalExists() {
    return kestrune::test::keyExists(HKEY_LOCAL_MACHINE, kJournalKeyPath);
  }
  static DWORD phase() { return readNumber(kJournalKeyPath, kJournalPhase, 0); }

  // Stops the next operation at its k-th point (1-based); 0 never stops.
  void stopAtPoint(int k) {
    points_ = 0;
    hooks_.stopAt = [this, k](const char*) { return ++points_ == k; };
  }

  // Stops an attach at every recoverable point in turn; whatever is left
  // must be undone exactly by the next restore. Returns the points stopped at.
  int enumerateAttachStops(const FakeEndpoint& e, bool full) {
    int tested = 0;
    for (int k = 1;; ++k) {
      settings_.erase();
      render_.erase();
      createEndpoint(e);
      const Values before = fxValues(e.id);
      stopAtPoint(k);
      std::string message;
      const bool attached = AttachEffect(e.id, full, false, true, message);
      stopAtPoint(0);
      if (attached) {
        EXPECT_EQ(phase(), 2u);
      } else {
        EXPECT_EQ(message, "stopped at an injected point");
        ++tested;
        // Start-up recovery acts on phases 1 and 3 only; in any other state
        // the endpoint must still be untouched.
        if (phase() != 1 && phase() != 3) {
          EXPECT_TRUE(sameValues(fxValues(e.id), before)) << k;
        }
      }
      EXPECT_TRUE(RestoreEndpoint(false, message)) << message;
      EXPECT_TRUE(sameValues(fxValues(e.id), before)) << "point " << k << (full ? " full" : "");
      EXPECT_FALSE(journalExists());
      if (attached || k > 50) return tested;
    }
  }

  ScopedRegistryKey settings_{HKEY_LOCAL_MACHINE, kSettingsKeyPath};
  ScopedRegistryKey render_{HKEY_LOCAL_MACHINE, kRenderEndpointsPath};
  AttachTestHooks hooks_;
  int restarts_ = 0;
  bool restartResult_ = true;
  int points_ = 0;
};

TEST_F(EffectAttach, AttachWritesPlanAndRestoreBringsBackEveryByte) {
  for (const bool full : {false, true}) {
    for (const FakeEndpoint& e : {occupiedEndpoint(L"{occupied}"), bareEndpoint(L"{bare}")}) {
      render_.erase();
      createEndpoint(e);
      const Values before = fxValues(e.id);
      std::string message;
      ASSERT_TRUE(AttachEffect(e.id, full, false, true, message)) << message;
      EXPECT_EQ(phase(), 2u);
      EXPECT_EQ(readText(kJournalKeyPath, kJournalDevice), e.id);
      EXPECT_EQ(readNumber(kJournalKeyPath, kJournalFull, 9), full ? 1u : 0u);
      UniqueHKey fx;
      ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, FxPropertiesPath(e.id).c_str(), 0, KEY_READ,
                                fx.put()),
                ERROR_SUCCESS);
      for (const PlannedValue& planned : PlanEndpointValues(full))
        EXPECT_EQ(ReadValueRecord(fx.get(), planned.name.c_str()), planned.record);
      fx.reset();
      // The unrelated value is never touched.
      const Values after = fxValues(e.id);
      EXPECT_TRUE(std::any_of(after->begin(), after->end(),
                              [](const RegistryValue& v) { return v.name == L"{unrelated},3"; }));

      serviceState().drift = true;
      ASSERT_TRUE(RestoreEndpoint(true, message)) << message;
      EXPECT_TRUE(sameValues(fxValues(e.id), before)) << (full ? "full " : "plain ") << e.id.size();
      EXPECT_FALSE(journalExists());
      EXPECT_FALSE(serviceState().drift.load());
    }
  }
  EXPECT_EQ(restarts_, 8);
}

TEST_F(EffectAttach, ValueThatGrowsWhileReadIsNeverTakenForAbsent) {
  // Windows may rewrite an effect property while the attach journals it; a
  // value that grew between size and data read must still read as present,
  // or the journal would mark it added and the restore would delete it.
  const FakeEndpoint e = bareEndpoint(L"{busy}");
  createEndpoint(e);
  const std::wstring path = FxPropertiesPath(e.id);
  kestrune::test::setBytes(HKEY_LOCAL_MACHINE, path, kPropFxAssociation, REG_BINARY, {1});
  UniqueHKey reader;
  UniqueHKey writer;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, reader.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, writer.put()),
            ERROR_SUCCESS);
  std::atomic<bool> done{false};
  std::thread rewriter([&] {
    const std::vector<BYTE> small(1, 1);
    const std::vector<BYTE> large(512, 2);
    for (int i = 0; !done.load(); ++i) {
      const std::vector<BYTE>& v = (i & 1) ? large : small;
      ::RegSetValueExW(writer.get(), kPropFxAssociation, 0, REG_BINARY, v.data(),
                       static_cast<DWORD>(v.size()));
    }
  });
  int absent = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::optional<ValueRecord> r = ReadValueRecord(reader.get(), kPropFxAssociation);
    if (!r || !r->present || (r->bytes.size() != 1 && r->bytes.size() != 512)) ++absent;
  }
  done = true;
  rewriter.join();
  EXPECT_EQ(absent, 0);
}

TEST_F(EffectAttach, OnlyAValueThatDoesNotExistReadsAsAbsent) {
  const FakeEndpoint e = bareEndpoint(L"{unreadable}");
  createEndpoint(e);
  const std::wstring path = FxPropertiesPath(e.id);
  UniqueHKey readable;
  UniqueHKey writeOnly;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, readable.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, writeOnly.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadValueRecord(readable.get(), kPropFxAssociation), ValueRecord{});
  // A value the handle may not read could exist; journaled as absent, the
  // restore would delete it.
  EXPECT_EQ(ReadValueRecord(writeOnly.get(), L"{unrelated},3"), std::nullopt);
  EXPECT_EQ(ReadValueRecord(writeOnly.get(), kPropFxAssociation), std::nullopt);
}

TEST_F(EffectAttach, RestoreThatCannotOpenTheEndpointKeepsTheJournal) {
  const FakeEndpoint e = occupiedEndpoint(L"{locked}");
  createEndpoint(e);
  const Values before = fxValues(e.id);
  std::string message;
  ASSERT_TRUE(AttachEffect(e.id, true, false, true, message)) << message;
  const Values attached = fxValues(e.id);
  restarts_ = 0;
  {
    kestrune::test::ScopedReadOnlyKey locked(HKEY_LOCAL_MACHINE, FxPropertiesPath(e.id));
    ASSERT_TRUE(locked.locked());
    EXPECT_FALSE(RestoreEndpoint(true, message));
    EXPECT_EQ(message, "cannot open the device's effect settings (error 5)");
    EXPECT_EQ(phase(), 3u) << "the journal is the only copy of the old values";
    EXPECT_TRUE(sameValues(fxValues(e.id), attached));
    // A new attach must not go past a restore that failed.
    EXPECT_FALSE(AttachEffect(e.id, false, false, true, message));
    EXPECT_EQ(message, "cannot open the device's effect settings (error 5)");
  }
  EXPECT_EQ(restarts_, 0);
  ASSERT_TRUE(RestoreEndpoint(true, message)) << message;
  EXPECT_TRUE(sameValues(fxValues(e.id), before));
  EXPECT_FALSE(journalExists());
}

TEST_F(EffectAttach, JournalThatCannotBeReadFailsAndIsKept) {
  // Only a journal or value that does not exist counts as absent.
  const FakeEndpoint e = occupiedEndpoint(L"{attached}");
  createEndpoint(e);
  createEndpoint(bareEndpoint(L"{next}"));
  const Values before = fxValues(e.id);
  const auto journal = [] {
    kestrune::test::KeySnapshot snap;
    return kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, kJournalKeyPath, snap)
               ? Values(snap.values)
               : std::nullopt;
  };
  struct Case {
    std::wstring spoiled;  // "" locks the journal key
    bool attach;           // else a restore
    std::string message;
  } cases[] = {
      {L"", false, "cannot open the restore journal (error 5)"},
      {kJournalDevice, false, "cannot read the restore journal (error 1630)"},
      {kJournalPhase, true, "cannot read the restore journal (error 1630); nothing changed"},
  };
  for (const Case& c : cases) {
    std::string message;
    ASSERT_TRUE(AttachEffect(e.id, true, false, true, message)) << message;
    const Values attached = fxValues(e.id);
    std::optional<kestrune::test::ScopedReadOnlyKey> locked;
    if (c.spoiled.empty()) {
      locked.emplace(HKEY_LOCAL_MACHINE, kJournalKeyPath);
      ASSERT_TRUE(locked->locked());
    } else {
      // A value of another type exists but cannot be read as its own.
      kestrune::test::setBytes(HKEY_LOCAL_MACHINE, kJournalKeyPath, c.spoiled, REG_BINARY, {2});
    }
    const Values journalBefore = journal();
    restarts_ = 0;
    EXPECT_FALSE(c.attach ? AttachEffect(L"{next}", false, false, true, message)
                          : RestoreEndpoint(true, message));
    EXPECT_EQ(message, c.message);
    EXPECT_TRUE(sameValues(journal(), journalBefore)) << message;
    EXPECT_TRUE(sameValues(fxValues(e.id), attached)) << message;
    EXPECT_EQ(restarts_, 0);

    locked.reset();
    kestrune::test::setString(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalDevice, e.id);
    kestrune::test::setDword(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalPhase, 2);
    ASSERT_TRUE(RestoreEndpoint(false, message)) << message;
    EXPECT_TRUE(sameValues(fxValues(e.id), before));
  }
}

TEST_F(EffectAttach, StopAtEveryAttachPointIsUndoneExactly) {
  int tested = 0;
  for (const bool full : {false, true}) {
    tested += enumerateAttachStops(occupiedEndpoint(L"{occupied}"), full);
    tested += enumerateAttachStops(bareEndpoint(L"{bare}"), full);
  }
  // Plain: 3 bookkeeping + 2 entries + flush + 2 writes + before phase 2 = 9;
  // full: 3 + 5 + 1 + 5 + 1 = 15; each for two endpoint shapes.
  EXPECT_EQ(tested, 2 * 9 + 2 * 15);
  std::printf("attach stop points tested: %d\n", tested);
}

TEST_F(EffectAttach, StopAtEveryRestorePointIsFinishedByTheNextRestore) {
  int tested = 0;
  for (const bool full : {false, true}) {
    for (int k = 1;; ++k) {
      render_.erase();
      const FakeEndpoint e = occupiedEndpoint(L"{occupied}");
      createEndpoint(e);
      const Values before = fxValues(e.id);
      std::string message;
      ASSERT_TRUE(AttachEffect(e.id, full, false, true, message)) << message;
      stopAtPoint(k);
      const bool restored = RestoreEndpoint(true, message);
      stopAtPoint(0);
      if (!restored) {
        ++tested;
        EXPECT_EQ(phase(), 3u) << k;
        ASSERT_TRUE(RestoreEndpoint(true, message)) << message;
      }
      EXPECT_TRUE(sameValues(fxValues(e.id), before)) << "restore point " << k;
      EXPECT_FALSE(journalExists());
      if (restored) break;
    }
  }
  // Phase 3 + one per entry + before the journal is deleted: 1+2+1 and 1+5+1.
  EXPECT_EQ(tested, 4 + 7);
  std::printf("restore stop points tested: %d\n", tested);
}

TEST_F(EffectAttach, CrashedAttachInAChildProcessIsUndoneExactly) {
  // Our own id in other letter case is not foreign, so the child needs no
  // force and every slot holds a value to journal.
  const FakeEndpoint shapes[] = {
      bareEndpoint(L"{bare}"),
      occupiedEndpoint(L"{occupied}", L"{b3c1f6a2-5d4e-4f8a-9c7b-2e1d0a9f8c64}")};
  // Point 0 is the attach's own crash test; 1..9 are the plain attach's points.
  int crashes = 0;
  for (const FakeEndpoint& e : shapes) {
    for (int k = 0; k <= 9; ++k) {
      settings_.erase();
      render_.erase();
      createEndpoint(e);
      const Values before = fxValues(e.id);
      const kestrune::test::ChildResult r =
          kestrune::test::runChild(kestrune::test::quotedBinPath(L"attach_crash.exe") + L" " +
                                       e.id + L" 0 " + std::to_wstring(k),
                                   30000);
      ASSERT_TRUE(r.started);
      ASSERT_EQ(r.exitCode, 99u) << "point " << k << " " << r.out;
      ++crashes;
      if (k == 0) {
        EXPECT_EQ(phase(), 1u);
      }
      if (phase() != 1 && phase() != 3) {
        EXPECT_TRUE(sameValues(fxValues(e.id), before)) << k;
      }
      std::string message;
      ASSERT_TRUE(RestoreEndpoint(true, message)) << message;
      EXPECT_TRUE(sameValues(fxValues(e.id), before)) << "crash point " << k;
      EXPECT_FALSE(journalExists());
    }
  }
  EXPECT_EQ(crashes, 20);
  std::printf("crash points tested in a child process: %d\n", crashes);
}

TEST_F(EffectAttach, ForeignEffectIsRefusedUnlessForced) {
  const FakeEndpoint e = occupiedEndpoint(L"{occupied}");
  createEndpoint(e);
  const Values before = fxValues(e.id);
  std::string message;
  EXPECT_FALSE(AttachEffect(e.id, false, false, false, message));
  EXPECT_EQ(message,
            "this device already runs another app's audio effect "
            "({62DC1A93-AE24-464C-A43E-452F824C4250}); Orvantis would replace it and break that "
            "app. Choose your headset or speakers instead.");
  EXPECT_TRUE(sameValues(fxValues(e.id), before));
  EXPECT_FALSE(journalExists());
  EXPECT_EQ(restarts_, 0);

  ASSERT_TRUE(AttachEffect(e.id, false, false, true, message)) << message;
  kestrune::test::RegistryValue saved;
  ASSERT_TRUE(kestrune::test::readValue(HKEY_LOCAL_MACHINE, kJournalKeyPath,
                                        std::wstring(L"v:") + kPropEndpointEffectClsid, saved));
  EXPECT_EQ(saved.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(saved.bytes, sz(L"", kForeign).bytes);
  ASSERT_TRUE(RestoreEndpoint(true, message));
  EXPECT_TRUE(sameValues(fxValues(e.id), before));
}

TEST_F(EffectAttach, SecondAttachRestoresTheFirstEndpointWithOneRestart) {
  const FakeEndpoint first = bareEndpoint(L"{first}");
  const FakeEndpoint second = occupiedEndpoint(L"{second}");
  createEndpoint(first);
  createEndpoint(second);
  const Values firstBefore = fxValues(first.id);
  const Values secondBefore = fxValues(second.id);
  std::string message;
  ASSERT_TRUE(AttachEffect(first.id, true, false, false, message)) << message;
  ASSERT_EQ(restarts_, 1);
  ASSERT_TRUE(AttachEffect(second.id, false, false, true, message)) << message;
  EXPECT_EQ(restarts_, 2);
  EXPECT_TRUE(sameValues(fxValues(first.id), firstBefore));
  EXPECT_EQ(readText(kJournalKeyPath, kJournalDevice), second.id);
  EXPECT_EQ(phase(), 2u);

  // Attaching the same endpoint again journals the values from before the
  // product touched it, not its own.
  ASSERT_TRUE(AttachEffect(second.id, true, false, true, message)) << message;
  ASSERT_TRUE(RestoreEndpoint(false, message));
  EXPECT_TRUE(sameValues(fxValues(second.id), secondBefore));
}

TEST_F(EffectAttach, RestoreEdgeCases) {
  std::string message;
  // No journal: success at once, no restart.
  EXPECT_TRUE(RestoreEndpoint(true, message));
  EXPECT_EQ(restarts_, 0);

  // The endpoint key vanished: success, journal deleted.
  const FakeEndpoint e = bareEndpoint(L"{gone}");
  createEndpoint(e);
  ASSERT_TRUE(AttachEffect(e.id, false, false, false, message)) << message;
  render_.erase();
  EXPECT_TRUE(RestoreEndpoint(true, message)) << message;
  EXPECT_FALSE(journalExists());

  // A journal without _Device restores nothing and is deleted, even where
  // the root itself has a key named like the FxProperties subkey.
  createEndpoint(occupiedEndpoint(L"{kept}"));
  const Values kept = fxValues(L"{kept}");
  const std::wstring oddKey = std::wstring(kRenderRootPath) + L"FxProperties";
  kestrune::test::setString(HKEY_LOCAL_MACHINE, oddKey, kPropEndpointEffectClsid, L"{odd}");
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalPhase, 1);
  kestrune::test::setString(HKEY_LOCAL_MACHINE, kJournalKeyPath,
                            std::wstring(L"a:") + kPropEndpointEffectClsid, L"");
  restarts_ = 0;
  EXPECT_TRUE(RestoreEndpoint(true, message)) << message;
  EXPECT_FALSE(journalExists());
  EXPECT_TRUE(sameValues(fxValues(L"{kept}"), kept));
  kestrune::test::RegistryValue untouched;
  EXPECT_TRUE(
      kestrune::test::readValue(HKEY_LOCAL_MACHINE, oddKey, kPropEndpointEffectClsid, untouched));
  EXPECT_EQ(restarts_, 1);

  // A restart failure after a good restore: journal gone, restart's message.
  ASSERT_TRUE(AttachEffect(L"{kept}", false, false, true, message));
  restartResult_ = false;
  EXPECT_FALSE(RestoreEndpoint(true, message));
  EXPECT_EQ(message, "restart failed");
  EXPECT_FALSE(journalExists());
  EXPECT_TRUE(sameValues(fxValues(L"{kept}"), kept));
}

TEST_F(EffectAttach, LeftoverJournalEntriesAreNotMixedIntoANewAttach) {
  // A journal whose delete was cut short: no phase, but an entry that
  // belongs to an earlier endpoint.
  kestrune::test::setString(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalDevice, L"{earlier}");
  kestrune::test::setString(HKEY_LOCAL_MACHINE, kJournalKeyPath,
                            std::wstring(L"v:") + kPropFxAssociation, L"stale");
  const FakeEndpoint e = bareEndpoint(L"{fresh}");
  createEndpoint(e);
  const Values before = fxValues(e.id);
  std::string message;
  ASSERT_TRUE(AttachEffect(e.id, false, false, false, message)) << message;
  ASSERT_TRUE(RestoreEndpoint(false, message)) << message;
  EXPECT_TRUE(sameValues(fxValues(e.id), before));
}

TEST_F(EffectAttach, FailedPhaseTwoWriteUndoesTheAttach) {
  const FakeEndpoint e = occupiedEndpoint(L"{occupied}");
  createEndpoint(e);
  const Values before = fxValues(e.id);
  // Swap the journal key for a copy just before phase 2: the attach's open
  // handle now names a deleted key and its write fails.
  hooks_.stopAt = [](const char* point) {
    if (std::string(point) == "before phase 2") {
      kestrune::test::KeySnapshot journal;
      kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, kJournalKeyPath, journal);
      ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kJournalKeyPath);
      ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kJournalKeyPath);
      kestrune::test::writeSnapshot(HKEY_LOCAL_MACHINE, kJournalKeyPath, journal);
    }
    return false;
  };
  std::string message;
  EXPECT_FALSE(AttachEffect(e.id, true, false, true, message));
  EXPECT_EQ(message, "could not write the restore journal; nothing changed");
  EXPECT_TRUE(sameValues(fxValues(e.id), before));
  EXPECT_FALSE(journalExists());
  EXPECT_EQ(restarts_, 0);
}

TEST_F(EffectAttach, AttachFailuresLeaveTheEndpointAlone) {
  std::string message;
  EXPECT_FALSE(AttachEffect(L"{nowhere}", false, false, false, message));
  EXPECT_EQ(message, "no such render endpoint (or no FxProperties): {nowhere}");
  FakeEndpoint noFx = bareEndpoint(L"{no-fx}");
  noFx.hasFxKey = false;
  createEndpoint(noFx);
  EXPECT_FALSE(AttachEffect(L"{no-fx}", false, false, false, message));
  EXPECT_EQ(message, "no such render endpoint (or no FxProperties): {no-fx}");
  EXPECT_FALSE(journalExists());

  // Ids that no key can be named by (they come straight from the pipe): a NUL
  // would cut the built path short at the endpoint's own key, a backslash
  // would step into another key.
  const FakeEndpoint victim = occupiedEndpoint(L"{victim}", kEffectClsidTextW);
  createEndpoint(victim);
  const Values victimBefore = fxValues(victim.id);
  const std::wstring badIds[] = {std::wstring(L"{victim}\0", 9), std::wstring(L"{victim}\0x", 10),
                                 L"{victim}\\", L"\\{victim}"};
  for (const std::wstring& id : badIds) {
    EXPECT_FALSE(AttachEffect(id, true, false, true, message));
    EXPECT_EQ(message.rfind("no such render endpoint (or no FxProperties): ", 0), 0u) << message;
    kestrune::test::RegistryValue stray;
    EXPECT_FALSE(kestrune::test::readValue(HKEY_LOCAL_MACHINE, kRenderRootPath + victim.id,
                                           kPropEndpointEffectClsid, stray));
    EXPECT_TRUE(sameValues(fxValues(victim.id), victimBefore));
    EXPECT_FALSE(journalExists());
  }
  EXPECT_EQ(restarts_, 0);

  // The device state is not looked at.
  FakeEndpoint unplugged = bareEndpoint(L"{unplugged}");
  unplugged.deviceState = 4;
  createEndpoint(unplugged);
  EXPECT_TRUE(AttachEffect(L"{unplugged}", false, false, false, message)) << message;

  // The audio restart fails after the endpoint writes: attached, phase 2.
  restartResult_ = false;
  createEndpoint(bareEndpoint(L"{other}"));
  EXPECT_FALSE(AttachEffect(L"{other}", false, false, false, message));
  EXPECT_EQ(message, "restart failed");
  EXPECT_EQ(phase(), 2u);
  EXPECT_EQ(readText(kJournalKeyPath, kJournalDevice), L"{other}");
}

}  // namespace
}  // namespace kestrune::service::test
