#pragma once

// Registers the preview display items in the QML module "LmImageItem" 1.0, and
// the one the window shows under the name "PreviewItem": the painted item when
// the window runs Qt Quick's software scene graph (`painted`), else the OpenGL
// item.
void registerImageItems(bool painted);
