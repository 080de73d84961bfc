#include "tools/zqext/LibraryProbe.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "ZQExtensionKit/bundle/IZQEBundle.h"
#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/extension/IZQBaseExtension.h"
#include "ZQExtensionKit/log/ZQELogService.h"
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
  // The report is the parent's: the loader's trace lines are turned off,
  // and nothing the library prints may reach it either. The pipe is moved
  // above standard error first, should it be one of the three.
  zqextensionkit::ZQELogService::GetInstance()->SetLoaderTraceOutput(
      zqextensionkit::ZQELoaderTraceOutput::kNone);
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

// Moves the complete lines at the front of `received` into `messages`.
void TakeMessages(std::string* received, std::vector<Message>* messages) {
  size_t start = 0;
  for (size_t end; (end = received->find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = received->substr(start, end - start);
    const size_t tab = line.find('\t');
    messages->push_back(Message{
        line.substr(0, tab),
        tab == std::string::npos ? std::string() : line.substr(tab + 1)});
  }
  received->erase(0, start);
}

// Reads what `fd` holds into `received`: false at its end or on an error
// (EAGAIN included, for a descriptor that does not block).
bool ReadInto(int fd, std::string* received) {
  char buffer[4096];
  ssize_t count;
  do {
    count = read(fd, buffer, sizeof(buffer));
  } while (count < 0 && errno == EINTR);
  if (count <= 0)
    return false;
  received->append(buffer, static_cast<size_t>(count));
  return true;
}

// The processes whose parent is `parent`, found in /proc (ended ones not
// yet reaped among them); false when /proc cannot be read.
bool ChildrenOf(pid_t parent, std::vector<pid_t>* children) {
  children->clear();
  DIR* proc = opendir("/proc");
  if (proc == nullptr)
    return false;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0')
      continue;
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%ld/stat", pid);
    // "pid (name) state ppid ...": the name may hold anything but is at
    // most 15 bytes, and nothing after it holds a ')'.
    char stat[256];
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      continue;  // Ended meanwhile.
    const ssize_t count = read(fd, stat, sizeof(stat) - 1);
    close(fd);
    if (count <= 0)
      continue;
    stat[count] = '\0';
    const char* name_end = std::strrchr(stat, ')');
    char state = 0;
    long ppid = 0;
    if (name_end != nullptr &&
        std::sscanf(name_end + 1, " %c %ld", &state, &ppid) == 2 &&
        ppid == parent) {
      children->push_back(static_cast<pid_t>(pid));
    }
  }
  closedir(proc);
  return true;
}

// Kills and reaps every child of this process, and then the children that
// each leaves behind (which a child subreaper adopts), until none is left.
// Stops early only when /proc cannot be read or a child cannot be seen
// there; what is left then is reaped by whoever adopts it.
void StopChildren() {
  std::vector<pid_t> children;
  for (;;) {
    const bool listed = ChildrenOf(getpid(), &children);
    for (pid_t child : children)
      kill(child, SIGKILL);
    // A child killed ends soon; without one, only what has ended is reaped.
    const pid_t reaped =
        waitpid(-1, nullptr, listed && !children.empty() ? 0 : WNOHANG);
    if (reaped > 0 || (reaped < 0 && errno == EINTR))
      continue;
    return;  // None left (ECHILD), or only children out of sight (0).
  }
}

// The keeper stands between zqext and the child that loads the library. As
// a child subreaper it adopts every process that the child starts and that
// loses its parent, so each of them stays its descendant, also after
// setsid(). It waits until the child ends, or until `stop` reaches its end
// (zqext has closed the other end: the time is up, or zqext itself ended),
// sends zqext the child's wait status over `status_out` in the first case,
// and then kills and reaps all its descendants before it ends.
//
// It leads a process group of its own, so that a terminal's interrupt ends
// zqext but not the keeper, which then still stops the rest. SIGPIPE is
// blocked: it must finish even when zqext is gone.
[[noreturn]] void RunKeeper(const ProbeRequest& request,
                            int out,
                            int status_out,
                            int stop) {
  setpgid(0, 0);
  sigset_t blocked;
  sigset_t original;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGCHLD);
  sigaddset(&blocked, SIGPIPE);
  sigprocmask(SIG_BLOCK, &blocked, &original);
  sigset_t child_ended;
  sigemptyset(&child_ended);
  sigaddset(&child_ended, SIGCHLD);
  const int ended_fd = signalfd(-1, &child_ended, SFD_CLOEXEC | SFD_NONBLOCK);
  prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);

  const pid_t pid = fork();
  if (pid < 0) {
    Send(
        out, "problem",
        std::string("cannot probe the library: fork: ") + std::strerror(errno));
    Send(out, "done", "");
    _exit(0);
  }
  if (pid == 0) {
    // The library runs as in a host: no signal blocked that the keeper
    // blocks, and none of the keeper's descriptors open. It leads a process
    // group of its own.
    sigprocmask(SIG_SETMASK, &original, nullptr);
    if (ended_fd >= 0)
      close(ended_fd);
    close(status_out);
    close(stop);
    setpgid(0, 0);
    RunChild(request, out);
  }
  setpgid(pid, pid);  // On both sides, whichever runs first.
  close(out);

  bool ended = false;
  for (;;) {
    // The child's end is noticed without reaping it: while it is unreaped,
    // its id, which is also its process group's, stays taken.
    siginfo_t info = {};
    const int result = waitid(P_PID, static_cast<id_t>(pid), &info,
                              WEXITED | WNOHANG | WNOWAIT);
    if (result == 0 && info.si_pid == pid) {
      ended = true;
      break;
    }
    if (result != 0 && errno != EINTR)
      break;  // Not a child of this process (cannot happen).
    pollfd ready[2] = {{stop, POLLIN, 0}, {ended_fd, POLLIN, 0}};
    // Without a signalfd, the child's end is looked for every 10 ms.
    if (poll(ready, ended_fd >= 0 ? 2 : 1, ended_fd >= 0 ? -1 : 10) < 0)
      continue;
    if (ready[0].revents != 0)
      break;
    signalfd_siginfo signal_info;
    while (ended_fd >= 0 &&
           read(ended_fd, &signal_info, sizeof(signal_info)) > 0) {
    }
  }
  // The child's process group first (the child is still unreaped), then
  // every other descendant, whatever group or session it is in now.
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  if (ended) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ssize_t written;
    do {
      written = write(status_out, &status, sizeof(status));
    } while (written < 0 && errno == EINTR);
  }
  StopChildren();
  _exit(0);
}

}  // namespace

