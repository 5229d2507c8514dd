// main() of the Windows test programs. A Wine process can linger for minutes in its exit path
// (seen after the tests had passed and printed their summary), which ctest then reports as a
// time-out; the program therefore ends itself at once once its output is out.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#ifdef LAUNCHER_COVERAGE
extern "C" void __gcov_dump(void);
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef LAUNCHER_COVERAGE
    __gcov_dump();  // ending the process below runs no exit handler
#endif
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
