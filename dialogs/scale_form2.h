// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's measurement step: the operator keys in the length and width of the test
// rectangle as cut. A measurement that differs from the test size starts the corrected
// cut; one that equals it ends the wizard with nothing to change.

#include "dialogs/wizard_dialog.h"
#include "session/cutter_session.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace dialogs {

class TScaleForm2 : public TWizardDialog {
    Q_OBJECT

public:
    explicit TScaleForm2(TWizardFlow& flow);

    QLabel* Label5 = Control<QLabel>("Label5");
    QLineEdit* Edit1 = Control<QLineEdit>("Edit1");
    QLineEdit* Edit2 = Control<QLineEdit>("Edit2");
    QPushButton* BnOk = Control<QPushButton>("BnOk");

    void BnOkClick();

    // Whether the session's test and measured sizes, from which the new scale is computed,
    // are still those of the last measurement accepted here whose corrected cut was sent.
    bool MeasurementInEffect() const;

private:
    // The size in a field; a text that is no size leaves the field ready for retyping.
    double MeasuredSize(QLineEdit& edit, const char* fieldName);
    // Shows why a measured size is refused, with the field ready for retyping; true when
    // it is.
    bool RefuseImplausible(QLineEdit& edit, const char* fieldName, double measuredUnits,
                           double testUnits);
    void RecordMeasurementSent(const session::TOutcome& cut, double measuredX, double measuredY);

    // The session's sizes as they were right after the last corrected cut was sent.
    session::TPlotterSize FSentTest;
    session::TPlotterSize FSentMeasured;
    bool FMeasurementSent = false;
};

} // namespace dialogs
