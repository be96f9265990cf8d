#pragma once
// The repair window's boxes through the user-interface backend that the
// program installed, and the real clock.

#include "NumfixPrompts.h"

class WinPrompts : public NumfixPrompts {
public:
    void ShowMessage(const std::string& text) override;
    void TopMostBox(const std::string& text, const std::string& caption) override;
    std::time_t Now() override;
};
