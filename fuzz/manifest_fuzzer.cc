// Manifest text -> JSONReader -> ArtifactParser::ParseArtifact, entirely in
// memory. Every record of the resulting tree is then read back, so faults in
// the getters and in the ownership of the tree surface too.

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionPoint.h"
#include "ZQExtensionKit/config/internal/ArtifactParser.h"
#include "base/files/file_path.h"
#include "base/json/json_reader.h"
#include "base/values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  scoped_ptr<base::Value> root = base::JSONReader::Read(text);
  base::DictionaryValue* dict = nullptr;
  if (!root || !root->GetAsDictionary(&dict))
    return 0;

  zqextensionkit::Artifact* raw = nullptr;
  if (!zqextensionkit::ArtifactParser::ParseArtifact(
          base::FilePath("/fuzz/package"), dict, &raw) ||
      !raw) {
    __builtin_trap();  // A top-level object always yields an artifact.
  }
  std::unique_ptr<zqextensionkit::Artifact> artifact(raw);

  size_t checksum = artifact->GetID().size();
  std::vector<zqextensionkit::ExtensionPoint*> points;
  artifact->GetExtensionPoints(points);
  for (zqextensionkit::ExtensionPoint* point : points) {
    std::vector<zqextensionkit::Extension*> extensions;
    point->GetExtensions(extensions);
    for (zqextensionkit::Extension* extension : extensions) {
      if (extension->GetExtensionPointID() != point->GetID())
        __builtin_trap();
      checksum += extension->GetPayloads().size() +
                  extension->GetConstraints().size() +
                  extension->GetSettingMap().url_.size() +
                  extension->GetResourcesPath().size() + extension->IsNative();
    }
  }
  volatile size_t sink = checksum;
  (void)sink;
  return 0;
}
