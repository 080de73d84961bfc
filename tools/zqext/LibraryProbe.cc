#include "tools/zqext/LibraryProbe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "ZQExtensionKit/bundle/IZQEBundle.h"
#include "ZQExtensionKit/defines/ZQEForeignCall.h"
#include "ZQExtensionKit/extension/IZQBaseExtension.h"
#include "dlcom/guidstring.h"
#include "dlcom/loadcom.h"

namespace zqext {

namespace {

using zqextensionkit::CallForeignCode;

// One message from the child: a kind and one line of text.
//   step     what the child starts now (named if it crashes or hangs there)
//   ok|note|problem   a finding
//   done     the child finished every step
void Send(int fd, const char* kind, std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\t')
      c = ' ';
  }
  const std::string line = std::string(kind) + "\t" + text + "\n";
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t count =
        write(fd, line.data() + written, line.size() - written);
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      return;
    written += static_cast<size_t>(count);
  }
}

// Why a creation failed: the factory's HRESULT, or that it answered S_OK
// without an object.
std::string HresultText(HRESULT hr) {
  if (hr == S_OK)
    return "S_OK without an object";
  char text[32];
  std::snprintf(text, sizeof(text), "HRESULT 0x%08" PRIx64,
                static_cast<uint64_t>(hr));
  return text;
}

// Creates the object of class `clsid` for `iid` from the library, as the
// kit's object container does: the object counts as created only when the
// factory answers S_OK with an object, and an exception is a failure
// (`*threw` tells it apart). On failure nothing is taken over.
HRESULT CreateObject(CComLoader* loader,
                     const std::string& clsid,
                     const ZQIID& iid,
                     bool* threw,
                     void** object) {
  *object = nullptr;
  void* created = nullptr;
  HRESULT hr = E_FAIL;
  *threw = !CallForeignCode([&] {
    hr = loader->CreateInstance(S2GUIDA(clsid.c_str(), true), nullptr, nullptr,
                                iid, &created);
  });
  if (!*threw && hr == S_OK && created != nullptr)
    *object = created;
  return hr;
}

// The bundle class, created and initialised as the bundle manager does it.
void ProbeBundle(CComLoader* loader,
                 const std::string& clsid,
                 int out,
                 by::com_ptr<zqextensionkit::IZQEBundle>* bundle) {
  const std::string kept =
      ": the kit keeps the library loaded without a bundle object";
  Send(out, "step", "creating the bundle class " + clsid);
  bool threw = false;
  void* created = nullptr;
  const HRESULT hr =
      CreateObject(loader, clsid, by::__uuid_s<zqextensionkit::IZQEBundle>::iid,
                   &threw, &created);
  if (threw) {
    Send(out, "problem",
         "creating the bundle class " + clsid + " throws" + kept);
    return;
  }
  if (created == nullptr) {
    Send(out, "problem",
         "the bundle class " + clsid + " is not created for IZQEBundle (" +
             HresultText(hr) + ")" + kept);
    return;
  }
  bundle->attach(static_cast<zqextensionkit::IZQEBundle*>(created));
  Send(out, "step", "initialising the bundle " + clsid);
  if (!CallForeignCode([&] { (*bundle)->Initialize(); })) {
    bundle->dispose();
    Send(out, "problem",
         "the bundle " + clsid +
             " throws from Initialize(): the kit releases "
             "it and keeps the library loaded without a bundle object");
    return;
  }
  Send(out, "ok", "bundle class " + clsid + " created and initialised");
}

