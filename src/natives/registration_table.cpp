#include "natives/registration_table.h"

#include <string_view>

#include "base/bitness.h"

namespace natives {

namespace {

// The Java side declares these natives with exactly these signatures; RegisterNatives fails
// for a class when one differs.
const std::vector<NativeClass> kRegistrationTable = {
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/FileVersion", {
        {"compare0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/FolderInfo", {
        {"getSpecialFolder0", "(IZ)Ljava/lang/String;"},
        {"getPathFromRegistry0", "(Ljava/lang/String;)Ljava/lang/String;"},
        {"getWindowsDirectory0", "()Ljava/lang/String;"},
        {"getSystemDirectory0", "()Ljava/lang/String;"},
        {"getDriveType0", "(Ljava/lang/String;)I"},
        {"getShortPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
        {"getUniversalPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Misc", {
        {"reboot0", "()V"},
        {"getRunningModules0", "(Z)[Ljava/lang/String;"},
        {"getEnvVarPairs0", "()[Ljava/lang/String;"},
        {"broadcastSettingChange0", "()V"},
        {"getPhysicalMemory0", "()J"},
        {"getFreeDiskSpace0", "(Ljava/lang/String;)J"},
        {"moveWithDelayUntilReboot0", "(Ljava/lang/String;Ljava/lang/String;)Z"},
        {"toFront0", "()V"},
        {"terminateProcesses0", "([IZI)I"},
        {"getWindowTitle0", "(I)Ljava/lang/String;"},
        {"setForegroundWindow0", "(J)V"},
        {"getTopLevelWindows0", "(Ljava/lang/Class;I)[Lcom/corvane/api/windows/WindowInfo;"},
        {"getPidFromHandle0", "(J)I"},
        {"registerExtensionFunctions0", "(Ljava/lang/ClassLoader;Ljava/lang/String;Ljava/lang/String;)Z"},
        {"getMachine0", "()I"},
        {"getOsBuildNumber0", "()I"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/ObjectPicker", {
        {"show0", "(ZZZZZ)[Lcom/corvane/runtime/installer/platform/win32/ObjectPicker$Result;"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/ShellLink", {
        {"createWide0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;I)Z"},
        {"changeNotifyString0", "(Ljava/lang/String;Ljava/lang/String;)Z"},
        {"initialize0", "()Z"},
        {"uninitialize", "()Z"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/VistaFileChooser", {
        {"initialize0", "()V"},
        {"displayDialog0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String;"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/VistaTaskDialog", {
        {"show0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I"},
        {"init0", "()V"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Win32CommunicationBackend", {
        {"getInvalidHandle0", "()J"},
        {"createListener0", "(Ljava/lang/String;J)J"},
        {"readDataBlock0", "(J)[B"},
        {"writeDataBlock0", "(J[B)Z"},
        {"connectClient0", "(Ljava/lang/String;)J"},
        {"connectNamedPipe0", "(J)Z"},
        {"disconnectNamedPipe0", "(J)V"},
        {"closeHandle0", "(J)V"},
        {"createCurrentUserSecurityAttributes0", "()J"},
        {"isProcessAlive0", "(I)Z"},
        {"getCurrentProcessId0", "()I"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Win32Firewall", {
        {"initialize0", "()V"},
        {"addRule0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IZ)I"},
        {"deleteRules0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
        {"getCurrentProfileTypes0", "()J"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Win32Proxy", {
        {"getIEConfig0", "([Ljava/lang/String;)I"},
        {"getDefaultConfig0", "([Ljava/lang/String;)I"},
        {"getAutoProxyConfig0", "([Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZ)J"},
        {"loadFunctions0", "()Z"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Win32UserInfo", {
        {"isMemberOfGroup0", "(I)Z"},
        {"executeElevated0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)Z"},
        {"getElevationType0", "()I"},
        {"addUser0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)Ljava/lang/String;"},
        {"deleteUser0", "(Ljava/lang/String;Ljava/lang/String;)I"},
        {"deleteLocalGroup0", "(Ljava/lang/String;Ljava/lang/String;)I"},
        {"getAccountName0", "(Ljava/lang/String;Z)Ljava/lang/String;"},
        {"getUserProfileDirectory0", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"},
        {"getUserSid0", "()Ljava/lang/String;"},
        {"setLsaAccountRight0", "(Ljava/lang/String;Ljava/lang/String;Z)Z"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/WinGuiHelper", {
        {"getPeer0", "(Ljava/awt/Window;Ljava/lang/Class;)Ljava/lang/Object;"},
        {"getHwnd0", "(Ljava/lang/Object;Ljava/lang/reflect/Method;)J"},
        {"destroyHIcon0", "(J)V"},
        {"createHIcon0", "([BII)J"},
        {"flashWindow0", "(JZ)V"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/wininet/WinInet", {
        {"init0", "()Z"},
        {"getErrorMessage0", "(I)Ljava/lang/String;"},
        {"getErrorCode0", "(J)I"},
        {"getErrorLocation0", "(J)I"},
        {"clearError0", "(J)V"},
        {"destroy0", "(J)V"},
        {"connect0", "(Ljava/lang/String;ILjava/lang/String;Ljava/lang/String;ILjava/lang/String;II)J"},
        {"openRequest0", "(JLjava/lang/String;Ljava/lang/String;II)V"},
        {"getHeaders0", "(J)[B"},
        {"read0", "(J[BII)I"},
        {"internetErrorDlg0", "(JIIJ)I"},
        {"sendRequest0", "(JLjava/lang/String;[B)I"},
        {"setOption0", "(JI[B)V"},
        {"setDwordOption0", "(JII)V"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/WinTaskBar", {
        {"initTaskBar0", "()V"},
        {"setOverlayIcon0", "(JJ)V"},
        {"setProgress0", "(JJJ)V"},
        {"setState0", "(JI)V"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/ACLHandling", {
        {"addACE", "(Ljava/lang/String;ZZZZZILjava/lang/String;I)Z"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Registry", {
        {"keyExists0", "(ILjava/lang/String;I)Z"},
        {"createKey0", "(ILjava/lang/String;I)Z"},
        {"getValue0", "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;"},
        {"setValue0", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/Object;II)Z"},
        {"deleteValue0", "(ILjava/lang/String;Ljava/lang/String;I)V"},
        {"deleteKey0", "(ILjava/lang/String;ZI)V"},
        {"saveKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
        {"restoreKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
        {"enumSubKeys0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
        {"enumValues0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
        {"changeNotifyAssociations0", "()V"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Win32Exec", {
        {"launch0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Win32Handle", {
        {"list0", "()[Ljava/lang/Object;"},
        {"close0", "(I)Z"},
        {"getDeviceName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    }},
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/Win32Services", {
        {"installService0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
        {"changeServiceConfig0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
        {"setRestartServiceConfig0", "(Ljava/lang/String;ZIII)I"},
        {"setDelayedAutoStart0", "(Ljava/lang/String;Z)I"},
        {"stopService0", "(Ljava/lang/String;I)I"},
        {"startService0", "(Ljava/lang/String;[Ljava/lang/String;)I"},
        {"uninstallService0", "(Ljava/lang/String;)I"},
        {"queryStatus0", "(Ljava/lang/String;)I"},
        {"getStartType0", "(Ljava/lang/String;)I"},
        {"getServiceBinary0", "(Ljava/lang/String;)Ljava/lang/String;"},
    }},
    {ClassGroup::Flatlaf, "com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeLibrary", {
        {"getApiVersion", "()I"},
    }},
    {ClassGroup::Flatlaf, "com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeWindowsLibrary", {
        {"getOSBuildNumberImpl", "()J"},
        {"getHWND", "(Ljava/awt/Window;)J"},
        {"setWindowCornerPreference", "(JI)Z"},
        {"dwmSetWindowAttributeBOOL", "(JIZ)Z"},
        {"dwmSetWindowAttributeDWORD", "(JII)Z"},
    }},
    {ClassGroup::Flatlaf, "com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc", {
        {"installImpl", "(Ljava/awt/Window;)J"},
        {"uninstallImpl", "(J)V"},
        {"updateFrame", "(JI)V"},
        {"setWindowBackground", "(JIII)V"},
        {"showWindow", "(JI)V"},
    }},
    {ClassGroup::Flatlaf, "com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder", {
        {"registryGetIntValue", "(Ljava/lang/String;Ljava/lang/String;I)I"},
    }},
};

// Shortcut creation through the narrow link interface, texts as byte arrays in the system
// code page. Only its byte count (36) reaches the export table.
const std::vector<NativeClass> kUnboundExports = {
    {ClassGroup::Runtime, "com/corvane/runtime/installer/platform/win32/ShellLink", {
        {"create0", "([B[B[B[B[BZ[B)Z"},
    }},
};

std::string mangledClass(std::string_view className, bool keepDollar) {
    std::string out;
    for (const char c : className) {
        if (c == '/')
            out += '_';
        else if (c == '$' && !keepDollar)
            out += "_00024";
        else
            out += c;
    }
    return out;
}

std::string plainExportName(const NativeClass& nativeClass, const NativeMethod& method) {
    return "Java_" + mangledClass(nativeClass.className, false) + "_" + method.name;
}

}  // namespace

const std::vector<NativeClass>& registrationTable() { return kRegistrationTable; }

std::vector<const NativeClass*> classesOf(ClassGroup group) {
    std::vector<const NativeClass*> classes;
    for (const NativeClass& nativeClass : kRegistrationTable)
        if (nativeClass.group == group) classes.push_back(&nativeClass);
    return classes;
}

const std::vector<NativeClass>& unboundExports() { return kUnboundExports; }

std::string exportName(const NativeClass& nativeClass, const NativeMethod& method) {
    std::string name = "_";
    name += plainExportName(nativeClass, method);
    name += '@';
    name += std::to_string(argumentBytes(method.signature));
    return name;
}

int argumentBytes(const char* signature) {
    const std::string_view text = signature ? signature : "";
    int bytes = 8;  // the environment and the class
    size_t at = text.find('(');
    if (at == std::string_view::npos) return bytes;
    for (++at; at < text.size() && text[at] != ')'; ++at) {
        if (text[at] == 'J' || text[at] == 'D') {
            bytes += 8;
            continue;
        }
        bytes += 4;
        // An array of any element type is one reference.
        while (at < text.size() && text[at] == '[') ++at;
        if (at < text.size() && text[at] == 'L') {
            at = text.find(';', at);
            if (at == std::string_view::npos) break;
        }
    }
    return bytes;
}

std::string moduleExportName(const NativeClass& nativeClass, const NativeMethod& method) {
    return base::kDecoratedStdcallNames ? exportName(nativeClass, method) : plainExportName(nativeClass, method);
}

std::string classNotFoundText(const NativeClass& nativeClass) {
    return std::string("could not load class ") + nativeClass.className;
}

std::string missingExportText(const NativeClass& nativeClass, const NativeMethod& method) {
    return "did not find Java_" + mangledClass(nativeClass.className, true) + "_" + method.name;
}

std::string registerFailedText(const NativeClass& nativeClass) {
    return std::string("register ") + nativeClass.className + " failed %d";
}

std::string binaryName(const NativeClass& nativeClass, const char* packageName) {
    const std::string_view className = nativeClass.className;
    const size_t slash = className.rfind('/');
    if (packageName) return std::string(packageName) + "." + std::string(className.substr(slash + 1));
    std::string dotted(className);
    for (char& c : dotted)
        if (c == '/') c = '.';
    return dotted;
}

}  // namespace natives
