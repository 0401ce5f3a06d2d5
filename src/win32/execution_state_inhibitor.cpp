#include "win32/execution_state_inhibitor.h"

#include <windows.h>

#include "win32/ui_thread_calls.h"

void ExecutionStateInhibitor::Hold() {
    granted_ = false;
    calls_.RunAndWait([this] { granted_ = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0; });
}

void ExecutionStateInhibitor::Release() {
    granted_ = false;
    calls_.Post([] { SetThreadExecutionState(ES_CONTINUOUS); });
}
