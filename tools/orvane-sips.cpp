// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-sips: converts an image into another format with libvips. It takes the command line of
// the system image tool that "convert image" runs: -s format FORMAT INPUT --out OUTPUT.
// The output is written beside its final name and renamed into place, never over the input.
#include <vips/vips.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// The unfinished output, removed when the tool is stopped (a cancelled run sends SIGTERM), so that
// no half-written file stays beside the images.
char temporaryPath[4096];

void removeTemporaryAndExit(int signal)
{
    if (temporaryPath[0])
        ::unlink(temporaryPath);
    ::_exit(128 + signal);
}

void noteTemporary(const char* path)
{
    if (!path) {
        temporaryPath[0] = '\0';
        return;
    }
    std::size_t length = std::strlen(path);
    if (length >= sizeof temporaryPath)
        length = 0; // too long to keep: the runner's sweep is the fallback
    std::memcpy(temporaryPath, path, length);
    temporaryPath[length] = '\0';
}

void removeTemporaryOnSignals()
{
    struct sigaction action {};
    action.sa_handler = removeTemporaryAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

// Holds the stopping signals while the temporary's name and the file disagree.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set, signal);
        ::sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

constexpr int kUsageError = 64;

// PNG is bound by zlib: level 2 with adaptive row filters stays within a few percent of the size
// of level 7 on photographs at a fraction of the time.
constexpr int kPngCompression = 2;
constexpr int kJpegQuality = 90;
constexpr int kWebpQuality = 90;

struct Format {
    const char* name;
    std::vector<const char*> aliases;
    const char* suffix;
    bool keepsOrientation; // its writer stores the orientation tag
    bool keepsProfile;     // its writer embeds the colour profile
    bool hasAlpha;
};

const std::vector<Format>& formats()
{
    static const std::vector<Format> all = {
        {"jpeg", {"jpg"}, ".jpg", true, true, false},
        {"png", {}, ".png", true, true, true},
        {"gif", {}, ".gif", false, false, true},
        {"tiff", {"tif"}, ".tif", true, true, true},
        {"webp", {}, ".webp", true, true, true},
        {"heif", {"heic"}, ".heic", true, true, true},
        {"jp2", {"jpeg2000"}, ".jp2", false, true, true},
    };
    return all;
}

const Format* findFormat(const std::string& name)
{
    std::string lower;
    for (char c : name)
        lower += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    // The system tool's own names, such as "public.jpeg".
    if (lower.rfind("public.", 0) == 0)
        lower = lower.substr(7);
    for (const auto& f : formats()) {
        if (lower == f.name)
            return &f;
        for (const char* alias : f.aliases)
            if (lower == alias)
                return &f;
    }
    return nullptr;
}

const char* kUsage = "usage: orvane-sips -s format FORMAT INPUT --out OUTPUT\n";

void printHelp()
{
    std::fputs(kUsage, stdout);
    std::fputs("Converts INPUT into FORMAT and writes it to OUTPUT (a file, or a folder to write into).\n"
               "FORMAT is one of:",
               stdout);
    for (const auto& f : formats())
        std::printf(" %s", f.name);
    std::fputs(".\n"
               "The image keeps its orientation and its colour profile (GIF has no room for either:\n"
               "its pixels are turned upright and into sRGB). The input is never written over; the\n"
               "output appears complete or not at all. Failures go to standard error; what libvips works\n"
               "around (such as a truncated JPEG) goes to the debug log. The exit status is 0 on\n"
               "success, 1 when the conversion failed and 64 for a wrong command line.\n",
               stdout);
}

void fail(const std::string& subject, const std::string& message)
{
    std::fprintf(stderr, "orvane-sips: %s: %s\n", subject.c_str(), message.c_str());
}

std::string vipsError()
{
    std::string text = vips_error_buffer();
    vips_error_clear();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    for (auto& c : text)
        if (c == '\n')
            c = ' ';
    return text.empty() ? "unknown libvips error" : text;
}

// Owns one image reference.
class Image {
public:
    explicit Image(VipsImage* image = nullptr) : image_(image) {}
    ~Image() { reset(); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    VipsImage* get() const { return image_; }
    void reset(VipsImage* image = nullptr)
    {
        if (image_)
            g_object_unref(image_);
        image_ = image;
    }

private:
    VipsImage* image_;
};

std::string lastComponent(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int orientationOf(VipsImage* image)
{
    int orientation = 1;
    if (vips_image_get_typeof(image, VIPS_META_ORIENTATION) && vips_image_get_int(image, VIPS_META_ORIENTATION, &orientation) != 0)
        orientation = 1;
    return orientation;
}

// Applies one operation that makes a new image from image, replacing it.
template <typename Op>
bool step(Image& image, Op op)
{
    VipsImage* out = nullptr;
    if (op(image.get(), &out) != 0)
        return false;
    image.reset(out);
    return true;
}

bool save(VipsImage* image, const Format& format, VipsTarget* target)
{
    const std::string name = format.name;
    if (name == "jpeg")
        return vips_image_write_to_target(image, format.suffix, target, "Q", kJpegQuality, nullptr) == 0;
    if (name == "png")
        return vips_image_write_to_target(image, format.suffix, target, "compression", kPngCompression, "filter",
                                          VIPS_FOREIGN_PNG_FILTER_ALL, nullptr) == 0;
    if (name == "tiff")
        return vips_image_write_to_target(image, format.suffix, target, "compression",
                                          VIPS_FOREIGN_TIFF_COMPRESSION_DEFLATE, nullptr) == 0;
    if (name == "webp" || name == "heif")
        return vips_image_write_to_target(image, format.suffix, target, "Q", kWebpQuality, nullptr) == 0;
    return vips_image_write_to_target(image, format.suffix, target, nullptr) == 0;
}

// Loads the image that fd holds. Reading from the descriptor rather than by name keeps a file name
// such as "shot[memory=true]" or "photo[1]" from being taken as load options, and keeps the file
// that was checked the one that is read.
VipsImage* loadFrom(int fd, bool sequential)
{
    VipsSource* source = vips_source_new_from_descriptor(fd);
    if (!source)
        return nullptr;
    VipsImage* image = sequential ? vips_image_new_from_source(source, "", "access", VIPS_ACCESS_SEQUENTIAL, nullptr)
                                  : vips_image_new_from_source(source, "", nullptr);
    g_object_unref(source);
    return image;
}

// Owns one descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int convert(const std::string& input, const Format& format, std::string output)
{
    // O_NONBLOCK: a FIFO put in the input's place must not hold the tool; it is refused below.
    Descriptor inputFd(::open(input.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat in;
    if (inputFd.get() < 0 || ::fstat(inputFd.get(), &in) != 0) {
        fail(input, std::strerror(errno));
        return 1;
    }
    if (!S_ISREG(in.st_mode)) {
        fail(input, "not a regular file");
        return 1;
    }
    struct stat out;
    if (::stat(output.c_str(), &out) == 0 && S_ISDIR(out.st_mode)) {
        std::string stem = lastComponent(input);
        if (auto dot = stem.rfind('.'); dot != std::string::npos && dot > 0)
            stem.resize(dot);
        output += (output.back() == '/' ? "" : "/") + stem + format.suffix;
    }
    if (::stat(output.c_str(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino) {
        fail(output, "is the input itself; the input is never written over");
        return 1;
    }
    if (!vips_foreign_find_save_target(format.suffix)) {
        vips_error_clear();
        fail(output, std::string("the libvips of this system cannot write ") + format.name
                         + " (it was built without the library for it)");
        return 1;
    }

    Image image(loadFrom(inputFd.get(), true));
    if (!image.get()) {
        fail(input, vipsError());
        return 1;
    }
    bool ok = true;
    if (!format.keepsOrientation && orientationOf(image.get()) > 1) {
        // Turning needs the whole image: load it again for random access.
        image.reset();
        image.reset(loadFrom(inputFd.get(), false));
        ok = image.get() && step(image, [](VipsImage* i, VipsImage** o) { return vips_autorot(i, o, nullptr); });
    }
    if (ok && !format.keepsProfile && vips_image_get_typeof(image.get(), VIPS_META_ICC_NAME)) {
        if (!step(image, [](VipsImage* i, VipsImage** o) {
                return vips_icc_transform(i, o, "srgb", "embedded", TRUE, nullptr);
            }))
            vips_error_clear(); // a profile that cannot be used leaves the colours as they are
    }
    if (ok && !format.hasAlpha && vips_image_hasalpha(image.get())) {
        // Transparent areas become white, as on paper, rather than black.
        VipsInterpretation type = image.get()->Type;
        double white = type == VIPS_INTERPRETATION_RGB16 || type == VIPS_INTERPRETATION_GREY16 ? 65535 : 255;
        std::vector<double> background(size_t(image.get()->Bands - 1), white);
        VipsArrayDouble* array = vips_array_double_new(background.data(), int(background.size()));
        ok = step(image, [array](VipsImage* i, VipsImage** o) { return vips_flatten(i, o, "background", array, nullptr); });
        vips_area_unref(VIPS_AREA(array));
    }
    if (!ok) {
        fail(input, vipsError());
        return 1;
    }

    const std::string folder = folderOf(output);
    std::string tmpl = folder + "/." + lastComponent(output) + ".XXXXXX";
    std::vector<char> tempName(tmpl.begin(), tmpl.end());
    tempName.push_back('\0');
    int fd = -1;
    {
        SignalsHeld held;
        fd = ::mkostemp(tempName.data(), O_CLOEXEC);
        if (fd >= 0)
            noteTemporary(tempName.data());
    }
    if (fd < 0) {
        fail(output, std::string("cannot create a file in ") + folder + ": " + std::strerror(errno));
        return 1;
    }
    VipsTarget* target = vips_target_new_to_descriptor(fd);
    ok = target && save(image.get(), format, target);
    std::string error = ok ? std::string() : vipsError();
    if (target)
        g_object_unref(target);
    if (ok) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        if (::fsync(fd) != 0) {
            ok = false;
            error = std::string("cannot flush the output: ") + std::strerror(errno);
        }
    }
    ::close(fd);
    {
        SignalsHeld held;
        if (ok && ::rename(tempName.data(), output.c_str()) != 0) {
            ok = false;
            error = std::strerror(errno);
        }
        if (!ok)
            ::unlink(tempName.data());
        noteTemporary(nullptr);
    }
    if (!ok) {
        fail(output, error);
        return 1;
    }
    int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        ::fsync(dirfd);
        ::close(dirfd);
    }
    return 0;
}

// libvips reports what it could work around (a truncated JPEG, an odd chunk in a PNG) as GLib
// warnings. They are not failures: standard error carries only those, so they go to the debug log.
void logQuietly(const gchar* domain, GLogLevelFlags, const gchar* message, gpointer)
{
    g_log_default_handler(domain, G_LOG_LEVEL_DEBUG, message, nullptr);
}

// Loaders that libvips does not hold safe against hostile files stay blocked (without this, a file
// no loader knows is handed to ImageMagick), except those for image formats a desktop commonly
// holds, JPEG 2000 among them, which this tool writes itself.
void blockUntrustedLoaders()
{
    vips_block_untrusted_set(TRUE);
    for (const char* name : {"VipsForeignLoadJp2k", "VipsForeignLoadJxl", "VipsForeignLoadSvg", "VipsForeignLoadPpm"})
        vips_operation_block_set(name, FALSE);
}

} // namespace

int main(int argc, char** argv)
{
    std::optional<std::string> formatName;
    std::optional<std::string> output;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        }
        if (arg == "-s" || arg == "--setProperty") {
            if (i + 2 >= argc) {
                std::fprintf(stderr, "orvane-sips: %s needs a property and a value\n%s", arg.c_str(), kUsage);
                return kUsageError;
            }
            std::string key = argv[i + 1];
            if (key != "format") {
                std::fprintf(stderr, "orvane-sips: property '%s' is not supported (only format)\n", key.c_str());
                return kUsageError;
            }
            formatName = argv[i + 2];
            i += 2;
        } else if (arg == "--out" || arg == "-o") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orvane-sips: %s needs a path\n%s", arg.c_str(), kUsage);
                return kUsageError;
            }
            output = argv[++i];
        } else if (arg == "--") {
            inputs.insert(inputs.end(), argv + i + 1, argv + argc);
            break;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "orvane-sips: unknown option %s\n%s", arg.c_str(), kUsage);
            return kUsageError;
        } else {
            inputs.push_back(arg);
        }
    }
    if (!formatName || !output || output->empty() || inputs.size() != 1) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    const Format* format = findFormat(*formatName);
    if (!format) {
        std::string known;
        for (const auto& f : formats())
            known += std::string(known.empty() ? "" : ", ") + f.name;
        std::fprintf(stderr, "orvane-sips: unknown format '%s' (known: %s)\n", formatName->c_str(), known.c_str());
        return 1;
    }

    g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO), logQuietly, nullptr);
    if (VIPS_INIT(argv[0]) != 0) {
        fail("libvips", "cannot start: " + vipsError());
        return 1;
    }
    vips_cache_set_max(0); // one image, read once
    blockUntrustedLoaders();
    removeTemporaryOnSignals();
    int status = convert(inputs.front(), *format, *output);
    vips_shutdown();
    return status;
}
