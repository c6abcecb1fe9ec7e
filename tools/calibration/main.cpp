#include "calibrationrun.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return calib::calibrationToolMain(QCoreApplication::arguments(),
                                      QCoreApplication::applicationDirPath(), std::cout, std::cerr);
}
