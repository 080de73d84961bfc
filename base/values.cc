#include "base/values.h"

#include <cmath>
#include <utility>

namespace base {
inline namespace zqe {

namespace {

// Splits |path| at its first "."; returns false when there is none.
bool SplitFirst(const std::string& path,
                size_t start,
                size_t* delimiter_position) {
  *delimiter_position = path.find('.', start);
  return *delimiter_position != std::string::npos;
}

}  // namespace

// Value ----------------------------------------------------------------------

Value::Value(Type type) : type_(type) {}

Value::~Value() = default;

// static
scoped_ptr<Value> Value::CreateNullValue() {
  return scoped_ptr<Value>(new Value(TYPE_NULL));
}

bool Value::GetAsBoolean(bool*) const {
  return false;
}

bool Value::GetAsInteger(int*) const {
  return false;
}

bool Value::GetAsDouble(double*) const {
  return false;
}

bool Value::GetAsString(std::string*) const {
  return false;
}

bool Value::GetAsList(ListValue**) {
  return false;
}

bool Value::GetAsList(const ListValue**) const {
  return false;
}

bool Value::GetAsDictionary(DictionaryValue**) {
  return false;
}

bool Value::GetAsDictionary(const DictionaryValue**) const {
  return false;
}

scoped_ptr<Value> Value::DeepCopy() const {
  return CloneValue();
}

scoped_ptr<Value> Value::CloneValue() const {
  // Only the null value is a plain Value.
  return CreateNullValue();
}

bool Value::Equals(const Value* other) const {
  return other && other->IsType(TYPE_NULL) && IsType(TYPE_NULL);
}

// static
bool Value::Equals(const Value* a, const Value* b) {
  if (!a || !b)
    return a == b;
  return a->Equals(b);
}

// FundamentalValue -----------------------------------------------------------

FundamentalValue::FundamentalValue(bool in_value)
    : Value(TYPE_BOOLEAN), boolean_value_(in_value) {}

FundamentalValue::FundamentalValue(int in_value)
    : Value(TYPE_INTEGER), integer_value_(in_value) {}

FundamentalValue::FundamentalValue(double in_value)
    : Value(TYPE_DOUBLE), double_value_(in_value) {
  if (!std::isfinite(double_value_))
    double_value_ = 0.0;
}

FundamentalValue::~FundamentalValue() = default;

bool FundamentalValue::GetAsBoolean(bool* out_value) const {
  if (!IsType(TYPE_BOOLEAN))
    return false;
  if (out_value)
    *out_value = boolean_value_;
  return true;
}

bool FundamentalValue::GetAsInteger(int* out_value) const {
  if (!IsType(TYPE_INTEGER))
    return false;
  if (out_value)
    *out_value = integer_value_;
  return true;
}

bool FundamentalValue::GetAsDouble(double* out_value) const {
  if (IsType(TYPE_DOUBLE)) {
    if (out_value)
      *out_value = double_value_;
    return true;
  }
  if (IsType(TYPE_INTEGER)) {
    if (out_value)
      *out_value = integer_value_;
    return true;
  }
  return false;
}

bool FundamentalValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType())
    return false;
  // Only FundamentalValue carries these three types.
  const FundamentalValue* that = static_cast<const FundamentalValue*>(other);
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return boolean_value_ == that->boolean_value_;
    case TYPE_INTEGER:
      return integer_value_ == that->integer_value_;
    default:
      return double_value_ == that->double_value_;
  }
}

scoped_ptr<Value> FundamentalValue::CloneValue() const {
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return scoped_ptr<Value>(new FundamentalValue(boolean_value_));
    case TYPE_INTEGER:
      return scoped_ptr<Value>(new FundamentalValue(integer_value_));
    default:
      return scoped_ptr<Value>(new FundamentalValue(double_value_));
  }
}

// StringValue ----------------------------------------------------------------

StringValue::StringValue(const std::string& in_value)
    : Value(TYPE_STRING), value_(in_value) {}

StringValue::StringValue(std::string&& in_value)
    : Value(TYPE_STRING), value_(std::move(in_value)) {}

StringValue::StringValue(const char* in_value)
    : Value(TYPE_STRING), value_(in_value ? in_value : "") {}

StringValue::~StringValue() = default;

bool StringValue::GetAsString(std::string* out_value) const {
  if (out_value)
    *out_value = value_;
  return true;
}

