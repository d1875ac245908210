#include "lumadata/dictionary.h"

#include "platform/runtime/error.h"

namespace lumadata {

namespace {
constexpr const char* kSource = "Scripting.Dictionary";
}

const Dictionary::Entry* Dictionary::find(std::string_view key) const {
  const auto it = index_.find(std::string(key));
  return it == index_.end() ? nullptr : &entries_[it->second];
}

void Dictionary::Add(std::string_view key, veltrano::Variant item) {
  if (find(key)) throw veltrano::RuntimeError(kErrorKeyExists, kSource, "This key is already associated with an element of this collection");
  index_.emplace(std::string(key), entries_.size());
  entries_.push_back({std::string(key), std::move(item)});
}

bool Dictionary::Exists(std::string_view key) const { return find(key) != nullptr; }

veltrano::Variant Dictionary::Item(std::string_view key) const {
  const Entry* e = find(key);
  return e ? e->item : veltrano::Variant();
}

void Dictionary::setItem(std::string_view key, veltrano::Variant item) {
  const auto it = index_.find(std::string(key));
  if (it == index_.end()) {
    Add(key, std::move(item));
    return;
  }
  entries_[it->second].item = std::move(item);
}

std::vector<std::string> Dictionary::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const Entry& e : entries_) keys.push_back(e.key);
  return keys;
}

std::vector<veltrano::Variant> Dictionary::Items() const {
  std::vector<veltrano::Variant> items;
  items.reserve(entries_.size());
  for (const Entry& e : entries_) items.push_back(e.item);
  return items;
}

void Dictionary::Remove(std::string_view key) {
  const auto it = index_.find(std::string(key));
  if (it == index_.end()) throw veltrano::RuntimeError(kErrorElementNotFound, kSource, "Element not found");
  const std::size_t position = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  for (std::size_t i = position; i < entries_.size(); ++i) index_[entries_[i].key] = i;
}

void Dictionary::RemoveAll() {
  entries_.clear();
  index_.clear();
}

}  // namespace lumadata
