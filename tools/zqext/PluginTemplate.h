// PluginTemplate: the plug-in project `zqext new-plugin NAME DIR` writes.
//
// The project builds against the installed SDK (find_package(ZQExtensionKit)
// and zq_add_plugin()) into NAME.so, a bundle class and one extension of the
// point "NAME.hello" whose interface is declared in include/NAME/IHello.h,
// and assembles build/installation/, a sample installation (an empty adapter
// mapping, a plain config.json listing the package, the package with the
// library and a manifest carrying its MD5) that passes `zqext doctor`, with
// a sample host beside it that the build runs. The ids code and manifest
// share are written once, in include/NAME/Ids.h, from which the build fills
// the manifest; class and interface ids are fresh random ids.
//
// Thread-safety: all functions may be called from any thread.

#ifndef TOOLS_ZQEXT_PLUGINTEMPLATE_H_
#define TOOLS_ZQEXT_PLUGINTEMPLATE_H_

#include <map>
#include <string>

namespace zqext {

// Whether `name` can name a plug-in: a letter, then letters, digits and
// underscores (it becomes a CMake target, a file name and part of a C++
// namespace).
bool IsValidPluginName(const std::string& name);

// A fresh random id in the form manifests hold: "{XXXXXXXX-XXXX-...}", 38
// characters, upper-case hex. Empty when the random generator fails.
std::string NewId();

// The project's files, relative path to content, for a valid `name`.
// `sdk_prefix` is where the SDK is installed, for the commands the project's
// comments suggest; empty puts a placeholder there. Empty when no fresh ids
// could be made.
std::map<std::string, std::string> PluginProjectFiles(
    const std::string& name,
    const std::string& sdk_prefix);

}  // namespace zqext

#endif  // TOOLS_ZQEXT_PLUGINTEMPLATE_H_
