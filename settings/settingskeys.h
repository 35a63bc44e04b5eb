#pragma once

#include <QString>

// INI keys of the program's settings file. Stored files rely on these strings:
// never rename one.
namespace SettingsKeys {
extern const QString CameraId;
extern const QString PreviewIndex;
extern const QString AecMod;
extern const QString ApertureValue;
extern const QString ExposureTime;
extern const QString SkinSmoothing;
extern const QString BrightMode;
extern const QString SceValue;
extern const QString IsoValue;
extern const QString EvValue;
extern const QString AfdValue;
extern const QString AwbValue;
extern const QString WarmnessValue;
extern const QString SaturationValue;
extern const QString ContrastValue;
extern const QString SharpnessValue;
extern const QString UvcMceR;
extern const QString UvcMceG;
extern const QString UvcMceB;
extern const QString Language;
extern const QString DisplayZoom;
extern const QString DebugLog;
extern const QString ColorTemperature;
// The image statistics panel: shown or not, and its region as "x y width
// height" in fractions of the camera's upright picture.
extern const QString StatsPanel;
extern const QString StatsRegion;
extern const QString SnapshotFolder;
} // namespace SettingsKeys
