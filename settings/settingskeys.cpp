#include "settings/settingskeys.h"

namespace SettingsKeys {
const QString CameraId = QStringLiteral("camera_id");
const QString PreviewIndex = QStringLiteral("preview_index");
const QString AecMod = QStringLiteral("aec_Mod");
const QString ApertureValue = QStringLiteral("aperture_value");
const QString ExposureTime = QStringLiteral("exposure_time");
const QString SkinSmoothing = QStringLiteral("skin_smoothing");
const QString BrightMode = QStringLiteral("bright_mode");
const QString SceValue = QStringLiteral("sce_value");
const QString IsoValue = QStringLiteral("iso_value");
const QString EvValue = QStringLiteral("ev_value");
const QString AfdValue = QStringLiteral("afd_value");
const QString AwbValue = QStringLiteral("awb_value");
const QString WarmnessValue = QStringLiteral("warmness_value");
const QString SaturationValue = QStringLiteral("saturation_value");
const QString ContrastValue = QStringLiteral("contrast_value");
const QString SharpnessValue = QStringLiteral("sharpness_value");
const QString UvcMceR = QStringLiteral("uvc_mce_r");
const QString UvcMceG = QStringLiteral("uvc_mce_g");
const QString UvcMceB = QStringLiteral("uvc_mce_b");
const QString Language = QStringLiteral("language");
const QString DisplayZoom = QStringLiteral("display_zoom");
const QString DebugLog = QStringLiteral("debug_log");
const QString ColorTemperature = QStringLiteral("color_temperature");
const QString StatsPanel = QStringLiteral("stats_panel");
const QString StatsRegion = QStringLiteral("stats_region");
const QString SnapshotFolder = QStringLiteral("snapshot_folder");
} // namespace SettingsKeys
