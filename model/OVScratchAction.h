#pragma once

#include "model/OVAction.h"

class OVScratchAction : public OVActionKind<OVScratchAction> {
public:
    static constexpr const char* kClassName = "OVScratchAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule", .title = "Scratch"};

    const std::optional<std::string>& note() const { return note_; }
    void setNote(std::optional<std::string> v) { note_ = std::move(v); }
    static constexpr auto archivedFields() { return std::tuple{ovfield::string("note", &OVScratchAction::note_)}; }

private:
    std::optional<std::string> note_;
};
