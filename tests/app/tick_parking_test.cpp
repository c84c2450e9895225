// SPDX-License-Identifier: GPL-3.0-or-later
// Timer1 parked while no query is outstanding, under the dialogs: the window keeps its own
// timer (the bench's hand-driven clock is given back to it), so each dialog's exchange is
// carried by real ticks. The panel's senders are tried on the session bench.

#include "tests/app/app_test_support.h"

#include "dialogs/about_form.h"
#include "dialogs/save_data_form.h"
#include "tests/support/wizard_over_window.h"

#include <gmock/gmock.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

namespace app::polltest {
namespace {

// Bounds each wait for real ticks: an exchange needs about a dozen 16 ms ticks, a
// sanitizer build on a busy machine may need far longer, and a broken parking never ends.
constexpr int kWaitLimitMs = 10000;

// The dialogs reach the poll cycle through the main window's senders; their exchanges
// are carried by the same ticks.
class TDialogExchangeTest : public TPollTest {
protected:
    void BuildWithDialogs() {
        Build();
        StartTicking();
        FFlow.emplace(Form());
    }

    static bool WaitUntil(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kWaitLimitMs);
    }

    std::optional<testsupport::TWizardOverWindow> FFlow;
};

TEST_F(TDialogExchangeTest, AboutDialogShowsTheFirmwareItAskedForOnShow) {
    BuildWithDialogs();
    bool resumedOnShow = false;
    bool firmwareShown = false;
    QTimer::singleShot(0, [&] {
        resumedOnShow = !Parked();
        DeliverAll();
        firmwareShown = WaitUntil(
            [this] { return FFlow->AboutForm()->LaModel->text() == QStringLiteral("TC-60"); });
        QTest::mouseClick(FFlow->AboutForm()->BnOk, Qt::LeftButton);
        if (FFlow->AboutForm()->isVisible()) {
            FFlow->AboutForm()->reject();
        }
    });
    Form().BnAboutClick();

    EXPECT_TRUE(resumedOnShow);
    EXPECT_TRUE(firmwareShown);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_THAT(Prompts.Shown, ::testing::IsEmpty());
}

TEST_F(TDialogExchangeTest, WizardSaveReadsTheScaleThePasswordStepWaitsFor) {
    BuildWithDialogs();
    FFlow->SaveDataForm()->show();
    QTest::mouseClick(FFlow->SaveDataForm()->BnSave, Qt::LeftButton);
    EXPECT_FALSE(Parked());

    DeliverAll();
    EXPECT_TRUE(WaitUntil([this] { return Session().ScaleRepliesDecoded() == 1; }));
    EXPECT_EQ(Session().Settings().ScaleX, 1012);
    EXPECT_TRUE(WaitUntil([this] { return Parked(); }));
    EXPECT_THAT(Prompts.Shown, ::testing::IsEmpty());
}

} // namespace
} // namespace app::polltest
