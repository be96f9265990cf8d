#pragma once
// Every box the repair window shows and the clock it reads, so that tests can
// answer and record them.

#include <ctime>
#include <string>

class NumfixPrompts {
public:
    virtual ~NumfixPrompts() = default;
    // A plain message with the application's title as caption.
    virtual void ShowMessage(const std::string& text) = 0;
    // A box without owner that stays on top of every window.
    virtual void TopMostBox(const std::string& text, const std::string& caption) = 0;
    virtual std::time_t Now() = 0;
};
