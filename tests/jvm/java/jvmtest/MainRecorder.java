package jvmtest;

import com.corvane.runtime.installer.helper.NativeLogger;
import com.corvane.runtime.installer.platform.win32.Common;
import com.corvane.runtime.installer.platform.win32.LauncherState;
import com.lumbra.runtime.util.WinDel;
import com.corvane.runtime.installer.platform.win32.Misc;
import java.lang.reflect.Method;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;

// What the entry classes' main saw, for the test to read back through JNI. The test steers main
// with system properties:
//   jvmtest.callNatives  "true": call NativeLogger.cleanup0 and the registered Misc.getMachine0
//   jvmtest.lateFile     a file that a non-daemon thread writes once main has returned
//   jvmtest.throw        a message: main throws an IllegalStateException with it
public final class MainRecorder {
    private MainRecorder() {}

    public static String entryClass;
    public static String[] arguments;
    // The launcher's hand-over as it stood when main began.
    public static String winDelExecutable;
    public static String pidValueName;
    public static String moduleName;
    public static String initCalls;
    public static int machine = -1;

    public static void mainCalled(String entry, String[] args) throws Exception {
        entryClass = entry;
        arguments = args.clone();
        winDelExecutable = WinDel.externalExecutable;
        pidValueName = LauncherState.pidValueName;
        moduleName = System.getProperty("lumbra.moduleName");
        initCalls = Common.initCalls;
        if (Boolean.getBoolean("jvmtest.callNatives")) {
            NativeLogger.cleanup0();
            machine = registeredMachine();
        }
        String lateFile = System.getProperty("jvmtest.lateFile");
        if (lateFile != null) startLateWriter(Path.of(lateFile));
        String message = System.getProperty("jvmtest.throw");
        if (message != null) throw new IllegalStateException(message);
    }

    // The natives are package-private, as the runtime declares them.
    private static int registeredMachine() throws Exception {
        Method method = Misc.class.getDeclaredMethod("getMachine0");
        method.setAccessible(true);
        return (Integer) method.invoke(null);
    }

    // A non-daemon thread that outlives main: the virtual machine's destruction has to wait for it.
    private static void startLateWriter(Path file) {
        Thread writer = new Thread(() -> {
            try {
                Thread.sleep(300);
                Files.writeString(file, "written after main", StandardCharsets.UTF_8);
            } catch (Exception e) {
                throw new RuntimeException(e);
            }
        }, "late writer");
        writer.setDaemon(false);
        writer.start();
    }
}
