// The JSON value tree: base::Value and its kinds, FundamentalValue (boolean,
// integer, double), StringValue, DictionaryValue and ListValue.
//
// Ownership: every container owns its children outright. Values enter a
// container as scoped_ptr (the container takes them) and leave it through
// Remove() with an optional scoped_ptr out-parameter. Pointers handed out by
// the getters stay owned by the container and are valid until that entry is
// replaced or removed, or the container is destroyed.
//
// Failure: a getter that finds no entry, or an entry of another type, returns
// false and leaves its out-parameter untouched. The only conversion is that
// GetAsDouble()/GetDouble() also accept an integer. Every out-parameter may
// be null, to test for presence and type only.
//
// Paths: DictionaryValue's Get*/Set*/Remove take a path that is split at every
// "."; each segment but the last names a nested dictionary (lists are never
// traversed) and an empty segment is the key "". The *WithoutPathExpansion
// forms and HasKey() take the key literally, dots included.
//
// Dictionaries keep their keys sorted in byte order, so
// DictionaryValue::Iterator walks them in that order.
//
// Thread-safety: none. A tree may be read from several threads at once only
// while nobody modifies it.
//
//   scoped_ptr<base::DictionaryValue> dict(new base::DictionaryValue);
//   dict->SetString("app.name", "demo");  // creates the dictionary "app"
//   std::string name;
//   if (dict->GetString("app.name", &name)) { ... }
#ifndef BASE_VALUES_H_
#define BASE_VALUES_H_

#include <stddef.h>

#include <map>
#include <string>
#include <vector>

#include "base/base_export.h"
#include "base/memory/scoped_ptr.h"

