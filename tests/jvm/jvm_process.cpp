// The child processes of the JVM tests and the test program's entry point.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "jvm_test.h"

namespace jvmtest {

namespace {

constexpr char kChildVariable[] = "JVM_TEST_CHILD";

// HotSpot takes SIGSEGV (null checks, safepoint polls, stack banging), SIGFPE (integer division)
// and SIGBUS for its own purposes; AddressSanitizer must leave those signals to it. The leak
// checker is off because the JVM keeps malloc'ed memory referenced from mappings the checker does
// not scan, so every run would report leaks that are none.
constexpr char kChildSanitizerOptions[] =
    "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:allow_user_segv_handler=1:detect_leaks=0";

// What -Xcheck:jni prints when our JNI use is wrong ("WARNING: JNI local refs: ..." has no
// "in native method").
constexpr const char* kJniComplaints[] = {"WARNING in native method", "FATAL ERROR in native method", "WARNING: JNI"};

std::string readAll(int descriptor) {
    std::string text;
    char piece[4096];
    for (;;) {
        const ssize_t got = read(descriptor, piece, sizeof piece);
        if (got > 0) {
            text.append(piece, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    return text;
}

}  // namespace

bool inScenarioProcess() { return std::getenv(kChildVariable) != nullptr; }

void runScenarioProcess(const std::string& testName) {
    int output[2];
    ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
    std::string sanitizerOptions = kChildSanitizerOptions;
    if (const char* inherited = std::getenv("ASAN_OPTIONS")) sanitizerOptions = std::string(inherited) + ":" + sanitizerOptions;
    const std::string filter = "--gtest_filter=" + testName;

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        setenv(kChildVariable, "1", 1);
        setenv("ASAN_OPTIONS", sanitizerOptions.c_str(), 1);
        execl("/proc/self/exe", "jvm_tests", filter.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(output[1]);
    const std::string text = readAll(output[0]);
    close(output[0]);
    int status = 0;
    while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
    }

    const bool exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    EXPECT_TRUE(exitedCleanly) << testName << " ended with status " << status << ":\n" << text;
    // An empty filter match also exits with 0.
    EXPECT_NE(text.find("[  PASSED  ] 1 test."), std::string::npos) << testName << " did not run:\n" << text;
    for (const char* complaint : kJniComplaints)
        EXPECT_EQ(text.find(complaint), std::string::npos) << "the JVM printed \"" << complaint << "\":\n" << text;
}

}  // namespace jvmtest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
