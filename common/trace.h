#pragma once

#include "lumoracalibration_global.h"

#include <qflog.h>

namespace common {

// Starts one trace line of the plug-in, used as trace() << "resetAll" << "[in]"; the line is
// written when the statement ends.
LUMORACALIBRATION_EXPORT tavrin::QFLog trace();

} // namespace common
