// What the registry properties show of one key or value, and its deletion through the native view.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace app {

// A finding's location text split as the properties take it: the root name before the first
// "\", the item's name after the last one, and the key path between them with both ends.
struct TRegistryLocation {
  bool Parsed = false;         // false: the text holds no "\" and nothing is filled
  std::string RootKeyName;     // e.g. "HKEY_LOCAL_MACHINE", as written
  platform::HKEY RootKey = 0;  // 0 when the name is not in the hive-name table
  std::u16string KeyPath;      // "\SOFTWARE\Test\"
  std::u16string ItemName;     // "Sub"
};
TRegistryLocation ParseRegistryLocation(std::u16string_view location);

// One node of an access list shown as a tree: texts in the system code page, the image the
// registry properties give it (3 an account, 0 a group, 4 a leaf).
struct TSecurityNode {
  std::string Text;
  int Image = 0;
  std::vector<TSecurityNode> Children;
};

// One row of the contents list: a subkey (image 0) or a value (image 1).
struct TRegistryContentRow {
  bool IsKey = false;
  std::u16string Name;
};

struct TRegistryProperties {
  bool IsValue = false;
  TRegistryLocation Location;
  // The key listed, or for a value the one row of its name.
  std::vector<TRegistryContentRow> Contents;
  bool ContentsOpened = false;  // for a key: it opened in the native view
  // The access list of the key (for a value: of the key holding it), as far as it was read.
  std::vector<TSecurityNode> Security;
  std::string SecurityError;  // why the tree is empty or short; empty when it is whole
};

// Fills what the properties show; every failure leaves its part empty or partial.
TRegistryProperties LoadRegistryKeyProperties(std::u16string_view location);
TRegistryProperties LoadRegistryValueProperties(std::u16string_view location);

// The result of a deletion: on failure `Message` says why, naming no object (the caller does).
struct TRegistryDeletion {
  bool Deleted = false;
  std::string Message;
};

// Deletes exactly the key the location names, through the native view: nothing is created on
// the way, a key that holds subkeys is left alone (the native layer deletes childless keys
// only), a path with a zero character is refused.
TRegistryDeletion DeleteRegistryKey(const TRegistryLocation& location);
// Deletes exactly the value named ItemName (zero characters included) in KeyPath.
TRegistryDeletion DeleteRegistryValue(const TRegistryLocation& location);

}  // namespace app
