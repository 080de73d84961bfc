// PluginTemplate: the plug-in project `zqext new-plugin NAME DIR` writes.
//
// The project builds against the installed SDK (find_package(ZQExtensionKit)
// and zq_add_plugin()) into NAME.so, a bundle class and one extension of the
// point "NAME.hello" whose interface is declared in include/NAME/IHello.h,
// and assembles build/installation/, a sample installation (an empty adapter
// mapping, a plain config.json listing the package, the package with the
// library and a manifest carrying its MD5) that passes `zqext doctor`. Class
// and interface ids are fresh random ids.
//
// Thread-safety: none needed.

#ifndef TOOLS_ZQEXT_PLUGINTEMPLATE_H_
#define TOOLS_ZQEXT_PLUGINTEMPLATE_H_

#include <map>
#include <string>

namespace zqext {

// Whether `name` can name a plug-in: a letter, then letters, digits and
// underscores (it becomes a CMake target, a file name and part of a C++
// namespace).
bool IsValidPluginName(const std::string& name);

// The project's files, relative path to content, for a valid `name`.
std::map<std::string, std::string> PluginProjectFiles(const std::string& name);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_PLUGINTEMPLATE_H_
