// SPDX-License-Identifier: GPL-3.0-or-later
// The port component's state, open and close, settings and reports.

#include "link/comm.h"
#include "link/comm_event_thread.h"
#include "tests/link/comm_test_support.h"
#include "tests/link/fake_serial_api.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>

namespace devlink::test {
namespace {

using fake::TFakeSerialApi;

constexpr const char* kAlreadyOpen = "Port already assigned (open) (Error: %d)";
constexpr const char* kNotOpen = "Port not open (Error: %d)";

// The code a report carries for a device failure.
constexpr int CodeOf(TLinkError error) {
    return static_cast<int>(error);
}

class CommSettings : public ::testing::Test {
protected:
    void OpenPort() {
        Comm.SetDeviceName("\\\\.\\COM1");
        Comm.Open();
        ASSERT_TRUE(Comm.Enabled());
    }

    TFakeSerialApi Api;
    TRecordingComm Comm{Api};
};

TEST_F(CommSettings, NewComponentHasTheDefaultsAndIsClosed) {
    EXPECT_EQ(Comm.DeviceName(), "Com2");
    EXPECT_EQ(Comm.ReadTimeout(), 1000);
    EXPECT_EQ(Comm.WriteTimeout(), 1000);
    EXPECT_EQ(Comm.ReadBufSize(), 4096);
    EXPECT_EQ(Comm.WriteBufSize(), 2048);
    EXPECT_EQ(Comm.SuspendTime(), 5u);
    EXPECT_EQ(Comm.MonitorEvents(), 0x01FF);
    EXPECT_EQ(Comm.BaudRate(), br9600);
    EXPECT_EQ(Comm.Parity(), paNone);
    EXPECT_EQ(Comm.StopBits(), sb10);
    EXPECT_EQ(Comm.DataBits(), da8);
    EXPECT_EQ(Comm.FlowControl(), fcDefault);
    EXPECT_EQ(Comm.Options(), 0);
    TCommEventChars& chars = Comm.EventChars();
    EXPECT_EQ(chars.XOnChar(), 17);
    EXPECT_EQ(chars.XOffChar(), 19);
    EXPECT_EQ(chars.ErrorChar(), 0);
    EXPECT_EQ(chars.EofChar(), 0);
    EXPECT_EQ(chars.EvtChar(), 0);
    EXPECT_FALSE(Comm.Enabled());
    EXPECT_EQ(Comm.EventThread(), nullptr);
    // The two transfer records are all the construction asks of the device layer.
    EXPECT_EQ(Api.RecordsMade(), 2);
    EXPECT_EQ(Api.CallCount(), 2u);
}

TEST_F(CommSettings, ClosedPortMakesNoDeviceCall) {
    const std::size_t callsBefore = Api.CallCount();
    char buffer[8] = {};
    EXPECT_EQ(Comm.Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(Comm.Read(buffer, 0), -1);
    EXPECT_EQ(Comm.Write("OH;", 3), -1);
    EXPECT_EQ(Comm.WriteEx("OH;", 3, 1), -1);
    EXPECT_EQ(Comm.InQueCount(), -1);
    EXPECT_EQ(Comm.OutQueCount(), -1);
    Comm.PurgeIn();
    Comm.PurgeOut();
    Comm.Close();
    Comm.UpdateDataControlBlock();
    Comm.UpdateDataControlBlockLock();
    Comm.UpdateCommTimeouts();
    Comm.SetBaudRate(br115200);
    Comm.SetFlowControl(fcCTS);
    Comm.EventChars().SetXOnChar(0x11);
    Comm.SetDTRState(true);
    Comm.SetBREAKState(true);
    for (int selector = 0; selector <= 5; ++selector) {
        EXPECT_TRUE(Comm.GetModemState(selector)) << selector;
        EXPECT_FALSE(Comm.GetComState(selector)) << selector;
    }
    EXPECT_EQ(Api.CallCount(), callsBefore);
    EXPECT_FALSE(Comm.Enabled());
}

TEST_F(CommSettings, OpenSelectsAllEventsThenTheMonitoredOnes) {
    Comm.SetMonitorEvents(1u << evRxChar);
    OpenPort();
    const auto masks = Api.CallsOf("SetCommMask");
    ASSERT_EQ(masks.size(), 2u);
    EXPECT_EQ(masks[0].Value, kEvAll);
    EXPECT_EQ(masks[1].Value, kEvRxChar);
    EXPECT_EQ(Api.OpenedNames(), std::vector<std::string>{"\\\\.\\COM1"});
    const auto setups = Api.CallsOf("SetupComm");
    ASSERT_FALSE(setups.empty());
    for (const auto& setup : setups) {
        EXPECT_EQ(setup.Value, 4096u);
        EXPECT_EQ(setup.Value2, 2048u);
    }
}

TEST_F(CommSettings, EventMaskFollowsTheOrdinalsOfTheMonitoredEvents) {
    EXPECT_EQ(CommEventMask(kAllCommEvents), kEvAll);
    EXPECT_EQ(CommEventMask(1u << evBreak), kEvBreak);
    EXPECT_EQ(CommEventMask(1u << evError), kEvErr);
    EXPECT_EQ(CommEventMask((1u << evCts) | (1u << evTxEmpty)), kEvCts | kEvTxEmpty);
    EXPECT_EQ(CommEventMask((1u << evRing) | (1u << evRlsd)), kEvRing | kEvRlsd);
    EXPECT_EQ(CommEventMask(0xFE00), 0u);
}

TEST_F(CommSettings, SettingsThatShapeTheOpenAreIgnoredWhileOpen) {
    OpenPort();
    Comm.SetDeviceName("\\\\.\\COM7");
    Comm.SetReadBufSize(100);
    Comm.SetWriteBufSize(200);
    Comm.SetSuspendTime(50);
    Comm.SetMonitorEvents(1u << evBreak);
    EXPECT_EQ(Comm.DeviceName(), "\\\\.\\COM1");
    EXPECT_EQ(Comm.ReadBufSize(), 4096);
    EXPECT_EQ(Comm.WriteBufSize(), 2048);
    EXPECT_EQ(Comm.SuspendTime(), 5u);
    EXPECT_EQ(Comm.MonitorEvents(), kAllCommEvents);

    Comm.Close();
    Comm.SetDeviceName("\\\\.\\COM7");
    Comm.SetReadBufSize(100);
    Comm.SetWriteBufSize(200);
    Comm.SetSuspendTime(50);
    Comm.SetMonitorEvents(1u << evBreak);
    Comm.Open();
    EXPECT_EQ(Api.OpenedNames().back(), "\\\\.\\COM7");
    EXPECT_EQ(Api.CallsOf("SetupComm").back().Value, 100u);
    EXPECT_EQ(Api.CallsOf("SetupComm").back().Value2, 200u);
    EXPECT_EQ(Api.CallsOf("SetCommMask").back().Value, kEvBreak);
    ASSERT_NE(Comm.EventThread(), nullptr);
    EXPECT_EQ(Comm.EventThread()->SuspendTime(), 50u);
}

struct LineSetter {
    const char* Name;
    std::function<void(TThreadComm&)> Change;
    std::function<void(TThreadComm&)> Repeat; // sets the value already in force
};

class CommLineSetters : public CommSettings, public ::testing::WithParamInterface<LineSetter> {};

TEST_P(CommLineSetters, ReachTheOpenDeviceAtOnceOnlyWhenTheValueDiffers) {
    OpenPort();
    const int statesBefore = Api.CountOf("SetCommState");
    GetParam().Repeat(Comm);
    EXPECT_EQ(Api.CountOf("SetCommState"), statesBefore);
    GetParam().Change(Comm);
    EXPECT_EQ(Api.CountOf("SetCommState"), statesBefore + 1);
}

INSTANTIATE_TEST_SUITE_P(
    All, CommLineSetters,
    ::testing::Values(LineSetter{"BaudRate", [](TThreadComm& c) { c.SetBaudRate(br19200); },
                                 [](TThreadComm& c) { c.SetBaudRate(br9600); }},
                      LineSetter{"Parity", [](TThreadComm& c) { c.SetParity(paEven); },
                                 [](TThreadComm& c) { c.SetParity(paNone); }},
                      LineSetter{"StopBits", [](TThreadComm& c) { c.SetStopBits(sb20); },
                                 [](TThreadComm& c) { c.SetStopBits(sb10); }},
                      LineSetter{"DataBits", [](TThreadComm& c) { c.SetDataBits(da7); },
                                 [](TThreadComm& c) { c.SetDataBits(da8); }},
                      LineSetter{"Options", [](TThreadComm& c) { c.SetOptions(1u << coNullStrip); },
                                 [](TThreadComm& c) { c.SetOptions(0); }},
                      LineSetter{"FlowControl", [](TThreadComm& c) { c.SetFlowControl(fcNone); },
                                 [](TThreadComm& c) { c.SetFlowControl(fcDefault); }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CommSettings, LineSettingsOutsideTheirRangeAreIgnored) {
    Comm.SetBaudRate(static_cast<TBaudRate>(15));
    Comm.SetParity(static_cast<TParity>(9));
    Comm.SetOptions(0x20);
    EXPECT_EQ(Comm.BaudRate(), br9600);
    EXPECT_EQ(Comm.Parity(), paNone);
    EXPECT_EQ(Comm.Options(), 0);
}

TEST_F(CommSettings, OpenOfAnOpenPortKeepsTheFirstHandleAndThread) {
    OpenPort();
    const THandle handle = Api.LastHandle();
    TCommEventThread* const thread = Comm.EventThread();
    Comm.Open();
    EXPECT_EQ(Api.CountOf("CreateFile"), 1);
    EXPECT_EQ(Api.WaitersMade(), 1);
    EXPECT_EQ(Comm.EventThread(), thread);
    EXPECT_FALSE(thread->Finished());
    EXPECT_TRUE(Api.HandleOpen(handle));
    EXPECT_EQ(Comm.Reports, (std::vector<TReport>{{kAlreadyOpen, -1}}));
}

TEST_F(CommSettings, DeviceThatIsNotACharacterDeviceEndsClosed) {
    Api.SetCharacterDevice(false);
    Comm.Open();
    EXPECT_FALSE(Comm.Enabled());
    EXPECT_FALSE(Api.HandleOpen(Api.LastHandle()));
    EXPECT_EQ(Comm.EventThread(), nullptr);
    EXPECT_EQ(Api.CountOf("SetCommState"), 0);
    ASSERT_EQ(Comm.Reports.size(), 1u);
    EXPECT_EQ(Comm.Reports[0].Format, kNotOpen);
}

TEST_F(CommSettings, FailedOpenKeepsTheDeviceErrorForTheCaller) {
    Api.Fail("CreateFile", TLinkError::leDenied);
    Comm.Open();
    EXPECT_FALSE(Comm.Enabled());
    EXPECT_EQ(Comm.LastError(), TLinkError::leDenied);
    EXPECT_EQ(Comm.Reports, (std::vector<TReport>{{kNotOpen, CodeOf(TLinkError::leDenied)}}));
}

TEST_F(CommSettings, PortWithoutAnEventWaiterEndsClosed) {
    Api.Fail("CreateEventWaiter");
    Comm.Open();
    EXPECT_FALSE(Comm.Enabled());
    EXPECT_FALSE(Api.HandleOpen(Api.LastHandle()));
    EXPECT_EQ(Comm.EventThread(), nullptr);
}

TEST_F(CommSettings, CloseStopsTheThreadAndClosesTheHandleKeepingTheThread) {
    OpenPort();
    const THandle handle = Api.LastHandle();
    TCommEventThread* const thread = Comm.EventThread();
    Comm.Close();
    EXPECT_FALSE(Comm.Enabled());
    EXPECT_FALSE(Api.HandleOpen(handle));
    EXPECT_EQ(Comm.EventThread(), thread);
    EXPECT_TRUE(thread->Finished());
    EXPECT_TRUE(Api.Waiter()->Cancelled);

    Comm.Open();
    EXPECT_TRUE(Comm.Enabled());
    EXPECT_EQ(Api.WaitersMade(), 2);
    EXPECT_FALSE(Comm.EventThread()->Finished());
}

TEST_F(CommSettings, DestroyingAnOpenComponentClosesThePort) {
    auto comm = std::make_unique<TComm>(Api);
    comm->Open();
    ASSERT_TRUE(comm->Enabled());
    const THandle handle = Api.LastHandle();
    comm.reset();
    EXPECT_FALSE(Api.HandleOpen(handle));
    EXPECT_TRUE(Api.Waiter()->Cancelled);
}

struct ReportCase {
    const char* Name;
    std::function<void(TFakeSerialApi&)> Arrange;
    std::function<void(TThreadComm&)> Act;
    TReport Expected;
    bool OpenAfterwards;
};

class CommReports : public CommSettings, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(CommReports, EachFailureIsReportedWithItsCode) {
    GetParam().Arrange(Api);
    GetParam().Act(Comm);
    ASSERT_FALSE(Comm.Reports.empty());
    EXPECT_EQ(Comm.Reports.back(), GetParam().Expected);
    EXPECT_EQ(Comm.Enabled(), GetParam().OpenAfterwards);
}

const auto kNothing = [](TFakeSerialApi&) {};
const auto kOpen = [](TThreadComm& c) { c.Open(); };
const auto kOpenTwice = [](TThreadComm& c) {
    c.Open();
    c.Open();
};

// The device fails `operation` with `error`; the report carries the error's code.
ReportCase DeviceFailure(const char* name, const char* operation, TLinkError error,
                         const char* format, bool openAfterwards,
                         std::function<void(TThreadComm&)> act = kOpen) {
    return {name,
            [=](TFakeSerialApi& a) { a.Fail(operation, error); },
            std::move(act),
            {format, CodeOf(error)},
            openAfterwards};
}

INSTANTIATE_TEST_SUITE_P(
    All, CommReports,
    ::testing::Values(ReportCase{"OpenWhileOpen", kNothing, kOpenTwice, {kAlreadyOpen, -1}, true},
                      ReportCase{"CheckOpenWhileOpen",
                                 kNothing,
                                 [](TThreadComm& c) {
                                     c.Open();
                                     c.CheckOpen();
                                 },
                                 {kAlreadyOpen, -1},
                                 true},
                      DeviceFailure("DeviceMissing", "CreateFile", TLinkError::leNotFound, kNotOpen,
                                    false),
                      DeviceFailure("Buffers", "SetupComm", TLinkError::leOther,
                                    "Error initializing Read/Write Buffers (Error: %d)", true),
                      DeviceFailure("Timeouts", "SetCommTimeouts", TLinkError::leHungUp,
                                    "Error updating CommTimeouts (Error: %d)", true),
                      DeviceFailure("DataControlBlock", "SetCommState", TLinkError::leBusy,
                                    "Error updating DataControlBlock (Error: %d)", true),
                      DeviceFailure("EscapeFailure", "EscapeCommFunction", TLinkError::leDenied,
                                    "EscapeCommFunction failure (Error: %d)", true,
                                    [](TThreadComm& c) {
                                        c.Open();
                                        c.SetRTSState(true);
                                    }),
                      ReportCase{"EscapeWhileClosed",
                                 kNothing,
                                 [](TThreadComm& c) { c.SetXONState(true); },
                                 {kNotOpen, -1},
                                 false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CommSettings, CheckOpenOnAClosedPortReportsNothing) {
    Comm.CheckOpen();
    EXPECT_TRUE(Comm.Reports.empty());
}

// Tells whether another thread can take the component's lock right now. The attempt is
// kept running (not awaited) so a held lock cannot deadlock the test.
class LockProbingComm : public TRecordingComm {
public:
    using TRecordingComm::TRecordingComm;
    bool LockFreeFromAnotherThread() {
        Probes.push_back(std::async(std::launch::async, [this] {
            Lock();
            Unlock();
        }));
        return Probes.back().wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    }
    void ReportCommError(const char* format, int code) override {
        TRecordingComm::ReportCommError(format, code);
        LockFreeAtReport = LockFreeFromAnotherThread();
    }
    void CreateHandle() override {
        if (ThrowFromCreateHandle) {
            throw std::runtime_error("device layer failed");
        }
        TRecordingComm::CreateHandle();
    }
    bool LockFreeAtReport = false;
    bool ThrowFromCreateHandle = false;
    std::vector<std::future<void>> Probes;
};

TEST(CommLock, OpenReportsOnlyAfterReleasingTheLock) {
    TFakeSerialApi api;
    LockProbingComm comm(api);
    api.Fail("CreateFile", TLinkError::leNotFound);
    comm.Open();
    ASSERT_EQ(comm.Reports.size(), 1u);
    EXPECT_TRUE(comm.LockFreeAtReport);
}

TEST(CommLock, IsReleasedWhenAnErrorPassesThroughOpen) {
    TFakeSerialApi api;
    LockProbingComm comm(api);
    comm.ThrowFromCreateHandle = true;
    EXPECT_THROW(comm.Open(), std::runtime_error);
    EXPECT_TRUE(comm.LockFreeFromAnotherThread());
}

TEST(CommLock, IsReentrant) {
    TFakeSerialApi api;
    LockProbingComm comm(api);
    comm.Open();
    comm.Lock();
    comm.SetBaudRate(br19200); // takes the lock again on the same thread
    comm.Unlock();
    EXPECT_TRUE(comm.LockFreeFromAnotherThread());
    EXPECT_EQ(api.WrittenDcbs().back().BaudRate, 19200u);
}

} // namespace
} // namespace devlink::test