bool StringValue::Equals(const Value* other) const {
  return other && other->IsType(TYPE_STRING) &&
         static_cast<const StringValue*>(other)->value_ == value_;
}

scoped_ptr<Value> StringValue::CloneValue() const {
  return scoped_ptr<Value>(new StringValue(value_));
}

// DictionaryValue ------------------------------------------------------------

// static
scoped_ptr<DictionaryValue> DictionaryValue::From(scoped_ptr<Value> value) {
  DictionaryValue* out = nullptr;
  if (value && value->GetAsDictionary(&out)) {
    value.release();
    return scoped_ptr<DictionaryValue>(out);
  }
  return nullptr;
}

DictionaryValue::DictionaryValue() : Value(TYPE_DICTIONARY) {}

DictionaryValue::~DictionaryValue() = default;

bool DictionaryValue::GetAsDictionary(DictionaryValue** out_value) {
  if (out_value)
    *out_value = this;
  return true;
}

bool DictionaryValue::GetAsDictionary(const DictionaryValue** out_value) const {
  if (out_value)
    *out_value = this;
  return true;
}

bool DictionaryValue::HasKey(const std::string& key) const {
  return dictionary_.find(key) != dictionary_.end();
}

void DictionaryValue::Clear() {
  dictionary_.clear();
}

void DictionaryValue::Set(const std::string& path, scoped_ptr<Value> in_value) {
  if (!in_value)
    return;
  DictionaryValue* current_dictionary = this;
  size_t start = 0;
  size_t delimiter_position;
  while (SplitFirst(path, start, &delimiter_position)) {
    std::string key(path, start, delimiter_position - start);
    DictionaryValue* child_dictionary = nullptr;
    if (!current_dictionary->GetDictionaryWithoutPathExpansion(
            key, &child_dictionary)) {
      child_dictionary = new DictionaryValue;
      current_dictionary->SetWithoutPathExpansion(
          key, scoped_ptr<Value>(child_dictionary));
    }
    current_dictionary = child_dictionary;
    start = delimiter_position + 1;
  }
  current_dictionary->SetWithoutPathExpansion(path.substr(start),
                                              std::move(in_value));
}

