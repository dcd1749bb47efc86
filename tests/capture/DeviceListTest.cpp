// Device lists, device selection and the graph's error report, against a stand-in service
// whose devices have the repeated, blank and vanishing names a real server cannot produce on
// demand.

#include "CaptureTestSupport.h"
#include "capture/CaptureClasses.h"
#include "capture/DSCaptureDevice.h"
#include "capture/DSGraphProperty.h"
#include "capture/DruDSAudioIn.h"
#include "pins/VokFormReader.h"
#include "pins/VokFormWriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class DeviceListTest : public ::testing::Test {
  protected:
    DeviceListTest() : m_service(std::make_shared<TFakeCaptureService>()), m_scope(m_service) {}

    std::shared_ptr<TFakeCaptureService> m_service;
    TServiceScope m_scope;
};

TEST_F(DeviceListTest, RepeatedNamesAreNumberedAndBlankNamesAreLeftOut) {
    m_service->m_devices = {
        TFakeCaptureService::Device("Mic", "A:Mic"),
        TFakeCaptureService::Device("  Mic ", "A:Mic#2"),
        TFakeCaptureService::Device("", "A:"),
        TFakeCaptureService::Device(" \t ", "A:blank"),
        TFakeCaptureService::Device("Line", "A:Line"),
        TFakeCaptureService::Device("Mic", "B:Mic"),
    };
    THoxDSCapDeviceList list;
    list.Fill(kDSAudioInputDeviceCategory);
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.Get(0).m_name, "Mic");
    EXPECT_EQ(list.Get(1).m_name, "Mic (2)");
    EXPECT_EQ(list.Get(1).m_rawName, "  Mic ");
    EXPECT_EQ(list.Get(1).m_baseName, "Mic");
    EXPECT_EQ(list.Get(2).m_name, "Line");
    EXPECT_EQ(list.Get(3).m_name, "Mic (3)");
    EXPECT_EQ(list.Get(3).m_monikerName, "B:Mic");
    EXPECT_EQ(list.FindMonikerName("Mic (2)"), "A:Mic#2");
    EXPECT_EQ(list.FindName("B:Mic"), "Mic (3)");
    EXPECT_FALSE(list.FindMonikerName("Mic (4)").has_value());
    EXPECT_EQ(list.FindMoniker("A:blank"), nullptr);

    // Another category has no devices; refilling starts from scratch.
    list.Fill(kDSLegacyFilterCategory);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(DeviceListTest, FiltersListEveryDeviceAndOnlyCaptureDevicesAreInputs) {
    THoxCaptureDeviceDesc speaker = TFakeCaptureService::Device("Speaker");
    speaker.m_maxInputChannels = 0;
    m_service->m_devices = {TFakeCaptureService::Device("Mic"), speaker};
    THoxDSCapDeviceList list;
    list.FillFilters();
    EXPECT_EQ(list.GetCount(), 2);
    list.Fill(kDSAudioInputDeviceCategory);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.Get(0).m_name, "Mic");
}

TEST(MonikerNames, AreBuiltFromHostApiAndNameAndNumberRepeats) {
    EXPECT_EQ(
        HoxMakeMonikerNames({"ALSA", "ALSA", "JACK", "ALSA"}, {"pulse", "hw", "pulse", "pulse"}),
        (std::vector<std::string>{"ALSA:pulse", "ALSA:hw", "JACK:pulse", "ALSA:pulse#2"}));
    EXPECT_EQ(HoxClampInputChannels(1), 1u);
    EXPECT_EQ(HoxClampInputChannels(31), 31u);
    EXPECT_EQ(HoxClampInputChannels(32), kHoxVirtualDeviceChannels);
    EXPECT_EQ(HoxClampInputChannels(128), kHoxVirtualDeviceChannels);
}

// ---- device selection ---------------------------------------------------------------------------

struct TDeviceNameCase {
    const char* m_set;
    const char* m_name;
    const char* m_moniker;
    int m_changes;
};

