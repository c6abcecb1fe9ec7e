#pragma once

#include <QApplication>
#include <QTest>

namespace lumora::test {

// Prepares a test process: offscreen platform unless one is chosen, a fresh temporary working
// folder (audit and trace logs land there), quiet trace console, and a message handler that
// remembers Qt's warning about a process destroyed while running.
void prepareTestProcess();
// Non-zero when the suite must fail for a reason the test functions cannot see.
int finishTestProcess(int qtestResult);

} // namespace lumora::test

#define LUMORA_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        lumora::test::prepareTestProcess();                                                        \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return lumora::test::finishTestProcess(QTest::qExec(&tc, argc, argv));                     \
    }
