#pragma once

#include <QApplication>

#include "qt/updater_services.h"

// One application object for the whole test program (offscreen platform).
// It is made on first use and destroyed by a test environment after the last
// test: left to static destruction it would go after Qt's own globals and
// crash there, and never destroyed its font database would show as a leak.
QApplication& TestApp();

// First member of a fixture whose other members are widgets.
struct TestAppFirst {
    TestAppFirst() { TestApp(); }
};

// The services of a window that loads, keeps and ticks nothing: no settings,
// no dialogs, no worker. A test sets what it watches on top.
UpdaterServices WindowServicesWithNothingWired();