class DeviceNameTest : public DeviceListTest,
                       public ::testing::WithParamInterface<TDeviceNameCase> {};

TEST_P(DeviceNameTest, FollowsTheNamingRules) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"), TFakeCaptureService::Device("Mic")};
    m_service->m_devices[1].m_monikerName = "Fake:Mic#2";
    TVokObject lock;
    int changes = 0;
    TDSAudioCaptureDevice device(&lock, [&changes](TDSDevice&) { ++changes; });
    device.SetDeviceName(GetParam().m_set);
    EXPECT_EQ(device.GetDeviceName(), GetParam().m_name);
    EXPECT_EQ(device.GetMonikerName(), GetParam().m_moniker);
    EXPECT_EQ(changes, GetParam().m_changes);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DeviceNameTest,
    ::testing::Values(TDeviceNameCase{"Default", "Default", "", 0}, // equal: nothing
                      TDeviceNameCase{"none", "None", "", 0}, TDeviceNameCase{"", "None", "", 0},
                      TDeviceNameCase{"default", "default", "", 1},
                      TDeviceNameCase{"Mic", "Mic", "Fake:Mic", 1},
                      TDeviceNameCase{"Mic (2)", "Mic (2)", "Fake:Mic#2", 1},
                      TDeviceNameCase{"Gone", "None", "", 1}));

TEST_F(DeviceListTest, NamesAreListedByMode) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"),
                            TFakeCaptureService::Device("Line")};
    TDSAudioCaptureDevice device(nullptr, nullptr);
    std::vector<std::string> names;
    device.ListNames(names, 0);
    device.ListNames(names, 1);
    device.ListNames(names, 2);
    EXPECT_EQ(names, (std::vector<std::string>{"Mic", "Line", "Fake:Mic", "Fake:Line",
                                               "Mic - Fake:Mic", "Line - Fake:Line"}));
}

TEST_F(DeviceListTest, ResolvingFallsBackToTheFirstPresentAlternative) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"), TFakeCaptureService::Device("Line"),
                            TFakeCaptureService::Device("Usb")};
    TDSAudioCaptureDevice device(nullptr, nullptr);
    device.SetDeviceName("Mic");
    auto* alternatives = device.GetAlternativeDevices();
    alternatives->Add();
    alternatives->Add();
    alternatives->GetAlternative(0)->SetDeviceName("Usb");
    alternatives->GetAlternative(1)->SetDeviceName("Line");

    // Present: the stored device itself.
    std::optional<THoxCaptureDeviceDesc> found = device.ResolveMoniker();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->m_monikerName, "Fake:Mic");
    EXPECT_EQ(device.GetCurrentName(), "Mic");
    EXPECT_EQ(device.GetCurrentMonikerName(), "Fake:Mic");

    // Gone, and the first alternative gone too: the second one.
    m_service->m_devices = {TFakeCaptureService::Device("Line")};
    found = device.ResolveMoniker();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->m_monikerName, "Fake:Line");
    EXPECT_EQ(device.GetCurrentName(), "Line");

    // Nothing present: no device, and the current names stay those of the last resolution.
    m_service->m_devices.clear();
    EXPECT_FALSE(device.ResolveMoniker().has_value());
    device.ClearCurrent();
    EXPECT_EQ(device.GetCurrentName(), "");
}

TEST_F(DeviceListTest, DefaultResolvesToTheServicesDefaultDevice) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"),
                            TFakeCaptureService::Device("Line")};
    m_service->m_defaultIndex = 1;
    TDSAudioCaptureDevice device(nullptr, nullptr);
    std::optional<THoxCaptureDeviceDesc> found = device.ResolveMoniker();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->m_friendlyName, "Line");
    m_service->m_defaultIndex = -1;
    EXPECT_FALSE(device.ResolveMoniker().has_value());
}

