// ZQEConfigurationManagerImpl: the remote configuration that the host's data
// source delivers, and its merge into the local configuration.

#include <algorithm>
#include <memory>
#include <utility>

#include "ZQExtensionKit/config/ExtensionFactory.h"
#include "ZQExtensionKit/config/internal/ZQEConfigurationManagerImpl.h"
#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"

namespace zqextensionkit {

namespace {

const char kEntryExtensionPointId[] = "extensionPointId";

// The records of one remote extension point that the mapping knows, ready to
// merge into its internal point.
struct MappedRemotePoint {
  std::string internal_id;
  // Copies of the remote records, which the merge may change. A record of
  // some other Extension class cannot be copied; it is kept as delivered and
  // only read (nothing the merge calls changes such a record).
  std::vector<std::shared_ptr<Extension>> records;
};

// The message of a data source that threw while delivering its data.
void LogGetRemoteDataFailed() {
  ZQELogService::GetInstance()->LogMessage(
      0,
      "configuration manager impl - merge remote config failed, because of "
      "data source get data failed");
}

}  // namespace

void ZQEConfigurationManagerImpl::SetRemoteConfigDataSource(
    std::shared_ptr<IZQERemoteConfigDataSource> dataSource) {
  base::AutoLock lock(lock_);
  // `dataSource` leaves with the previous source, which is released after
  // the lock (it was declared first).
  _remoteConfigDataSource.swap(dataSource);
}

std::shared_ptr<IZQERemoteConfigDataSource>
ZQEConfigurationManagerImpl::GetRemoteConfigDataSource() {
  base::AutoLock lock(lock_);
  return _remoteConfigDataSource;
}

void ZQEConfigurationManagerImpl::FetchRemoteConfig(
    bool applyAfterSuccess,
    const FetchRemoteConfigSuccess& onSuccess,
    const FetchRemoteConfigFailure& onFailure) {
  std::shared_ptr<IZQERemoteConfigDataSource> source =
      GetRemoteConfigDataSource();
  if (!source)
    return;
  // The fetch completes with the source it was started with, whatever the
  // host installs in the meantime. The callables run on the source's
  // thread: nothing the host's code throws in them goes back to it.
  auto onFetchDataSuccess = [this, source, applyAfterSuccess, onSuccess]() {
    if (applyAfterSuccess) {
      bool has_cache = false;
      if (!CallForeignCode([&] { has_cache = source->HasCache(); }))
        LogGetRemoteDataFailed();
      else if (has_cache)
        GetRemoteDataAndMerge(source.get());
    }
    if (onSuccess && !CallForeignCode(onSuccess)) {
      ZQELogService::GetInstance()->LogMessage(
          0,
          "configuration manager impl - fetch remote config success callback "
          "execute failed");
    }
  };
  auto onFetchDataFailure = [onFailure](const std::string& reason) {
    if (onFailure && !CallForeignCode([&] { onFailure(reason); })) {
      ZQELogService::GetInstance()->LogMessage(
          0,
          "configuration manager impl - fetch remote config failure callback "
          "execute failed");
    }
  };
  if (!CallForeignCode(
          [&] { source->FetchData(onFetchDataSuccess, onFetchDataFailure); })) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - fetch remote config failed, because of "
        "data source fetch data failed");
  }
}

bool ZQEConfigurationManagerImpl::LoadRemoteConfig() {
  std::shared_ptr<IZQERemoteConfigDataSource> source =
      GetRemoteConfigDataSource();
  if (!source)
    return false;
  bool loaded = false;
  if (!CallForeignCode([&] { loaded = source->LoadData(); })) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "configuration manager impl - load remote config failed, because of "
        "data source load data failed");
    return false;
  }
  return loaded && GetRemoteDataAndMerge(source.get());
}