void DictionaryValue::SetBoolean(const std::string& path, bool in_value) {
  Set(path, scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetInteger(const std::string& path, int in_value) {
  Set(path, scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetDouble(const std::string& path, double in_value) {
  Set(path, scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetString(const std::string& path,
                                const std::string& in_value) {
  Set(path, scoped_ptr<Value>(new StringValue(in_value)));
}

void DictionaryValue::SetWithoutPathExpansion(const std::string& key,
                                              scoped_ptr<Value> in_value) {
  if (!in_value)
    return;
  dictionary_[key] = std::move(in_value);
}

void DictionaryValue::SetBooleanWithoutPathExpansion(const std::string& key,
                                                     bool in_value) {
  SetWithoutPathExpansion(key,
                          scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetIntegerWithoutPathExpansion(const std::string& key,
                                                     int in_value) {
  SetWithoutPathExpansion(key,
                          scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetDoubleWithoutPathExpansion(const std::string& key,
                                                    double in_value) {
  SetWithoutPathExpansion(key,
                          scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void DictionaryValue::SetStringWithoutPathExpansion(
    const std::string& key,
    const std::string& in_value) {
  SetWithoutPathExpansion(key, scoped_ptr<Value>(new StringValue(in_value)));
}

bool DictionaryValue::Get(const std::string& path,
                          const Value** out_value) const {
  const DictionaryValue* current_dictionary = this;
  size_t start = 0;
  size_t delimiter_position;
  while (SplitFirst(path, start, &delimiter_position)) {
    const DictionaryValue* child_dictionary = nullptr;
    if (!current_dictionary->GetDictionaryWithoutPathExpansion(
            path.substr(start, delimiter_position - start),
            &child_dictionary)) {
      return false;
    }
    current_dictionary = child_dictionary;
    start = delimiter_position + 1;
  }
  return current_dictionary->GetWithoutPathExpansion(path.substr(start),
                                                     out_value);
}

bool DictionaryValue::Get(const std::string& path, Value** out_value) {
  const Value* value = nullptr;
  if (!static_cast<const DictionaryValue*>(this)->Get(path, &value))
    return false;
  if (out_value)
    *out_value = const_cast<Value*>(value);
  return true;
}

bool DictionaryValue::GetBoolean(const std::string& path,
                                 bool* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsBoolean(out_value);
}

bool DictionaryValue::GetInteger(const std::string& path,
                                 int* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsInteger(out_value);
}

bool DictionaryValue::GetDouble(const std::string& path,
                                double* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsDouble(out_value);
}

bool DictionaryValue::GetString(const std::string& path,
                                std::string* out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetDictionary(const std::string& path,
                                    const DictionaryValue** out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetDictionary(const std::string& path,
                                    DictionaryValue** out_value) {
  Value* value;
  return Get(path, &value) && value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetList(const std::string& path,
                              const ListValue** out_value) const {
  const Value* value;
  return Get(path, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetList(const std::string& path, ListValue** out_value) {
  Value* value;
  return Get(path, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetWithoutPathExpansion(const std::string& key,
                                              const Value** out_value) const {
  auto entry = dictionary_.find(key);
  if (entry == dictionary_.end())
    return false;
  if (out_value)
    *out_value = entry->second.get();
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(const std::string& key,
                                              Value** out_value) {
  auto entry = dictionary_.find(key);
  if (entry == dictionary_.end())
    return false;
  if (out_value)
    *out_value = entry->second.get();
  return true;
}

bool DictionaryValue::GetBooleanWithoutPathExpansion(const std::string& key,
                                                     bool* out_value) const {
  const Value* value;
  return GetWithoutPathExpansion(key, &value) && value->GetAsBoolean(out_value);
}

bool DictionaryValue::GetIntegerWithoutPathExpansion(const std::string& key,
                                                     int* out_value) const {
  const Value* value;
  return GetWithoutPathExpansion(key, &value) && value->GetAsInteger(out_value);
}

bool DictionaryValue::GetDoubleWithoutPathExpansion(const std::string& key,
                                                    double* out_value) const {
  const Value* value;
  return GetWithoutPathExpansion(key, &value) && value->GetAsDouble(out_value);
}

bool DictionaryValue::GetStringWithoutPathExpansion(
    const std::string& key,
    std::string* out_value) const {
  const Value* value;
  return GetWithoutPathExpansion(key, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetDictionaryWithoutPathExpansion(
    const std::string& key,
    const DictionaryValue** out_value) const {
  const Value* value;
  return GetWithoutPathExpansion(key, &value) &&
         value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetDictionaryWithoutPathExpansion(
    const std::string& key,
    DictionaryValue** out_value) {
  Value* value;
  return GetWithoutPathExpansion(key, &value) &&
         value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetListWithoutPathExpansion(
    const std::string& key,
    const ListValue** out_value) const {
  const Value* value;
  return GetWithoutPathExpansion(key, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetListWithoutPathExpansion(const std::string& key,
                                                  ListValue** out_value) {
  Value* value;
  return GetWithoutPathExpansion(key, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::Remove(const std::string& path,
                             scoped_ptr<Value>* out_value) {
  size_t delimiter_position = path.rfind('.');
  if (delimiter_position == std::string::npos)
    return RemoveWithoutPathExpansion(path, out_value);
  DictionaryValue* parent = nullptr;
  if (!GetDictionary(path.substr(0, delimiter_position), &parent))
    return false;
  return parent->RemoveWithoutPathExpansion(path.substr(delimiter_position + 1),
                                            out_value);
}

bool DictionaryValue::RemoveWithoutPathExpansion(const std::string& key,
                                                 scoped_ptr<Value>* out_value) {
  auto entry = dictionary_.find(key);
  if (entry == dictionary_.end())
    return false;
  scoped_ptr<Value> removed = std::move(entry->second);
  dictionary_.erase(entry);
  if (out_value)
    *out_value = std::move(removed);
  return true;
}

scoped_ptr<DictionaryValue> DictionaryValue::DeepCopy() const {
  scoped_ptr<DictionaryValue> copy(new DictionaryValue);
  for (const auto& entry : dictionary_) {
    copy->dictionary_.emplace_hint(copy->dictionary_.end(), entry.first,
                                   entry.second->DeepCopy());
  }
  return copy;
}

scoped_ptr<Value> DictionaryValue::CloneValue() const {
  return DeepCopy();
}

bool DictionaryValue::Equals(const Value* other) const {
  const DictionaryValue* other_dict = nullptr;
  if (!other || !other->GetAsDictionary(&other_dict))
    return false;
  if (dictionary_.size() != other_dict->dictionary_.size())
    return false;
  auto lhs = dictionary_.begin();
  auto rhs = other_dict->dictionary_.begin();
  for (; lhs != dictionary_.end(); ++lhs, ++rhs) {
    if (lhs->first != rhs->first || !lhs->second->Equals(rhs->second.get()))
      return false;
  }
  return true;
}

DictionaryValue::Iterator::Iterator(const DictionaryValue& target)
    : target_(target), it_(target.dictionary_.begin()) {}

DictionaryValue::Iterator::~Iterator() = default;

// ListValue ------------------------------------------------------------------

// static
scoped_ptr<ListValue> ListValue::From(scoped_ptr<Value> value) {
  ListValue* out = nullptr;
  if (value && value->GetAsList(&out)) {
    value.release();
    return scoped_ptr<ListValue>(out);
  }
  return nullptr;
}

ListValue::ListValue() : Value(TYPE_LIST) {}

ListValue::~ListValue() = default;

bool ListValue::GetAsList(ListValue** out_value) {
  if (out_value)
    *out_value = this;
  return true;
}

bool ListValue::GetAsList(const ListValue** out_value) const {
  if (out_value)
    *out_value = this;
  return true;
}

void ListValue::Clear() {
  list_.clear();
}

bool ListValue::Get(size_t index, const Value** out_value) const {
  if (index >= list_.size())
    return false;
  if (out_value)
    *out_value = list_[index].get();
  return true;
}

bool ListValue::Get(size_t index, Value** out_value) {
  if (index >= list_.size())
    return false;
  if (out_value)
    *out_value = list_[index].get();
  return true;
}

bool ListValue::GetBoolean(size_t index, bool* out_value) const {
  const Value* value;
  return Get(index, &value) && value->GetAsBoolean(out_value);
}

bool ListValue::GetInteger(size_t index, int* out_value) const {
  const Value* value;
  return Get(index, &value) && value->GetAsInteger(out_value);
}

bool ListValue::GetDouble(size_t index, double* out_value) const {
  const Value* value;
  return Get(index, &value) && value->GetAsDouble(out_value);
}

bool ListValue::GetString(size_t index, std::string* out_value) const {
  const Value* value;
  return Get(index, &value) && value->GetAsString(out_value);
}

bool ListValue::GetDictionary(size_t index,
                              const DictionaryValue** out_value) const {
  const Value* value;
  return Get(index, &value) && value->GetAsDictionary(out_value);
}

bool ListValue::GetDictionary(size_t index, DictionaryValue** out_value) {
  Value* value;
  return Get(index, &value) && value->GetAsDictionary(out_value);
}

bool ListValue::GetList(size_t index, const ListValue** out_value) const {
  const Value* value;
  return Get(index, &value) && value->GetAsList(out_value);
}

bool ListValue::GetList(size_t index, ListValue** out_value) {
  Value* value;
  return Get(index, &value) && value->GetAsList(out_value);
}

bool ListValue::Remove(size_t index, scoped_ptr<Value>* out_value) {
  if (index >= list_.size())
    return false;
  scoped_ptr<Value> removed = std::move(list_[index]);
  list_.erase(list_.begin() + static_cast<ptrdiff_t>(index));
  if (out_value)
    *out_value = std::move(removed);
  return true;
}

void ListValue::Append(scoped_ptr<Value> in_value) {
  if (in_value)
    list_.push_back(std::move(in_value));
}

void ListValue::AppendBoolean(bool in_value) {
  Append(scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void ListValue::AppendInteger(int in_value) {
  Append(scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void ListValue::AppendDouble(double in_value) {
  Append(scoped_ptr<Value>(new FundamentalValue(in_value)));
}

void ListValue::AppendString(const std::string& in_value) {
  Append(scoped_ptr<Value>(new StringValue(in_value)));
}

scoped_ptr<ListValue> ListValue::DeepCopy() const {
  scoped_ptr<ListValue> copy(new ListValue);
  copy->list_.reserve(list_.size());
  for (const auto& value : list_)
    copy->list_.push_back(value->DeepCopy());
  return copy;
}

scoped_ptr<Value> ListValue::CloneValue() const {
  return DeepCopy();
}

bool ListValue::Equals(const Value* other) const {
  const ListValue* other_list = nullptr;
  if (!other || !other->GetAsList(&other_list))
    return false;
  if (list_.size() != other_list->list_.size())
    return false;
  for (size_t i = 0; i < list_.size(); ++i) {
    if (!list_[i]->Equals(other_list->list_[i].get()))
      return false;
  }
  return true;
}

}  // namespace zqe
}  // namespace base
