/* Machine-dependent JNI types of Windows for the JDK's jni.h, which the cross builds take from
   the host's JDK: stdcall entry points, a 32-bit jint that is a long, a 64-bit jlong. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
