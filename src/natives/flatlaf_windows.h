// What the look-and-feel natives share: the window handle behind an AWT window, the Windows
// build number, and the DWM attribute functions, each found once per process.
#pragma once

#include <windows.h>

#include <jni.h>

namespace natives::flatlaf {

// The native handle of an AWT window through its peer's getHWnd; 0 for a window without a
// peer, and 0 (the exception cleared) when the Java side threw.
jlong windowHandleOf(JNIEnv* env, jobject window);

// The build number of the running Windows: RtlGetVersion, else the version query; 0 when
// neither answers.
unsigned long windowsBuildNumber();

using DwmAttributeFunction = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
// From the system directory's dwmapi.dll; null where it or the function is missing.
DwmAttributeFunction dwmGetWindowAttribute();
DwmAttributeFunction dwmSetWindowAttribute();

}  // namespace natives::flatlaf
