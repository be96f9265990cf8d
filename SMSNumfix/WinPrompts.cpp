#include "WinPrompts.h"

#include "WinUi.h"

void WinPrompts::ShowMessage(const std::string& text)
{
    win::ShowMessage(text);
}

void WinPrompts::TopMostBox(const std::string& text, const std::string& caption)
{
    win::MessageBox(text, caption, win::MB_OK | win::MB_TOPMOST);
}

std::time_t WinPrompts::Now()
{
    return std::time(nullptr);
}
