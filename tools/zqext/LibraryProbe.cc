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

#include "ZQExtensionKit/bundle/IZQEBundle.h"
#include "ZQExtensionKit/extension/IZQBaseExtension.h"
#include "dlcom/guidstring.h"
#include "dlcom/loadcom.h"

namespace zqext {

namespace {

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

std::string HresultText(HRESULT hr) {
  char text[32];
  std::snprintf(text, sizeof(text), "HRESULT 0x%08" PRIx64,
                static_cast<uint64_t>(hr));
  return text;
}

// Everything the child does; never returns.
[[noreturn]] void RunChild(const ProbeRequest& request, int out) {
  // The loader writes trace lines to standard output; the report is the
  // parent's, and nothing the library prints may reach it.
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
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
  if (!loader.LoadCom(path)) {
    Send(out, "problem",
         "DllGetClassObject hands out no framework class factory "
         "(IComObjectFrameworkClassFactory for CLSID_MDClassFactory): the "
         "kit unloads the library again");
    Send(out, "done", "");
    _exit(0);
  }
  Send(out, "ok", "framework class factory obtained");

  by::com_ptr<zqextensionkit::IZQEBundle> bundle;
  if (!request.bundle_clsid.empty()) {
    const std::string& clsid = request.bundle_clsid;
    Send(out, "step", "creating the bundle class " + clsid);
    const HRESULT hr = loader.CreateInstance(
        S2GUIDA(clsid.c_str(), true), nullptr, nullptr,
        by::__uuid_s<zqextensionkit::IZQEBundle>::iid, bundle.vpp());
    if (hr != S_OK || !bundle) {
      Send(out, "problem",
           "the bundle class " + clsid + " is not created for IZQEBundle (" +
               HresultText(hr) +
               "): the kit keeps the library loaded without a bundle object");
    } else {
      Send(out, "step", "initialising the bundle " + clsid);
      bundle->Initialize();
      Send(out, "ok", "bundle class " + clsid + " created and initialised");
    }
  }

  for (const ProbeRequest::ExtensionClass& extension : request.extensions) {
    const std::string subject = "extension " + extension.extension_id +
                                " (class " + extension.clsid + ")";
    Send(out, "step", "creating " + subject);
    by::com_ptr<zqextensionkit::IZQBaseExtension> base;
    const HRESULT hr = loader.CreateInstance(
        S2GUIDA(extension.clsid.c_str(), true), nullptr, nullptr,
        by::__uuid_s<zqextensionkit::IZQBaseExtension>::iid, base.vpp());
    if (hr != S_OK || !base) {
      Send(out, "problem",
           subject + " is not created for IZQBaseExtension (" +
               HresultText(hr) + "): the extension manager skips it");
      continue;
    }
    Send(out, "step", "asking " + subject + " for " + extension.iid);
    void* point_interface = nullptr;
    if (base->QueryInterface(S2GUIDA(extension.iid.c_str(), true),
                             &point_interface) != S_OK ||
        point_interface == nullptr) {
      Send(out, "problem",
           subject + " does not answer the point's interface " + extension.iid +
               ": the extension manager skips it");
      continue;
    }
    static_cast<by::IBaseUnknown*>(point_interface)->Release();
    Send(out, "ok", subject + " is created and answers " + extension.iid);
  }

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
    close(fds[0]);
    RunChild(request, fds[1]);
  }
  close(fds[1]);

  std::string received;
  bool timed_out = false;
  const double deadline = Now() + timeout_seconds;
  for (;;) {
    const double left = deadline - Now();
    if (left <= 0) {
      timed_out = true;
      break;
    }
    pollfd poll_fd = {fds[0], POLLIN, 0};
    const int ready = poll(&poll_fd, 1, static_cast<int>(left * 1000) + 1);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready == 0)
      continue;  // The deadline is checked above.
    char buffer[4096];
    const ssize_t count = ready < 0 ? -1 : read(fds[0], buffer, sizeof(buffer));
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      break;  // End of the child's messages.
    received.append(buffer, static_cast<size_t>(count));
  }
  close(fds[0]);
  if (timed_out)
    kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  std::string step = "starting";
  bool done = false;
  size_t start = 0;
  for (size_t end; (end = received.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = received.substr(start, end - start);
    const size_t tab = line.find('\t');
    const std::string kind = line.substr(0, tab);
    const std::string text =
        tab == std::string::npos ? std::string() : line.substr(tab + 1);
    if (kind == "step")
      step = text;
    else if (kind == "ok")
      report->Ok(file, text);
    else if (kind == "note")
      report->Note(file, text);
    else if (kind == "problem")
      report->Problem(file, text);
    else if (kind == "done")
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
