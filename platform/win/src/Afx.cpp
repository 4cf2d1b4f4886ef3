// MFC application object and module states.
#include "win/Afx.h"
#include "win/WinKernel.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Applications of the loaded modules; a module registers when its
// application object is constructed and withdraws when it is destroyed.
struct AppRegistry {
  std::mutex lock;
  std::vector<CWinApp*> apps;
};
AppRegistry& Apps() {
  static AppRegistry registry;  // constructed on first use, before any module's app
  return registry;
}

AFX_MODULE_STATE& ProcessState() {
  static AFX_MODULE_STATE state{};
  return state;
}

thread_local AFX_MODULE_STATE* t_current = nullptr;  // null: the process state

// The loaded object (executable or shared library) that contains address,
// or null.
HINSTANCE ModuleBase(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCWSTR>(address),
                     &module);
  return module;
}

}  // namespace

// noinline: the return address must be that of the code constructing the
// application (the module's static initialisation), not of an inlined copy.
__attribute__((noinline)) CWinApp::CWinApp(const char* lpszAppName)
    : m_pszAppName(lpszAppName), m_hInstance(nullptr), m_moduleState{} {
  m_hInstance = ModuleBase(__builtin_extract_return_addr(__builtin_return_address(0)));
  m_moduleState.m_pCurrentWinApp = this;
  m_moduleState.m_hCurrentInstanceHandle = m_hInstance;
  m_moduleState.m_hCurrentResourceHandle = m_hInstance;
  m_moduleState.m_lpszCurrentAppName = m_pszAppName;
  AppRegistry& r = Apps();
  std::lock_guard<std::mutex> guard(r.lock);
  r.apps.push_back(this);
}

CWinApp::~CWinApp() {
  {
    AppRegistry& r = Apps();
    std::lock_guard<std::mutex> guard(r.lock);
    r.apps.erase(std::remove(r.apps.begin(), r.apps.end(), this), r.apps.end());
  }
  // A thread still switched to this state falls back to the process state.
  if (t_current == &m_moduleState) t_current = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

extern "C" AFX_MODULE_STATE* AfxGetModuleState() {
  return t_current != nullptr ? t_current : &ProcessState();
}

extern "C" AFX_MODULE_STATE* AfxGetProcessModuleState() { return &ProcessState(); }

extern "C" AFX_MODULE_STATE* AfxFindModuleState(const void* address) {
  const HINSTANCE base = ModuleBase(address);
  if (base == nullptr) return nullptr;
  AppRegistry& r = Apps();
  std::lock_guard<std::mutex> guard(r.lock);
  for (CWinApp* app : r.apps) {
    if (app->m_hInstance == base) return app->GetModuleState();
  }
  return nullptr;
}

extern "C" AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state) {
  AFX_MODULE_STATE* previous = AfxGetModuleState();
  t_current = state == &ProcessState() ? nullptr : state;
  return previous;
}

extern "C" CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }
extern "C" HINSTANCE AfxGetInstanceHandle() {
  return AfxGetModuleState()->m_hCurrentInstanceHandle;
}
extern "C" HINSTANCE AfxGetResourceHandle() {
  return AfxGetModuleState()->m_hCurrentResourceHandle;
}
extern "C" const char* AfxGetAppName() { return AfxGetModuleState()->m_lpszCurrentAppName; }
