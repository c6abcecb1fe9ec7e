#include "isotask.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return iso::isoTaskMain(QCoreApplication::arguments(), QCoreApplication::applicationDirPath(),
                            std::cout, std::cerr);
}
