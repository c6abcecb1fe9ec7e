#include "cerrcapture.h"

#include <iostream>

namespace lumora::test {

CerrCapture::CerrCapture()
    : previous(std::cerr.rdbuf(buffer.rdbuf()))
{}

CerrCapture::~CerrCapture()
{
    std::cerr.rdbuf(previous);
}

QStringList CerrCapture::lines() const
{
    QStringList result = QString::fromStdString(buffer.str()).split(QLatin1Char('\n'));
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

void CerrCapture::clear()
{
    buffer.str(std::string());
}

} // namespace lumora::test