TEST_F(DeviceListTest, NewAlternativeNamesTheLeastUsedDevice) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"), TFakeCaptureService::Device("Line"),
                            TFakeCaptureService::Device("Usb")};
    TDSAudioCaptureDeviceItems items(nullptr);
    std::vector<std::string> names;
    for (int index = 0; index < 4; ++index) {
        names.push_back(static_cast<TDSAudioCaptureDeviceItem*>(items.Add())->GetDeviceName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Mic", "Line", "Usb", "Mic"}));
    // Uses Mic 2, Line 1, Usb 1: the first of the least used in list order.
    EXPECT_EQ(static_cast<TDSAudioCaptureDeviceItem*>(items.Add())->GetDeviceName(), "Line");
    // Uses Mic 3, Line 2, Usb 0.
    items.GetAlternative(2)->SetDeviceName("Mic");
    EXPECT_EQ(static_cast<TDSAudioCaptureDeviceItem*>(items.Add())->GetDeviceName(), "Usb");

    m_service->m_devices.clear();
    EXPECT_EQ(static_cast<TDSAudioCaptureDeviceItem*>(items.Add())->GetDeviceName(), "");
}

TEST_F(DeviceListTest, AlternativeNamesChangeOnlyToPresentDevices) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"),
                            TFakeCaptureService::Device("Line")};
    TDSAudioCaptureDeviceItems items(nullptr);
    auto* item = static_cast<TDSAudioCaptureDeviceItem*>(items.Add());
    EXPECT_EQ(item->GetDeviceName(), "Mic");
    item->SetDeviceName("Gone");
    EXPECT_EQ(item->GetDeviceName(), "Mic");
    EXPECT_EQ(item->GetMonikerName(), "Fake:Mic");
    item->SetDeviceName("Line");
    EXPECT_EQ(item->GetMonikerName(), "Fake:Line");
    EXPECT_EQ(item->GetDisplayName(), "Line");
    item->SetDeviceName("");
    EXPECT_EQ(item->GetDeviceName(), "");
    EXPECT_EQ(item->GetMonikerName(), "");
}

TEST_F(DeviceListTest, FilterItemsResolveAgainstEveryDevice) {
    THoxCaptureDeviceDesc speaker = TFakeCaptureService::Device("Speaker");
    speaker.m_maxInputChannels = 0;
    m_service->m_devices = {speaker};
    TDSFilterItems filters(nullptr);
    auto* first = static_cast<TDSFilterItem*>(filters.Add());
    auto* second = static_cast<TDSFilterItem*>(filters.Add());
    EXPECT_EQ(first->GetFilterName(), "None");
    EXPECT_EQ(second->GetDisplayName(), "Filter 2");
    first->SetFilterName("Speaker");
    EXPECT_EQ(first->GetMonikerName(), "Fake:Speaker");
    first->SetFilterName("Gone");
    EXPECT_EQ(first->GetFilterName(), "Speaker");
}

TEST_F(DeviceListTest, SelectionsCopyNamesWithoutListing) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic")};
    TDSAudioCaptureDevice source(nullptr, nullptr);
    source.SetDeviceName("Mic");
    source.GetAlternativeDevices()->Add();
    m_service->m_devices.clear();
    int changes = 0;
    TDSAudioCaptureDevice copy(nullptr, [&changes](TDSDevice&) { ++changes; });
    copy.Assign(&source);
    EXPECT_EQ(copy.GetDeviceName(), "Mic");
    EXPECT_EQ(copy.GetMonikerName(), "Fake:Mic");
    ASSERT_EQ(copy.GetAlternativeDevices()->GetCount(), 1);
    EXPECT_EQ(copy.GetAlternativeDevices()->GetAlternative(0)->GetMonikerName(), "Fake:Mic");
    EXPECT_EQ(changes, 0);
}

// ---- error report
// ---------------------------------------------------------------------------------

