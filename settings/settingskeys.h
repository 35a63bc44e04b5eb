#pragma once

#include <QString>

// INI keys of the program's settings file besides the tuning parameters'
// (whose keys are in the parameter table). Stored files rely on these
// strings: never rename one.
namespace SettingsKeys {
extern const QString CameraId;
extern const QString PreviewIndex;
extern const QString Language;
extern const QString DisplayZoom;
extern const QString DebugLog;
// The image statistics panel: shown or not, and its region as "x y width
// height" in fractions of the camera's upright picture.
extern const QString StatsPanel;
extern const QString StatsRegion;
extern const QString SnapshotFolder;
// Tuning profiles loaded or saved last, most recent first.
extern const QString RecentProfiles;
} // namespace SettingsKeys