namespace base {
inline namespace zqe {

class DictionaryValue;
class ListValue;

namespace internal {
class JSONValueBuilder;
}  // namespace internal

// The base of every value; on its own it is the JSON null.
class BASE_EXPORT Value {
 public:
  // The numbering is stable. TYPE_BINARY is never produced.
  enum Type {
    TYPE_NULL = 0,
    TYPE_BOOLEAN,
    TYPE_INTEGER,
    TYPE_DOUBLE,
    TYPE_STRING,
    TYPE_BINARY,
    TYPE_DICTIONARY,
    TYPE_LIST
  };

  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  virtual ~Value();

  // A new value of TYPE_NULL.
  static scoped_ptr<Value> CreateNullValue();

  // The kind of this value, and whether it is `type`.
  Type GetType() const { return type_; }
  bool IsType(Type type) const { return type == type_; }

  // Each returns true when this value is of the asked kind (GetAsDouble also
  // for an integer) and then stores it in |out_value| unless that is null;
  // otherwise returns false and leaves |out_value| untouched.
  virtual bool GetAsBoolean(bool* out_value) const;
  virtual bool GetAsInteger(int* out_value) const;
  virtual bool GetAsDouble(double* out_value) const;
  virtual bool GetAsString(std::string* out_value) const;
  virtual bool GetAsList(ListValue** out_value);
  virtual bool GetAsList(const ListValue** out_value) const;
  virtual bool GetAsDictionary(DictionaryValue** out_value);
  virtual bool GetAsDictionary(const DictionaryValue** out_value) const;

  // A new, independent copy of the whole subtree; the caller owns it.
  scoped_ptr<Value> DeepCopy() const;

  // True when |other| has the same type and the same content (an integer
  // never equals a double). Dictionaries compare keys and values, lists
  // compare element by element in order.
  virtual bool Equals(const Value* other) const;
  // Like a->Equals(b), and true when both are null.
  static bool Equals(const Value* a, const Value* b);

 protected:
  // A value of kind `type`, for the subclasses.
  explicit Value(Type type);

 private:
  virtual scoped_ptr<Value> CloneValue() const;

  const Type type_;
};

// A boolean, integer or double.
class BASE_EXPORT FundamentalValue : public Value {
 public:
  // A boolean, or an integer.
  explicit FundamentalValue(bool in_value);
  explicit FundamentalValue(int in_value);
  // JSON has no NaN or infinity: a non-finite |in_value| is stored as 0.0.
  explicit FundamentalValue(double in_value);
  ~FundamentalValue() override;

  bool GetAsBoolean(bool* out_value) const override;
  bool GetAsInteger(int* out_value) const override;
  bool GetAsDouble(double* out_value) const override;
  bool Equals(const Value* other) const override;

 private:
  scoped_ptr<Value> CloneValue() const override;

  union {
    bool boolean_value_;
    int integer_value_;
    double double_value_;
  };
};

// A UTF-8 string.
class BASE_EXPORT StringValue : public Value {
 public:
  // The string `in_value`.
  explicit StringValue(const std::string& in_value);
  explicit StringValue(std::string&& in_value);
  explicit StringValue(const char* in_value);
  ~StringValue() override;

  // The string.
  const std::string& GetString() const { return value_; }

  bool GetAsString(std::string* out_value) const override;
  bool Equals(const Value* other) const override;

 private:
  scoped_ptr<Value> CloneValue() const override;

  std::string value_;
};

// A map from string keys to owned values, sorted by key in byte order.
class BASE_EXPORT DictionaryValue : public Value {
 public:
  // Returns |value| as a dictionary, or null (destroying |value|) when it is
  // of another type.
  static scoped_ptr<DictionaryValue> From(scoped_ptr<Value> value);

  DictionaryValue();
  ~DictionaryValue() override;

  bool GetAsDictionary(DictionaryValue** out_value) override;
  bool GetAsDictionary(const DictionaryValue** out_value) const override;

  // Whether the literal |key| (no path expansion) is present.
  bool HasKey(const std::string& key) const;

  // The number of entries, and whether there is none.
  size_t size() const { return dictionary_.size(); }
  bool empty() const { return dictionary_.empty(); }

  // Removes every entry.
  void Clear();

  // Stores |in_value| at |path|, replacing what was there. Missing
  // intermediate dictionaries are created; an intermediate entry that is not
  // a dictionary is replaced by a new empty one. A null |in_value| changes
  // nothing.
  void Set(const std::string& path, scoped_ptr<Value> in_value);
  void SetBoolean(const std::string& path, bool in_value);
  void SetInteger(const std::string& path, int in_value);
  void SetDouble(const std::string& path, double in_value);
  void SetString(const std::string& path, const std::string& in_value);

  // As above, with |key| taken literally.
  void SetWithoutPathExpansion(const std::string& key,
                               scoped_ptr<Value> in_value);
  void SetBooleanWithoutPathExpansion(const std::string& key, bool in_value);
  void SetIntegerWithoutPathExpansion(const std::string& key, int in_value);
  void SetDoubleWithoutPathExpansion(const std::string& key, double in_value);
  void SetStringWithoutPathExpansion(const std::string& key,
                                     const std::string& in_value);

  // Path getters. See the top of this file for the failure rules.
  bool Get(const std::string& path, const Value** out_value) const;
  bool Get(const std::string& path, Value** out_value);
  bool GetBoolean(const std::string& path, bool* out_value) const;
  bool GetInteger(const std::string& path, int* out_value) const;
  bool GetDouble(const std::string& path, double* out_value) const;
  bool GetString(const std::string& path, std::string* out_value) const;
  bool GetDictionary(const std::string& path,
                     const DictionaryValue** out_value) const;
  bool GetDictionary(const std::string& path, DictionaryValue** out_value);
  bool GetList(const std::string& path, const ListValue** out_value) const;
  bool GetList(const std::string& path, ListValue** out_value);

  // Literal-key getters.
  bool GetWithoutPathExpansion(const std::string& key,
                               const Value** out_value) const;
  bool GetWithoutPathExpansion(const std::string& key, Value** out_value);
  bool GetBooleanWithoutPathExpansion(const std::string& key,
                                      bool* out_value) const;
  bool GetIntegerWithoutPathExpansion(const std::string& key,
                                      int* out_value) const;
  bool GetDoubleWithoutPathExpansion(const std::string& key,
                                     double* out_value) const;
  bool GetStringWithoutPathExpansion(const std::string& key,
                                     std::string* out_value) const;
  bool GetDictionaryWithoutPathExpansion(
      const std::string& key,
      const DictionaryValue** out_value) const;
  bool GetDictionaryWithoutPathExpansion(const std::string& key,
                                         DictionaryValue** out_value);
  bool GetListWithoutPathExpansion(const std::string& key,
                                   const ListValue** out_value) const;
  bool GetListWithoutPathExpansion(const std::string& key,
                                   ListValue** out_value);

  // Removes the entry at |path| (or the literal |key|). Returns false and
  // changes nothing when it is absent. Otherwise hands the removed value to
  // |out_value| when that is non-null, or destroys it.
  bool Remove(const std::string& path, scoped_ptr<Value>* out_value);
  bool RemoveWithoutPathExpansion(const std::string& key,
                                  scoped_ptr<Value>* out_value);

  // A new, independent copy; the caller owns it.
  scoped_ptr<DictionaryValue> DeepCopy() const;
  bool Equals(const Value* other) const override;

  // Walks the entries in key order. The dictionary must outlive the
  // iterator and must not change while it is in use.
  //
  //   for (base::DictionaryValue::Iterator it(dict); !it.IsAtEnd();
  //        it.Advance()) { use(it.key(), it.value()); }
  class BASE_EXPORT Iterator {
   public:
    // At the first entry of `target`.
    explicit Iterator(const DictionaryValue& target);
    ~Iterator();

    // Whether every entry was visited, and moving to the next one.
    bool IsAtEnd() const { return it_ == target_.dictionary_.end(); }
    void Advance() { ++it_; }

    // The current entry's key and value.
    const std::string& key() const { return it_->first; }
    const Value& value() const { return *it_->second; }

   private:
    const DictionaryValue& target_;
    std::map<std::string, scoped_ptr<Value>>::const_iterator it_;
  };

 private:
  // The JSON reader inserts parsed entries directly, moving keys in.
  friend class internal::JSONValueBuilder;

  scoped_ptr<Value> CloneValue() const override;

  std::map<std::string, scoped_ptr<Value>> dictionary_;
};

// An ordered list of owned values.
class BASE_EXPORT ListValue : public Value {
 public:
  // The owned elements.
  using Storage = std::vector<scoped_ptr<Value>>;
  // Iteration yields the owning pointers: `for (const auto& v : *list)`
  // gives `const scoped_ptr<Value>&`; use v.get() or v-> to read.
  using iterator = Storage::iterator;
  // See iterator.
  using const_iterator = Storage::const_iterator;

  // Returns |value| as a list, or null (destroying |value|) when it is of
  // another type.
  static scoped_ptr<ListValue> From(scoped_ptr<Value> value);

  ListValue();
  ~ListValue() override;

  bool GetAsList(ListValue** out_value) override;
  bool GetAsList(const ListValue** out_value) const override;

  // Removes every element; the number of elements; whether there is none.
  void Clear();
  size_t GetSize() const { return list_.size(); }
  bool empty() const { return list_.empty(); }

  // Getters by index; an index out of range returns false like a value of
  // another type.
  bool Get(size_t index, const Value** out_value) const;
  bool Get(size_t index, Value** out_value);
  bool GetBoolean(size_t index, bool* out_value) const;
  bool GetInteger(size_t index, int* out_value) const;
  bool GetDouble(size_t index, double* out_value) const;
  bool GetString(size_t index, std::string* out_value) const;
  bool GetDictionary(size_t index, const DictionaryValue** out_value) const;
  bool GetDictionary(size_t index, DictionaryValue** out_value);
  bool GetList(size_t index, const ListValue** out_value) const;
  bool GetList(size_t index, ListValue** out_value);

  // Removes the element at |index|, shifting the rest down. Returns false when
  // |index| is out of range. Hands the removed value to |out_value| when that
  // is non-null, or destroys it.
  bool Remove(size_t index, scoped_ptr<Value>* out_value);

  // Appends |in_value|, taking ownership. A null |in_value| changes nothing.
  void Append(scoped_ptr<Value> in_value);
  void AppendBoolean(bool in_value);
  void AppendInteger(int in_value);
  void AppendDouble(double in_value);
  void AppendString(const std::string& in_value);

  // The elements, in order.
  iterator begin() { return list_.begin(); }
  iterator end() { return list_.end(); }
  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }

  // A new, independent copy; the caller owns it.
  scoped_ptr<ListValue> DeepCopy() const;
  bool Equals(const Value* other) const override;

 private:
  // The JSON reader inserts parsed entries directly, moving keys in.
  friend class internal::JSONValueBuilder;

  scoped_ptr<Value> CloneValue() const override;

  Storage list_;
};

}  // namespace zqe
}  // namespace base

#endif  // BASE_VALUES_H_
