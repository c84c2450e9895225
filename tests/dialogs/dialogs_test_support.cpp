// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/dialogs/dialogs_test_support.h"

#include "dialogs/modify_form2.h"
#include "dialogs/save_data_form.h"
#include "dialogs/scale_form.h"
#include "dialogs/scale_form2.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace dialogs::test {

namespace {

constexpr int kSettleTicks = 11;

testsupport::TBench OnComOne(sim::TCutterConfig config, sim::TFaults faults) {
    testsupport::TBench bench;
    bench.Cutter = std::move(config);
    bench.Faults = std::move(faults);
    return bench;
}

} // namespace

TDialogsTest::TDialogsTest(sim::TCutterConfig config, sim::TFaults faults)
    : FMainForm(&Build(OnComOne(std::move(config), std::move(faults)))), FFlow(*FMainForm) {
    FMainForm->show();
}

void TDialogsTest::DeliverReply() {
    ASSERT_GT(PendingReplyBytes(), 0U) << "the cutter has no reply to deliver";
    DeliverAll();
    ASSERT_FALSE(testsupport::TSessionTestView(FMainForm->Session()).ReplyText().empty())
        << "the reply never reached the main window";
}

void TDialogsTest::AnswerQuery() {
    DeliverReply();
    Tick(kSettleTicks);
}

bool TDialogsTest::InsideModal(QDialog* dialog, const std::function<void()>& open,
                               const std::function<void()>& action) {
    bool ran = false;
    bool leftOpen = false;
    QTimer inside;
    inside.setSingleShot(true);
    QObject::connect(&inside, &QTimer::timeout, [&] {
        ran = true;
        EXPECT_EQ(QApplication::activeModalWidget(), dialog);
        if (dialog->isVisible()) {
            action();
        }
        leftOpen = dialog->isVisible();
        if (leftOpen) {
            dialog->reject();
        }
    });
    inside.start(0);
    open();
    EXPECT_TRUE(ran) << dialog->objectName().toStdString() << " was not shown modally";
    return leftOpen;
}

void TDialogsTest::ExpectNoModal(const std::function<void()>& open) {
    QTimer watch;
    watch.setSingleShot(true);
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << modal->objectName().toStdString() << " was shown";
            modal->reject();
        }
    });
    watch.start(0);
    open();
}

void TDialogsTest::TypeInto(QLineEdit* edit, const std::string& text) {
    edit->clear();
    QTest::keyClicks(edit, QString::fromStdString(text));
}

void TDialogsTest::Click(QPushButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

void TDialogsTest::OpenScalingAndConfirm() {
    const bool leftOpen = InsideModal(
        Flow().ScaleForm(), [this] { Click(FMainForm->BnScaling); },
        [this] { Click(Flow().ScaleForm()->BnOk); });
    EXPECT_FALSE(leftOpen);
}

void TDialogsTest::RunUpToPassword(const std::string& measuredX, const std::string& measuredY) {
    OpenScalingAndConfirm();
    TypeInto(Flow().ScaleForm2()->Edit1, measuredX);
    TypeInto(Flow().ScaleForm2()->Edit2, measuredY);
    Click(Flow().ScaleForm2()->BnOk);
    InsideModal(
        Flow().SaveDataForm(), [this] { Click(Flow().ModifyForm2()->BnYes); },
        [this] { Click(Flow().SaveDataForm()->BnSave); });
}

} // namespace dialogs::test
