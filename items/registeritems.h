#pragma once

// Registers the preview display items in the QML module "LmImageItem" 1.0.
void registerImageItems();
