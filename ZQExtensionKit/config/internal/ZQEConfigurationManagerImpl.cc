// ZQEConfigurationManagerImpl: state, the three setters, and the directory of
// the running executable.

#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"

#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "ZQExtensionKit/log/ZQELogService.h"

namespace zqextensionkit {

namespace {

// The longest executable path accepted, in bytes.
constexpr uint32_t kMaxRunPathLength = 260;
constexpr size_t kSecKeyLength = 32;

}  // namespace

std::string GetCurrentRunPath() {
  char link[256];
  snprintf(link, sizeof(link), "/proc/%u/exe", static_cast<unsigned>(getpid()));
  // Twice the accepted length, so that an overlong path is seen as such
  // rather than cut to fit.
  char target[521] = {};
  const ssize_t length = readlink(link, target, sizeof(target) - 1);
  // A failed read (-1) converts to the largest value and is refused too.
  if (static_cast<uint32_t>(length) > kMaxRunPathLength || target[0] == '\0')
    return std::string();
  const std::string path(target, static_cast<size_t>(length));
  const size_t last_slash = path.rfind('/');
  return last_slash == std::string::npos ? path : path.substr(0, last_slash);
}

ZQEConfigurationManagerImpl::ZQEConfigurationManagerImpl() = default;

ZQEConfigurationManagerImpl::~ZQEConfigurationManagerImpl() = default;

void ZQEConfigurationManagerImpl::SetFoundationVersion(
    const std::string& version) {
  base::AutoLock lock(lock_);
  _foundation_version = base::Version(version);
  ZQELogService::GetInstance()->LogMessage(
      0, "configuration manager impl - set foundation version is %s",
      version.c_str());
}

bool ZQEConfigurationManagerImpl::SetSecKey(const std::string& key) {
  base::AutoLock lock(lock_);
  if (key.size() != kSecKeyLength) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - set sec key failed, becuase of the "
        "length of key is not equal to 32");
    return false;
  }
  _sec_key = key;
  return true;
}

bool ZQEConfigurationManagerImpl::SetDebugModeEnable(bool enable) {
  base::AutoLock lock(lock_);
  _enableDebugMode = enable;
  return true;
}

bool ZQEConfigurationManagerImpl::SetInstallationDir(const std::string& dir) {
  std::string absolute;
  if (!dir.empty()) {
    // Taken from the current directory now, so that a later change of it
    // does not move the installation, and every message names a full path.
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(dir, error);
    if (error || !std::filesystem::is_directory(path, error) || error) {
      ZQELogService::GetInstance()->LogMessage(
          0,
          "configuration manager impl - set installation dir failed, because "
          "of %s is not a directory",
          dir.c_str());
      return false;
    }
    absolute = path.string();
    while (absolute.size() > 1 && absolute.back() == '/')
      absolute.pop_back();
  }
  {
    base::AutoLock lock(lock_);
    _installation_dir = absolute;
  }
  ZQELogService::GetInstance()->LogMessage(
      0, "configuration manager impl - set installation dir is %s",
      absolute.empty() ? "the executable's directory" : absolute.c_str());
  return true;
}

std::string ZQEConfigurationManagerImpl::GetInstallationDir() {
  {
    base::AutoLock lock(lock_);
    if (!_installation_dir.empty())
      return _installation_dir;
  }
  return GetCurrentRunPath();
}

}  // namespace zqextensionkit
