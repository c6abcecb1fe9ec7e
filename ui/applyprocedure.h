#pragma once

#include "controllerreply.h"
#include "lumoracalibration_global.h"

class QWidget;

// One press of the apply button: both check layers, the DH and zero-point writes, the reboot
// request, every step in the audit trail. Boxes are shown on boxParent. Returns true only when
// everything succeeded (the "输出" line is written); the caller then resets the panels.
LUMORACALIBRATION_EXPORT bool runApplyProcedure(QWidget* boxParent);

// The reply judging (controllerReplySucceeded) and its audit text (jsonValueToText) come with
// controllerreply.h.
