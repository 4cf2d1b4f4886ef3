#pragma once
// The MFC application object and module state.
//
// Every module that holds a CWinApp (the effect module, a host program) has a
// module state of its own: its application object, its instance handle (the
// base address at which the module is loaded, as on Windows) and the handle
// its resources are looked up in. Each thread has a current module state,
// switched with AFX_MANAGE_STATE; a thread that switched to none sees the
// process state, which carries no application object.
#include "win/WinApi.h"
#include "win/WinTypes.h"

// Module handles, opaque as under STRICT. Only declared, so that other areas
// of the layer may spell the same declaration.
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

class CWinApp;

struct AFX_MODULE_STATE {
  CWinApp* m_pCurrentWinApp;
  HINSTANCE m_hCurrentInstanceHandle;
  HINSTANCE m_hCurrentResourceHandle;
  const char* m_lpszCurrentAppName;
};

// The application object. Constructing it registers a module state for the
// module whose code runs the constructor (a global object: the module being
// loaded); destroying it, when the module is unloaded, withdraws that state.
// The layer does not call InitInstance or ExitInstance: a module of this
// family has no message loop of its own.
class WINAPI_EXPORT CWinApp {
 public:
  // lpszAppName: null for no name; a given name must outlive the object.
  explicit CWinApp(const char* lpszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  virtual int ExitInstance();

  AFX_MODULE_STATE* GetModuleState() { return &m_moduleState; }

  const char* m_pszAppName;
  HINSTANCE m_hInstance;

 private:
  AFX_MODULE_STATE m_moduleState;
};

extern "C" {

// The calling thread's current module state; never null.
WINAPI_EXPORT AFX_MODULE_STATE* AfxGetModuleState();
// The process state, current while no module state is switched in.
WINAPI_EXPORT AFX_MODULE_STATE* AfxGetProcessModuleState();
// The state of the module that contains address (code or data), or null when
// that module holds no application object.
WINAPI_EXPORT AFX_MODULE_STATE* AfxFindModuleState(const void* address);
// Makes state (null: the process state) current on the calling thread and
// returns the state that was current.
WINAPI_EXPORT AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state);

WINAPI_EXPORT CWinApp* AfxGetApp();
WINAPI_EXPORT HINSTANCE AfxGetInstanceHandle();
WINAPI_EXPORT HINSTANCE AfxGetResourceHandle();
WINAPI_EXPORT const char* AfxGetAppName();

}  // extern "C"

// The state of the module whose code calls this: the function is compiled
// into every module that includes this header, so its own address lies in
// the caller's module. Falls back to the process state when that module
// holds no application object.
static inline AFX_MODULE_STATE* AfxGetStaticModuleState() {
  AFX_MODULE_STATE* state =
      AfxFindModuleState(reinterpret_cast<const void*>(&AfxGetStaticModuleState));
  return state != nullptr ? state : AfxGetProcessModuleState();
}

// Switches the current module state for the lifetime of the object.
class AFX_MAINTAIN_STATE2 {
 public:
  explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : m_previous(AfxSetModuleState(state)) {}
  ~AFX_MAINTAIN_STATE2() { AfxSetModuleState(m_previous); }
  AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
  AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

 private:
  AFX_MODULE_STATE* m_previous;
};

// Each use declares its own object, so switches may nest in one scope.
#define AFX_STATE_CONCAT2(a, b) a##b
#define AFX_STATE_CONCAT(a, b) AFX_STATE_CONCAT2(a, b)
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 AFX_STATE_CONCAT(afxManagedState, __LINE__)(p)
