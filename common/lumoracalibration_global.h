#pragma once

#include <QtCore/qglobal.h>

#if defined(LUMORACALIBRATION_LIBRARY)
#define LUMORACALIBRATION_EXPORT Q_DECL_EXPORT
#else
#define LUMORACALIBRATION_EXPORT Q_DECL_IMPORT
#endif
