// A plug-in whose bundle and extension classes write their own
// QueryInterface, AddRef and Release (tests/plugins/HandWrittenClasses.h).

#include "dlcom/comfactory.h"
#include "tests/plugins/HandWrittenClasses.h"
#include "tests/plugins/TestPlugin.h"

namespace {

constexpr by::ComClassEntry kClasses[] = {
    by::ComClass<hand_written::HandWrittenBundle>(CLSID_HandWrittenBundle),
    by::ComClass<hand_written::HandWrittenExtension>(
        CLSID_HandWrittenExtension),
};

}  // namespace

BY_EXPORT_COM_CLASSES(kClasses)
