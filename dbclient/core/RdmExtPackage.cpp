#include "RdmExtPackage.h"

#include <cstring>
#include <new>

#include "FncLoader.h"

namespace {

// A returned buffer goes back to the library even on a failure path; without
// the entry there is nothing to give it to.
void ReleaseQuietly(void* buffer) {
  if (buffer != nullptr && GlobalFncLoader != nullptr && GlobalFncLoader->pfFreePtr != nullptr)
    GlobalFncLoader->pfFreePtr(buffer);
}

bool IsLibraryCode(int status) {
  return (status >= 10000 && status <= 10064) || (status >= 2000 && status <= 2038);
}

}  // namespace

RdmExtPackage::RdmExtPackage(int handle, std::string package)
    : m_handle(handle), m_package(std::move(package)) {
  int status = QOR_ENTRY(OpenExtPackage)(m_handle, m_package.c_str());
  if (status != 0) throw DbDescError(status);
}

RdmExtPackage::~RdmExtPackage() {
  if (GlobalFncLoader != nullptr && GlobalFncLoader->pfCloseExtPackage != nullptr)
    GlobalFncLoader->pfCloseExtPackage(m_handle, m_package.c_str());
  delete[] m_result;
}

void RdmExtPackage::SetResultSize(int length) {
  delete[] m_result;
  m_result = nullptr;
  m_length = 0;
  if (length <= 0) return;
  m_result = new (std::nothrow) unsigned char[length]();
  if (m_result == nullptr) throw DbDescError(10016);
  m_length = length;
}

int RdmExtPackage::CallExtFnc(std::string function, const void* input, int inputLength) {
  if (input != nullptr && inputLength == 0)
    throw DbDescError(10050, StringVector("RdmExtPackage::CallExtFnc"));
  QorFn_CallExtFnc call = QOR_ENTRY(CallExtFnc);
  int32_t size = inputLength;
  void* output = nullptr;
  int status = call(m_handle, m_package.c_str(), function.c_str(), input, &output, &size);
  if (status != 0 && IsLibraryCode(status)) {
    ReleaseQuietly(output);
    throw DbDescError(status);
  }
  try {
    SetResultSize(size);
  } catch (...) {
    ReleaseQuietly(output);
    throw;
  }
  if (output == nullptr) return 0;
  if (m_length == 0) {
    // Nothing to copy: the buffer still goes back, but a call that gave no
    // result does not fail over its release.
    ReleaseQuietly(output);
    return 0;
  }
  std::memcpy(m_result, output, static_cast<size_t>(m_length));
  QOR_ENTRY(FreePtr)(output);
  return 0;
}
