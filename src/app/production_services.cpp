#include "app/production_services.h"

UpdaterServices ProductionServices() {
    UpdaterServices services;
    return services;
}