bool ZQEConfigurationManagerImpl::GetRemoteDataAndMerge(
    IZQERemoteConfigDataSource* source) {
  ZQETraceSpan span("remote merge", trace_category::kRemote);
  ExtensionConfig config;
  std::vector<std::shared_ptr<ZQExtensionAuthInfo>> auth_infos;
  {
    base::AutoLock lock(lock_);
    config = _remoteConfig;
    auth_infos = _remoteAuthInfos;
  }
  // Host code, called with no lock held: it may ask the manager anything.
  // It fills copies, so a source that throws halfway changes nothing.
  if (!CallForeignCode([&] {
        ZQETraceSpan getting("GetData", trace_category::kRemote);
        getting.Outcome("threw");
        source->GetData(&config, &auth_infos);
        getting.Outcome("done");
      })) {
    LogGetRemoteDataFailed();
    return span.Result(false);
  }
  span.Number("points", static_cast<int64_t>(config.size()));

  base::AutoLock lock(lock_);
  ZQETraceSpan merging("merge", trace_category::kRemote);
  // The replaced data is released after the lock (declared before it).
  _remoteConfig.swap(config);
  _remoteAuthInfos.swap(auth_infos);
  MergeRemoteConfigWithLocalConfig();
  return span.Result(true);
}

void ZQEConfigurationManagerImpl::MergeRemoteConfigWithLocalConfig() {
  // Only remote points that the mapping knows take part, each under the id
  // of its internal point.
  std::vector<MappedRemotePoint> mapped;
  for (const auto& remote_point : _remoteConfig) {
    const base::DictionaryValue* entry =
        GetExtensionAdapterInfoById(remote_point.first);
    if (!entry)
      continue;
    MappedRemotePoint point;
    entry->GetStringWithoutPathExpansion(kEntryExtensionPointId,
                                         &point.internal_id);
    for (const std::shared_ptr<Extension>& remote : remote_point.second) {
      if (!remote)
        continue;
      Extension* copy = nullptr;
      ExtensionFactory::CopyExtension(remote.get(), &copy);
      point.records.push_back(copy ? std::shared_ptr<Extension>(copy) : remote);
    }
    mapped.push_back(std::move(point));
  }

  // First every remote record takes over what its local native namesake
  // knows, against the local lists as they were; then each internal list is
  // emptied once, so that two remote points feeding one internal point both
  // keep their records.
  for (MappedRemotePoint& point : mapped) {
    auto local = _localConfig.find(point.internal_id);
    if (local == _localConfig.end())
      continue;
    for (const std::shared_ptr<Extension>& remote : point.records) {
      for (const std::shared_ptr<Extension>& record : local->second) {
        ExtensionFactory::ExtractLocalNativeExtensionInfoToRemote(remote.get(),
                                                                  record.get());
      }
    }
  }
  for (const MappedRemotePoint& point : mapped) {
    auto local = _localConfig.find(point.internal_id);
    if (local != _localConfig.end())
      local->second.clear();
  }
  LocalConfigIdIndex index;
  for (const MappedRemotePoint& point : mapped) {
    for (const std::shared_ptr<Extension>& record : point.records) {
      if (record->IsNative())
        InsertExtensionsToLocalConfig(point.internal_id, {record.get()},
                                      &index);
      else
        InsertExtensionAdapterToLocalConfig(record.get());
    }
  }

  // Access keys: a remote record replaces the local one of the same bundle id
  // and host, or joins the list.
  for (const std::shared_ptr<ZQExtensionAuthInfo>& remote : _remoteAuthInfos) {
    if (!remote)
      continue;
    auto merged = std::make_unique<ZQExtensionAuthInfo>(
        remote->GetHost(), remote->GetBundleId(), remote->GetAccessKey());
    auto same = std::find_if(
        _authInfos.begin(), _authInfos.end(),
        [&merged](const std::unique_ptr<ZQExtensionAuthInfo>& local) {
          return local->GetBundleId() == merged->GetBundleId() &&
                 local->GetHost() == merged->GetHost();
        });
    if (same != _authInfos.end())
      *same = std::move(merged);
    else
      _authInfos.push_back(std::move(merged));
  }
}

}  // namespace zqextensionkit
