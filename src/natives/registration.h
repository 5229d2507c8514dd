// The registration entries: the natives of the installer runtime's classes are bound with
// RegisterNatives to the functions a module exports under the names of the registration table,
// class by class, stopping at the first class that fails. Every failure is reported through
// the caller's report function and turns the result into 0.
#pragma once

#include "launch/main_call.h"
#include "natives/jni_export.h"

// Exported by name (undecorated cdecl) and looked up by name: the launcher after creating the
// virtual machine, Misc.registerExtensionFunctions0 for the look-and-feel classes.
extern "C" {

// registerNativesEx with the required flag set.
unsigned char registerNatives(JNIEnv* env, void* module, launch::ReportFunction report);
// The runtime classes. With `required` 0 a class the class path lacks is reported and skipped;
// otherwise it fails the registration. 1 when every class was registered or skipped.
unsigned char registerNativesEx(JNIEnv* env, void* module, unsigned char required, launch::ReportFunction report);
// The four FlatLaf classes, loaded uninitialised through `forName` of `classClass` with the
// class loader, in `packageName` (dotted; null for their own package). 1 when all were bound.
unsigned char registerNativesFlatlaf(JNIEnv* env, jobject classLoader, jclass classClass, jmethodID forName,
                                     const char* packageName, void* module, launch::ReportFunction report);
}

namespace natives {

// What an extension entry such as registerNativesFlatlaf takes.
using RegisterExtensionFunction = unsigned char (*)(JNIEnv* env, jobject classLoader, jclass classClass,
                                                    jmethodID forName, const char* packageName, void* module,
                                                    launch::ReportFunction report);

// The body of Misc.registerExtensionFunctions0 for the module that holds the natives: calls
// the entry `entryName` exports with the class loader and the package name (null passed on as
// null), reporting to standard error. True when the entry returned 1.
bool registerExtensionFunctions(JNIEnv* env, void* module, jobject classLoader, jstring entryName,
                                jstring packageName);

// Writes "ERROR: ", the formatted report and "\n" to the standard error stream.
void reportToStandardError(const wchar_t* format, ...);

}  // namespace natives
