// SPDX-License-Identifier: GPL-3.0-or-later
// The tools on their own: orvane-rm, orvane-sips and orvane-defaults run as processes, as the
// runner runs them.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <vips/vips.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// Runs a tool that may hang when a guard is missing: a hung tool fails the test instead.
std::vector<std::string> capped(std::vector<std::string> argv)
{
    argv.front() = std::string(ORVANE_BINARY_DIR "/tools/") + argv.front();
    argv.insert(argv.begin(), {"/usr/bin/timeout", "20"});
    return argv;
}

struct ToolResult {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

ToolResult runTool(std::vector<std::string> argv, const std::map<std::string, std::string>& env = {})
{
    if (argv.front().find('/') == std::string::npos)
        argv.front() = std::string(ORVANE_BINARY_DIR "/tools/") + argv.front();
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    gchar** envp = g_get_environ();
    for (const auto& [k, v] : env)
        envp = v.empty() ? g_environ_unsetenv(envp, k.c_str()) : g_environ_setenv(envp, k.c_str(), v.c_str(), TRUE);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint wait = 0;
    ToolResult result;
    GError* error = nullptr;
    if (g_spawn_sync(nullptr, args.data(), envp, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &wait, &error)) {
        result.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
        result.out = out ? out : "";
        result.err = err ? err : "";
    } else {
        ADD_FAILURE() << error->message;
        g_error_free(error);
    }
    g_free(out);
    g_free(err);
    g_strfreev(envp);
    return result;
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/orvane-tools-XXXXXX";
        ASSERT_TRUE(::mkdtemp(tmpl));
        root = tmpl;
        ::chmod(root.c_str(), 0755);
    }
    void TearDown() override
    {
        // Folders left unreadable by a test must become removable again.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                ::chmod(it->path().c_str(), 0755);
        ovtest::removeTree(root);
    }

