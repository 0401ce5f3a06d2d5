#include "app/production_services.h"

#include "ui/shared_settings.h"
#include "ui/widgets/settings_services.h"

UpdaterServices ProductionServices() {
    UpdaterServices services;
    WireSettingsAndLanguages(services, ProgramSettings());
    return services;
}
