<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AppMenuBar</name>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Capture</source>
        <translation>Capture</translation>
    </message>
    <message>
        <source>View</source>
        <translation>View</translation>
    </message>
    <message>
        <source>rotate_cw</source>
        <translation>Rotate CW</translation>
    </message>
    <message>
        <source>rotate_ccw</source>
        <translation>Rotate CCW</translation>
    </message>
    <message>
        <source>display_zoom_mode</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>display_zoom</source>
        <translation>Auto zoom</translation>
    </message>
    <message>
        <source>display_pixel</source>
        <translation>Original pixel</translation>
    </message>
    <message>
        <source>debug_info</source>
        <translation>Debug Info</translation>
    </message>
    <message>
        <source>image_statistics</source>
        <translation>Image statistics</translation>
    </message>
    <message>
        <source>debug_log</source>
        <translation>Debug log</translation>
    </message>
    <message>
        <source>Sync</source>
        <extracomment>Sync</extracomment>
        <translation>Sync</translation>
    </message>
    <message>
        <source>Sync_to_cam</source>
        <extracomment>Sync all parameters to camera now</extracomment>
        <translation>Sync all parameters to camera now</translation>
    </message>
    <message>
        <source>save_to_cam</source>
        <extracomment>Store all parameters to the camera</extracomment>
        <translation>Store all parameters to the camera</translation>
    </message>
    <message>
        <source>langage</source>
        <translation>Langage</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>quit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>save_profile</source>
        <translation>Save profile…</translation>
    </message>
    <message>
        <source>load_profile</source>
        <translation>Load profile…</translation>
    </message>
    <message>
        <source>compare_profile</source>
        <translation>Compare with profile…</translation>
    </message>
    <message>
        <source>recent_profiles</source>
        <translation>Recent profiles</translation>
    </message>
</context>
<context>
    <name>FromMceSlider</name>
    <message>
        <source>red</source>
        <translation>Red:</translation>
    </message>
    <message>
        <source>green</source>
        <translation>Green:</translation>
    </message>
    <message>
        <source>blue</source>
        <translation>Blue:</translation>
    </message>
</context>
<context>
    <name>QmlData</name>
    <message>
        <source>Save as</source>
        <translation>Save as</translation>
    </message>
    <message>
        <source>camera_not_found</source>
        <translation>Camera not found</translation>
    </message>
    <message>
        <source>camera_not_found_conetent</source>
        <translation>     USB camera not found,
please unplug the USB cable again and click retry !</translation>
    </message>
    <message>
        <source>btn-retry</source>
        <translation>retry</translation>
    </message>
    <message>
        <source>btn-exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>sync_wait</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>sync_wait_message</source>
        <translation>Synchronizing camera parameters, please wait.</translation>
    </message>
    <message>
        <source>open_cam_failed_t</source>
        <translation>Camera on error</translation>
    </message>
    <message>
        <source>open_cam_failed_m</source>
        <translation>    The camera cannot be started because it
has been opened or occupied by another application.</translation>
    </message>
    <message>
        <source>save_to_cam_t</source>
        <translation>Exit prompt</translation>
    </message>
    <message>
        <source>save_to_cam_m</source>
        <translation>    A change in the Settings was detected.
Do you want to save the parameters to the camera ?</translation>
    </message>
    <message>
        <source>btn-save</source>
        <translation>Save and exit</translation>
    </message>
    <message>
        <source>btn-save-exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>file_problem_t</source>
        <translation>File problem</translation>
    </message>
    <message>
        <source>settings_not_kept_m</source>
        <translation>Changes to the settings will not be remembered:
%1
%2</translation>
    </message>
    <message>
        <source>log_not_kept_m</source>
        <translation>The debug log cannot be written:
