#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/ResultShown.h"
#include "tests/engine/EngineRig.h"

namespace {

using platform::SimulatedGroup;
using platform::SimulatedVersion;
using Events = std::vector<std::string>;

constexpr std::uint8_t kUnlock = 19;
constexpr std::uint8_t kQuery = 17;

// The English table's forms of the program's texts.
const std::u16string kHeading = u"\n\nFIRMWARE UPGRADE 6.0.0";
const std::u16string kCurrentVersion = u"Your KORVEX 6.0\r\nis currently on\r\nversion";

struct DetectAndCheckTest : testing::Test {
  std::shared_ptr<platform::SimulatedDevice> Keyboard(SimulatedVersion firmware,
                                                      std::uint16_t productId = 0x0076) {
    return rig.Plug(SimulatedGroup::A, productId, firmware, 5);
  }

  EngineRig rig;
};

TEST_F(DetectAndCheckTest, NoDeviceShowsNotFoundAndQuits) {
  rig.engine.DetectAndCheck(true, true, 0);

  EXPECT_EQ(rig.host.Events(), (Events{"dialog:NotFound", "quit"}));
  const UpgradeDialogSetup setup = rig.host.Dialogs().at(0);
  EXPECT_EQ(setup.headingText, kHeading);
  EXPECT_EQ(setup.statusText, u"KORVEX 6.0\r\n\r\nNot found !");
  ASSERT_TRUE(setup.messageText.has_value());
  EXPECT_EQ(*setup.messageText, u"");
  EXPECT_EQ(setup.bodyText,
            u"Your product can not be upgraded to the\nlatest firmware included in this upgrade\n"
            u"package. There is no supported product\nconnected to your system\n"
            u"Press exit button to close.");
  EXPECT_EQ(setup.buttonCaption, u"EXIT");
  EXPECT_EQ(setup.exitOnly, 1);
  EXPECT_EQ(setup.engine, &rig.engine);
  EXPECT_EQ(setup.currentLink, nullptr);
  EXPECT_EQ(setup.linkA, &rig.engine.linkA);
  EXPECT_EQ(setup.linkB, &rig.engine.linkB);
  ASSERT_TRUE(setup.progressRange.has_value());
  EXPECT_EQ(setup.progressRange->low, 0);
  EXPECT_EQ(setup.progressRange->high, 575);
  EXPECT_TRUE(resultShown);
}

TEST_F(DetectAndCheckTest, OtherMakersInterfacesAreNotADevice) {
  platform::HidInterfaceInfo other;
  other.path = "/dev/hidraw9 (usb-other vid_046d&pid_c077&mi_02)";
  other.vendorId = 0x046D;
  other.productId = 0xC077;
  other.interfaceNumber = 2;
  rig.hid.AddOtherInterface(other);
  rig.engine.DetectAndCheck(true, true, 0);
  EXPECT_EQ(rig.host.Events(), (Events{"dialog:NotFound", "quit"}));
}

TEST(DetectAndCheck, SameOrNewerFirmwareIsUpToDate) {
  for (const SimulatedVersion version : {SimulatedVersion{6, 0, 0}, SimulatedVersion{6, 0, 1},
                                         SimulatedVersion{7, 0, 0}}) {
    EngineRig rig;
    rig.Plug(SimulatedGroup::A, 0x0076, version, 5);
    rig.engine.DetectAndCheck(true, true, 0);

    const std::u16string shown = u" " + std::u16string(1, u'0' + version.major) + u"." +
                                 std::u16string(1, u'0' + version.minor) + u"." +
                                 std::u16string(1, u'0' + version.patch);
    SCOPED_TRACE(std::string(shown.begin(), shown.end()));
    EXPECT_EQ(rig.host.Events(), (Events{"dialog:UpToDate", "quit"}));
    const UpgradeDialogSetup setup = rig.host.Dialogs().at(0);
    EXPECT_EQ(setup.headingText, kHeading);
    EXPECT_EQ(setup.statusText, kCurrentVersion + shown);
    EXPECT_FALSE(setup.messageText.has_value());
    EXPECT_EQ(setup.bodyText,
              u"Your product can not be upgraded.\nYou already have the latest firmware or newer "
              u"than\nincluded in this upgrade package.\nPress exit button to close");
    EXPECT_EQ(setup.buttonCaption, u"EXIT");
    EXPECT_EQ(setup.exitOnly, 1);
    EXPECT_EQ(setup.currentLink, &rig.engine.linkA);
    EXPECT_FALSE(setup.progressRange.has_value());
    EXPECT_TRUE(rig.engine.CheckFirmware(&rig.engine.linkA));
  }
}

TEST_F(DetectAndCheckTest, OlderFirmwareIsOfferedTheUpgrade) {
  const auto device = Keyboard({5, 255, 255});
  rig.engine.DetectAndCheck(true, true, 0);

  // The offer screen quits after itself, and detection once more after it.
  EXPECT_EQ(rig.host.Events(), (Events{"dialog:Offer", "quit", "quit"}));
  const UpgradeDialogSetup setup = rig.host.Dialogs().at(0);
  EXPECT_EQ(setup.headingText, kHeading);
  EXPECT_EQ(setup.statusText, kCurrentVersion + u" 5.255.255");
  EXPECT_FALSE(setup.messageText.has_value());
  EXPECT_EQ(setup.bodyText,
            u"With this upgrade package your product\ncan be updated to the latest firmware. \n"
            u"Once the upgrade is started, it cannot be cancelled or reversed.\r\n"
            u"Use at your own risk.");
  EXPECT_EQ(setup.buttonCaption, u"UPGRADE NOW");
  EXPECT_EQ(setup.exitOnly, 0);
  EXPECT_EQ(setup.engine, &rig.engine);
  EXPECT_EQ(setup.currentLink, &rig.engine.linkA);
  EXPECT_EQ(setup.linkA, &rig.engine.linkA);
  EXPECT_EQ(setup.linkB, &rig.engine.linkB);
  ASSERT_TRUE(setup.progressRange.has_value());
  EXPECT_EQ(setup.progressRange->high, 575);

  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{5, 255, 255, 5}));
  EXPECT_EQ(rig.engine.firstVersion, (FirmwareVersion{5, 255, 255}));
  EXPECT_TRUE(rig.engine.firstVersionSet);
  EXPECT_TRUE(rig.engine.linkA.isOpen);
  EXPECT_FALSE(rig.engine.linkB.isOpen);
  // Unlock, then the query: nothing else reached the device.
  const auto requests = device->Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, kUnlock);
  EXPECT_EQ(requests[1].code, kQuery);
  EXPECT_EQ(RequestsWithCode(*device, kUnlock).size() + RequestsWithCode(*device, kQuery).size(),
            2u);
}

