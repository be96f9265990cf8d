// An open server extension package: named functions that run on the server
// and return a block of bytes. Opened by the constructor, closed by the
// destructor; each call keeps a copy of its result until the next one.
#pragma once

#include <string>

class RdmExtPackage {
 public:
  // Opens the package; a failure gives DbDescError with the status (10038
  // "pfOpenExtPackage" without the entry).
  RdmExtPackage(int handle, std::string package);
  // Closes the package; never throws, and without a close entry skips it.
  ~RdmExtPackage();
  RdmExtPackage(const RdmExtPackage&) = delete;
  RdmExtPackage& operator=(const RdmExtPackage&) = delete;

  // Calls function with input (none is allowed with any length; an input
  // with length 0 gives 10050). A status in 2000-2038 or 10000-10064 is
  // raised; any other counts as success. Always 0.
  int CallExtFnc(std::string function, const void* input, int inputLength);
  // Frees the result; a length above 0 makes a zero-filled one of that size
  // (10016 when it cannot be had), any other leaves none.
  void SetResultSize(int length);

  // The last result; null and 0 when there is none.
  const unsigned char* GetResult() const { return m_result; }
  int GetResultLength() const { return m_length; }

 private:
  int m_handle;
  std::string m_package;
  unsigned char* m_result = nullptr;
  int m_length = 0;
};