%1
%2</translation>
    </message>
    <message>
        <source>file_not_regular</source>
        <translation>It is not a regular file.</translation>
    </message>
    <message>
        <source>file_not_folder</source>
        <translation>It is not a folder.</translation>
    </message>
    <message>
        <source>file_unreadable</source>
        <translation>It cannot be read.</translation>
    </message>
    <message>
        <source>file_unwritable</source>
        <translation>No permission to write it.</translation>
    </message>
    <message>
        <source>file_write_failed</source>
        <translation>Writing it failed (is the disk full?).</translation>
    </message>
    <message>
        <source>snapshot_failed_t</source>
        <translation>Picture not saved</translation>
    </message>
    <message>
        <source>snapshot_no_space</source>
        <translation>Not enough space on the disk to save
%1
Nothing was changed.</translation>
    </message>
    <message>
        <source>snapshot_no_permission</source>
        <translation>No permission to save
%1
Nothing was changed.</translation>
    </message>
    <message>
        <source>snapshot_no_frame</source>
        <translation>The camera gave no picture; nothing was saved.</translation>
    </message>
    <message>
        <source>snapshot_failed_m</source>
        <translation>The picture could not be saved as
%1</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation type="vanished">Auto</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation type="vanished">Manual</translation>
    </message>
    <message>
        <source>Exposure Manual</source>
        <translation type="vanished">Exposure Manual</translation>
    </message>
    <message>
        <source>Aperture Manual</source>
        <translation type="vanished">Aperture Manual</translation>
    </message>
    <message>
        <source>store_ask_t</source>
        <translation>Store parameters</translation>
    </message>
    <message>
        <source>store_ask_m</source>
        <translation>    The panel's values are not yet on this camera.
Send them to the camera before storing?</translation>
    </message>
    <message>
        <source>btn-sync-store</source>
        <translation>Sync, then store</translation>
    </message>
    <message>
        <source>btn-store-as-is</source>
        <translation>Store as it is</translation>
    </message>
    <message>
        <source>btn-cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>stored_in_camera</source>
        <translation>The parameters are stored in the camera.</translation>
    </message>
    <message>
        <source>store_failed</source>
        <translation>The camera did not store the parameters:</translation>
    </message>
    <message>
        <source>store_failed_t</source>
        <translation>Store failed</translation>
    </message>
    <message>
        <source>store_failed_m</source>
        <translation>    The parameters could not be stored in the camera.
Retry, or exit without storing them ?</translation>
    </message>
    <message>
        <source>control_failed</source>
        <translation>Not sent to the camera:</translation>
    </message>
    <message>
        <source>sync_failed_rows</source>
        <translation>Not sent to the camera:</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>camera_no_picture_reopening</source>
        <translation>camera delivers no picture — reopening</translation>
    </message>
    <message>
        <source>snapshot_saved</source>
        <translation>Saved %1</translation>
    </message>
    <message>
        <source>CameraName</source>
        <translation>Camera Name</translation>
    </message>
    <message>
        <source>PreviewSize</source>
        <translation>Preview Size</translation>
    </message>
    <message>
        <source>AntiFlicker</source>
        <translation>Anti Flicker</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>BrightMode</source>
        <translation>Colorful Mode</translation>
    </message>
    <message>
        <source>Grinding</source>
        <translation>Grinding+Colorful</translation>
    </message>
    <message>
        <source>Aec mod</source>
        <translation>Aec mod</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>Manual</translation>
    </message>
    <message>
        <source>Exposure Manual</source>
        <translation>Exposure Manual</translation>
    </message>
    <message>
        <source>Aperture Manual</source>
        <translation>Aperture Manual</translation>
    </message>
    <message>
        <source>incandescent</source>
        <translation>incandescent</translation>
    </message>
    <message>
        <source>fluorescent</source>
        <translation>fluorescent</translation>
    </message>
    <message>
        <source>daylight</source>
        <translation>daylight</translation>
    </message>
    <message>
        <source>cloudy-daylight</source>
        <translation>cloudy-daylight</translation>
    </message>
    <message>
        <source>shade</source>
        <translation>shade</translation>
    </message>
    <message>
        <source>ColorTemperature</source>
        <translation type="unfinished">Color Temperature</translation>
    </message>
    <message>
        <source>Aperture</source>
        <translation>Aperture</translation>
    </message>
    <message>
        <source>Exposure Time</source>
        <translation>Exposure Time</translation>
    </message>
    <message>
        <source>ISO</source>
        <translation>ISO</translation>
    </message>
    <message>
        <source>EV</source>
        <translation>Exposure Compensation</translation>
    </message>
    <message>
        <source>Sharpness</source>
        <translation>Sharpness</translation>
    </message>
    <message>
        <source>Warmness</source>
        <translation>Warm/Cool Colors</translation>
    </message>
    <message>
        <source>MCE</source>
        <translation>Color Compensation</translation>
    </message>
    <message>
        <source>restore_default_settings</source>
        <translation>restore default settings</translation>
    </message>
    <message>
        <source>AWB</source>
        <translation>AWB</translation>
    </message>
    <message>
        <source>app_title</source>
        <translation>Vexlo camera tuning tool</translation>
    </message>
    <message>
        <source>camera_not_found</source>
        <translation type="vanished">Camera not found</translation>
    </message>
    <message>
        <source>SCE</source>
        <translation>Colour of skin</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>Saturation</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>no_control</source>
        <translation>The camera's driver offers no control for this setting: changes here do not reach the camera.</translation>
    </message>
    <message>
        <source>panel_not_on_camera</source>
        <translation>The panel's values are not yet on this camera: it runs the values stored in it.</translation>
    </message>
    <message>
        <source>sync_now</source>
        <translation>Sync now</translation>
    </message>
    <message>
        <source>camera_not_answering</source>
        <translation>camera not answering</translation>
    </message>