TEST_F(DetectAndCheckTest, NoWaitingDialogAfterTheOfferScreenWasClosed) {
  Keyboard({5, 2, 1});
  // The upgrade dialog reconnects after the device restarted, which clears resultShown.
  rig.host.onDialog = [this](const UpgradeDialogSetup& setup) {
    if (setup.screen == UpgradeScreen::Offer) rig.engine.ReconnectGroupA(false, false, 0);
    return 3;
  };
  rig.engine.DetectAndCheck(true, true, 0);

  EXPECT_EQ(rig.host.Events(), (Events{"dialog:Offer", "quit", "quit"}));
}

TEST_F(DetectAndCheckTest, TextsFollowTheSelectedTable) {
  TranslationSettings.SelectedTableId = 4008;
  ResetTranslationTableForTesting();
  Keyboard({5, 0, 0});
  rig.engine.DetectAndCheck(true, true, 0);
  const UpgradeDialogSetup setup = rig.host.Dialogs().at(0);
  EXPECT_EQ(setup.headingText, u"\n\n固件升级 6.0.0");
  EXPECT_EQ(setup.statusText, u"您的 KORVEX 6.0\r\n正在使用\r\n版本 5.0.0");
  EXPECT_EQ(setup.buttonCaption, u"点击升级");
}

