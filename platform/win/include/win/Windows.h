#pragma once
// The Windows layer: the types and functions of the Windows API that the
// module and the host use, with the semantics Windows documents for them.
// Areas live in their own headers and are gathered here, as <windows.h> does.
#include "win/WinDesktop.h"
#include "win/WinGdi.h"
#include "win/WinGdiTypes.h"
#include "win/WinKernel.h"
#include "win/WinResource.h"
#include "win/WinTypes.h"
#include "win/WinUser.h"
