#include "QorExceptBaseArg.h"

#include <utility>

QorExceptBaseArg::QorExceptBaseArg(int code, const StringVector& args)
    : QorExceptBase(code), m_args(args) {}

QorExceptBaseArg::QorExceptBaseArg(int code, QorErrPos position, const StringVector& args)
    : QorExceptBase(code, std::move(position)), m_args(args) {}

QorExceptBaseArg::~QorExceptBaseArg() = default;

const char* QorExceptBaseArg::what() const noexcept {
  try {
    const char* text = GetMessage();
    m_formatted = FormatArgs(text ? text : "");
    return m_formatted.c_str();
  } catch (...) {
    // Out of memory while formatting: the bare text is better than nothing.
    const char* text = GetMessage();
    return text ? text : "";
  }
}

std::string QorExceptBaseArg::FormatArgs(const std::string& text) const {
  std::string result = text;
  std::size_t used = 0;
  // Each argument searches from the start again, so a "%" that is not a
  // marker, or one that an argument brought in, is met by the next search.
  for (; used < m_args.size(); ++used) {
    std::size_t at = result.find('%');
    if (at == std::string::npos) break;
    if (at + 1 < result.size() && result[at + 1] == 's') result.replace(at, 2, m_args[used]);
  }
  if (used < m_args.size()) {
    result += "\n (";
    for (std::size_t i = used; i < m_args.size(); ++i) {
      if (i > used) result += ", ";
      result += m_args[i];
    }
    result += ")";
  }
  return result;
}