TEST_F(DetectAndCheckTest, MouseIsOfferedOnItsOwnLink) {
  const auto mouse = rig.Plug(SimulatedGroup::B, 0x0079, {2, 1, 0}, 7);
  rig.engine.DetectAndCheck(true, true, 0);
  EXPECT_EQ(rig.host.Events(), (Events{"dialog:Offer", "quit", "quit"}));
  EXPECT_EQ(rig.host.Dialogs().at(0).currentLink, &rig.engine.linkB);
  EXPECT_TRUE(rig.engine.linkB.isOpen);
  EXPECT_FALSE(rig.engine.linkA.isOpen);
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{2, 1, 0, 7}));
  // For the mouse the first version comes from the report the screen was chosen by.
  EXPECT_EQ(rig.engine.firstVersion, (FirmwareVersion{2, 1, 0}));
}

TEST(DetectAndCheck, FirstReportedVersionSwitchesTheReplyCheck) {
  struct Case {
    SimulatedVersion version;
    bool checked;
  };
  for (const Case c : {Case{{1, 3, 7}, true}, Case{{2, 4, 9}, true}, Case{{2, 0, 0}, false},
                       Case{{1, 4, 6}, false}, Case{{1, 3, 6}, false}}) {
    SCOPED_TRACE(testing::Message() << int(c.version.major) << "." << int(c.version.minor) << "."
                                    << int(c.version.patch));
    EngineRig rig;
    rig.Plug(SimulatedGroup::A, 0x0076, c.version, 5);
    rig.engine.DetectAndCheck(true, true, 0);
    EXPECT_EQ(ReplyCheckEnabled(), c.checked);
  }
}

TEST_F(DetectAndCheckTest, KeyboardAndMouseTogetherHandleOnlyTheKeyboard) {
  const auto keyboard = Keyboard({5, 0, 0}, 0x0076);
  const auto mouse = rig.Plug(SimulatedGroup::B, 0x0078, {5, 0, 0}, 7);
  rig.engine.DetectAndCheck(true, true, 0);
  EXPECT_EQ(rig.host.Events(), (Events{"dialog:Offer", "quit", "quit"}));
  EXPECT_EQ(rig.host.Dialogs().at(0).currentLink, &rig.engine.linkA);
  EXPECT_FALSE(rig.engine.linkB.isOpen);
  EXPECT_TRUE(mouse->Requests().empty());
  EXPECT_FALSE(keyboard->Requests().empty());
}

TEST_F(DetectAndCheckTest, WithoutQueryOnlyTheWaitingDialogIsStarted) {
  Keyboard({5, 0, 0});
  rig.engine.DetectAndCheck(true, false, 0);
  EXPECT_EQ(rig.host.Events(), (Events{"waiting"}));
}

TEST_F(DetectAndCheckTest, FailedFirstQueryStartsTheWaitingDialog) {
  const auto device = Keyboard({5, 0, 0});
  platform::SimulatedFaults faults;
  faults.noResponse = true;
  device->SetFaults(faults);
  rig.engine.DetectAndCheck(true, true, 0);

  EXPECT_EQ(rig.host.Events(), (Events{"waiting"}));
  const WaitingDialogSetup setup = rig.host.Waitings().at(0);
  EXPECT_EQ(setup.engine, &rig.engine);
  EXPECT_EQ(setup.currentLink, &rig.engine.linkA);
  EXPECT_EQ(setup.linkA, &rig.engine.linkA);
  EXPECT_EQ(setup.linkB, &rig.engine.linkB);
  EXPECT_EQ(setup.backgroundId, 648);
  EXPECT_EQ(setup.headingText, u"Loading Profiles");
  EXPECT_EQ(setup.statusText,
            u"Please wait while Profiles are being loaded from your Vorlan Keyboard");
  EXPECT_EQ(setup.fontFace, u"Arial");
  EXPECT_EQ(setup.delayLow, 0);
  EXPECT_EQ(setup.delayHigh, 5000);
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{0, 0, 0, 0}));
  EXPECT_FALSE(resultShown);

  // Without showWaiting nothing at all is shown.
  EngineRig quiet;
  quiet.Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5)->SetFaults(faults);
  quiet.engine.DetectAndCheck(false, true, 0);
  EXPECT_TRUE(quiet.host.Events().empty());
}

