#include "plugin/FxApp.h"

CFxApp::CFxApp() : CWinApp(nullptr) {}

// The one instance, constructed with the module's static data.
CFxApp theApp;
