#pragma once

#include "lumoracalibration_global.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QVector>

// Whether a controller's reply to a write command means the write was accepted.
LUMORACALIBRATION_EXPORT bool controllerReplySucceeded(const QJsonValue& reply);

// A controller reply as text for the audit trail.
LUMORACALIBRATION_EXPORT QString jsonValueToText(const QJsonValue& value);

// "data"."DH_PARAMS_LINK" of the controller's DH answer; empty when either is missing or of
// another type.
LUMORACALIBRATION_EXPORT QJsonArray dhParamsLinkArray(const QJsonValue& answer);

// The link parameters as numbers, an element that is not a number reading as 0.
LUMORACALIBRATION_EXPORT QVector<double> dhParamsLinkValues(const QJsonArray& links);
