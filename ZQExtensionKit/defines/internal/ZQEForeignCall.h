// Calls from the kit into code it does not own: plug-in libraries (class
// factories and init_class, a bundle's Initialize, an extension's
// GetContext, Initialization and QueryInterface) and the host (in-process
// creators, the logger, the remote data source, the access-key fetch,
// notification observers, the network service and the continuations handed
// to them).
//
// Such code may throw. Its exception must not unwind through the kit: the
// kit's callers (the host, a plug-in, a thread of the host's data source)
// do not expect one, and a step half done would be reported as neither a
// success nor a failure. CallForeignCode() is the boundary: it runs `call`
// and answers whether it returned; an exception ends there, and the caller
// reports that step's failure through the log service as it reports any
// other failure of the step, leaving its own state as a failed step leaves
// it. Locks the kit holds across the call are scoped and so released by the
// unwinding that stops here.
//
// The unwinding of a cancelled thread (abi::__forced_unwind) is not an
// error of the foreign code and is passed on: swallowing it would abort the
// process.
//
// Internal header: hosts never include it.

#ifndef ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEFOREIGNCALL_H_
#define ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEFOREIGNCALL_H_

#include <cxxabi.h>

#include <utility>

namespace zqextensionkit {

// Runs `call()`; true when it returned, false when it threw.
template <typename Call>
bool CallForeignCode(Call&& call) {
  try {
    std::forward<Call>(call)();
    return true;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return false;
  }
}

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_DEFINES_INTERNAL_ZQEFOREIGNCALL_H_
