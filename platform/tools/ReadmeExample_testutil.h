// The schema example of this folder's README.md, which operators copy from,
// so tests hold the documentation to what the tool accepts and serves.
#pragma once

#include <string>

// The indented lines between "Example," and the "Here " that follows it,
// without their indent; "" when the README has none.
std::string ReadmeExample();
