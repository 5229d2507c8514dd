// The single-instance semaphore's name: its scope by configuration, the user's SID in the
// default scope and the session scope when the SID cannot be had, and the path part.
#include <gtest/gtest.h>

#include "launcher/instance_name.h"
#include "log_capture.h"
#include "services/tables.h"

using launcher::semaphoreName;
using launcher::semaphoreScope;

namespace {

constexpr char kPath[] = "c:\\program files\\app\\setup.exe";

// The name for the configuration, and whether the user's SID was asked for.
std::pair<std::string, bool> nameFor(services::ConfigTable config, const std::string& sid = "S-1-5-21-7") {
    services::setConfigTable(std::move(config));
    bool asked = false;
    const launcher::SemaphoreScope scope = semaphoreScope([&] {
        asked = true;
        return sid;
    });
    services::setConfigTable({});
    EXPECT_EQ(scope.openToEverybody, scope.prefix.rfind("Global\\", 0) == 0) << scope.prefix;
    return {semaphoreName(scope, kPath), asked};
}

}  // namespace

TEST(SemaphoreName, TheScopeFollowsTheConfigurationAndTheUserScopeNeedsTheSid) {
    using Named = std::pair<std::string, bool>;
    EXPECT_EQ(nameFor({{158, "1"}}), (Named{"Global\\c:_program_files_app_setup.exe", false}));
    EXPECT_EQ(nameFor({{158, "1"}, {200, "1"}}), (Named{"Global\\c:_program_files_app_setup.exe", false}));
    EXPECT_EQ(nameFor({{200, "1"}}), (Named{"Local\\c:_program_files_app_setup.exe", false}));
    EXPECT_EQ(nameFor({}), (Named{"Global\\S-1-5-21-7c:_program_files_app_setup.exe", true}));

    LogSince log;
    EXPECT_EQ(nameFor({{158, "0"}}, ""), (Named{"Local\\c:_program_files_app_setup.exe", true}));
    EXPECT_TRUE(log.inOrder(L"user single instance",
                            L"user single instance failed, fall back to session single instance"));
}
