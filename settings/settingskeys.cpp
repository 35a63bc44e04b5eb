#include "settings/settingskeys.h"

namespace SettingsKeys {
const QString CameraId = QStringLiteral("camera_id");
const QString PreviewIndex = QStringLiteral("preview_index");
const QString Language = QStringLiteral("language");
const QString DisplayZoom = QStringLiteral("display_zoom");
const QString DebugLog = QStringLiteral("debug_log");
const QString StatsPanel = QStringLiteral("stats_panel");
const QString StatsRegion = QStringLiteral("stats_region");
const QString SnapshotFolder = QStringLiteral("snapshot_folder");
const QString RecentProfiles = QStringLiteral("recent_profiles");
} // namespace SettingsKeys
