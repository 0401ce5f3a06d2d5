#pragma once

#include <QApplication>

// One application object for the whole test program (offscreen platform).
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "orvo_tests_app";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// First member of a fixture whose other members are widgets.
struct TestAppFirst {
    TestAppFirst() { TestApp(); }
};
