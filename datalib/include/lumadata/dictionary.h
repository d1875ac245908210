#pragma once
// Dictionary: the ordered keyed collection a product program fills to pass named parameters to
// VBF::EXECUTE, shaped like Scripting.Dictionary with its default compare mode: keys are text
// compared byte for byte (case-sensitive, so "Name" and "NAME" are two keys), and Keys and
// Items list the entries in the order they were added.
//
// Errors are veltrano::RuntimeError as the run-time raises them for Scripting.Dictionary:
// Add of a key already present raises 457; Remove of a key not present raises 32811.
// Unlike Scripting.Dictionary, reading Item of a key that is not present does not add it: it
// gives Empty and leaves the dictionary as it was.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lumadata/export.h"
#include "platform/runtime/variant.h"

namespace lumadata {

inline constexpr int kErrorKeyExists = 457;      // This key is already associated with an element
inline constexpr int kErrorElementNotFound = 32811;

class LUMADATA_API Dictionary {
 public:
  // Adds an entry at the end; raises 457 when the key is present.
  void Add(std::string_view key, veltrano::Variant item);
  // Number of entries.
  long Count() const { return static_cast<long>(entries_.size()); }
  bool Exists(std::string_view key) const;
  // The entry's value; Empty when the key is not present.
  veltrano::Variant Item(std::string_view key) const;
  // Item(key) = value: replaces the value, or adds the entry at the end.
  void setItem(std::string_view key, veltrano::Variant item);
  // The keys and the values, in the order the entries were added.
  std::vector<std::string> Keys() const;
  std::vector<veltrano::Variant> Items() const;
  // Removes an entry (the others keep their order); raises 32811 when the key is not present.
  void Remove(std::string_view key);
  void RemoveAll();

 private:
  struct Entry {
    std::string key;
    veltrano::Variant item;
  };
  const Entry* find(std::string_view key) const;

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;  // key -> position in entries_
};

}  // namespace lumadata
