#pragma once

struct UpdaterServices;
class Resources;
class SharedSettings;

// Wires the settings file, the language libraries and both dialogs into the
// application's services: start-up (settings, then language; the language
// dialog first when there is no settings file), the view's region selection
// and size, and the commands 32771 and 32772. Both objects must outlive the
// services.
void WireSettingsAndLanguages(UpdaterServices& services, SharedSettings& settings, Resources& resources);
