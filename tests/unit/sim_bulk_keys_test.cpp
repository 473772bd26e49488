// The simulated machine's bulk add of registry keys gives the tree that single adds give.
#include <gtest/gtest.h>

#include <stdexcept>

#include "base/utf.h"
#include "platform/sim/builder.h"

namespace {

// Every key below `key` as "path: value names", depth first in stored order.
void Dump(const sim::RegKey& key, const std::string& path, std::vector<std::string>& out) {
  std::string line = path + ":";
  for (const auto& v : key.values) line += " " + base::Utf16ToUtf8(v.name);
  out.push_back(line);
  for (const auto& sub : key.subkeys) {
    EXPECT_EQ(sub->parent, &key);
    Dump(*sub, path + "\\" + base::Utf16ToUtf8(sub->name), out);
  }
}

TEST(SimBulkKeys, GiveTheTreeOfSingleAdds) {
  // Out of order, parents implied or given late, a key given twice, letter case mixed, and keys
  // that existed before the bulk add.
  const std::vector<std::pair<std::u16string, std::vector<std::u16string>>> keys = {
      {u"HKLM\\SOFTWARE\\b\\x", {u"v1", u"v2"}},
      {u"HKLM\\SOFTWARE\\A", {}},
      {u"HKLM\\SOFTWARE\\b", {u"w"}},
      {u"HKLM\\software\\B\\Y\\deep", {}},
      {u"HKLM\\SOFTWARE\\Old\\new", {}},
      {u"HKLM\\SOFTWARE\\b\\X", {u"v3"}},
      {u"HKU\\S-1\\Software", {u""}},
  };
  auto prepare = [](sim::MachineBuilder& b) {
    b.StringValue(u"HKLM\\SOFTWARE\\Old", u"kept", u"x");
    b.Key(u"HKLM\\SOFTWARE\\Old\\sub");
    b.Key(u"HKLM\\SOFTWARE\\c");
  };
  sim::MachineBuilder single;
  prepare(single);
  for (const auto& [key, values] : keys) {
    single.Key(key);
    for (const auto& v : values) single.StringValue(key, v, u"x");
  }
  sim::MachineBuilder bulk;
  prepare(bulk);
  std::vector<sim::MachineBuilder::BulkKey> wanted;
  for (const auto& [key, values] : keys) {
    sim::MachineBuilder::BulkKey one{key, {}};
    for (const auto& v : values) one.values.push_back(sim::RegValue{v, 1, {'x', 0, 0, 0}, false});
    wanted.push_back(std::move(one));
  }
  const auto added = bulk.AddKeys(std::move(wanted));
  ASSERT_EQ(added.size(), keys.size());
  EXPECT_EQ(added[0], added[5]);
  EXPECT_EQ(added[1]->name, u"A");

  std::vector<std::string> want, got;
  Dump(single.machine().registry, "", want);
  Dump(bulk.machine().registry, "", got);
  EXPECT_EQ(got, want);
  EXPECT_EQ(bulk.machine().FindKey(u"\\Registry\\Machine\\SOFTWARE\\B\\y\\DEEP"), added[3]);

  EXPECT_THROW(bulk.AddKeys({{u"HKLM\\SOFTWARE\\b", {sim::RegValue{u"W", 1, {}, false}}}}),
               std::invalid_argument);
  EXPECT_THROW(bulk.AddKeys({{u"HKNOWHERE\\x", {}}}), std::invalid_argument);
}

}  // namespace
