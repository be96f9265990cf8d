#pragma once
// The boxes of the repair window shown with Qt, and the real clock.

#include "NumfixPrompts.h"

class QWidget;

class QtPrompts : public NumfixPrompts {
public:
    void ShowMessage(const std::string& text) override;
    void TopMostBox(const std::string& text, const std::string& caption) override;
    std::time_t Now() override;
};
