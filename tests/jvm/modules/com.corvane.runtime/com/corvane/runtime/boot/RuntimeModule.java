package com.corvane.runtime.boot;

// Whether a package of another module is open to this module: what "--add-opens" is for.
public final class RuntimeModule {
    private RuntimeModule() {}

    public static boolean canReflectInto(String className) throws ClassNotFoundException {
        Class<?> type = Class.forName(className, false, ClassLoader.getSystemClassLoader());
        return type.getModule().isOpen(type.getPackageName(), RuntimeModule.class.getModule());
    }

    public static String moduleOf(String className) throws ClassNotFoundException {
        Class<?> type = Class.forName(className, false, ClassLoader.getSystemClassLoader());
        return type.getModule().getName();
    }
}