TEST(DSException, MessageCarriesTheTextAndTheCodeInDecimalAndHex) {
    const EDSException error(kDSErrorSetFormat, -9997);
    EXPECT_STREQ(error.what(), "Can't set desired audio format. - 4294957299 - ffffd8f3");
    EXPECT_EQ(error.GetErrorCode(), -9997);
    EXPECT_STREQ(EDSException(kDSErrorStartCapture, 0).what(), "Can't start capture. - 0 - 0");
}

TEST(DSGraphReport, RaisesUnlessTheHandlerHandles) {
    TVokComponent owner(nullptr);
    TDSGraph graph(&owner, nullptr, nullptr);
    EXPECT_THROW(graph.ReportError(kDSErrorStopCapture, 5), EDSException);

    std::vector<std::string> reports;
    bool handle = false;
    graph.SetOnError(
        [&](TVokComponent* sender, const std::string& text, int32_t code, bool& handled) {
            EXPECT_EQ(sender, &owner);
            EXPECT_FALSE(handled);
            reports.push_back(text + "/" + std::to_string(code));
            handled = handle;
        });
    EXPECT_THROW(graph.ReportError(kDSErrorStopCapture, 5), EDSException);
    handle = true;
    EXPECT_NO_THROW(graph.ReportError(kDSErrorSetGrabber, -1));
    EXPECT_EQ(reports, (std::vector<std::string>{"Can't stop capture./5",
                                                 "Can't set audio sample grabber./-1"}));
}

} // namespace

// A device selection is stored as its moniker and name together ("Data"), so that reading a
// description restores the exact device even where another one now has the same name.
TEST_F(DeviceListTest, DeviceSelectionsSurviveAFormDescription) {
    VokInitializeFramework();
    RegisterVokClasses();
    RegisterCaptureClasses();
    m_service->m_devices = {TFakeCaptureService::Device("Mic", "A:Mic"),
                            TFakeCaptureService::Device("Line", "A:Line")};
    TVokForm form(nullptr);
    form.SetName("Form1");
    auto* audioIn = new TDruDSAudioIn(&form);
    audioIn->SetName("DruDSAudioIn1");
    audioIn->GetAudioCaptureDevice()->SetDeviceName("Mic");
    auto* alternative = static_cast<TDSDeviceItem*>(
        audioIn->GetAudioCaptureDevice()->GetAlternativeDevices()->Add());
    alternative->SetDeviceName("Line");
    auto* filter = static_cast<TDSFilterItem*>(audioIn->GetGraph()->GetAdditionalFilters()->Add());
    filter->SetFilterName("Line");

    const std::string written = TVokFormWriter().Write(form);
    EXPECT_NE(written.find("AudioCaptureDevice.Data = ('A:Mic' 'Mic')"), std::string::npos)
        << written;
    EXPECT_EQ(written.find("DeviceName"), std::string::npos) << written;
    EXPECT_EQ(written.find("FilterName"), std::string::npos) << written;

    // The devices have gone by the time the description is read: the stored selection stands.
    m_service->m_devices.clear();
    std::unique_ptr<TVokComponent> read = TVokFormReader("saved.form").Read(written);
    const auto* restored = dynamic_cast<TDruDSAudioIn*>(read->FindComponent("DruDSAudioIn1"));
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->GetAudioCaptureDevice()->GetDeviceName(), "Mic");
    EXPECT_EQ(restored->GetAudioCaptureDevice()->GetMonikerName(), "A:Mic");
    const auto* restoredAlternative = static_cast<const TDSDeviceItem*>(
        restored->GetAudioCaptureDevice()->GetAlternativeDevices()->GetItem(0));
    EXPECT_EQ(restoredAlternative->GetDeviceName(), "Line");
    EXPECT_EQ(restoredAlternative->GetMonikerName(), "A:Line");
    const auto* restoredFilter =
        static_cast<const TDSFilterItem*>(restored->GetGraph()->GetAdditionalFilters()->GetItem(0));
    EXPECT_EQ(restoredFilter->GetFilterName(), "Line");
    EXPECT_EQ(TVokFormWriter().Write(*read), written);
}
