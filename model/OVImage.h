// SPDX-License-Identifier: GPL-3.0-or-later
// An action's menu icon: a serialized GIcon (a themed name, a file URI) or PNG bytes.
// The empty image draws nothing; every image is shown at 16 x 16.
#pragma once

#include <optional>
#include <string>
#include <utility>

class OVKeyedArchiver;
class OVKeyedUnarchiver;

class OVImage {
public:
    OVImage() = default;
    static OVImage named(std::string name) { return OVImage(std::move(name), {}); }
    static OVImage fromSerialized(std::string gicon) { return OVImage(std::move(gicon), {}); }
    static OVImage fromPNGData(std::string png) { return OVImage({}, std::move(png)); }

    const std::string& serialized() const { return serialized_; }
    const std::string& pngData() const { return png_; }
    bool isEmpty() const { return serialized_.empty() && png_.empty(); }
    static constexpr int displaySize = 16;

    bool operator==(const OVImage&) const = default;

    // The archive form under key: PNG bytes as data, anything else as the serialized icon. The
    // empty image is left out and reads back as none.
    void encodeWithCoder(OVKeyedArchiver& coder, const char* key) const;
    static std::optional<OVImage> imageWithCoder(OVKeyedUnarchiver& coder, const char* key);

private:
    OVImage(std::string s, std::string png) : serialized_(std::move(s)), png_(std::move(png)) {}
    std::string serialized_;
    std::string png_;
};