    std::string write(const std::string& relative, const std::string& content)
    {
        fs::path path = fs::path(root) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::string path(const std::string& relative) const { return root + "/" + relative; }
    static bool exists(const std::string& p)
    {
        struct stat st;
        return ::lstat(p.c_str(), &st) == 0;
    }

    std::string root;
};

// orvane-rm

using RemoveToolTest = ToolTest;

TEST_F(RemoveToolTest, RemovesTreesWithAwkwardNamesOneVerboseLineEach)
{
    write("tree/-dash", "1");
    write("tree/with space/-rf", "2");
    write("tree/line\nbreak", "3");
    write("-top", "4");
    auto r = runTool({"orvane-rm", "-v", "-f", "-r", "-P", path("tree")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(exists(path("tree")));
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6); // three files, a name with a line end, two folders
    EXPECT_NE(r.out.find(path("tree/with space/-rf") + "\n"), std::string::npos);

    const fs::path before = fs::current_path();
    fs::current_path(root);
    r = runTool({"orvane-rm", "-v", "--", "-top"});
    fs::current_path(before);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "-top\n");
    EXPECT_FALSE(exists(path("-top")));
}

TEST_F(RemoveToolTest, LinksAreRemovedAndTheirTargetsLeftAlone)
{
    std::string target = write("outside/keep.txt", "keep");
    write("tree/file", "x");
    ASSERT_EQ(::symlink(path("outside").c_str(), path("tree/folder-link").c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), path("tree/file-link").c_str()), 0);
    ASSERT_EQ(::symlink(path("outside").c_str(), path("top-link").c_str()), 0);
    auto r = runTool({"orvane-rm", "-v", "-f", "-r", "-P", path("tree"), path("top-link/")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(exists(path("tree")));
    EXPECT_FALSE(exists(path("top-link")));
    EXPECT_EQ(ovtest::readAll(target), "keep");
}

TEST_F(RemoveToolTest, OverwritesEachRegularFileButNotOneWithOtherHardLinks)
{
    const std::string content(300000, 'S');
    std::string single = write("tree/single", content);
    std::string shared = write("tree/shared", content);
    ASSERT_EQ(::link(shared.c_str(), path("other-name").c_str()), 0);
    std::string readOnly = write("tree/read-only", content);
    ::chmod(readOnly.c_str(), 0444);
    int held = ::open(single.c_str(), O_RDONLY);
    int heldReadOnly = ::open(readOnly.c_str(), O_RDONLY);

    auto r = runTool({"orvane-rm", "-f", "-r", "-P", path("tree")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("shared: not overwritten: the file has other hard links"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(path("tree")));
    EXPECT_EQ(ovtest::readAll(path("other-name")), content);

    for (int fd : {held, heldReadOnly}) {
        std::string after(content.size(), '\0');
        ASSERT_EQ(::pread(fd, after.data(), after.size(), 0), ssize_t(after.size()));
        EXPECT_EQ(std::count(after.begin(), after.end(), 'S') < 10000, true) << "not overwritten";
        ::close(fd);
    }

    // Without -P the data stays as it was until the last holder lets go.
    std::string plain = write("plain", content);
    int fd = ::open(plain.c_str(), O_RDONLY);
    EXPECT_EQ(runTool({"orvane-rm", plain}).status, 0);
    std::string after(content.size(), '\0');
    ASSERT_EQ(::pread(fd, after.data(), after.size(), 0), ssize_t(after.size()));
    EXPECT_EQ(after, content);
    ::close(fd);
}

TEST_F(RemoveToolTest, MissingItemsAndRefusedOperands)
{
    auto r = runTool({"orvane-rm", "-v", "-f", "-r", "-P", path("missing"), path("no/such/folder/x")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");

    r = runTool({"orvane-rm", path("missing")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing: No such file or directory"), std::string::npos);

    write("folder/x", "x");
    r = runTool({"orvane-rm", "-f", path("folder")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos);
    r = runTool({"orvane-rm", "-rf", path("folder/."), path("folder/..")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(exists(path("folder/x")));

    EXPECT_EQ(runTool({"orvane-rm", "-q", path("folder")}).status, 64);
    r = runTool({"orvane-rm", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("-P"), std::string::npos);
}

TEST_F(RemoveToolTest, UnreadableFoldersAreReportedAndWhatCannotGoStays)
{
    write("tree/locked/inside", "x");
    fs::create_directories(path("tree/empty-locked"));
    ::chmod(path("tree/locked").c_str(), 0);
    ::chmod(path("tree/empty-locked").c_str(), 0);
    std::vector<std::string> argv = {"orvane-rm", "-v", "-f", "-r", "-P", path("tree")};
    if (::geteuid() == 0) {
        // Permissions do not bind root: run the tool as nobody, on nobody's files.
        for (auto& entry : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied))
            ::lchown(entry.path().c_str(), 65534, 65534);
        ::lchown(root.c_str(), 65534, 65534);
        argv.front() = ORVANE_BINARY_DIR "/tools/orvane-rm";
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
        if (::access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "setpriv is needed to run as another user";
    }
    auto r = runTool(argv);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(path("tree/locked") + ": Permission denied"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(path("tree/empty-locked")));
    ::chmod(path("tree/locked").c_str(), 0755);
    EXPECT_TRUE(exists(path("tree/locked/inside")));
}

// orvane-sips

class ImageToolTest : public ToolTest {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(VIPS_INIT("test_tools"), 0); }

    // A 64x48 image with a wide-gamut colour profile, to be shown turned by 90 degrees.
    std::string makePhoto(const std::string& relative)
    {
        VipsImage* base = nullptr;
        VipsImage* rgb = nullptr;
        VipsImage* tagged = nullptr;
        EXPECT_EQ(vips_xyz(&base, 64, 48, nullptr), 0);
        VipsImage* bands[3] = {nullptr, nullptr, nullptr};
        EXPECT_EQ(vips_extract_band(base, &bands[0], 0, nullptr), 0);
        EXPECT_EQ(vips_extract_band(base, &bands[1], 1, nullptr), 0);
        EXPECT_EQ(vips_extract_band(base, &bands[2], 0, nullptr), 0);
        VipsImage* joined = nullptr;
        EXPECT_EQ(vips_bandjoin(bands, &joined, 3, nullptr), 0);
        EXPECT_EQ(vips_cast_uchar(joined, &rgb, nullptr), 0);
        EXPECT_EQ(vips_icc_transform(rgb, &tagged, "p3", "input_profile", "srgb", nullptr), 0);
        VipsImage* photo = nullptr;
        EXPECT_EQ(vips_copy(tagged, &photo, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr), 0);
        vips_image_set_int(photo, VIPS_META_ORIENTATION, 6);
        std::string file = path(relative);
        fs::create_directories(fs::path(file).parent_path());
        EXPECT_EQ(vips_jpegsave(photo, file.c_str(), nullptr), 0) << vips_error_buffer();
        for (VipsImage* i : {base, bands[0], bands[1], bands[2], joined, rgb, tagged, photo})
            if (i)
                g_object_unref(i);
        return file;
    }
};

TEST_F(ImageToolTest, EveryCatalogueFormatReadsBackWithOrientationAndProfile)
{
    std::string input = makePhoto("in/photo.jpg");
    struct Case {
        const char* format;
        const char* loader;
        bool keepsTags;
    };
    for (const Case& c : {Case{"jpeg", "jpegload", true}, Case{"png", "pngload", true}, Case{"gif", "gifload", false},
                          Case{"tiff", "tiffload", true}, Case{"webp", "webpload", true}}) {
        SCOPED_TRACE(c.format);
        std::string output = path(std::string("out/photo.") + c.format);
        fs::create_directories(path("out"));
        auto r = runTool({"orvane-sips", "-s", "format", c.format, input, "--out", output});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        VipsImage* image = vips_image_new_from_file(output.c_str(), nullptr);
        ASSERT_TRUE(image) << vips_error_buffer();
        const char* loader = nullptr;
        vips_image_get_string(image, "vips-loader", &loader);
        EXPECT_STREQ(loader, c.loader);
        int orientation = 1;
        if (vips_image_get_typeof(image, VIPS_META_ORIENTATION))
            vips_image_get_int(image, VIPS_META_ORIENTATION, &orientation);
        if (c.keepsTags) {
            EXPECT_EQ(orientation, 6);
            EXPECT_EQ(vips_image_get_width(image), 64);
            EXPECT_NE(vips_image_get_typeof(image, VIPS_META_ICC_NAME), GType(0)) << "no colour profile";
        } else {
            // No tag to carry it: the pixels themselves are turned.
            EXPECT_EQ(orientation, 1);
            EXPECT_EQ(vips_image_get_width(image), 48);
            EXPECT_EQ(vips_image_get_height(image), 64);
        }
        g_object_unref(image);
    }
    EXPECT_EQ(fs::directory_iterator(path("out")) == fs::directory_iterator(), false);
    for (const auto& entry : fs::directory_iterator(path("out")))
        EXPECT_NE(entry.path().filename().string().front(), '.') << "temporary file left: " << entry.path();
}

TEST_F(ImageToolTest, NeverWritesOverItsInput)
{
    std::string input = makePhoto("photo.jpg");
    std::string before = ovtest::readAll(input);
    ASSERT_EQ(::link(input.c_str(), path("same.png").c_str()), 0);
    for (const std::string& output : {input, path("same.png"), path("./photo.jpg")}) {
        auto r = runTool({"orvane-sips", "-s", "format", "png", input, "--out", output});
        EXPECT_EQ(r.status, 1) << output;
        EXPECT_NE(r.err.find("never written over"), std::string::npos);
    }
    EXPECT_EQ(ovtest::readAll(input), before);

    // Another file at the output is replaced whole.
    write("old.png", "old");
    EXPECT_EQ(runTool({"orvane-sips", "-s", "format", "png", input, "--out", path("old.png")}).status, 0);
    EXPECT_NE(ovtest::readAll(path("old.png")), "old");
}

TEST_F(ImageToolTest, FailuresGoToStandardErrorWithNothingLeftBehind)
{
    std::string junk = write("junk.jpg", "not an image");
    auto r = runTool({"orvane-sips", "-s", "format", "png", junk, "--out", path("junk.png")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("junk.jpg"), std::string::npos);
    EXPECT_FALSE(exists(path("junk.png")));

    std::string input = makePhoto("photo.jpg");
    r = runTool({"orvane-sips", "-s", "format", "png", input, "--out", path("no/such/folder/x.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create a file in"), std::string::npos);

    r = runTool({"orvane-sips", "-s", "format", "bmp-ish", input, "--out", path("x")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown format 'bmp-ish'"), std::string::npos);
    EXPECT_EQ(runTool({"orvane-sips", input}).status, 64);
    EXPECT_EQ(runTool({"orvane-sips", "--help"}).status, 0);

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"junk.jpg", "photo.jpg"}));
}

// Reads an image back without handing libvips its name, which may hold "[...]".
struct Loaded {
    int width = 0, height = 0;
    std::string loader;
};

Loaded loadBack(const std::string& file)
{
    std::string bytes = ovtest::readAll(file);
    Loaded loaded;
    VipsImage* image = vips_image_new_from_buffer(bytes.data(), bytes.size(), "", nullptr);
    if (!image) {
        ADD_FAILURE() << file << ": " << vips_error_buffer();
        vips_error_clear();
        return loaded;
    }
    loaded.width = vips_image_get_width(image);
    loaded.height = vips_image_get_height(image);
    const char* loader = nullptr;
    if (vips_image_get_string(image, "vips-loader", &loader) == 0)
        loaded.loader = loader;
    g_object_unref(image);
    return loaded;
}

class ImageNameTest : public ImageToolTest {
protected:
    // A grey PNG of the given size, written under any name.
    std::string makeImage(const std::string& relative, int width, int height)
    {
        VipsImage* black = nullptr;
        EXPECT_EQ(vips_black(&black, width, height, nullptr), 0);
        void* data = nullptr;
        size_t size = 0;
        EXPECT_EQ(vips_pngsave_buffer(black, &data, &size, nullptr), 0);
        g_object_unref(black);
        std::string file = write(relative, std::string(static_cast<char*>(data), size));
        g_free(data);
        return file;
    }
};

TEST_F(ImageNameTest, BracketsInFileNamesAreNamesNotOptions)
{
    makeImage("shot", 64, 48);
    std::string shot = makeImage("shot[memory=true]", 20, 10);
    auto r = runTool({"orvane-sips", "-s", "format", "png", shot, "--out", path("out[Q=1].png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(loadBack(path("out[Q=1].png")).width, 20) << "the neighbour 'shot' was read";
    EXPECT_FALSE(exists(path("out")));
    EXPECT_FALSE(exists(path("out.png")));

    // A page number that does not exist would make the load fail.
    std::string photo = makeImage("photo[1]", 30, 20);
    fs::create_directories(path("converted"));
    r = runTool({"orvane-sips", "-s", "format", "jpeg", photo, "--out", path("converted")});
    ASSERT_EQ(r.status, 0) << r.err;
    Loaded loaded = loadBack(path("converted/photo[1].jpg"));
    EXPECT_EQ(loaded.width, 30);
    EXPECT_EQ(loaded.loader, "jpegload_buffer");
}

TEST_F(ImageToolTest, ATruncatedPhotoConvertsQuietly)
{
    VipsImage* ramp = nullptr;
    VipsImage* pixels = nullptr;
    ASSERT_EQ(vips_xyz(&ramp, 400, 300, nullptr), 0);
    ASSERT_EQ(vips_cast_uchar(ramp, &pixels, nullptr), 0);
    void* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(vips_jpegsave_buffer(pixels, &data, &size, nullptr), 0);
    g_object_unref(ramp);
    g_object_unref(pixels);
    // Cut inside the pixel data: the header is whole, the lower rows are missing.
    std::string truncated = write("truncated.jpg", std::string(static_cast<char*>(data), size * 3 / 4));
    g_free(data);
    auto r = runTool({"orvane-sips", "-s", "format", "png", truncated, "--out", path("truncated.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "a warning is not a failure";
    EXPECT_EQ(loadBack(path("truncated.png")).height, 300);
}

TEST_F(ImageToolTest, OutputModeFollowsTheUmask)
{
    std::string input = makePhoto("photo.jpg");
    for (mode_t mask : {mode_t(022), mode_t(027), mode_t(002)}) {
        SCOPED_TRACE(mask);
        mode_t before = ::umask(mask);
        auto r = runTool({"orvane-sips", "-s", "format", "png", input, "--out", path("photo.png")});
        ::umask(before);
        ASSERT_EQ(r.status, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat(path("photo.png").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
    }
}

TEST_F(ImageToolTest, AStoppedConversionLeavesNothingBehind)
{
    // Noise compresses slowly: the conversion is still writing when it is stopped.
    VipsImage* noise = nullptr;
    ASSERT_EQ(vips_gaussnoise(&noise, 6000, 6000, nullptr), 0);
    VipsImage* pixels = nullptr;
    ASSERT_EQ(vips_cast_uchar(noise, &pixels, nullptr), 0);
    g_object_unref(noise);
    const std::string input = path("noise.png");
    ASSERT_EQ(vips_pngsave(pixels, input.c_str(), "compression", 0, nullptr), 0);
    g_object_unref(pixels);

    std::string tool = ORVANE_BINARY_DIR "/tools/orvane-sips";
    std::string output = path("noise.tif.png");
    std::vector<char*> argv{tool.data(), const_cast<char*>("-s"), const_cast<char*>("format"),
                            const_cast<char*>("png"), const_cast<char*>(input.c_str()),
                            const_cast<char*>("--out"), output.data(), nullptr};
    GPid pid = 0;
    ASSERT_TRUE(g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid,
                              nullptr));
    auto temporaries = [&] {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(root))
            count += entry.path().filename().string().rfind(".noise.tif.png.", 0) == 0;
        return count;
    };
    ASSERT_TRUE(ovtest::pumpUntil([&] { return temporaries() > 0; }, 30000)) << "the conversion never began writing";
    ::kill(pid, SIGTERM);
    int wait = 0;
    ASSERT_EQ(::waitpid(pid, &wait, 0), pid);
    g_spawn_close_pid(pid);
    EXPECT_FALSE(WIFEXITED(wait) && WEXITSTATUS(wait) == 0) << "the conversion finished before it was stopped";
    EXPECT_EQ(temporaries(), 0);
    EXPECT_FALSE(exists(output));
}

TEST_F(ImageNameTest, OnlyRegularFilesOfTrustedFormatsAreRead)
{
    // A FIFO is refused without waiting for a writer.
    ASSERT_EQ(::mkfifo(path("pipe.png").c_str(), 0600), 0);
    auto r = runTool(capped({"orvane-sips", "-s", "format", "png", path("pipe.png"), "--out", path("pipe-out.png")}));
    EXPECT_EQ(r.status, 1) << "a FIFO held the tool";
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;

    // Radiance stands for the loaders libvips does not hold safe against hostile files.
    VipsImage* black = nullptr;
    ASSERT_EQ(vips_black(&black, 8, 8, "bands", 3, nullptr), 0);
    ASSERT_EQ(vips_radsave(black, path("light.hdr").c_str(), nullptr), 0) << vips_error_buffer();
    g_object_unref(black);
    r = runTool({"orvane-sips", "-s", "format", "png", path("light.hdr"), "--out", path("light.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("blocked"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(path("light.png")));

    // JPEG 2000 is blocked by libvips as well, but this tool writes it and reads it back.
    if (!vips_foreign_find_save(".jp2")) {
        vips_error_clear();
        return;
    }
    std::string input = makeImage("small.png", 16, 12);
    ASSERT_EQ(runTool({"orvane-sips", "-s", "format", "jp2", input, "--out", path("small.jp2")}).status, 0);
    r = runTool({"orvane-sips", "-s", "format", "png", path("small.jp2"), "--out", path("again.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(loadBack(path("again.png")).width, 16);
}

// orvane-defaults

class PreferencesToolTest : public ToolTest {
protected:
    std::map<std::string, std::string> environment()
    {
        return {{"HOME", path("home")}, {"XDG_DATA_HOME", path("data")}, {"XDG_CONFIG_HOME", path("config")},
                {"XDG_DATA_DIRS", path("system")}, {"GSETTINGS_BACKEND", "memory"}};
    }
    void install(const std::string& id, const std::string& extra = "")
    {
        write("data/applications/" + id + ".desktop", "[Desktop Entry]\nType=Application\nName=A\nExec=true\n" + extra);
    }
};

TEST_F(PreferencesToolTest, OnlyInstalledApplicationIdsAreAccepted)
{
    install("app.orvane.Present");
    for (const char* id : {"../../etc", "app.orvane.Absent", "-rf", "a..b", ".hidden", "app.orvane.Present"}) {
        auto r = runTool({"orvane-defaults", "delete", id}, environment());
        EXPECT_EQ(r.status, 1) << id;
        EXPECT_NE(r.err.find(std::string("Domain (") + id + ") not found.\n"), std::string::npos) << r.err;
    }
    EXPECT_EQ(runTool({"orvane-defaults", "write", "x"}, environment()).status, 64);
    EXPECT_EQ(runTool({"orvane-defaults", "--help"}).status, 0);
}

TEST_F(PreferencesToolTest, AFlatpakApplicationsConfigIsClearedWithoutFollowingLinks)
{
    install("app.orvane.Boxed", "X-Flatpak=app.orvane.Boxed\n");
    std::string outside = write("home/Documents/keep.txt", "keep");
    write("home/.var/app/app.orvane.Boxed/config/settings.ini", "x=1");
    write("home/.var/app/app.orvane.Boxed/config/sub/more", "y");
    write("home/.var/app/app.orvane.Boxed/data/library.db", "data");
    ASSERT_EQ(::symlink(path("home/Documents").c_str(), path("home/.var/app/app.orvane.Boxed/config/docs").c_str()), 0);
    auto r = runTool({"orvane-defaults", "delete", "app.orvane.Boxed"}, environment());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_empty(path("home/.var/app/app.orvane.Boxed/config")));
    EXPECT_EQ(ovtest::readAll(outside), "keep");
    EXPECT_EQ(ovtest::readAll(path("home/.var/app/app.orvane.Boxed/data/library.db")), "data");
}

// orvane-defaults against a private dconf database: the installed schemas and a few of the test's
// own, each command on a session bus of its own whose dconf service writes into the test's folder.
class SettingsResetTest : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        gchar* runSession = g_find_program_in_path("dbus-run-session");
        gchar* gsettingsTool = g_find_program_in_path("gsettings");
        runSession_ = runSession ? runSession : "";
        gsettings_ = gsettingsTool ? gsettingsTool : "";
        g_free(runSession);
        g_free(gsettingsTool);
        if (runSession_.empty() || gsettings_.empty())
            GTEST_SKIP() << "needs dbus-run-session and gsettings";
        // The dconf services left behind by each bus become this process's children, to be ended
        // and reaped before the folder goes.
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        subreaper_ = true;
        fs::create_directories(path("run"));
        ::chmod(path("run").c_str(), 0700);
        write("data/glib-2.0/schemas/app.orvane.test.gschema.xml", R"(<schemalist>
  <schema id="app.orvane.TestApp" path="/app/orvane/TestApp/">
    <key name="greeting" type="s"><default>'hello'</default></key>
    <child name="window" schema="app.orvane.TestApp.window"/>
  </schema>
  <schema id="app.orvane.TestApp.window" path="/app/orvane/TestApp/window/">
    <key name="width" type="i"><default>600</default></key>
  </schema>
  <schema id="app.orvane.testapp.sidebar" path="/app/orvane/testapp/sidebar/">
    <key name="width" type="i"><default>200</default></key>
  </schema>
  <schema id="app.orvane.TestAppExtra" path="/app/orvane/TestAppExtra/">
    <key name="greeting" type="s"><default>'hello'</default></key>
  </schema>
  <schema id="app.orvane.player" path="/app/orvane/player/">
    <key name="volume" type="i"><default>50</default></key>
  </schema>
  <schema id="app.orvane.player.Visualizer" path="/app/orvane/player/Visualizer/">
    <key name="volume" type="i"><default>50</default></key>
  </schema>
  <schema id="app.orvane.players" path="/app/orvane/players/">
    <key name="volume" type="i"><default>50</default></key>
  </schema>
  <schema id="app.orvane.desktop" path="/app/orvane/desktop/">
    <key name="volume" type="i"><default>50</default></key>
  </schema>
  <schema id="app.orvane.xy" path="/app/orvane/xy/">
    <key name="volume" type="i"><default>50</default></key>
  </schema>
</schemalist>
)");
        ASSERT_EQ(std::system(("glib-compile-schemas '" + path("data/glib-2.0/schemas") + "'").c_str()), 0);
        install("app.orvane.TestApp", "Exec=true\n");
        // Desktop files whose program cannot be found are not installed applications.
        std::string player = write("bin/player", "#!/bin/sh\n");
        ::chmod(player.c_str(), 0755);
        install("app.orvane.Player3", "Exec=env PLAYER_THEME=dark " + player + " --new-window %U\n");
        std::string xy = write("bin/xy", "#!/bin/sh\n");
        ::chmod(xy.c_str(), 0755);
        install("app.orvane.Xylophone", "Exec=" + xy + "\n");
        install("app.orvane.Player.Visualizer", "Exec=true\n");
        install("app.orvane.Gadget", "Exec=env LANG=C desktop %U\n");
        install("app.orvane", "Exec=true\n");
    }

    void TearDown() override
    {
        if (subreaper_) {
            // Each bus is gone, so its dconf service ends on its own.
            bool reaped = ovtest::pumpUntil([] {
                pid_t pid;
                while ((pid = ::waitpid(-1, nullptr, WNOHANG)) > 0) {
                }
                return pid < 0 && errno == ECHILD;
            }, 10000);
            EXPECT_TRUE(reaped) << "a process of the private sessions is still running";
            ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        }
        ToolTest::TearDown();
    }

    void install(const std::string& id, const std::string& exec)
    {
        write("data/applications/" + id + ".desktop", "[Desktop Entry]\nType=Application\nName=A\n" + exec);
    }

    std::map<std::string, std::string> environment()
    {
        return {{"HOME", path("home")}, {"XDG_DATA_HOME", path("data")}, {"XDG_CONFIG_HOME", path("config")},
                {"XDG_CACHE_HOME", path("cache")}, {"XDG_RUNTIME_DIR", path("run")},
                {"XDG_DATA_DIRS", path("system") + ":/usr/local/share:/usr/share"}, {"GSETTINGS_BACKEND", "dconf"},
                {"GSETTINGS_SCHEMA_DIR", ""}, {"DBUS_SESSION_BUS_ADDRESS", ""}, {"GIO_USE_VFS", "local"}};
    }

    ToolResult inSession(std::vector<std::string> argv)
    {
        argv.insert(argv.begin(), {runSession_, "--"});
        return runTool(argv, environment());
    }

    void set(const std::string& schema, const std::string& key, const std::string& value)
    {
        auto r = inSession({gsettings_, "set", schema, key, value});
        ASSERT_EQ(r.status, 0) << schema << " " << key << ": " << r.err;
        ASSERT_EQ(get(schema, key), value);
    }

    std::string get(const std::string& schema, const std::string& key)
    {
        std::string value = inSession({gsettings_, "get", schema, key}).out;
        while (!value.empty() && value.back() == '\n')
            value.pop_back();
        return value;
    }

    ToolResult reset(const std::string& id)
    {
        return inSession({ORVANE_BINARY_DIR "/tools/orvane-defaults", "delete", id});
    }

    std::string runSession_;
    std::string gsettings_;
    bool subreaper_ = false;
};

TEST_F(SettingsResetTest, TheApplicationsSchemasInAnyCaseButNotItsNeighbours)
{
    set("app.orvane.TestApp", "greeting", "'bye'");
    set("app.orvane.TestApp.window", "width", "99");
    set("app.orvane.testapp.sidebar", "width", "99");
    set("app.orvane.TestAppExtra", "greeting", "'bye'");
    auto r = reset("app.orvane.TestApp");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(get("app.orvane.TestApp", "greeting"), "'hello'");
    EXPECT_EQ(get("app.orvane.TestApp.window", "width"), "600");
    EXPECT_EQ(get("app.orvane.testapp.sidebar", "width"), "200");
    EXPECT_EQ(get("app.orvane.TestAppExtra", "greeting"), "'bye'") << "only whole components match";
}

TEST_F(SettingsResetTest, SchemasNamedAfterTheProgramButNotAnotherApplicationsOrAVendors)
{
    for (const char* schema :
         {"app.orvane.player", "app.orvane.player.Visualizer", "app.orvane.players", "app.orvane.desktop", "app.orvane.xy"})
        set(schema, "volume", "7");
    // Exec=env PLAYER_THEME=dark .../bin/player for app.orvane.Player3.
    auto r = reset("app.orvane.Player3");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(get("app.orvane.player", "volume"), "50");
    EXPECT_EQ(get("app.orvane.player.Visualizer", "volume"), "7") << "app.orvane.Player.Visualizer is installed";
    EXPECT_EQ(get("app.orvane.players", "volume"), "7");

    // Exec=env LANG=C desktop: a program not named after the application names nothing of it.
    r = reset("app.orvane.Gadget");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Domain (app.orvane.Gadget) not found."), std::string::npos) << r.err;
    // Two letters are too few to tell that app.orvane.Xylophone's program xy is named after it.
    EXPECT_EQ(reset("app.orvane.Xylophone").status, 1);
    // A vendor's prefix names only its very schema, of which there is none.
    r = reset("app.orvane");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Domain (app.orvane) not found."), std::string::npos) << r.err;
    for (const char* schema : {"app.orvane.player.Visualizer", "app.orvane.players", "app.orvane.desktop", "app.orvane.xy"})
        EXPECT_EQ(get(schema, "volume"), "7") << schema;
}

TEST_F(SettingsResetTest, TheInstalledFilesKeepsItsSettingsInLowerCaseSchemas)
{
    GSettingsSchemaSource* system = g_settings_schema_source_get_default();
    GSettingsSchema* schema = system ? g_settings_schema_source_lookup(system, "org.gnome.nautilus.preferences", TRUE) : nullptr;
    if (!schema || !fs::exists("/usr/share/applications/org.gnome.Nautilus.desktop"))
        GTEST_SKIP() << "Files (Nautilus) is not installed";
    g_settings_schema_unref(schema);
    set("org.gnome.nautilus.preferences", "default-folder-viewer", "'list-view'");
    set("org.gnome.nautilus.window-state", "maximized", "true");
    set("org.gnome.desktop.interface", "clock-format", "'12h'");
    bool withNemo = fs::exists("/usr/share/applications/nemo.desktop");
    if (withNemo)
        set("org.nemo.preferences", "show-hidden-files", "true");

    auto r = reset("org.gnome.Nautilus");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(get("org.gnome.nautilus.preferences", "default-folder-viewer"), "'icon-view'");
    EXPECT_EQ(get("org.gnome.nautilus.window-state", "maximized"), "false");
    EXPECT_EQ(get("org.gnome.desktop.interface", "clock-format"), "'12h'") << "the vendor's shared settings";
    if (withNemo) {
        EXPECT_EQ(get("org.nemo.preferences", "show-hidden-files"), "true") << "another file manager's";
    }
}

} // namespace
