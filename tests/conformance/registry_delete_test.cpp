// Deleting keys natively: only a key without subkeys goes, and a deleted key stays gone.
#include <gtest/gtest.h>

#include <vector>

#include "platform/handles.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;
namespace rec = platform::records;

CONFORMANCE_SUITE(NativeKeyDeletion);

NTSTATUS Open(Ntdll& nt, NtHandle& h, const std::u16string& path, Handle root = kNullHandle) {
  return nt.NtOpenKey(h.put(), KEY_ALL_ACCESS, ObjectAttributes{path, OBJ_CASE_INSENSITIVE, root});
}

TEST_P(NativeKeyDeletion, AKeyWithSubkeysStaysAndAChildlessOneGoes) {
  const TestKey k = B().MakeKey(KeySpec{{u"child"}, {}});
  auto& nt = P().ntdll;
  NtHandle key;
  ASSERT_EQ(Open(nt, key, k.nativePath), STATUS_SUCCESS);
  EXPECT_NE(nt.NtDeleteKey(key.get()), STATUS_SUCCESS) << "the native layer deletes childless keys only";
  NtHandle child;
  ASSERT_EQ(Open(nt, child, u"child", key.get()), STATUS_SUCCESS) << "the subkey is still there";

  EXPECT_EQ(nt.NtDeleteKey(child.get()), STATUS_SUCCESS);
  std::vector<std::byte> buffer(512);
  DWORD length = 0;
  EXPECT_EQ(nt.NtEnumerateKey(key.get(), 0, rec::KeyBasicInformation, buffer, length),
            STATUS_NO_MORE_ENTRIES);
  NtHandle again;
  EXPECT_EQ(Open(nt, again, u"child", key.get()), STATUS_OBJECT_NAME_NOT_FOUND);

  EXPECT_EQ(nt.NtDeleteKey(key.get()), STATUS_SUCCESS) << "childless now";
  EXPECT_EQ(nt.NtEnumerateKey(key.get(), 0, rec::KeyBasicInformation, buffer, length), STATUS_KEY_DELETED)
      << "a handle of a deleted key answers that it is deleted";
  EXPECT_EQ(Open(nt, again, k.nativePath), STATUS_OBJECT_NAME_NOT_FOUND);
}

}  // namespace
}  // namespace conformance
