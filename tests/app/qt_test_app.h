#pragma once

#include <QApplication>

// One application object for the whole test program (offscreen platform).
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "orvo_tests_app";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own global objects (the input device list among
    // them) may be gone by the time a static application would be torn
    // down at exit, which crashes under the sanitizers.
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// First member of a fixture whose other members are widgets.
struct TestAppFirst {
    TestAppFirst() { TestApp(); }
};
