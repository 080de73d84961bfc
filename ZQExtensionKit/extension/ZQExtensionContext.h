// ZQExtensionContext: what the kit tells an extension instance about itself
// (payload values, constraints, resources and library directories, launch
// parameters, ids), and LaunchParams, the window an extension opens.
//
// The extension manager fills an instance's context (reached through
// IZQBaseExtension::GetContext()) right before it calls the instance's
// Initialization(); an instance handed out again (a singleton) is filled
// again each time. The setters of the maps and paths refuse an empty value
// and keep what an earlier filling stored; SetLaunchParams, SetExtensionId
// and SetUnifiedId store whatever they are given, empty or not.
//
// Header-only plain class with no virtual operations: the kit and each
// plug-in library compile their own copy of this code, and the kit fills a
// context that a plug-in allocated. Both sides must therefore be built with
// the same C++ standard library ABI, as for every std::string crossing the
// component interfaces.
//
// Ownership: a context belongs to its extension instance (ZQBaseExtension
// creates and destroys it). Getters return copies. Nothing here fails except
// as described, logs or throws (beyond std::bad_alloc).
//
// Threads: no locking. The thread that obtains an instance fills its context;
// one instance is not filled from two threads at once.
//
//   std::string title;
//   if (GetContext()->ValueForKey("title", title))
//     ShowButton(title);

#ifndef ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONCONTEXT_H_
#define ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONCONTEXT_H_

#include <map>
#include <string>
#include <vector>

namespace zqextensionkit {

// Where and how an extension opens its window; filled from the fields of the
// same names of the extension's SettingMap.
struct LaunchParams {
  std::string modal_position_;  // where the window opens
  std::string modal_size_;      // its size
  std::string url_;             // what it shows
  std::string open_type_;       // how it opens
};

class ZQExtensionContext {
 public:
  // Replaces the payloads whole (a key only in the old map is gone). An empty
  // map returns false and keeps the payloads there were.
  bool SetPayloads(const std::map<std::string, std::string>& payloads) {
    if (payloads.empty())
      return false;
    payloads_ = payloads;
    return true;
  }

  // Replaces the constraints whole; an empty map returns false and keeps
  // them.
  bool SetConstraints(
      const std::map<std::string, std::vector<std::string>>& constraints) {
    if (constraints.empty())
      return false;
    constraints_ = constraints;
    return true;
  }

  // An empty path returns false and keeps the stored one.
  bool SetResourcesPath(const std::string& resources_path) {
    if (resources_path.empty())
      return false;
    resources_path_ = resources_path;
    return true;
  }

  // The "bin" directory under the extension's package. An empty path returns
  // false and keeps the stored one.
  bool SetBinDirPath(const std::string& bin_dir_path) {
    if (bin_dir_path.empty())
      return false;
    bin_dir_path_ = bin_dir_path;
    return true;
  }

  // Stores all four fields, empty or not.
  void SetLaunchParams(const LaunchParams& launch_params) {
    launch_params_ = launch_params;
  }

  // Store the value, empty or not.
  void SetExtensionId(const std::string& extension_id) {
    extension_id_ = extension_id;
  }
  // Store the value, empty or not.
  void SetUnifiedId(const std::string& unified_id) { unified_id_ = unified_id; }

  // Copies the payload of `key` (compared byte for byte) into `value` and
  // returns true; false, with `value` untouched, when there is none.
  bool ValueForKey(const std::string& key, std::string& value) const {
    auto it = payloads_.find(key);
    if (it == payloads_.end())
      return false;
    value = it->second;
    return true;
  }

  // Replaces `constraint` with the values of `key` and returns true; false,
  // with `constraint` untouched, when there are none.
  bool ConstraintForKey(const std::string& key,
                        std::vector<std::string>& constraint) const {
    auto it = constraints_.find(key);
    if (it == constraints_.end())
      return false;
    constraint = it->second;
    return true;
  }

  // The package's resources directory.
  std::string GetResourcesPath() const { return resources_path_; }
  // The directory of the package's entry library.
  std::string GetBinDirPath() const { return bin_dir_path_; }
  // The launch settings; empty unless they name an open type and a host.
  LaunchParams GetLaunchParams() const { return launch_params_; }
  // The extension's id in its manifest.
  std::string GetExtensionId() const { return extension_id_; }
  // The extension's unified id.
  std::string GetUnifiedId() const { return unified_id_; }

 private:
  std::map<std::string, std::string> payloads_;
  std::map<std::string, std::vector<std::string>> constraints_;
  std::string resources_path_;
  std::string bin_dir_path_;
  LaunchParams launch_params_;
  std::string extension_id_;
  std::string unified_id_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONCONTEXT_H_
