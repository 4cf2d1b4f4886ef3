#pragma once
// The module's application object: one per loaded module, constructed when
// the module is loaded and destroyed when it is unloaded. It supplies the
// module state (instance and resource handles) under which the controls load
// their cursors and wrap window and device-context handles.
#include "win/Afx.h"

class CFxApp : public CWinApp {
 public:
  CFxApp();  // no application name
};
