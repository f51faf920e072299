#pragma once
// The JSON document model. A document (TzorJSON) is an ordered list of nodes
// (TzorObjectJSON); a node is a name, a kind and a value, or a nested document
// for objects and arrays. Documents are built member by member and rendered
// as compact text (Text), or read from text with a lenient reader (Read).
//
// Ownership: a document owns the nodes it creates, a node owns the nested
// document it creates. Nodes and nested documents live on the heap; a top-level
// document may live on the stack, or on the heap and be released with
// Destroy(). Handles (IzorJSON, IzorObjectJSON) keep an object usable after its
// owner went away, until the handle is released; a handle to a top-level
// document must not outlive a document on the stack.
//
// Not thread-safe: one thread uses a document (and everything in it) at a time.
#include <atomic>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/exceptions.h"
#include "json/interfaced_component.h"
#include "json/stored_value.h"
#include "json/text_sink.h"

namespace zor {

// Kinds of value; the ordinals are fixed.
enum TzorJSONtype : uint8_t {
  zorJSONUndefined = 0,  // written as nothing
  zorJSONObject = 1,     // content in the node's nested document
  zorJSONList = 2,       // content in the node's nested document
  zorJSONString = 3,
  zorJSONNumber = 4,
  zorJSONBoolean = 5,
  zorJSONNull = 6,
};

class TzorJSON;
class TzorObjectJSON;
using IzorJSON = TzorHandle<TzorJSON>;
using IzorObjectJSON = TzorHandle<TzorObjectJSON>;

// The value as the writer writes it (number text with "."; Booleans as
// "true"/"false") appended to aText.
void AppendStoredValue(TzorJSONTextSink& aText, const TzorJSONStoredValue& aValue);

// The nodes of a document in insertion order. The list keeps a reference to
// each node it holds and destroys them, last to first, when it is cleared.
// Lookup by name finds the first node with that exact name; long lists keep a
// hash index so that building large arrays stays linear.
class TzorObjectJSONList {
 public:
  TzorObjectJSONList() = default;
  TzorObjectJSONList(const TzorObjectJSONList&) = delete;
  TzorObjectJSONList& operator=(const TzorObjectJSONList&) = delete;
  ~TzorObjectJSONList() { Clear(); }

  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  TzorObjectJSON* GetNode(std::string_view aName) const;
  // Null at or beyond Count; EListError for a negative index.
  TzorObjectJSON* GetItem(int Index) const;
  // Replace the entry (first node named aName / at Index); no change when there
  // is none. The replaced node leaves the list, not its owner.
  void SetNode(std::string_view aName, TzorObjectJSON* aValue);
  void SetItem(int Index, TzorObjectJSON* aValue);
  void Add(TzorObjectJSON* aNode);
  void Clear();

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

  // Called whenever a node changes its name: name indexes are rebuilt lazily.
  static void NodeRenamed() { FRenameEpoch.fetch_add(1, std::memory_order_relaxed); }

 private:
  int IndexOf(std::string_view aName) const;
  void Replace(size_t aIndex, TzorObjectJSON* aValue);
  void IndexNames() const;

  std::vector<TzorObjectJSON*> FItems;
  // Open-addressing table of item index + 1 (0 = free), built on demand.
  mutable std::vector<uint32_t> FSlots;
  mutable size_t FIndexed = 0;
  mutable uint64_t FIndexEpoch = 0;
  static std::atomic<uint64_t> FRenameEpoch;
};

// One member of an object or one element of an array.
class TzorObjectJSON : public TInterfacedComponent {
 public:
  explicit TzorObjectJSON(TInterfacedComponent* aOwner = nullptr) : TInterfacedComponent(aOwner) {}

  // Nodes come and go by the thousand when arrays are read and built; a
  // per-thread cache of freed node blocks keeps that off the general heap.
  static void* operator new(size_t aSize);
  static void operator delete(void* aBlock, size_t aSize);

  // The nested document, created on first access; unless the node is an
  // array, every access makes it an object node.
  IzorJSON JSONObject();
  void SetJSONObject(const IzorJSON& aValue) { FJSONObject = aValue; }
  // The nested document if there is one; never creates it.
  TzorJSON* NestedJSON() const { return FJSONObject.get(); }

  TzorJSONtype JSONType() const { return FJSONType; }
  void SetJSONType(TzorJSONtype aValue) { FJSONType = aValue; }

  // Forwarded to the nested document (created through JSONObject).
  IzorObjectJSON Node(std::string_view aName);
  void SetNode(std::string_view aName, const IzorObjectJSON& aValue);
  IzorObjectJSON Item(int Index);
  void SetItem(int Index, const IzorObjectJSON& aValue);

  // Object: the nested document's text; array: the nested document, made an
  // array, as text; otherwise the stored value.
  TzorJSONValue Value();
  // Value as text: texts as they are, numbers as the writer writes them.
  std::string ValueText();
  void SetValue(TzorJSONValue aValue) { FValue.Set(std::move(aValue)); }
  // The stored value without rendering anything.
  const TzorJSONStoredValue& StoredValue() const { return FValue; }

