#include "isoprograms.h"

#include <QGuiApplication>

#include <iostream>

int main(int argc, char** argv)
{
    // The PDF writer needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return iso::reportGeneratorMain(QGuiApplication::arguments(),
                                    QGuiApplication::applicationDirPath(), std::cout, std::cerr);
}
