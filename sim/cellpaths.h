#pragma once

#include <QString>

namespace sim {

// The calibration root's place below the site folder, as the page names it.
QString calibrationRootSuffix();

// The state file a process in the site folder uses: LUMORA_CELL_STATE when set, else
// "cell/state.json" relative to the working directory.
QString defaultCellStatePath();

// The site folder of a calibration root: the root without its fixed suffix, or the root's
// parent when it does not end with it.
QString siteForCalibrationRoot(const QString& root);

// The state file a tool uses: LUMORA_CELL_STATE when set, else "cell/state.json" in the site.
QString cellStatePathForRoot(const QString& root);

// The absolute calibration root a tool was given with "--path": an absolute path as it is; a
// relative one from the working directory when it exists there, else from the nearest ancestor
// of the tool's own folder that holds it. Empty when no folder of that name is found.
QString resolveCalibrationRoot(const QString& pathArgument, const QString& toolFolder);

} // namespace sim
