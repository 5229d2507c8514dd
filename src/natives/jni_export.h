// Included by every file that defines natives, instead of <jni.h> alone. The export table is
// written by the generated export definitions only: a dllexport on a native would add a second
// name for it, since MinGW drops the leading underscore of the stdcall name that the virtual
// machine's lookup and our registration use. So JNIEXPORT marks nothing here.
#pragma once

#include <jni.h>

#undef JNIEXPORT
#define JNIEXPORT
