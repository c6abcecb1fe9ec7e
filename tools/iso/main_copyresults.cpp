#include "isoprograms.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return iso::copyResultsMain(QCoreApplication::arguments(),
                                QCoreApplication::applicationDirPath(), std::cout, std::cerr);
}
