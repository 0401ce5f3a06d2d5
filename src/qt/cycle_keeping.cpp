#include "qt/cycle_keeping.h"

#include "qt/user_notice.h"
#include "update/system_sleep_inhibitor.h"
#include "ui/resource_ids.h"

CycleKeeping::CycleKeeping(const FileLocations& locations, const Resources& resources)
    : logFolder_(locations.logFolder),
      store_(locations.historyFile, [&resources](const std::string& text) {
          TellUserLater(resources, TextWithValue(resources, ResourceId::HistoryNotUsableText, text));
      }),
      inhibitor_(SystemSleepInhibitor()) {}

void CycleKeeping::Wire(UpdaterServices& services) {
    services.history = &store_;
    services.logFolder = logFolder_;
    services.sleepInhibitor = inhibitor_.get();
}