void ProbeLibrary(const ProbeRequest& request,
                  double timeout_seconds,
                  const std::string& file,
                  DoctorReport* report) {
  // The child's messages; the child's wait status, from the keeper; and
  // the keeper's signal to stop, given by closing `stop[1]`.
  int out[2];
  int status[2];
  int stop[2];
  const auto cannot = [&](const char* call) {
    report->Problem(file, std::string("cannot probe the library: ") + call +
                              ": " + std::strerror(errno));
  };
  if (pipe2(out, O_CLOEXEC) != 0) {
    cannot("pipe");
    return;
  }
  if (pipe2(status, O_CLOEXEC) != 0) {
    cannot("pipe");
    close(out[0]);
    close(out[1]);
    return;
  }
  if (pipe2(stop, O_CLOEXEC) != 0) {
    cannot("pipe");
    for (int fd : {out[0], out[1], status[0], status[1]})
      close(fd);
    return;
  }
  // Nothing buffered may be written twice, by the child as well.
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t keeper = fork();
  if (keeper < 0) {
    cannot("fork");
    for (int fd : {out[0], out[1], status[0], status[1], stop[0], stop[1]})
      close(fd);
    return;
  }
  if (keeper == 0) {
    close(out[0]);
    close(status[0]);
    close(stop[1]);
    RunKeeper(request, out[1], status[1], stop[0]);
  }
  close(out[1]);
  close(status[1]);
  close(stop[0]);

  // Until the child ends (crashed or not) or the time is up. The end of
  // the messages' pipe says nothing: a process the library started may
  // hold it open, and the library may have closed it.
  const double deadline = Now() + timeout_seconds;
  std::string received;
  std::vector<Message> messages;
  int child_status = 0;
  bool ended = false;
  bool keeper_ended = false;
  pollfd ready[2] = {{out[0], POLLIN, 0}, {status[0], POLLIN, 0}};
  while (!ended && !keeper_ended) {
    const double left = deadline - Now();
    if (left <= 0)
      break;
    const int count = poll(ready, 2, static_cast<int>(left * 1000) + 1);
    if (count < 0 && errno != EINTR)
      break;
    if (count <= 0)
      continue;  // The deadline is checked above.
    if (ready[0].revents != 0) {
      if (ReadInto(out[0], &received))
        TakeMessages(&received, &messages);
      else
        ready[0].fd = -1;  // Its end: poll() leaves it out from now on.
    }
    if (ready[1].revents != 0) {
      ssize_t got;
      do {
        got = read(status[0], &child_status, sizeof(child_status));
      } while (got < 0 && errno == EINTR);
      ended = got == sizeof(child_status);
      keeper_ended = !ended;  // It ended without a word.
    }
  }
  const bool timed_out = !ended && !keeper_ended;

  // The keeper stops whatever still runs and ends; then nothing of the
  // probe is left, and what the child wrote is read without blocking.
  close(stop[1]);
  int keeper_status = 0;
  while (waitpid(keeper, &keeper_status, 0) < 0 && errno == EINTR) {
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  while (ReadInto(out[0], &received)) {
  }
  TakeMessages(&received, &messages);
  close(out[0]);
  close(status[0]);
  if (keeper_ended)
    child_status = keeper_status;

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
    if (done)
      break;  // Nothing after it is the child's.
  }
  if (done)
    return;
  char seconds[32];
  std::snprintf(seconds, sizeof(seconds), "%g", timeout_seconds);
  if (timed_out) {
    report->Problem(file, std::string("the library did not finish ") + step +
                              " within " + seconds +
                              " s (hangs?): the probe was stopped");
  } else if (WIFSIGNALED(child_status)) {
    report->Problem(file, "the library crashed while " + step + " (signal " +
                              std::to_string(WTERMSIG(child_status)) + ", " +
                              strsignal(WTERMSIG(child_status)) + ")");
  } else {
    report->Problem(file, "the probe ended while " + step + " (exit status " +
                              std::to_string(WEXITSTATUS(child_status)) + ")");
  }
}

}  // namespace zqext
