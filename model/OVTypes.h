// SPDX-License-Identifier: GPL-3.0-or-later
// Type identifiers of the model. Types are MIME types of shared-mime-info.
#pragma once

inline constexpr const char* kUTTypeFolder = "inode/directory";
inline constexpr const char* kUTTypeImage = "image/*";
inline constexpr const char* kUTTypeApplication = "application/x-desktop";
