// The 200 ms timer: a refresh every fourth tick (every tick while a backlog
// drains), the one-shot re-layout of topmost windows, the owner-table refresh
// and one step of the capture start-up per refresh.
#include <gtest/gtest.h>

#include <string>

#include "app/overlay_model.h"

namespace {

// Every system call of the timer is logged as one letter: L layout,
// I invalidate, O owner refresh, C capture library, S session, M adapter address.
std::string calls;
bool busyDuringLayout, loadResult, openResult, macResult;

const TimerActions kRecorder = {
    [] {
        calls += 'L';
        busyDuringLayout = uiBusy == 1;
    },
    [] { calls += 'I'; },
    [] { calls += 'O'; },
    [] {
        calls += 'C';
        return loadResult;
    },
    [] {
        calls += 'S';
        interfaceFound = openResult;
        return openResult;
    },
    [] {
        calls += 'M';
        return macResult;
    },
};

class OverlayTimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetTrafficTables();
        applyDefaultSettings();
        resetOverlayState();
        calls.clear();
        loadResult = openResult = macResult = false;
        captureLibraryLoaded = interfaceFound = true;
        localAddressesLoaded = true;
        relayoutPending = false;
    }
    static std::string ticks(int count) {
        calls.clear();
        for (int n = 0; n < count; ++n) {
            runTimerStep(kRecorder);
            calls += '.';
        }
        return calls;
    }
};

TEST_F(OverlayTimerTest, RefreshesEveryFourthTickWhenSomethingChanged) {
    ownerRefreshPending = 1;
    EXPECT_EQ(ticks(8), "...OI.....");
    EXPECT_EQ(ownerRefreshPending.load(), 0);
    EXPECT_EQ(tickCount, 0);
    EXPECT_EQ(ticks(4), "....") << "nothing changed, nothing repainted";
    pendingEventCount = 1;
    EXPECT_EQ(ticks(4), "...I.");
}

TEST_F(OverlayTimerTest, BurstModeLastsUntilTheQueueDrained) {
    pendingEventCount = 11;
    EXPECT_EQ(ticks(2), "I.I.");
    pendingEventCount = 3; // fewer, but not drained
    EXPECT_EQ(ticks(2), "I.I.");
    EXPECT_TRUE(burstMode);
    pendingEventCount = 0;
    eventsDrained = true;
    EXPECT_EQ(ticks(4), "...I.");
    EXPECT_FALSE(burstMode);
    EXPECT_FALSE(eventsDrained);
}

TEST_F(OverlayTimerTest, OneShotRelayoutOfTopmostWindows) {
    const struct {
        int32_t alwaysOnTop, busy;
        const char* firstTicks;
        bool pendingAfter;
    } cases[] = {
        {1, 0, "LI....", false}, // the owner refresh waits for the next refresh
        {0, 0, "...OI.", true},
        {1, 1, "...OI.", true},
    };
    for (const auto& c : cases) {
        SetUp();
        relayoutPending = true;
        ownerRefreshPending = 1;
        settings.alwaysOnTop = c.alwaysOnTop;
        uiBusy = c.busy;
        busyDuringLayout = false;
        SCOPED_TRACE(std::to_string(c.alwaysOnTop) + " busy " + std::to_string(c.busy));
        EXPECT_EQ(ticks(4), c.firstTicks);
        EXPECT_EQ(relayoutPending, c.pendingAfter);
        EXPECT_EQ(busyDuringLayout, !c.pendingAfter);
        EXPECT_EQ(uiBusy, c.busy);
    }
}

// Owners are refreshed only once the capture runs; until then each refresh
// takes the first start-up step still missing.
TEST_F(OverlayTimerTest, OwnerRefreshNeedsTheCaptureRunning) {
    const struct {
        bool library, interface, addresses;
        const char* refresh;
    } cases[] = {
        {true, true, true, "OI"},  {false, true, true, "IC"},   {true, false, true, "IS"},
        {true, true, false, "IM"}, {false, false, false, "IC"},
    };
    for (const auto& c : cases) {
        SetUp();
        captureLibraryLoaded = c.library;
        interfaceFound = c.interface;
        localAddressesLoaded = c.addresses;
        ownerRefreshPending = 1;
        ticks(4);
        EXPECT_EQ(calls, std::string("...") + c.refresh + ".") << c.refresh;
        EXPECT_EQ(ownerRefreshPending.load(), c.refresh[0] == 'O' ? 0 : 1) << c.refresh;
    }
}

TEST_F(OverlayTimerTest, CaptureStartsOneStepPerRefresh) {
    captureLibraryLoaded = interfaceFound = false;
    localAddressesLoaded = false;
    EXPECT_EQ(ticks(4), "...C."); // a failed load opens nothing
    loadResult = true;
    EXPECT_EQ(ticks(4), "...CS."); // loaded, the session is opened at once, but fails
    openResult = true;
    EXPECT_EQ(ticks(4), "...S.");
    EXPECT_EQ(ticks(4), "...M.");
    macResult = true;
    EXPECT_EQ(ticks(4), "...M.");
    EXPECT_TRUE(localAddressesLoaded.load());
    EXPECT_EQ(ticks(4), "....");

    // Without a step's action nothing changes and the step waits.
    captureLibraryLoaded = false;
    TimerActions withoutLoad = kRecorder;
    withoutLoad.loadCaptureLibrary = nullptr;
    for (int n = 0; n < 4; ++n) runTimerStep(withoutLoad);
    EXPECT_FALSE(captureLibraryLoaded);
    EXPECT_EQ(tickCount, 0);
    EXPECT_EQ(ticks(4), "...CS.");
}

} // namespace
