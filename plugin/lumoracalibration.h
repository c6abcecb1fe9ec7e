#pragma once

#include "lumoracalibration_global.h"

#include <pluginbase.h>

namespace tavrin {

// The calibration plug-in: reads the controller's DH parameters and hands the host its page.
class LUMORACALIBRATION_EXPORT LumoraCalibration : public PluginBase
{
    Q_OBJECT

public:
    explicit LumoraCalibration(QObject* parent = nullptr);
    ~LumoraCalibration() override;

private:
    void init() override;
    void afterInit() override;
    void setup();
};

} // namespace tavrin