// One extension class, created for IZQBaseExtension and asked for its
// point's interface, as the extension manager does.
void ProbeExtension(CComLoader* loader,
                    const ProbeRequest::ExtensionClass& extension,
                    int out) {
  const std::string subject = "extension " + extension.extension_id +
                              " (class " + extension.clsid + ")";
  const std::string skipped = ": the extension manager skips it";
  Send(out, "step", "creating " + subject);
  bool threw = false;
  void* created = nullptr;
  const HRESULT hr = CreateObject(
      loader, extension.clsid,
      by::__uuid_s<zqextensionkit::IZQBaseExtension>::iid, &threw, &created);
  if (threw) {
    Send(out, "problem", "creating " + subject + " throws" + skipped);
    return;
  }
  if (created == nullptr) {
    Send(out, "problem",
         subject + " is not created for IZQBaseExtension (" + HresultText(hr) +
             ")" + skipped);
    return;
  }
  by::com_ptr<zqextensionkit::IZQBaseExtension> base;
  base.attach(static_cast<zqextensionkit::IZQBaseExtension*>(created));
  Send(out, "step", "asking " + subject + " for " + extension.iid);
  void* point_interface = nullptr;
  HRESULT answer = E_FAIL;
  const bool returned = CallForeignCode([&] {
    answer = base->QueryInterface(S2GUIDA(extension.iid.c_str(), true),
                                  &point_interface);
  });
  // What a query that returned stored carries a reference, even on failure.
  if (returned && point_interface != nullptr)
    static_cast<by::IBaseUnknown*>(point_interface)->Release();
  if (!returned) {
    Send(out, "problem",
         subject + " throws when asked for the point's interface " +
             extension.iid + skipped);
  } else if (answer != S_OK || point_interface == nullptr) {
    Send(out, "problem",
         subject + " does not answer the point's interface " + extension.iid +
             skipped);
  } else {
    Send(out, "ok", subject + " is created and answers " + extension.iid);
  }
}

// Everything the child does; never returns.
[[noreturn]] void RunChild(const ProbeRequest& request, int out) {
  // The loader writes trace lines to standard output; the report is the
  // parent's, and nothing the library prints may reach it. The pipe is
  // moved above standard error first, should it be one of the three.
  if (out <= STDERR_FILENO) {
    const int moved = fcntl(out, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved >= 0)
      out = moved;
  }
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    // Open (not closed on exec) for whatever the library runs, also when
    // `null` is one of the three itself.
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO)
      close(null);
  }
  const char* path = request.library.c_str();

  Send(out, "step", "opening the library");
  // The kit's loader drops dlerror()'s text; open it here first to keep it.
  void* handle = dlopen(path, RTLD_LAZY);
  if (handle == nullptr) {
    const char* reason = dlerror();
    Send(out, "problem",
         std::string("the library does not open: ") +
             (reason ? reason : "no reason given"));
    Send(out, "done", "");
    _exit(0);
  }

  CComLoader loader;
  std::string missing;
  for (const STFunDesc* row = loader.GetFunDefs();
       row->pFunName != nullptr && strcasecmp(row->pFunName, "null") != 0;
       ++row) {
    if (dlsym(handle, row->pFunName) == nullptr)
      missing += std::string(missing.empty() ? "" : ", ") + row->pFunName;
  }
  if (!missing.empty()) {
    Send(out, "problem",
         "the library lacks the entry point(s) " + missing +
             ": the kit refuses it");
    Send(out, "done", "");
    _exit(0);
  }
  Send(out, "ok",
       "the library opens and exports DllGetClassObject, DllCanUnloadNow, "
       "DllRegisterServer and DllUnregisterServer");

  Send(out, "step", "loading the library through CComLoader");
  // Plug-in code runs behind the kit's exception boundary, as in the kit:
  // what the kit does with a throw is what the report says.
  BOOL loaded = FALSE;
  if (!CallForeignCode([&] { loaded = loader.LoadCom(path); })) {
    Send(out, "problem",
         "DllGetClassObject throws when asked for the framework class "
         "factory: the kit unloads the library again");
    Send(out, "done", "");
    _exit(0);
  }
  if (!loaded) {
    Send(out, "problem",
         "DllGetClassObject hands out no framework class factory "
         "(IComObjectFrameworkClassFactory for CLSID_MDClassFactory): the "
         "kit unloads the library again");
    Send(out, "done", "");
    _exit(0);
  }
  Send(out, "ok", "framework class factory obtained");

  by::com_ptr<zqextensionkit::IZQEBundle> bundle;
  if (!request.bundle_clsid.empty())
    ProbeBundle(&loader, request.bundle_clsid, out, &bundle);
  for (const ProbeRequest::ExtensionClass& extension : request.extensions)
    ProbeExtension(&loader, extension, out);

  // Objects of the library go before the library does.
  bundle.dispose();
  loader.UnloadCom();
  dlclose(handle);
  Send(out, "done", "");
  _exit(0);
}

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) +
         static_cast<double>(now.tv_nsec) / 1e9;
}

// One message of the child.
struct Message {
  std::string kind;
  std::string text;
};

