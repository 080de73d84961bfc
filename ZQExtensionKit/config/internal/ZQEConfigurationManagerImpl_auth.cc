// ZQEConfigurationManagerImpl: access keys of bundles, the bundle id of an H5
// page, and the host's fetch of missing access keys.

#include <memory>
#include <utility>

#include "ZQExtensionKit/config/ZQEUrlParser.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/log/ZQELogService.h"

namespace zqextensionkit {

namespace {

const char kExtensionAuthInfo[] = "ExtensionAuthInfo";
const char kH5[] = "H5";
const char kNative[] = "Native";
const char kBundleId[] = "bundleId";
const char kAccessKey[] = "accessKey";
const char kAppNamePrefix[] = "appName_";

struct UrlParserDeleter {
  void operator()(ZQEUrlParser* parser) const {
    ZQEUrlParser::destroy(&parser);
  }
};
// Releases the parser on every path.
using ScopedUrlParser = std::unique_ptr<ZQEUrlParser, UrlParserDeleter>;

ScopedUrlParser ParseUrl(const std::string& url) {
  return ScopedUrlParser(ZQEUrlParser::parseUrl(url));
}

// Appends a record for each access-key object of `list` that has non-empty
// string "bundleId" and "accessKey" members.
void AppendAuthInfos(const base::ListValue& list,
                     const std::string& host,
                     std::vector<std::unique_ptr<ZQExtensionAuthInfo>>* out) {
  for (const auto& element : list) {
    const base::DictionaryValue* item = nullptr;
    if (!element->GetAsDictionary(&item))
      continue;
    std::string bundle_id;
    std::string access_key;
    if (!item->GetStringWithoutPathExpansion(kBundleId, &bundle_id) ||
        !item->GetStringWithoutPathExpansion(kAccessKey, &access_key) ||
        bundle_id.empty() || access_key.empty()) {
      continue;
    }
    out->push_back(
        std::make_unique<ZQExtensionAuthInfo>(host, bundle_id, access_key));
  }
}

// The bundle id that a page path names in its first segment,
// "/appName_<bundle id>/...", or "" when it names none.
std::string BundleIdFromPath(const std::string& path) {
  if (path.empty() || path[0] != '/')
    return std::string();
  const size_t second_slash = path.find('/', 1);
  if (second_slash == std::string::npos)
    return std::string();
  const std::string segment = path.substr(1, second_slash - 1);
  const size_t prefix_length = sizeof(kAppNamePrefix) - 1;
  if (segment.size() <= prefix_length ||
      segment.compare(0, prefix_length, kAppNamePrefix) != 0) {
    return std::string();
  }
  return segment.substr(prefix_length);
}

// Whether an access-key record served from `record_host` matches a page with
// this scheme, host name and port. Records without a scheme or a host name
// (native records among them) match nothing; a record without a port matches
// every port.
bool HostMatches(const std::string& record_host, const ZQEUrlParser& page) {
  ScopedUrlParser record = ParseUrl(record_host);
  return !record->scheme.empty() && !record->hostName.empty() &&
         record->scheme == page.scheme && record->hostName == page.hostName &&
         (record->port.empty() || record->port == page.port);
}

}  // namespace

void ZQEConfigurationManagerImpl::ParseExtensionAuthInfos(
    const base::DictionaryValue& root) {
  const base::DictionaryValue* section = nullptr;
  if (!root.GetDictionaryWithoutPathExpansion(kExtensionAuthInfo, &section))
    return;
  base::AutoLock lock(lock_);
  const base::DictionaryValue* h5 = nullptr;
  if (section->GetDictionaryWithoutPathExpansion(kH5, &h5)) {
    // Member names are host URL texts, taken literally.
    for (base::DictionaryValue::Iterator it(*h5); !it.IsAtEnd(); it.Advance()) {
      const base::ListValue* list = nullptr;
      if (it.value().GetAsList(&list))
        AppendAuthInfos(*list, it.key(), &_authInfos);
    }
  }
  const base::ListValue* native = nullptr;
  if (section->GetListWithoutPathExpansion(kNative, &native))
    AppendAuthInfos(*native, std::string(), &_authInfos);
}

std::string ZQEConfigurationManagerImpl::GetExtensionAccessKey(
    const std::string& bundleId) {
  base::AutoLock lock(lock_);
  if (bundleId.empty())
    return std::string();
  for (const auto& info : _authInfos) {
    if (info->GetBundleId() == bundleId)
      return info->GetAccessKey();
  }
  return std::string();
}

std::string ZQEConfigurationManagerImpl::GetH5ExtensionBundleId(
    const std::string& url) {
  base::AutoLock lock(lock_);
  if (url.empty())
    return std::string();
  ScopedUrlParser page = ParseUrl(url);
  const std::string path_bundle_id = BundleIdFromPath(page->path);
  for (const auto& info : _authInfos) {
    if (!HostMatches(info->GetHost(), *page))
      continue;
    const std::string bundle_id = info->GetBundleId();
    // Without a bundle id in the path the first record of the host decides;
    // with one, only a record of that bundle id does.
    if (path_bundle_id.empty() || bundle_id == path_bundle_id)
      return bundle_id;
  }
  return std::string();
}

void ZQEConfigurationManagerImpl::SetFetchExtensionAuthInfoCallback(
    const FetchExtensionAuthInfoCallback& callback) {
  FetchExtensionAuthInfoCallback previous;
  base::AutoLock lock(lock_);
  // The replaced callable (host code) is destroyed after the lock is
  // released: `previous` is declared before the lock.
  previous = std::move(_fetchExtensionAuthInfo);
  _fetchExtensionAuthInfo = callback;
}

void ZQEConfigurationManagerImpl::CheckAndFetchExtensionAuthInfo() {
  std::vector<std::string> bundle_ids;
  FetchExtensionAuthInfoCallback fetch;
  {
    base::AutoLock lock(lock_);
    for (const auto& info : _authInfos) {
      if (info->GetAccessKey().empty())
        bundle_ids.push_back(info->GetBundleId());
    }
    fetch = _fetchExtensionAuthInfo;
  }
  if (bundle_ids.empty())
    return;
  ZQELogService::GetInstance()->LogMessage(
      0,
      "configuration manager impl - total(%d) bundleIds were found without "
      "access key",
      static_cast<int>(bundle_ids.size()));
  if (!fetch)
    return;

  // The host may answer before it returns, on this thread, or later on any
  // other: no lock is held here, and the callables take `lock_` themselves.
  auto on_success = [this](const std::map<std::string, std::string>& keys) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - fetch extension auth info success, "
        "total(%d)",
        static_cast<int>(keys.size()));
    ApplyFetchedAccessKeys(keys);
  };
  auto on_failure = [](const std::string& reason) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - fetch extension auth info failed, "
        "becuase of %s",
        reason.c_str());
  };
  if (!CallForeignCode([&] { fetch(bundle_ids, on_success, on_failure); }))
    on_failure("fetch callback execute failed");
}

void ZQEConfigurationManagerImpl::ApplyFetchedAccessKeys(
    const std::map<std::string, std::string>& keys) {
  base::AutoLock lock(lock_);
  for (const auto& key : keys) {
    // Every record of the bundle id, not only the first.
    for (const auto& info : _authInfos) {
      if (info->GetBundleId() == key.first)
        info->SetAccessKey(key.second);
    }
  }
}

}  // namespace zqextensionkit
