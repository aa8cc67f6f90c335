// File: library_heap.cpp
//
// The library's private heap in the tool, which links the library's layers
// rather than load zqcrypt.dll or libzqcrypt.so (CMakeLists.txt). On Linux
// the frame's load hook makes it as the program starts, as it does in any
// program linked with the static library. On Windows zqcrypt.dll makes it
// in DllMain, which the tool does not have: the tool makes it here, as it
// starts, before any call into the library. Should it fail, every call
// that needs memory fails and the tool reports that it could not.
#ifdef _WIN32
#include "frame/private_heap.h"

namespace zqcli {
namespace {

[[maybe_unused]] const bool heapMade = zq::PrivateHeap::attach();

}  // namespace
}  // namespace zqcli
#endif
