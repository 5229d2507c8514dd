package jvmtest;

// Effects of the virtual machine's options that system properties do not show.
public final class Probe {
    private Probe() {}

    // Whether "--add-opens" opened a package of java.base to the class path.
    public static boolean openToClassPath(String javaBasePackage) {
        return Object.class.getModule().isOpen(javaBasePackage, Probe.class.getModule());
    }

    public static String maxHeapBytes(String unused) {
        return String.valueOf(Runtime.getRuntime().maxMemory());
    }
}
