#include "calibrationrun.h"

#include <QGuiApplication>

#include <iostream>

int main(int argc, char** argv)
{
    // The PDF report needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return calib::calibrationToolMain(QGuiApplication::arguments(),
                                      QGuiApplication::applicationDirPath(), std::cout, std::cerr);
}
