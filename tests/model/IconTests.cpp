// SPDX-License-Identifier: GPL-3.0-or-later
// hl_iconWithURL reads the user's thumbnail cache, whose place GLib fixes at its first use: the
// cases run in a child started with a cache folder of its own.
#include "model/OVDefaultCatalogue.h"
#include "platform/GRef.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <gio/gio.h>
#include <sys/stat.h>

namespace {

constexpr const char* kChildVariable = "ORVANE_ICON_CHILD";

uint32_t crc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string chunk(const std::string& type, const std::string& data)
{
    return bigEndian(uint32_t(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A one-pixel thumbnail as the freedesktop cache holds it: tagged with its file and that file's
// modification time.
std::string thumbnailPNG(const std::string& uri, long long mtime)
{
    const std::string header("\x89PNG\r\n\x1a\n", 8);
    const std::string ihdr("\0\0\0\1\0\0\0\1\x08\0\0\0\0", 13);
    const std::string idat("\x78\x01\x01\x02\x00\xfd\xff\x00\x00\x00\x02\x00\x01", 13);
    return header + chunk("IHDR", ihdr) + chunk("tEXt", std::string("Thumb::URI") + '\0' + uri) +
           chunk("tEXt", std::string("Thumb::MTime") + '\0' + std::to_string(mtime)) + chunk("IDAT", idat) +
           chunk("IEND", "");
}

std::string typeIcon(const char* contentType)
{
    ov::GRef<GIcon> icon(g_content_type_get_icon(contentType));
    ov::GCharPtr text(g_icon_to_string(icon.get()));
    return text.get();
}

TEST(FileIcon, ThumbnailFromTheCacheElseTheFileManagerIcon)
{
    ovtest::TempHome home;
    const std::string cache = home.makeFolder("cache");
    const char* old = g_getenv("XDG_CACHE_HOME");
    const std::string saved = old ? old : "";
    g_setenv("XDG_CACHE_HOME", cache.c_str(), TRUE);
    std::optional<bool> succeeded;
    GSubprocess* child = ovtest::spawnSelfAsChild("FileIconChild.DISABLED_Run", kChildVariable, home.path(), &succeeded);
    if (old)
        g_setenv("XDG_CACHE_HOME", saved.c_str(), TRUE);
    else
        g_unsetenv("XDG_CACHE_HOME");
    ASSERT_TRUE(child);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return succeeded.has_value(); }, 60000));
    EXPECT_TRUE(succeeded.value_or(false)) << "the child's cases failed";
    g_object_unref(child);
}

TEST(FileIconChild, DISABLED_Run)
{
    const char* root = g_getenv(kChildVariable);
    ASSERT_TRUE(root);
    const std::string file = std::string(root) + "/photo.txt";
    ASSERT_TRUE(g_file_set_contents(file.c_str(), "text", -1, nullptr));
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    ov::GRef<GFile> location(g_file_new_for_path(file.c_str()));
    ov::GCharPtr uri(g_file_get_uri(location.get()));
    ov::GCharPtr md5(g_compute_checksum_for_string(G_CHECKSUM_MD5, uri.get(), -1));
    const std::string folder = std::string(g_get_user_cache_dir()) + "/thumbnails/normal";
    ASSERT_EQ(folder, std::string(root) + "/cache/thumbnails/normal");
    ASSERT_EQ(g_mkdir_with_parents(folder.c_str(), 0700), 0);
    const std::string thumbnail = folder + "/" + md5.get() + ".png";

    const std::string fresh = thumbnailPNG(uri.get(), (long long)st.st_mtime);
    ASSERT_TRUE(g_file_set_contents(thumbnail.c_str(), fresh.data(), gssize(fresh.size()), nullptr));
    OVImage icon = hl_iconWithURL(file);
    EXPECT_EQ(icon.pngData(), fresh);
    EXPECT_TRUE(icon.serialized().empty());

    // A thumbnail of what the file was before its last change is not used.
    const std::string stale = thumbnailPNG(uri.get(), (long long)st.st_mtime - 60);
    ASSERT_TRUE(g_file_set_contents(thumbnail.c_str(), stale.data(), gssize(stale.size()), nullptr));
    icon = hl_iconWithURL(file);
    EXPECT_TRUE(icon.pngData().empty());
    EXPECT_EQ(icon.serialized(), typeIcon("text/plain"));

    // Without a thumbnail: the file manager's icon of the folder, or of a name nothing is at.
    icon = hl_iconWithURL(root);
    EXPECT_EQ(icon.serialized(), typeIcon("inode/directory"));
    icon = hl_iconWithURL(std::string(root) + "/gone.txt");
    EXPECT_EQ(icon.serialized(), typeIcon("text/plain"));
}

} // namespace
