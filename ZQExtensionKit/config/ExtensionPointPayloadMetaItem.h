// ExtensionPointPayloadMetaItem: describes one payload key that an extension
// point accepts (its key, display name, value type, whether it is required and
// the values it may take). A plain copyable value.
//
// No manifest key fills these records today; an extension point reports an
// empty list of them.

#ifndef ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINTPAYLOADMETAITEM_H_
#define ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINTPAYLOADMETAITEM_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zqextensionkit {

// The type of a payload's value.
enum ExtensionPointPayloadMetaItemType : int32_t {
  ExtensionPointPayloadMetaItemTypeUnkown = -1,
  ExtensionPointPayloadMetaItemTypeString = 0,
  ExtensionPointPayloadMetaItemTypeBoolean = 1,
  ExtensionPointPayloadMetaItemTypeInt = 2,
};

struct ExtensionPointPayloadMetaItem {
  std::string key_;   // the payload's key
  std::string name_;  // its display name
  ExtensionPointPayloadMetaItemType type_ =
      ExtensionPointPayloadMetaItemTypeUnkown;  // its value's type
  bool is_required_ = false;                    // whether it must be given
  std::vector<std::string> options_;            // the values it may take
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_EXTENSIONPOINTPAYLOADMETAITEM_H_
