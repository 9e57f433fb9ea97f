// SPDX-License-Identifier: GPL-3.0-or-later
// A page of the settings window: its titles and image, and whether it may be resized.
#pragma once

#include "model/OVImage.h"
#include "ui/HLViewController.h"

#include <optional>

class HLModuleViewController : public HLViewController {
public:
    std::vector<std::string> classHierarchy() const override { return {"HLModuleViewController", "HLViewController"}; }

    const std::string& moduleTitle() const { return moduleTitle_; }
    void setModuleTitle(std::string v) { moduleTitle_ = std::move(v); }
    const std::string& moduleSubTitle() const { return moduleSubTitle_; }
    void setModuleSubTitle(std::string v) { moduleSubTitle_ = std::move(v); }
    const std::string& moduleWindowTitle() const { return moduleWindowTitle_; }
    void setModuleWindowTitle(std::string v) { moduleWindowTitle_ = std::move(v); }
    const std::optional<OVImage>& moduleImage() const { return moduleImage_; }
    void setModuleImage(std::optional<OVImage> v) { moduleImage_ = std::move(v); }
    bool moduleIsResizable() const { return moduleIsResizable_; }
    void setModuleIsResizable(bool v) { moduleIsResizable_ = v; }

    bool moduleIsVisible() const { return moduleIsVisible_; }
    // Also makes its navigation stack visible or not.
    void setModuleIsVisible(bool visible);

    virtual void update() {}

protected:
    HLModuleViewController() = default;

private:
    std::string moduleTitle_;
    std::string moduleSubTitle_;
    std::string moduleWindowTitle_;
    std::optional<OVImage> moduleImage_;
    bool moduleIsVisible_ = false;
    bool moduleIsResizable_ = true;
};
