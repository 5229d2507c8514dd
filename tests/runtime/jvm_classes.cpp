#include "jvm_classes.h"

#include <algorithm>

namespace stand_in::jvm {

namespace {

constexpr char kWin32[] = "com/corvane/runtime/installer/platform/win32/";
constexpr char kFlatlaf[] = "com/corvane/shadow/com/formdev/flatlaf/ui/";

// Transcribed from the installer runtime's Java classes: name, JNI signature, in the order the
// launcher registers them.
const std::vector<RegisteredNative> kRegistrationTable = {
    {kWin32, "FileVersion", "compare0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {kWin32, "FolderInfo", "getSpecialFolder0", "(IZ)Ljava/lang/String;"},
    {kWin32, "FolderInfo", "getPathFromRegistry0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {kWin32, "FolderInfo", "getWindowsDirectory0", "()Ljava/lang/String;"},
    {kWin32, "FolderInfo", "getSystemDirectory0", "()Ljava/lang/String;"},
    {kWin32, "FolderInfo", "getDriveType0", "(Ljava/lang/String;)I"},
    {kWin32, "FolderInfo", "getShortPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {kWin32, "FolderInfo", "getUniversalPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {kWin32, "Misc", "reboot0", "()V"},
    {kWin32, "Misc", "getRunningModules0", "(Z)[Ljava/lang/String;"},
    {kWin32, "Misc", "getEnvVarPairs0", "()[Ljava/lang/String;"},
    {kWin32, "Misc", "broadcastSettingChange0", "()V"},
    {kWin32, "Misc", "getPhysicalMemory0", "()J"},
    {kWin32, "Misc", "getFreeDiskSpace0", "(Ljava/lang/String;)J"},
    {kWin32, "Misc", "moveWithDelayUntilReboot0", "(Ljava/lang/String;Ljava/lang/String;)Z"},
    {kWin32, "Misc", "toFront0", "()V"},
    {kWin32, "Misc", "terminateProcesses0", "([IZI)I"},
    {kWin32, "Misc", "getWindowTitle0", "(I)Ljava/lang/String;"},
    {kWin32, "Misc", "setForegroundWindow0", "(J)V"},
    {kWin32, "Misc", "getTopLevelWindows0", "(Ljava/lang/Class;I)[Lcom/corvane/api/windows/WindowInfo;"},
    {kWin32, "Misc", "getPidFromHandle0", "(J)I"},
    {kWin32, "Misc", "registerExtensionFunctions0", "(Ljava/lang/ClassLoader;Ljava/lang/String;Ljava/lang/String;)Z"},
    {kWin32, "Misc", "getMachine0", "()I"},
    {kWin32, "Misc", "getOsBuildNumber0", "()I"},
    {kWin32, "ObjectPicker", "show0", "(ZZZZZ)[Lcom/corvane/runtime/installer/platform/win32/ObjectPicker$Result;"},
    {kWin32, "ShellLink", "createWide0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;I)Z"},
    {kWin32, "ShellLink", "changeNotifyString0", "(Ljava/lang/String;Ljava/lang/String;)Z"},
    {kWin32, "ShellLink", "initialize0", "()Z"},
    {kWin32, "ShellLink", "uninitialize", "()Z"},
    {kWin32, "VistaFileChooser", "initialize0", "()V"},
    {kWin32, "VistaFileChooser", "displayDialog0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String;"},
    {kWin32, "VistaTaskDialog", "show0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I"},
    {kWin32, "VistaTaskDialog", "init0", "()V"},
    {kWin32, "Win32CommunicationBackend", "getInvalidHandle0", "()J"},
    {kWin32, "Win32CommunicationBackend", "createListener0", "(Ljava/lang/String;J)J"},
    {kWin32, "Win32CommunicationBackend", "readDataBlock0", "(J)[B"},
    {kWin32, "Win32CommunicationBackend", "writeDataBlock0", "(J[B)Z"},
    {kWin32, "Win32CommunicationBackend", "connectClient0", "(Ljava/lang/String;)J"},
    {kWin32, "Win32CommunicationBackend", "connectNamedPipe0", "(J)Z"},
    {kWin32, "Win32CommunicationBackend", "disconnectNamedPipe0", "(J)V"},
    {kWin32, "Win32CommunicationBackend", "closeHandle0", "(J)V"},
    {kWin32, "Win32CommunicationBackend", "createCurrentUserSecurityAttributes0", "()J"},
    {kWin32, "Win32CommunicationBackend", "isProcessAlive0", "(I)Z"},
    {kWin32, "Win32CommunicationBackend", "getCurrentProcessId0", "()I"},
    {kWin32, "Win32Firewall", "initialize0", "()V"},
    {kWin32, "Win32Firewall", "addRule0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IZ)I"},
    {kWin32, "Win32Firewall", "deleteRules0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
    {kWin32, "Win32Firewall", "getCurrentProfileTypes0", "()J"},
    {kWin32, "Win32Proxy", "getIEConfig0", "([Ljava/lang/String;)I"},
    {kWin32, "Win32Proxy", "getDefaultConfig0", "([Ljava/lang/String;)I"},
    {kWin32, "Win32Proxy", "getAutoProxyConfig0", "([Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZ)J"},
    {kWin32, "Win32Proxy", "loadFunctions0", "()Z"},
    {kWin32, "Win32UserInfo", "isMemberOfGroup0", "(I)Z"},
    {kWin32, "Win32UserInfo", "executeElevated0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)Z"},
    {kWin32, "Win32UserInfo", "getElevationType0", "()I"},
    {kWin32, "Win32UserInfo", "addUser0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)Ljava/lang/String;"},
    {kWin32, "Win32UserInfo", "deleteUser0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {kWin32, "Win32UserInfo", "deleteLocalGroup0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {kWin32, "Win32UserInfo", "getAccountName0", "(Ljava/lang/String;Z)Ljava/lang/String;"},
    {kWin32, "Win32UserInfo", "getUserProfileDirectory0", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"},
    {kWin32, "Win32UserInfo", "getUserSid0", "()Ljava/lang/String;"},
    {kWin32, "Win32UserInfo", "setLsaAccountRight0", "(Ljava/lang/String;Ljava/lang/String;Z)Z"},
    {kWin32, "WinGuiHelper", "getPeer0", "(Ljava/awt/Window;Ljava/lang/Class;)Ljava/lang/Object;"},
    {kWin32, "WinGuiHelper", "getHwnd0", "(Ljava/lang/Object;Ljava/lang/reflect/Method;)J"},
    {kWin32, "WinGuiHelper", "destroyHIcon0", "(J)V"},
    {kWin32, "WinGuiHelper", "createHIcon0", "([BII)J"},
    {kWin32, "WinGuiHelper", "flashWindow0", "(JZ)V"},
    {kWin32, "wininet/WinInet", "init0", "()Z"},
    {kWin32, "wininet/WinInet", "getErrorMessage0", "(I)Ljava/lang/String;"},
    {kWin32, "wininet/WinInet", "getErrorCode0", "(J)I"},
    {kWin32, "wininet/WinInet", "getErrorLocation0", "(J)I"},
    {kWin32, "wininet/WinInet", "clearError0", "(J)V"},
    {kWin32, "wininet/WinInet", "destroy0", "(J)V"},
    {kWin32, "wininet/WinInet", "connect0", "(Ljava/lang/String;ILjava/lang/String;Ljava/lang/String;ILjava/lang/String;II)J"},
    {kWin32, "wininet/WinInet", "openRequest0", "(JLjava/lang/String;Ljava/lang/String;II)V"},
    {kWin32, "wininet/WinInet", "getHeaders0", "(J)[B"},
    {kWin32, "wininet/WinInet", "read0", "(J[BII)I"},
    {kWin32, "wininet/WinInet", "internetErrorDlg0", "(JIIJ)I"},
    {kWin32, "wininet/WinInet", "sendRequest0", "(JLjava/lang/String;[B)I"},
    {kWin32, "wininet/WinInet", "setOption0", "(JI[B)V"},
    {kWin32, "wininet/WinInet", "setDwordOption0", "(JII)V"},
    {kWin32, "WinTaskBar", "initTaskBar0", "()V"},
    {kWin32, "WinTaskBar", "setOverlayIcon0", "(JJ)V"},
    {kWin32, "WinTaskBar", "setProgress0", "(JJJ)V"},
    {kWin32, "WinTaskBar", "setState0", "(JI)V"},
    {kWin32, "ACLHandling", "addACE", "(Ljava/lang/String;ZZZZZILjava/lang/String;I)Z"},
    {kWin32, "Registry", "keyExists0", "(ILjava/lang/String;I)Z"},
    {kWin32, "Registry", "createKey0", "(ILjava/lang/String;I)Z"},
    {kWin32, "Registry", "getValue0", "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;"},
    {kWin32, "Registry", "setValue0", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/Object;II)Z"},
    {kWin32, "Registry", "deleteValue0", "(ILjava/lang/String;Ljava/lang/String;I)V"},
    {kWin32, "Registry", "deleteKey0", "(ILjava/lang/String;ZI)V"},
    {kWin32, "Registry", "saveKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
    {kWin32, "Registry", "restoreKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
    {kWin32, "Registry", "enumSubKeys0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
    {kWin32, "Registry", "enumValues0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
    {kWin32, "Registry", "changeNotifyAssociations0", "()V"},
    {kWin32, "Win32Exec", "launch0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {kWin32, "Win32Handle", "list0", "()[Ljava/lang/Object;"},
    {kWin32, "Win32Handle", "close0", "(I)Z"},
    {kWin32, "Win32Handle", "getDeviceName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {kWin32, "Win32Services", "installService0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
    {kWin32, "Win32Services", "changeServiceConfig0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
    {kWin32, "Win32Services", "setRestartServiceConfig0", "(Ljava/lang/String;ZIII)I"},
    {kWin32, "Win32Services", "setDelayedAutoStart0", "(Ljava/lang/String;Z)I"},
    {kWin32, "Win32Services", "stopService0", "(Ljava/lang/String;I)I"},
    {kWin32, "Win32Services", "startService0", "(Ljava/lang/String;[Ljava/lang/String;)I"},
    {kWin32, "Win32Services", "uninstallService0", "(Ljava/lang/String;)I"},
    {kWin32, "Win32Services", "queryStatus0", "(Ljava/lang/String;)I"},
    {kWin32, "Win32Services", "getStartType0", "(Ljava/lang/String;)I"},
    {kWin32, "Win32Services", "getServiceBinary0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {kFlatlaf, "FlatNativeLibrary", "getApiVersion", "()I"},
    {kFlatlaf, "FlatNativeWindowsLibrary", "getOSBuildNumberImpl", "()J"},
    {kFlatlaf, "FlatNativeWindowsLibrary", "getHWND", "(Ljava/awt/Window;)J"},
    {kFlatlaf, "FlatNativeWindowsLibrary", "setWindowCornerPreference", "(JI)Z"},
    {kFlatlaf, "FlatNativeWindowsLibrary", "dwmSetWindowAttributeBOOL", "(JIZ)Z"},
    {kFlatlaf, "FlatNativeWindowsLibrary", "dwmSetWindowAttributeDWORD", "(JII)Z"},
    {kFlatlaf, "FlatWindowsNativeWindowBorder$WndProc", "installImpl", "(Ljava/awt/Window;)J", true},
    {kFlatlaf, "FlatWindowsNativeWindowBorder$WndProc", "uninstallImpl", "(J)V", true},
    {kFlatlaf, "FlatWindowsNativeWindowBorder$WndProc", "updateFrame", "(JI)V", true},
    {kFlatlaf, "FlatWindowsNativeWindowBorder$WndProc", "setWindowBackground", "(JIII)V", true},
    {kFlatlaf, "FlatWindowsNativeWindowBorder$WndProc", "showWindow", "(JI)V", true},
    {kFlatlaf, "FlatWindowsNativeWindowBorder", "registryGetIntValue", "(Ljava/lang/String;Ljava/lang/String;I)I"},
};

// One member of a modelled class: 's' static method, 'm' instance method, 'n' static native,
// 'N' instance native, 'f' static field, 'i' instance field.
struct MemberRow {
    const char* owner;
    char kind;
    const char* name;
    const char* signature;
};

// Classes with their superclass, in an order where every superclass comes first.
const std::pair<const char*, const char*> kClasses[] = {
    {"java/lang/String", "java/lang/Object"},
    {"java/lang/Class", "java/lang/Object"},
    {"java/lang/ClassLoader", "java/lang/Object"},
    {"java/lang/System", "java/lang/Object"},
    {"java/lang/Throwable", "java/lang/Object"},
    {"java/lang/Exception", "java/lang/Throwable"},
    {"java/lang/Error", "java/lang/Throwable"},
    {"java/lang/RuntimeException", "java/lang/Exception"},
    {"java/lang/ReflectiveOperationException", "java/lang/Exception"},
    {"java/lang/ClassNotFoundException", "java/lang/ReflectiveOperationException"},
    {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
    {"java/lang/IllegalStateException", "java/lang/RuntimeException"},
    {"java/lang/NullPointerException", "java/lang/RuntimeException"},
    {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
    {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
    {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
    {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
    {"java/lang/StringIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
    {"java/lang/LinkageError", "java/lang/Error"},
    {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
    {"java/lang/UnsatisfiedLinkError", "java/lang/LinkageError"},
    {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
    {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/VirtualMachineError", "java/lang/Error"},
    {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
    {kEntryClassInstaller, "java/lang/Object"},
    {kEntryClassOther, "java/lang/Object"},
    {"com/corvane/runtime/installer/platform/win32/Common", "java/lang/Object"},
    {"com/corvane/runtime/installer/platform/win32/LauncherState", "java/lang/Object"},
    {"com/lumbra/runtime/util/WinDel", "java/lang/Object"},
    {kNativeLoggerClass, "java/lang/Object"},
    // ---- Natives tests: the boxes and the ExpandString the Registry natives make and read ----
    {"java/lang/Number", "java/lang/Object"},
    {"java/lang/Integer", "java/lang/Number"},
    {"java/lang/Long", "java/lang/Number"},
    {"com/corvane/api/windows/WinRegistry$ExpandString", "java/lang/Object"},
    // ---- end of the Registry natives' classes ----
    // ---- Natives tests: the window record of Misc.getTopLevelWindows0 ----
    {"com/corvane/api/windows/WindowInfo", "java/lang/Object"},
    // ---- end of the Misc natives' classes ----
    // ---- Natives tests: the account record of ObjectPicker.show0 ----
    {"com/corvane/runtime/installer/platform/win32/ObjectPicker$Result", "java/lang/Object"},
    // ---- Natives tests: AWT windows with their peers, reflected methods, the window border ----
    {"java/awt/Component", "java/lang/Object"},
    {"java/awt/Container", "java/awt/Component"},
    {"java/awt/Window", "java/awt/Container"},
    {"java/awt/peer/ComponentPeer", "java/lang/Object"},
    {"sun/awt/windows/WComponentPeer", "java/awt/peer/ComponentPeer"},
    {"sun/awt/windows/WWindowPeer", "sun/awt/windows/WComponentPeer"},
    {"java/lang/reflect/Method", "java/lang/Object"},
    {"com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc", "java/lang/Object"},
    // ---- end of the window natives' classes ----
};

const MemberRow kMembers[] = {
    {"java/lang/Object", 'm', "<init>", "()V"},
    {"java/lang/Object", 'm', "toString", "()Ljava/lang/String;"},
    {"java/lang/Object", 'm', "hashCode", "()I"},
    {"java/lang/Object", 'm', "equals", "(Ljava/lang/Object;)Z"},
    {"java/lang/Object", 'm', "getClass", "()Ljava/lang/Class;"},
    {"java/lang/Class", 's', "forName", "(Ljava/lang/String;)Ljava/lang/Class;"},
    {"java/lang/Class", 's', "forName", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;"},
    {"java/lang/Class", 'm', "getName", "()Ljava/lang/String;"},
    {"java/lang/ClassLoader", 's', "getSystemClassLoader", "()Ljava/lang/ClassLoader;"},
    {"java/lang/ClassLoader", 'm', "loadClass", "(Ljava/lang/String;)Ljava/lang/Class;"},
    {"java/lang/System", 's', "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"},
    {"java/lang/System", 's', "getProperty", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"java/lang/System", 's', "getProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"},
    {"java/lang/System", 's', "exit", "(I)V"},
    {"java/lang/Throwable", 'm', "getMessage", "()Ljava/lang/String;"},
    {"java/lang/Throwable", 'm', "printStackTrace", "()V"},
    {kEntryClassInstaller, 's', "main", "([Ljava/lang/String;)V"},
    {kEntryClassOther, 's', "main", "([Ljava/lang/String;)V"},
    {kEntryClassOther, 's', "initAwtSplashConfig",
     "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V"},
    {"com/corvane/runtime/installer/platform/win32/Common", 's', "initFromLauncher", "(Z)V"},
    {"com/corvane/runtime/installer/platform/win32/LauncherState", 'f', "pidValueName", "Ljava/lang/String;"},
    {"com/lumbra/runtime/util/WinDel", 'f', "externalExecutable", "Ljava/lang/String;"},
    {kNativeLoggerClass, 'n', "cleanup0", "()V"},
    // ---- Natives tests: the boxes and the ExpandString the Registry natives make and read ----
    {"java/lang/Integer", 's', "valueOf", "(I)Ljava/lang/Integer;"},
    {"java/lang/Integer", 'm', "intValue", "()I"},
    {"java/lang/Long", 's', "valueOf", "(J)Ljava/lang/Long;"},
    {"java/lang/Long", 'm', "longValue", "()J"},
    {"com/corvane/api/windows/WinRegistry$ExpandString", 'm', "<init>", "(Ljava/lang/String;)V"},
    // ---- end of the Registry natives' members ----
    // ---- Natives tests: the window record of Misc.getTopLevelWindows0 ----
    {"com/corvane/api/windows/WindowInfo", 'm', "<init>", "(JILjava/lang/String;Ljava/lang/String;)V"},
    // ---- end of the Misc natives' members ----
    // ---- Natives tests: name, path, class, principal name and SID of a chosen account ----
    {"com/corvane/runtime/installer/platform/win32/ObjectPicker$Result", 'm', "<init>",
     "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V"},
    // ---- Natives tests: the window natives' AWT model and the window border's callbacks ----
    // A peer is made with its window handle, which getHWnd answers.
    {"java/awt/Component", 'i', "peer", "Ljava/awt/peer/ComponentPeer;"},
    {"sun/awt/windows/WComponentPeer", 'm', "<init>", "(J)V"},
    {"sun/awt/windows/WWindowPeer", 'm', "<init>", "(J)V"},
    {"sun/awt/windows/WComponentPeer", 'm', "getHWnd", "()J"},
    // A WndProc object stands for one window: its natives and callbacks are instance methods.
    {"com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc", 'm', "onNcHitTest", "(IIZ)I"},
    {"com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc", 'm', "isFullscreen", "()Z"},
    {"com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc", 'm', "fireStateChangedLaterOnce", "()V"},
    // ---- end of the window natives' members ----
};

void addMember(ClassModel& owner, char kind, const std::string& name, const std::string& signature) {
    if (kind == 'f' || kind == 'i') {
        FieldModel& field = owner.fields.emplace_back();
        field.owner = &owner;
        field.name = name;
        field.signature = signature;
        field.isStatic = kind == 'f';
        return;
    }
    MethodModel& method = owner.methods.emplace_back();
    method.owner = &owner;
    method.name = name;
    method.signature = signature;
    method.isStatic = kind != 'm' && kind != 'N';
    method.isNative = kind == 'n' || kind == 'N';
}

}  // namespace

bool ClassModel::isSubclassOf(const ClassModel* other) const {
    for (const ClassModel* c = this; c != nullptr; c = c->super) {
        if (c == other) return true;
    }
    return false;
}

bool ClassModel::memberAbsent(const std::string& member) const {
    return std::find(absentMembers.begin(), absentMembers.end(), member) != absentMembers.end();
}

std::string ClassModel::dottedName() const {
    std::string dotted = name;
    std::replace(dotted.begin(), dotted.end(), '/', '.');
    return dotted;
}

namespace {

// One field descriptor starting at `at`; empty when malformed.
std::string takeDescriptor(const std::string& text, size_t& at, bool allowVoid) {
    const size_t start = at;
    while (at < text.size() && text[at] == '[') ++at;
    if (at >= text.size()) return {};
    const char c = text[at];
    if (c == 'L') {
        const size_t end = text.find(';', at);
        if (end == std::string::npos || end == at + 1) return {};
        at = end + 1;
    } else if (std::string("ZBCSIJFD").find(c) != std::string::npos || (c == 'V' && allowVoid && at == start)) {
        ++at;
    } else {
        return {};
    }
    return text.substr(start, at - start);
}

}  // namespace

ParsedSignature parseSignature(const std::string& signature) {
    ParsedSignature parsed;
    if (signature.empty() || signature[0] != '(') return parsed;
    size_t at = 1;
    while (at < signature.size() && signature[at] != ')') {
        std::string parameter = takeDescriptor(signature, at, false);
        if (parameter.empty()) return parsed;
        parsed.parameters.push_back(std::move(parameter));
    }
    if (at >= signature.size()) return parsed;
    ++at;
    parsed.result = takeDescriptor(signature, at, true);
    parsed.valid = !parsed.result.empty() && at == signature.size();
    return parsed;
}

const std::vector<RegisteredNative>& registrationTable() { return kRegistrationTable; }

ClassRegistry::ClassRegistry() {
    declare("java/lang/Object", "");
    for (const auto& [name, super] : kClasses) declare(name, super);
    // Constructors are not inherited: every throwable gets the two the virtual machine uses.
    for (auto& [name, model] : classes_) {
        if (model->isSubclassOf(find("java/lang/Throwable"))) {
            addMember(*model, 'm', "<init>", "()V");
            addMember(*model, 'm', "<init>", "(Ljava/lang/String;)V");
        }
    }
    for (const MemberRow& row : kMembers) addMember(*find(row.owner), row.kind, row.name, row.signature);
    for (const RegisteredNative& entry : kRegistrationTable) {
        const std::string name = std::string(entry.package) + entry.simpleName;
        ClassModel* model = find(name);
        if (model == nullptr) model = &declare(name, "java/lang/Object");
        addMember(*model, entry.ofObjects ? 'N' : 'n', entry.method, entry.signature);
    }
}

ClassModel& ClassRegistry::declare(const std::string& name, const std::string& super) {
    auto model = std::make_unique<ClassModel>();
    model->name = name;
    model->super = super.empty() ? nullptr : find(super);
    ClassModel& result = *model;
    classes_[name] = std::move(model);
    return result;
}

ClassModel* ClassRegistry::find(const std::string& name) {
    const auto found = classes_.find(name);
    if (found != classes_.end()) return found->second.get();
    if (name.size() > 1 && name[0] == '[') return arrayClass(name);
    return nullptr;
}

ClassModel* ClassRegistry::arrayClass(const std::string& descriptor) {
    const auto found = classes_.find(descriptor);
    if (found != classes_.end()) return found->second.get();
    // Only well-formed descriptors of known element classes.
    size_t depth = 0;
    while (depth < descriptor.size() && descriptor[depth] == '[') ++depth;
    const std::string element = descriptor.substr(depth);
    const bool primitive = element.size() == 1 && std::string("ZBCSIJFD").find(element[0]) != std::string::npos;
    const bool reference = element.size() > 2 && element.front() == 'L' && element.back() == ';' &&
                           find(element.substr(1, element.size() - 2)) != nullptr;
    if (depth == 0 || (!primitive && !reference)) return nullptr;
    return &declare(descriptor, "java/lang/Object");
}

}  // namespace stand_in::jvm
