#include "base/json/json_writer.h"

#include <cmath>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "base/values.h"

namespace base {
inline namespace zqe {

namespace {

// The nlohmann tree of |node|; false for what JSON cannot express.
bool ToJson(const Value& node, nlohmann::json* out) {
  switch (node.GetType()) {
    case Value::TYPE_NULL:
      *out = nullptr;
      return true;
    case Value::TYPE_BOOLEAN: {
      bool value = false;
      node.GetAsBoolean(&value);
      *out = value;
      return true;
    }
    case Value::TYPE_INTEGER: {
      int value = 0;
      node.GetAsInteger(&value);
      *out = value;
      return true;
    }
    case Value::TYPE_DOUBLE: {
      double value = 0;
      node.GetAsDouble(&value);
      if (!std::isfinite(value))
        return false;
      *out = value;
      return true;
    }
    case Value::TYPE_STRING: {
      std::string value;
      node.GetAsString(&value);
      *out = std::move(value);
      return true;
    }
    case Value::TYPE_DICTIONARY: {
      const DictionaryValue* dict = nullptr;
      node.GetAsDictionary(&dict);
      *out = nlohmann::json::object();
      for (DictionaryValue::Iterator it(*dict); !it.IsAtEnd(); it.Advance()) {
        nlohmann::json member;
        if (!ToJson(it.value(), &member))
          return false;
        (*out)[it.key()] = std::move(member);
      }
      return true;
    }
    case Value::TYPE_LIST: {
      const ListValue* list = nullptr;
      node.GetAsList(&list);
      *out = nlohmann::json::array();
      for (const auto& element : *list) {
        nlohmann::json item;
        if (!ToJson(*element, &item))
          return false;
        out->push_back(std::move(item));
      }
      return true;
    }
    case Value::TYPE_BINARY:
      break;
  }
  return false;
}

}  // namespace

// static
bool JSONWriter::Write(const Value& node, std::string* json) {
  return WriteWithOptions(node, 0, json);
}

// static
bool JSONWriter::WriteWithOptions(const Value& node,
                                  int options,
                                  std::string* json) {
  json->clear();
  nlohmann::json tree;
  if (!ToJson(node, &tree))
    return false;
  const bool pretty = (options & OPTIONS_PRETTY_PRINT) != 0;
  *json = tree.dump(pretty ? 2 : -1, ' ', /*ensure_ascii=*/false,
                    nlohmann::json::error_handler_t::replace);
  if (pretty)
    *json += '\n';
  return true;
}

}  // namespace zqe
}  // namespace base
