// SettingMap: the launch settings of an extension (where and how its page
// opens). A plain copyable value; every field is an empty string until set.
//
// `url_` is not an independent setting: the manifest parser fills it with the
// text of `host_` immediately followed by the text of `uri_`.
//
// Threads: a plain value with no synchronisation of its own.

#ifndef ZQEXTENSIONKIT_CONFIG_SETTINGMAP_H_
#define ZQEXTENSIONKIT_CONFIG_SETTINGMAP_H_

#include <string>

namespace zqextensionkit {

struct SettingMap {
  std::string modal_position_;  // "modalPosition"
  std::string modal_size_;      // "modalSize"
  std::string url_;             // host_ followed by uri_
  std::string open_type_;       // "openType"
  std::string host_;            // "host"
  std::string uri_;             // "uri"
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_SETTINGMAP_H_
