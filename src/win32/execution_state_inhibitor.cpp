#include "win32/execution_state_inhibitor.h"

#include <windows.h>

#include "win32/ui_thread_calls.h"

void ExecutionStateInhibitor::Hold() {
    calls_.Post([] { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); });
}

void ExecutionStateInhibitor::Release() {
    calls_.Post([] { SetThreadExecutionState(ES_CONTINUOUS); });
}
