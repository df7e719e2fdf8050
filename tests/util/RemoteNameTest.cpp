#include "util/RemoteName.h"

#include <gtest/gtest.h>

namespace {

TEST(RemoteName, ReadAsScpReadsThem) {
    const struct {
        const char* m_pName;
        bool m_bRemote;
        const char* m_pLogin;
        const char* m_pHost;
        const char* m_pPath;
    } table[] = {
        {"nas:/backups/disk.img", true, "nas", "nas", "/backups/disk.img"},
        {"root@nas:disk.img", true, "root@nas", "nas", "disk.img"},
        {"a@b@nas:x", true, "a@b@nas", "nas", "x"},
        {"nas:", true, "nas", "nas", ""},
        {"nas:a:b", true, "nas", "nas", "a:b"},
        {"nas:/x y/$(rm -rf ~);\n-z", true, "nas", "nas", "/x y/$(rm -rf ~);\n-z"},
        {"[::1]:/tmp/f", true, "::1", "::1", "/tmp/f"},
        {"u@[fe80::1]:f", true, "u@fe80::1", "fe80::1", "f"},
        {"./a:b", false, "", "", ""},
        {"/abs/a:b", false, "", "", ""},
        {"dir/a:b", false, "", "", ""},
        {"plain.img", false, "", "", ""},
        {":x", false, "", "", ""},
        {"@nas:x", false, "", "", ""},
        {"-oProxyCommand=evil:x", false, "", "", ""},
        {"[::1]/x:y", false, "", "", ""},
        {"[::1:x", false, "", "", ""},
        {"[]:x", false, "", "", ""},
    };
    for (const auto& t : table) {
        const std::optional<RemoteName> name = ParseRemoteName(t.m_pName);
        ASSERT_EQ(name.has_value(), t.m_bRemote) << t.m_pName;
        EXPECT_EQ(IsRemoteName(t.m_pName), t.m_bRemote) << t.m_pName;
        if (!name)
            continue;
        EXPECT_EQ(name->m_strLogin, t.m_pLogin) << t.m_pName;
        EXPECT_EQ(name->m_strHost, t.m_pHost) << t.m_pName;
        EXPECT_EQ(name->m_strPath, t.m_pPath) << t.m_pName;
    }
}

} // namespace
