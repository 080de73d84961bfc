// ArtifactParser: reads a package's manifest.json into an Artifact that owns
// its extension points and their extensions, and parses single extension
// objects from other JSON sources (the adapter records).
//
// Manifest keys, all optional unless noted:
//   top level:        "id", "version", "foundationVersion", "mainEntry",
//                     "libFileMD5", "signMD5", "BundleClassId" (strings),
//                     "extensionPoints" (array of objects)
//   extension point:  "id" (string, required), "type" (read, not used),
//                     "iid" (string), "extensions" (array of objects)
//   extension:        "id" (string, required), "version", "clsid",
//                     "unifiedId" (strings), "isSingleton" (boolean, true
//                     when absent), "payloads" (object; its non-empty string
//                     members), "constraints" (array of {"key": string,
//                     "value": array of strings}; the first object of a key
//                     wins), "settingMap" (object of "modalPosition",
//                     "modalSize", "host", "uri", "openType" strings)
// A key of another JSON type counts as missing. A point or extension without
// a string "id" is dropped; its siblings still load.
//
// Ownership: on success Parse() and ParseArtifact() hand the caller a new
// Artifact it must own; ParseExtensionPoint() and ParseExtension() hand the
// caller a new record that nobody owns yet (the caller adds it to its parent).
// On failure the out-parameter is left untouched.
//
// Failure is reported only by the bool results (and, for Parse(), by an
// optional ParseFailure saying which step failed): nothing here logs or
// throws on bad input. Stateless; every operation may run on any thread.

#ifndef ZQEXTENSIONKIT_CONFIG_INTERNAL_ARTIFACTPARSER_H_
#define ZQEXTENSIONKIT_CONFIG_INTERNAL_ARTIFACTPARSER_H_

#include <string>
#include <string_view>

#include "base/memory/scoped_ptr.h"

namespace base {
inline namespace zqe {
class DictionaryValue;
class FilePath;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

// The manifest's top-level string keys, and the five string keys of a
// "settingMap" object, in the order the parser reads them: for tools that
// check manifests against what the parser takes.
enum ManifestStringKey {
  kManifestId,
  kManifestVersion,
  kManifestFoundationVersion,
  kManifestMainEntry,
  kManifestLibFileMD5,
  kManifestSignMD5,
  kManifestBundleClassId,
  kManifestStringKeyCount
};
inline constexpr const char* kManifestStringKeys[kManifestStringKeyCount] = {
    "id",         "version", "foundationVersion", "mainEntry",
    "libFileMD5", "signMD5", "BundleClassId"};
inline constexpr std::string_view kSettingMapKeys[] = {
    "modalPosition", "modalSize", "host", "uri", "openType"};

class Artifact;
class ExtensionImpl;
class ExtensionPointImpl;

class ArtifactParser {
 public:
  // Which step of Parse() failed.
  struct ParseFailure {
    enum Kind {
      kNone,
      kNoPackageDir,  // The package directory does not exist.
      kNoManifest,    // It holds no manifest.json.
      kUnreadable,    // Not a regular file, unreadable or too large.
      kNotJson,       // Not JSON: see line, column and cause.
      kNotObject,     // Its top level is not an object.
      kNoArtifact,    // No out-parameter was given.
    };
    Kind kind = kNone;
    int line = 0;       // 1-based, for kNotJson.
    int column = 0;     // 1-based, for kNotJson.
    std::string cause;  // The JSON reader's cause text, for kNotJson.
  };

  ArtifactParser() = delete;

  // Reads `file_path`/manifest.json, where `file_path` is the package
  // directory. False when either is missing, the file cannot be read, its
  // text is not JSON or its top level is not an object, or `artifact` is
  // null; then `*failure` (when given) says which.
  static bool Parse(const base::FilePath& file_path, Artifact** artifact);
  static bool Parse(const base::FilePath& file_path,
                    Artifact** artifact,
                    ParseFailure* failure);

  // Builds the artifact of package directory `file_path` from its parsed
  // top-level object. Its resources path is `file_path`/resources; its entry
  // library is "mainEntry" as written. False only when `dict` or `artifact`
  // is null.
  static bool ParseArtifact(const base::FilePath& file_path,
                            base::DictionaryValue* dict,
                            Artifact** artifact);

  // Builds one extension point that will belong to `artifact` (may be null),
  // with its extensions. False when `ept` or `extension_point` is null or
  // "id" is not a string.
  static bool ParseExtensionPoint(Artifact* artifact,
                                  base::DictionaryValue* ept,
                                  ExtensionPointImpl** extension_point);

  // Builds one extension of point `ep` from a manifest extension object. Its
  // extension point id is `ep`'s id. The "settingMap" object is taken only
  // when all five of its keys are strings. False when `ep`, `extension` or
  // `ext` is null or "id" is not a string.
  static bool ParseExtension(ExtensionPointImpl* ep,
                             base::DictionaryValue* extension,
                             ExtensionImpl** ext);

  // As above, for descriptions built in memory: takes ownership of
  // `extension` (released when the call returns), and takes the "settingMap"
  // object when at least one of its five keys is a string, the others reading
  // as empty.
  static bool ParseExtension(ExtensionPointImpl* ep,
                             scoped_ptr<base::DictionaryValue> extension,
                             ExtensionImpl** ext);
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_INTERNAL_ARTIFACTPARSER_H_