</context>
<context>
    <name>StatsPanel</name>
    <message>
        <source>image_statistics</source>
        <translation>Image statistics</translation>
    </message>
    <message>
        <source>log_scale</source>
        <translation>Log scale</translation>
    </message>
    <message>
        <source>clipped_low</source>
        <translation>Clipped ≤ 2</translation>
    </message>
    <message>
        <source>clipped_high</source>
        <translation>Clipped ≥ 253</translation>
    </message>
    <message>
        <source>region_hint</source>
        <translation>Drag with the right mouse button on the picture to measure a region.</translation>
    </message>
    <message>
        <source>stats_mean</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>stats_noise</source>
        <translation>Noise σ</translation>
    </message>
    <message>
        <source>stats_sharpness</source>
        <translation>Sharpness</translation>
    </message>
    <message>
        <source>stats_live</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>stats_reference</source>
        <translation>Reference</translation>
    </message>
    <message>
        <source>stats_difference</source>
        <translation>Difference</translation>
    </message>
    <message>
        <source>hold_reference</source>
        <translation>Hold as reference</translation>
    </message>
    <message>
        <source>release_reference</source>
        <translation>Release reference</translation>
    </message>
    <message>
        <source>show_reference</source>
        <translation>A/B (hold)</translation>
    </message>
    <message>
        <source>clear_region</source>
        <translation>Clear region</translation>
    </message>
</context>
<context>
    <name>ProfileMenu</name>
    <message>
        <source>profile_files</source>
        <translation>Tuning profiles (*.profile *.ini);;All files (*)</translation>
    </message>
    <message>
        <source>save_profile_title</source>
        <translation>Save profile</translation>
    </message>
    <message>
        <source>load_profile_title</source>
        <translation>Load profile</translation>
    </message>
    <message>
        <source>compare_profile_title</source>
        <translation>Compare with profile</translation>
    </message>
    <message>
        <source>profile_not_saved</source>
        <translation>Profile not saved</translation>
    </message>
    <message>
        <source>profile_not_loaded</source>
        <translation>Profile not loaded: nothing changed</translation>
    </message>
    <message>
        <source>profile_saved</source>
        <translation>Profile saved:</translation>
    </message>
    <message>
        <source>profile_keys_ignored</source>
        <translation>Keys ignored:</translation>
    </message>
    <message>
        <source>profile_no_differences</source>
        <translation>The current settings equal the profile.</translation>
    </message>
    <message>
        <source>profile_current</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>profile_in_file</source>
        <translation>Profile</translation>
    </message>
    <message>
        <source>switch_on</source>
        <translation>On</translation>
    </message>
    <message>
        <source>switch_off</source>
        <translation>Off</translation>
    </message>
</context>
</TS>