  // The nested document's Count, 0 without one (not created here).
  int Count() const;

  const std::string& Name() const { return FName; }
  void SetName(std::string_view aValue);

  // False when a string added through AddPair began with "{" or "[": such a
  // value is embedded as raw JSON.
  bool Quoted() const { return FQuoted; }

  // Drops the nested document; the next JSONObject access creates a new one.
  void Clear() { FJSONObject = nullptr; }

 private:
  friend class TzorJSON;
  friend class TzorJSONReader;

  // A value read from text: kind and text are set as the node is made.
  TzorObjectJSON(TInterfacedComponent* aOwner, TzorJSONtype aKind, std::string_view aText)
      : TInterfacedComponent(aOwner), FJSONType(aKind), FValue(aText) {}

  bool FQuoted = true;
  TzorJSONtype FJSONType = zorJSONUndefined;
  TzorJSONStoredValue FValue;
  std::string FName;
  IzorJSON FJSONObject;
};

// The members of one object or the elements of one array.
class TzorJSON : public TInterfacedComponent {
 public:
  explicit TzorJSON(TInterfacedComponent* aOwner = nullptr) : TInterfacedComponent(aOwner) {}
  ~TzorJSON() override { Clear(); }

  virtual int Count() const { return FData.Count(); }
  // First node named exactly aName, or a null handle.
  virtual IzorObjectJSON Node(std::string_view aName) const;
  virtual void SetNode(std::string_view aName, const IzorObjectJSON& aValue);
  // Node at Index, or a null handle at or beyond Count.
  virtual IzorObjectJSON Item(int Index) const;
  virtual void SetItem(int Index, const IzorObjectJSON& aValue);
  virtual bool IsArray() const { return FIsArray; }
  virtual void SetIsArray(bool aValue) { FIsArray = aValue; }

  // When set, names and string values are escaped as they are added.
  bool EscapeStrings() const { return FEscapeStrings; }
  void SetEscapeStrings(bool aValue) { FEscapeStrings = aValue; }

  // Each add replaces the value of the first node named aName (keeping its
  // name, kind and position) or appends a new node; it returns that node.
  IzorObjectJSON AddPair(std::string_view aName, std::string_view aValue);
  IzorObjectJSON AddPair(std::string_view aName, const char* aValue) {
    return AddPair(aName, std::string_view(aValue));
  }
  IzorObjectJSON AddPair(std::string_view aName, int32_t aValue);
  IzorObjectJSON AddPair(std::string_view aName, int64_t aValue);
  IzorObjectJSON AddPair(std::string_view aName, double aValue);
  IzorObjectJSON AddPair(std::string_view aName, bool aValue);
  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, int32_t> && !std::same_as<T, int64_t>)
  IzorObjectJSON AddPair(std::string_view aName, T aValue) {
    return AddPair(aName, static_cast<int64_t>(aValue));
  }
  // null
  IzorObjectJSON AddPair(std::string_view aName);
  // aValue is JSON text read into the new node's nested document (empty text
  // leaves it empty).
  IzorObjectJSON AddObject(std::string_view aName, std::string_view aValue);
  IzorObjectJSON AddArray(std::string_view aName, std::string_view aValue);

  // Destroys every node of the list; IsArray and EscapeStrings stay.
  void Clear() { FData.Clear(); }

  // Replaces the content with what the lenient reader takes from aText; never
  // fails. IsArray tells whether the top level was an array.
  void Read(std::string_view aText);

  // The document as compact JSON text, rendered anew at each call.
  std::string Text() const;
  // Appends the text to aText (for bodies assembled from several parts).
  void AppendText(std::string& aText) const;
  void AppendText(TzorJSONTextSink& aText) const;

  // Appends the text of one node: without its name when aInArray is set.
  virtual void NodeToText(TzorJSONTextSink& aText, const TzorObjectJSON& aNode, bool aInArray) const;
  std::string NodeToText(const TzorObjectJSON& aNode, bool aInArray) const;

  // The nodes, for iterating without handles.
  const TzorObjectJSONList& Nodes() const { return FData; }

 protected:
  void BeforeDestroy() override { Clear(); }

 private:
  friend class TzorJSONReader;

  // Step one of every add: the first node named aName (escaped when
  // EscapeStrings is set), or a new node of aKind appended to the list.
  TzorObjectJSON* TargetNode(std::string_view aName, TzorJSONtype aKind, bool& aCreated);
  IzorObjectJSON AddScalar(std::string_view aName, TzorJSONtype aKind, TzorJSONValue aValue);
  IzorObjectJSON AddNested(std::string_view aName, TzorJSONtype aKind, std::string_view aText);
  // Appends the nodes separated by commas; nodes that render as nothing
  // contribute no separator either.
  void AppendNodes(TzorJSONTextSink& aText, bool aInArray) const;

  bool FIsArray = false;
  bool FEscapeStrings = false;
  TzorObjectJSONList FData;
};

}  // namespace zor