// The waiting dialog's query thread runs beside detection, as the real dialog's does.
TEST_F(DetectAndCheckTest, WaitingDialogRetriesTheQueryOnItsThread) {
  const auto device = Keyboard({4, 0, 200});
  platform::SimulatedFaults faults;
  faults.badAcknowledgements = 100 * 20;  // every read of the first query's 100 attempts
  faults.badAcknowledgementCommand = kQuery;
  device->SetFaults(faults);

  platform::Thread queryThread;
  bool queried = false;
  rig.host.onWaiting = [&](const WaitingDialogSetup& setup) {
    queryThread = rig.clock.StartThread(
        [&, setup] { queried = setup.engine->QueryAndCheck(setup.currentLink); });
  };
  rig.engine.DetectAndCheck(true, true, 0);
  queryThread.Join();

  EXPECT_FALSE(queried);  // the offer screen was shown, which ends in false
  EXPECT_EQ(rig.host.Events(), (Events{"waiting", "dialog:Offer", "quit"}));
  EXPECT_TRUE(resultShown);
  // The retried query is the first clean one: it decides the model and first version.
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{4, 0, 200, 5}));
  EXPECT_EQ(rig.engine.firstVersion, (FirmwareVersion{4, 0, 200}));
}

TEST_F(DetectAndCheckTest, QueryAndCheckNeedsAnOpenLink) {
  EXPECT_FALSE(rig.engine.QueryAndCheck(nullptr));
  EXPECT_FALSE(rig.engine.QueryAndCheck(&rig.engine.linkA));
  EXPECT_TRUE(rig.host.Events().empty());
}

TEST_F(DetectAndCheckTest, ResponseFailingItsChecksRecordsNothing) {
  const auto device = Keyboard({1, 4, 9});
  platform::SimulatedFaults faults;
  faults.responseWrongSequence = true;
  device->SetFaults(faults);
  rig.engine.DetectAndCheck(true, true, 0);

  // The exchange reports success after acknowledging the bad response, but its bytes decide
  // nothing: no screen, no recorded model or version, and the waiting dialog takes over.
  EXPECT_EQ(rig.engine.linkA.replyError, kReplyWrongSequence);
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{0, 0, 0, 0}));
  EXPECT_EQ(rig.engine.firstVersion, (FirmwareVersion{0, 0, 0}));
  EXPECT_FALSE(rig.engine.firstVersionSet);
  EXPECT_FALSE(ReplyCheckEnabled());
  EXPECT_EQ(rig.host.Events(), (Events{"quit", "waiting"}));
  EXPECT_EQ(RequestsWithCode(*device, kQuery).size(), 100u);
}

TEST_F(DetectAndCheckTest, ZeroVersionIsRecordedAgainByALaterQuery) {
  const auto first = Keyboard({0, 0, 0});
  rig.engine.DetectAndCheck(false, true, 0);
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{0, 0, 0, 5}));

  // The keyboard comes back with a real version and another model code.
  rig.hid.Unplug(first);
  const auto second = rig.Plug(SimulatedGroup::A, 0x0076, {3, 1, 4}, 6);
  rig.engine.ReconnectGroupA(false, true, 0);
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{3, 1, 4, 6}));

  // Once a version is recorded it stays for the run.
  rig.hid.Unplug(second);
  rig.Plug(SimulatedGroup::A, 0x0076, {4, 2, 2}, 7);
  rig.engine.ReconnectGroupA(false, true, 0);
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{3, 1, 4, 6}));
}

// Lists and describes interfaces, but refuses to open any for reading or writing, as a
// device node without permission for the user does.
class NoPermissionHidSystem final : public platform::HidSystem {
 public:
  explicit NoPermissionHidSystem(platform::HidSystem& inner) : inner_(inner) {}
  std::vector<platform::HidInterfaceInfo> ListInterfaces() override {
    return inner_.ListInterfaces();
  }
  std::unique_ptr<platform::HidDevice> Open(const std::string& path, bool read, bool write,
                                            int& error) override {
    if (read || write) {
      error = EACCES;
      return nullptr;
    }
    return inner_.Open(path, read, write, error);
  }
  void SetEventHandler(std::function<void(const platform::HidEvent&)> handler) override {
    inner_.SetEventHandler(std::move(handler));
  }

