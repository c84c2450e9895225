// SPDX-License-Identifier: GPL-3.0-or-later
// A measurement keyed in as the test size it was cut at changes nothing, whatever size the
// operator chose.

#include "dialogs_test_support.h"

#include "dialogs/modify_form.h"
#include "dialogs/modify_form2.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <string>
#include <vector>

namespace dialogs::test {
namespace {

using WizardEqualMeasurement = TDialogsTest;

TEST_F(WizardEqualMeasurement, OddTestSizeMeasuredAsItselfCutsNothingMore) {
    TypeInto(Flow().ScaleForm()->EdTestDraw_X, "50.3");
    TypeInto(Flow().ScaleForm()->EdTestDraw_Y, "50");
    OpenScalingAndConfirm();
    ForgetSerialWritten();
    TypeInto(Flow().ScaleForm2()->Edit1, "50.3");
    TypeInto(Flow().ScaleForm2()->Edit2, "50");
    Click(Flow().ScaleForm2()->BnOk);
    EXPECT_TRUE(Flow().ModifyForm()->isVisible());
    EXPECT_FALSE(Flow().ModifyForm2()->isVisible());
    EXPECT_EQ(SerialWritten(), "");
}

// Every size from 1 to 1000 mm with one and with two decimals. The test sizes are taken in
// by the session's own command builder, with no link chosen so nothing is sent; the
// measurement goes through the OK button's handler.
TEST_F(WizardEqualMeasurement, EverySizeWithOneOrTwoDecimalsMeasuredAsItselfIsUnchanged) {
    FMainForm->ComboBox1->setEditText("");
    std::vector<std::string> sizes;
    char text[32];
    for (int hundredths = 100; hundredths <= 100000; ++hundredths) {
        std::snprintf(text, sizeof text, "%d.%02d", hundredths / 100, hundredths % 100);
        sizes.emplace_back(text);
        if (hundredths % 10 == 0) {
            std::snprintf(text, sizeof text, "%d.%d", hundredths / 100, hundredths % 100 / 10);
            sizes.emplace_back(text);
        }
    }
    std::size_t changed = 0;
    std::string firstChanged;
    for (std::size_t index = 0; index < sizes.size(); ++index) {
        // X and Y take different sizes, so each axis meets every size.
        const QString sizeX = QString::fromStdString(sizes[index]);
        const QString sizeY = QString::fromStdString(sizes[sizes.size() - 1 - index]);
        testsupport::TSessionTestView(FMainForm->Session())
            .SendCommand(protocol::ccTestDraw, {sizeX.toStdString(), sizeY.toStdString()});
        Flow().ScaleForm2()->Edit1->setText(sizeX);
        Flow().ScaleForm2()->Edit2->setText(sizeY);
        Flow().ScaleForm2()->BnOkClick();
        if (!Flow().ModifyForm()->isVisible() && ++changed <= 8) {
            firstChanged += " " + sizeX.toStdString() + " x " + sizeY.toStdString();
        }
        Flow().ModifyForm()->hide();
        Flow().ModifyForm2()->hide();
        if (index % 1000 == 0) { // so the dialogs' posted events do not pile up

            QCoreApplication::processEvents();
        }
    }
    EXPECT_EQ(changed, 0U) << "taken as different:" << firstChanged;
}

} // namespace
} // namespace dialogs::test
