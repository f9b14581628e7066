// The in-place replace on POSIX keeps what the source carries besides its
// bytes: an extended attribute, and the access control list without which
// the group bits (then the list's mask) would open the file to the group.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/xattr.h>

#include "platform.h"

TEST(ReplaceFileContent, KeepsExtendedAttributesAndAccessList) {
    const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/";
    const std::string target = dir + "replace_target", content = dir + "replace_content";
    std::ofstream(target) << "old";
    std::ofstream(content) << "new";
    // Version 2; owner rw, user 1234 rw, group r, mask rw, others none.
    const uint32_t acl[] = {2, 0x00060001, ~0u, 0x00060002, 1234, 0x00040004, ~0u, 0x00060010, ~0u, 0x00000020, ~0u};
    if (::setxattr(target.c_str(), "user.note", "kept", 4, 0) != 0 ||
        ::setxattr(target.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0)
        GTEST_SKIP() << "no extended attributes here";
    JWinFile held;
    int error = 0;
    ASSERT_EQ(replaceFileContent(target.c_str(), content.c_str(), held, error), 1);
    char note[8] = {}, list[sizeof acl + 8];
    EXPECT_EQ(::getxattr(target.c_str(), "user.note", note, sizeof note), 4);
    EXPECT_STREQ(note, "kept");
    ASSERT_EQ(::getxattr(target.c_str(), "system.posix_acl_access", list, sizeof list), static_cast<ssize_t>(sizeof acl));
    EXPECT_EQ(std::memcmp(list, acl, sizeof acl), 0);
    std::remove(target.c_str());
    std::remove(content.c_str());
}
