#include "app/application.h"
#include "app/production_services.h"

// orvo-updater: the updater itself. It has no command-line option or
// environment variable of its own.
int main(int argc, char** argv) {
    CDFUpdate_tesselApp app(argc, argv, ProductionServices());
    if (!app.InitInstance())
        return 1;
    return app.Run();
}
