#pragma once

#include <vector>

// Whether the open camera runs the values the panel shows. A camera that
// opens runs the values stored in it (opening sends nothing); a sync or a
// restore of defaults sends all of the panel's values, and so does writing
// every row once. Before any camera opens there is nothing to tell.
class PanelSync
{
public:
    explicit PanelSync(int rows);

    // Each gives true when `onCamera()` changed.
    bool cameraOpened();
    bool rowWritten(int row);
    bool allSent();

    bool onCamera() const { return m_onCamera; }

private:
    bool set(bool onCamera);

    std::vector<bool> m_written;
    bool m_onCamera = true;
};
