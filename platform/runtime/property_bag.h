#pragma once
// The container's side of a user control: the property bag its persisted properties are read
// from and written to, the ambient properties it offers, and the property-changed notice.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/font.h"
#include "platform/runtime/variant.h"

namespace veltrano {

// Persisted properties of one control instance. ReadProperty returns the stored value or the
// default; WriteProperty stores the value, or removes the key when it equals the default (as
// the container does, so a default need not be stored). Every read and write is recorded in
// order, so tests can check the order a control uses.
class PropertyBag {
 public:
  Variant ReadProperty(std::string_view name, const Variant& defaultValue = Variant());
  void WriteProperty(std::string_view name, const Variant& value, const Variant& defaultValue = Variant());

  bool contains(std::string_view name) const { return values_.count(std::string(name)) != 0; }
  const std::map<std::string, Variant, std::less<>>& values() const { return values_; }
  void set(std::string_view name, const Variant& value) { values_[std::string(name)] = value; }

  struct Access {
    enum Kind { Read, Write } kind;
    std::string name;
    bool operator==(const Access&) const = default;
  };
  const std::vector<Access>& log() const { return log_; }
  void clearLog() { log_.clear(); }

  // A line-based text form ("name=type:value"), so a form's design-time values can be kept in a
  // file beside the program. Unreadable lines are skipped.
  std::string toText() const;
  static PropertyBag fromText(std::string_view text);

 private:
  std::map<std::string, Variant, std::less<>> values_;
  std::vector<Access> log_;
};

// What the hosting container offers a user control.
class ControlSite {
 public:
  virtual ~ControlSite() = default;
  // PropertyChanged: a property of the control changed value.
  virtual void propertyChanged(std::string_view name) = 0;
  // Ambient properties of the container.
  virtual std::string ambientDisplayName() const = 0;
  virtual Font ambientFont() const = 0;
};

// A site that records the notices it receives; used by hosts that need nothing else and by tests.
class RecordingSite : public ControlSite {
 public:
  explicit RecordingSite(std::string displayName = "Control1", Font font = Font{})
      : displayName_(std::move(displayName)), font_(std::move(font)) {}
  void propertyChanged(std::string_view name) override { changes_.emplace_back(name); }
  std::string ambientDisplayName() const override { return displayName_; }
  Font ambientFont() const override { return font_; }
  const std::vector<std::string>& changes() const { return changes_; }
  void clear() { changes_.clear(); }

 private:
  std::string displayName_;
  Font font_;
  std::vector<std::string> changes_;
};

}  // namespace veltrano
