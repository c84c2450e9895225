#pragma once

#include "toolkit/prompts.h"

class QWidget;

namespace toolkit {

// The prompts as modal Qt message boxes over `parent` (none: application modal).
class TQtPrompts : public TPrompts {
public:
    explicit TQtPrompts(QWidget* parent = nullptr) : FParent(parent) {}

    void MessageBox(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowException(const std::string& message) override;

private:
    QWidget* FParent;
};

} // namespace toolkit
