// Shared by the main window's source files: design sizes and text conversions.
#pragma once

#include <QString>
#include <string>

namespace app {

inline constexpr int kTopBar = 31, kSideBar = 8, kBottomBar = 8;
inline constexpr int kAudioPanelHeight = 162, kVideoControlsHeight = 32, kPanelWidth = 364;

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string Std(const QString& s) { return s.toStdString(); }

}  // namespace app