 private:
  platform::HidSystem& inner_;
};

TEST_F(DetectAndCheckTest, DeviceThatCannotBeOpenedShowsNotFound) {
  const auto device = Keyboard({5, 0, 0});
  NoPermissionHidSystem noPermission(rig.hid);
  UpgradeEngine engine(rig.clock, noPermission, rig.host);
  engine.DetectAndCheck(true, true, 0);
  EXPECT_EQ(rig.host.Events(), (Events{"dialog:NotFound", "quit"}));
  EXPECT_FALSE(engine.linkA.isOpen);
  EXPECT_TRUE(device->Requests().empty());
}

struct ReconnectTest : testing::Test {
  EngineRig rig;
};

TEST_F(ReconnectTest, WithoutQueryOrWaitingReducesToWaitFindOpenUnlock) {
  const auto keyboard = rig.Plug(SimulatedGroup::A, 0x00B4, {5, 0, 0}, 5);
  const auto mouse = rig.Plug(SimulatedGroup::B, 0x007A, {5, 0, 0}, 7);
  resultShown = true;

  const platform::Millis before = rig.clock.Now();
  rig.engine.ReconnectGroupA(false, false, 20000);
  EXPECT_GE(rig.clock.Now() - before, 20000);
  EXPECT_TRUE(rig.engine.linkA.isOpen);
  EXPECT_EQ(rig.engine.linkA.sequence, 0);  // the unlock starts the count over
  EXPECT_TRUE(keyboard->Unlocked());

  rig.engine.ReconnectGroupB(false, false, 7000);
  EXPECT_TRUE(rig.engine.linkB.isOpen);
  EXPECT_TRUE(mouse->Unlocked());

  for (const auto& device : {keyboard, mouse}) {
    const auto requests = device->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, kUnlock);
  }
  EXPECT_TRUE(rig.host.Events().empty());
  EXPECT_FALSE(resultShown);
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{0, 0, 0, 0}));
}

TEST_F(ReconnectTest, EachGroupSearchesOnlyItsOwnDevices) {
  const auto mouse = rig.Plug(SimulatedGroup::B, 0x0078, {5, 0, 0}, 7);
  rig.engine.ReconnectGroupA(false, false, 0);
  EXPECT_FALSE(rig.engine.linkA.isOpen);
  EXPECT_TRUE(mouse->Requests().empty());

  rig.hid.Unplug(mouse);
  rig.Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5);
  rig.engine.ReconnectGroupB(false, false, 0);
  EXPECT_FALSE(rig.engine.linkB.isOpen);
  EXPECT_TRUE(rig.host.Events().empty());
}

TEST_F(ReconnectTest, RefusedUnlockShowsAndAsksNothingMore) {
  const auto keyboard = rig.Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5);
  platform::SimulatedFaults faults;
  faults.badAcknowledgements = platform::kForever;
  faults.badAcknowledgementKind = platform::SimulatedBadAck::NonZeroStatus;
  faults.badAcknowledgementCommand = kUnlock;
  keyboard->SetFaults(faults);
  rig.engine.ReconnectGroupA(true, true, 0);
  EXPECT_EQ(RequestsWithCode(*keyboard, kUnlock).size(), 100u);
  EXPECT_TRUE(RequestsWithCode(*keyboard, kQuery).empty());
  EXPECT_TRUE(rig.host.Events().empty());
}

TEST_F(ReconnectTest, WithQueryAndWaitingLeavesTheCheckToTheWaitingDialog) {
  rig.Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5);
  rig.engine.ReconnectGroupA(true, true, 0);
  // A clean query clears resultShown, so the waiting dialog takes over the check.
  EXPECT_EQ(rig.host.Events(), (Events{"waiting"}));
  EXPECT_EQ(rig.engine.deviceInfo, (DeviceInfo{5, 0, 0, 5}));
}

}  // namespace