// Moves the complete lines at the front of `received` into `messages`;
// true once the child's "done" is among them.
bool TakeMessages(std::string* received, std::vector<Message>* messages) {
  bool done = false;
  size_t start = 0;
  for (size_t end; (end = received->find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = received->substr(start, end - start);
    const size_t tab = line.find('\t');
    Message message{line.substr(0, tab), tab == std::string::npos
                                             ? std::string()
                                             : line.substr(tab + 1)};
    done = done || message.kind == "done";
    messages->push_back(std::move(message));
  }
  received->erase(0, start);
  return done;
}

// Reads the child's messages from `fd` until its "done", the end of the
// pipe or `deadline`; false when the deadline passed first.
bool ReadMessages(int fd, double deadline, std::vector<Message>* messages) {
  std::string received;
  for (;;) {
    const double left = deadline - Now();
    if (left <= 0)
      return false;
    pollfd poll_fd = {fd, POLLIN, 0};
    const int ready = poll(&poll_fd, 1, static_cast<int>(left * 1000) + 1);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready == 0)
      continue;  // The deadline is checked above.
    char buffer[4096];
    const ssize_t count = ready < 0 ? -1 : read(fd, buffer, sizeof(buffer));
    if (count < 0 && errno == EINTR)
      continue;
    // The end of the pipe: the child and everything that inherited its end
    // have closed it. After "done" the child has nothing more to say, even
    // when a process the library started keeps the pipe open.
    if (count <= 0)
      return true;
    received.append(buffer, static_cast<size_t>(count));
    if (TakeMessages(&received, messages))
      return true;
  }
}

// Waits until the child `pid` has ended or `deadline` passes, leaving it
// unreaped (so its id, which is also its process group's, stays taken);
// false when the deadline passed first.
bool WaitForEnd(pid_t pid, double deadline) {
  for (;;) {
    siginfo_t info = {};
    const int result = waitid(P_PID, static_cast<id_t>(pid), &info,
                              WEXITED | WNOHANG | WNOWAIT);
    if (result == 0 && info.si_pid == pid)
      return true;
    if (result != 0 && errno != EINTR)
      return true;  // Not ours to wait for (cannot happen): nothing to wait.
    if (Now() >= deadline)
      return false;
    const timespec pause = {0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace

void ProbeLibrary(const ProbeRequest& request,
                  double timeout_seconds,
                  const std::string& file,
                  DoctorReport* report) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    report->Problem(file, std::string("cannot probe the library: pipe: ") +
                              std::strerror(errno));
    return;
  }
  // Nothing buffered may be written twice, by the child as well.
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    report->Problem(file, std::string("cannot probe the library: fork: ") +
                              std::strerror(errno));
    return;
  }
  if (pid == 0) {
    // The child leads a process group of its own, so that processes the
    // library starts are stopped with it.
    setpgid(0, 0);
    close(fds[0]);
    RunChild(request, fds[1]);
  }
  // Set on both sides, so the group exists whichever side runs first.
  setpgid(pid, pid);
  close(fds[1]);

  const double deadline = Now() + timeout_seconds;
  std::vector<Message> messages;
  bool timed_out = !ReadMessages(fds[0], deadline, &messages);
  close(fds[0]);
  if (!timed_out)
    timed_out = !WaitForEnd(pid, deadline);
  // The child when it still runs, and whatever the library left running;
  // sent while the child is unreaped, so the group's id is still its own.
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);  // Also when no group could be made.
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  std::string step = "starting";
  bool done = false;
  for (const Message& message : messages) {
    if (message.kind == "step")
      step = message.text;
    else if (message.kind == "ok")
      report->Ok(file, message.text);
    else if (message.kind == "note")
      report->Note(file, message.text);
    else if (message.kind == "problem")
      report->Problem(file, message.text);
    else if (message.kind == "done")
      done = true;
  }
  if (done)
    return;
  char seconds[32];
  std::snprintf(seconds, sizeof(seconds), "%g", timeout_seconds);
  if (timed_out) {
    report->Problem(file, std::string("the library did not finish ") + step +
                              " within " + seconds +
                              " s (hangs?): the probe was stopped");
  } else if (WIFSIGNALED(status)) {
    report->Problem(file, "the library crashed while " + step + " (signal " +
                              std::to_string(WTERMSIG(status)) + ", " +
                              strsignal(WTERMSIG(status)) + ")");
  } else {
    report->Problem(file, "the probe ended while " + step + " (exit status " +
                              std::to_string(WEXITSTATUS(status)) + ")");
  }
}

}  // namespace zqext
