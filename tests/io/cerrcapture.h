#pragma once

#include <QStringList>

#include <sstream>
#include <streambuf>

namespace lumora::test {

// Collects what is written to std::cerr while it lives, by swapping the stream's buffer.
class CerrCapture final
{
public:
    CerrCapture();
    ~CerrCapture();
    CerrCapture(const CerrCapture&) = delete;
    CerrCapture& operator=(const CerrCapture&) = delete;

    // Complete lines written so far; an unterminated last line is reported too.
    QStringList lines() const;
    void clear();

private:
    std::ostringstream buffer;
    std::streambuf* previous = nullptr;
};

} // namespace lumora::test
